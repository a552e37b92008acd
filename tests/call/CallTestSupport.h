#pragma once

// Several copies of the program in one process, each a real set of windows on substitutes and
// on its own loopback address, plus a bare socket that plays a third computer.

#include "app/Platform.h"
#include "app/Startup.h"
#include "app/TfrmMain.h"
#include "call/TfrmCalling.h"
#include "tests/fakes/FakeMediaDevice.h"
#include "tests/fakes/FakeResolver.h"
#include "tests/fakes/RecordingMediaTerm.h"
#include "tests/fakes/RecordingScreenSaver.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace vocalyn::test {

// A UDP port that is free on every one of the given loopback addresses.
int FreeSharedUdpPort(const QList<QByteArray>& addresses);

// One copy of the program: its windows, shown and activated, listening on `address`.
class Side {
public:
    // `notifier` announces this side's ringing calls; none by default.
    Side(const QString& address, int signallingPort, int videoPort,
         std::unique_ptr<CallNotifier> notifier = nullptr);
    ~Side();

    TfrmMain& w() { return *windows.frmMain; }
    call::TfrmCalling& dialog() { return *windows.frmCalling; }
    QStringList& terminalCalls() { return terminal->calls; }
    QStringList& toneOperations() { return device->operations; }

    const QString address;
    // Every signalling datagram whose handling has finished, in order.
    QList<QByteArray> handled;
    QTemporaryDir dataDir;
    Platform platform;
    fakes::FakeResolver* resolver = nullptr;
    fakes::FakeMediaDevice* device = nullptr;
    fakes::RecordingScreenSaver* screenSaver = nullptr;
    std::shared_ptr<fakes::RecordingMediaTerm> terminal =
        std::make_shared<fakes::RecordingMediaTerm>();
    Windows windows;

private:
    Platform& PreparePlatform(int signallingPort, int videoPort,
                              std::unique_ptr<CallNotifier> notifier);
};

// A bare datagram socket on its own loopback address: a third computer on the network.
class Probe {
public:
    Probe(const QByteArray& address, int port);
    ~Probe();
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    void Send(const QByteArray& toAddress, const QByteArray& payload);
    // The next datagram that arrives within the limit, while events keep running.
    std::optional<QByteArray> Next(int limit_ms = 3000);

private:
    int fd_ = -1;
    int port_ = 0;
};

// Steps run from inside whatever event loop is current, the modal dialogs' included: each
// step's action runs once its condition holds and the previous step's action has started.
// Actions are posted, so one that opens a modal loop does not hold up the steps after it.
class Script {
public:
    Script& When(QString what, std::function<bool()> condition, std::function<void()> action);
    Script& Then(QString what, std::function<void()> action) {
        return When(
            std::move(what), [] { return true; }, std::move(action));
    }

    // Calls `start` (which may stay in a modal loop until a later step ends it) and returns true
    // once every step has run. At the limit it closes any modal dialog still up, so the test
    // goes on, and returns false; failure() then names the step that was waited for.
    bool Run(const std::function<void()>& start, int limit_ms = 8000);
    const QString& failure() const { return failure_; }

private:
    struct Step {
        QString what;
        std::function<bool()> condition;
        std::function<void()> action;
    };
    void Tick();
    void GiveUp();

    std::deque<Step> steps_;
    QTimer timer_;
    bool actionPending_ = false;
    bool gaveUp_ = false;
    QString failure_;
};

} // namespace vocalyn::test
