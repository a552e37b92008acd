#include "app/PictureLabel.h"

#include "widgets/ScaledDraw.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>

namespace vocalyn {

PictureLabel::PictureLabel(QWidget* parent) : QLabel(parent) {
    setScaledContents(true);
    // Every pixel is the picture's: nothing beneath needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureLabel::paintEvent(QPaintEvent* event) {
    const QPixmap picture = pixmap();
    if (picture.isNull() || !hasScaledContents() || picture.hasAlphaChannel()) {
        if (testAttribute(Qt::WA_OpaquePaintEvent)) {
            QPainter(this).fillRect(rect(), palette().window());
        }
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    const QRect target = contentsRect();
    if (picture.size() == target.size())
        painter.drawPixmap(target, picture);
    else if (const QImage* enlarged = Enlarged(picture, target.size()))
        painter.drawImage(target.topLeft(), *enlarged);
    else
        DrawScaled(painter, target, picture, event->rect());
    if (frameShape() != QFrame::NoFrame)
        drawFrame(&painter); // the style's drawing, every picture, even of no frame
}

const QImage* PictureLabel::Enlarged(const QPixmap& picture, QSize size) {
    // On a screen of more pixels than the label has, the painter scales to the screen's.
    if (devicePixelRatioF() != 1.0)
        return nullptr;
    if (picture.cacheKey() != enlargedKey_ || enlarger_.Result().size() != size) {
        enlargedKey_ = picture.cacheKey();
        enlarger_.Enlarge(picture.toImage(), size);
    }
    return enlarger_.Result().isNull() ? nullptr : &enlarger_.Result();
}

} // namespace vocalyn
