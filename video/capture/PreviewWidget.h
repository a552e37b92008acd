#pragma once

#include <QImage>
#include <QWidget>

namespace vocalyn::video {

// The live camera picture inside a capture window: the latest frame, either
// stretched to the widget or at its own size in the top left corner, on
// black. It only shows what it is given.
class PreviewWidget : public QWidget {
    Q_OBJECT
public:
    explicit PreviewWidget(QWidget* parent = nullptr);

    void setStretch(bool stretch);
    bool stretch() const { return stretch_; }

    // Shows a frame; a null image blanks the picture.
    void showFrame(QImage frame);
    const QImage& frame() const { return frame_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage frame_;
    bool stretch_ = false;
};

} // namespace vocalyn::video
