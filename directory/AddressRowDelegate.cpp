#include "directory/AddressRowDelegate.h"

#include "widgets/DrawGradient.h"
#include "widgets/Fonts.h"
#include "widgets/RoundRegion.h"

#include <QApplication>
#include <QBitmap>
#include <QPainter>

namespace vocalyn::directory {

namespace {

const QColor kCream(255, 245, 221);
const QColor kAmber(255, 210, 94);
const QColor kOutline(197, 197, 197);

QPixmap LoadRowIcon() {
    QPixmap icon(QStringLiteral(":/network.png"));
    // The picture lies on white; its white shows whatever the row has behind it.
    if (!icon.isNull())
        icon.setMask(icon.createMaskFromColor(Qt::white, Qt::MaskInColor));
    return icon;
}

} // namespace

AddressRowDelegate::AddressRowDelegate(QObject* parent)
    : QStyledItemDelegate(parent), icon_(LoadRowIcon()) {
    InstallFontSubstitutions();
    font_ = QFont(QStringLiteral("Arial"));
    font_.setPixelSize(16);
}

void AddressRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    painter->save();
    ListBox1DrawItem(*painter, option.rect, index.data(Qt::DisplayRole).toString(),
                     option.state.testFlag(QStyle::State_Selected));
    painter->restore();

    if (option.state.testFlag(QStyle::State_HasFocus)) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.backgroundColor = option.palette.color(QPalette::Base);
        const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
    }
}

QSize AddressRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return {option.rect.width(), kRowHeight};
}

void AddressRowDelegate::ListBox1DrawItem(QPainter& canvas, const QRect& rect, const QString& entry,
                                          bool selected) const {
    // Edges as the region and gradient painters take them: right and bottom exclusive.
    const int left = rect.left();
    const int top = rect.top();
    const int right = left + rect.width();
    const int bottom = top + rect.height();

    if (selected) {
        canvas.save();
        canvas.setClipRegion(RoundRectRegion(left, top, right, bottom, 5, 5), Qt::IntersectClip);
        DrawGradient(canvas, GradientRect{left, top, right, bottom}, false,
                     {kCream, kCream, kAmber});
        canvas.setRenderHint(QPainter::Antialiasing, false);
        canvas.setBrush(Qt::NoBrush);
        canvas.setPen(kOutline);
        // An aliased outline of width w covers w + 1 pixels: this one ends on the second-to-last
        // column and row, leaving the last gradient line below it.
        canvas.drawRoundedRect(QRect(left, top, right - left - 2, bottom - top - 2), 2.5, 2.5);
        canvas.restore();
    } else {
        canvas.fillRect(rect, Qt::white);
    }

    if (!icon_.isNull())
        canvas.drawPixmap(left + 6, top + 1, icon_);
    canvas.setFont(font_);
    canvas.setPen(Qt::black);
    canvas.drawText(left + 45, top + 8 + QFontMetrics(font_).ascent(), entry);
}

} // namespace vocalyn::directory
