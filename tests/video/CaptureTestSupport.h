#pragma once

#include "tests/fakes/FakeCapture.h"
#include "video/capture/VideoCap.h"

#include <QLabel>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

namespace vocalyn::test {

// The parts of a main window the capture connection works with, on a
// scripted camera: the small panel and the status line.
class CaptureFixture : public ::testing::Test {
protected:
    CaptureFixture() {
        window.resize(400, 300);
        panel = new QWidget(&window);
        panel->setGeometry(242, 124, 176, 144);
        statusLabel = new QLabel(QStringLiteral("lblVideoArea"), &window);
    }

    video::VideoCap& MakeVideoCap(QWidget* host) {
        videoCap = std::make_unique<video::VideoCap>(
            camera, video::VideoCapHost{host, [this](const QString& text) {
                                            statusLabel->setText(text);
                                            statusLabel->adjustSize();
                                            statusLabel->repaint();
                                            ++statusShown;
                                        }});
        return *videoCap;
    }
    video::VideoCap& MakeVideoCap() { return MakeVideoCap(panel); }

    fakes::FakeCaptureService camera;
    QWidget window;
    QWidget* panel = nullptr;
    QLabel* statusLabel = nullptr;
    int statusShown = 0;
    bool VideoStarted = false; // what the last StartVideo said
    std::unique_ptr<video::VideoCap> videoCap;
};

} // namespace vocalyn::test
