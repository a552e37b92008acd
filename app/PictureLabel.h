#pragma once

#include <QLabel>

namespace vocalyn {

// The big picture: a label that shows its pixmap stretched over the whole label, as QLabel
// does with scaled contents, but scales it while painting. QLabel keeps a smooth-scaled copy
// of each new pixmap, which at 30 pictures a second costs more than the rest of a call.
class PictureLabel : public QLabel {
    Q_OBJECT
public:
    explicit PictureLabel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vocalyn
