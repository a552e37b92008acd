#pragma once

#include "directory/BrowserPictures.h"

#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <array>

class QLabel;

namespace vocalyn::directory {

// The small "Searching..." window that stays on top while the network browser walks the
// neighbourhood: a busy picture turning every 100 ms and a fixed text. It takes no input.
class TfrmExport : public QWidget {
    Q_OBJECT
public:
    explicit TfrmExport(QWidget* parent = nullptr);

    static constexpr int kWidth = 306;
    static constexpr int kHeight = 125;
    static constexpr int kFrameInterval_ms = 100;

    QLabel* Animate1 = nullptr; // the busy picture
    QLabel* lblStatus = nullptr;

    // The busy picture's frame on show, 0 to 11.
    int CurrentFrame() const { return frame_; }
    bool Animating() const { return animationTimer_.isActive(); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void NextFrame();
    void CentreOnScreen();

    std::array<QPixmap, kBusyFrameCount> frames_;
    QTimer animationTimer_;
    int frame_ = 0;
};

} // namespace vocalyn::directory
