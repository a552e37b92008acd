#pragma once

#include "video/capture/PreviewImage.h"

#include <QImage>
#include <QWidget>

#include <utility>

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

    // Shows a frame; a null image blanks the picture. A bottom-up frame is drawn turned over.
    void ShowFrame(QImage frame, bool bottomUp = false);
    void ShowFrame(PreviewFrame frame) { ShowFrame(std::move(frame.image), frame.bottomUp); }
    const QImage& frame() const { return frame_; }
    // Whether a frame shown now would reach the screen: not while the widget is hidden or its
    // window minimised, when making the picture is wasted work.
    bool Seen() const;
    bool bottomUp() const { return bottomUp_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage frame_;
    bool bottomUp_ = false;
    bool stretch_ = false;
};

} // namespace vocalyn::video
