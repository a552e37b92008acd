#pragma once

#include "app/Platform.h"
#include "app/TfrmMain.h"
#include "tests/fakes/FakeCapture.h"
#include "tests/fakes/FakeMediaDevice.h"
#include "tests/fakes/FakeResolver.h"
#include "tests/support/FreePort.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace vocalyn::test {

// Builds the main window on substitutes: a scripted resolver, a fresh data
// directory and free ports.
class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        auto fake = std::make_unique<fakes::FakeResolver>();
        resolver = fake.get();
        resolver->name = "deskhost";
        resolver->answers.insert("deskhost", {0, {0xC6120001u, 0xC6120002u}}); // 198.18.0.1, .2
        platform.resolver = std::move(fake);
        platform.sockets = std::make_unique<net::SocketLayer>(*platform.resolver);
        platform.mediaDevice = std::make_unique<fakes::FakeMediaDevice>();
        auto camera = std::make_unique<fakes::FakeCaptureService>();
        this->camera = camera.get();
        platform.captureService = std::move(camera);
        platform.dataDir = dataDir.path() + QLatin1Char('/');
        platform.signallingPort = FreeUdpPort();
        platform.videoPort = FreeUdpPort();
    }

    void WriteSettings(const QByteArray& text) {
        QFile file(platform.dataDir + QStringLiteral("Settings.ini"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    TfrmMain& CreateWindow() {
        window = std::make_unique<TfrmMain>(platform);
        return *window;
    }

    // Shows the window and waits until its activation has run.
    TfrmMain& ShowWindow() {
        TfrmMain& w = window ? *window : CreateWindow();
        w.show();
        w.activateWindow();
        EXPECT_TRUE(QTest::qWaitFor([&] { return w.FormActivated(); }, 5000));
        return w;
    }

    QTemporaryDir dataDir;
    Platform platform;
    fakes::FakeResolver* resolver = nullptr;
    fakes::FakeCaptureService* camera = nullptr;
    std::unique_ptr<TfrmMain> window;
};

} // namespace vocalyn::test
