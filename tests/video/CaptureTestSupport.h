#pragma once

#include "net/SocketLayer.h"
#include "net/TIdUDPServer.h"
#include "tests/fakes/FakeCapture.h"
#include "tests/fakes/FakeResolver.h"
#include "tests/support/FreePort.h"
#include "video/capture/VideoCap.h"

#include <QLabel>
#include <QWidget>
#include <gtest/gtest.h>

#include <memory>

namespace vocalyn::test {

// The parts of a main window the capture connection works with, on a
// scripted camera: the small panel, the status line, the video listener on
// a free port and the two flags.
class CaptureFixture : public ::testing::Test {
protected:
    CaptureFixture() : sockets(resolver), listener(sockets) {
        window.resize(400, 300);
        panel = new QWidget(&window);
        panel->setGeometry(242, 124, 176, 144);
        statusLabel = new QLabel(QStringLiteral("lblVideoArea"), &window);
        listener.DefaultPort = FreeUdpPort();
        listener.BufferSize = 524288;
    }

    video::VideoCap& MakeVideoCap(QWidget* host) {
        videoCap = std::make_unique<video::VideoCap>(
            camera, video::VideoCapHost{host,
                                        [this](const QString& text) {
                                            statusLabel->setText(text);
                                            statusLabel->adjustSize();
                                            statusLabel->repaint();
                                            ++statusShown;
                                        },
                                        listener, VideoStarted, PeerHostLearned});
        return *videoCap;
    }
    video::VideoCap& MakeVideoCap() { return MakeVideoCap(panel); }

    fakes::FakeCaptureService camera;
    fakes::FakeResolver resolver;
    net::SocketLayer sockets;
    net::TIdUDPServer listener;
    QWidget window;
    QWidget* panel = nullptr;
    QLabel* statusLabel = nullptr;
    int statusShown = 0;
    bool VideoStarted = false;
    bool PeerHostLearned = true;
    std::unique_ptr<video::VideoCap> videoCap;
};

} // namespace vocalyn::test
