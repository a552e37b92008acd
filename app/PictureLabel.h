#pragma once

#include "widgets/PictureEnlarger.h"

#include <QLabel>

namespace vocalyn {

// The big picture: a label that shows its pixmap stretched over the whole label, as QLabel
// does with scaled contents, but scales it while painting. QLabel keeps a smooth-scaled copy
// of each new pixmap, which at 30 pictures a second costs more than the rest of a call. A
// smaller picture is enlarged once for each new pixmap, into the same image every time.
class PictureLabel : public QLabel {
    Q_OBJECT
public:
    explicit PictureLabel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The pixmap enlarged to `size`; null when it is not smaller than that.
    const QImage* Enlarged(const QPixmap& picture, QSize size);

    PictureEnlarger enlarger_;
    qint64 enlargedKey_ = 0;
};

} // namespace vocalyn
