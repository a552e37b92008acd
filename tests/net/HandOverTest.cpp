#include "net/HandOver.h"
#include "net/SocketLayer.h"
#include "net/SystemResolver.h"
#include "net/TIdUDPClient.h"
#include "net/TIdUDPServer.h"
#include "tests/net/NetTestSupport.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <gtest/gtest.h>

#include <thread>

namespace vocalyn::net {
namespace {

using testing::ActivateOnFreePort;
using testing::WaitUntil;

// Shows a modal dialog, as a handler of the program does, running `whileShown`
// from inside its event loop. The dialog closes itself after timeout_ms at
// the latest.
void ShowModal(const std::function<void(QDialog&)>& whileShown, int timeout_ms = 5000) {
    QDialog dialog;
    QTimer::singleShot(0, &dialog, [&] { whileShown(dialog); });
    QTimer::singleShot(timeout_ms, &dialog, &QDialog::reject);
    dialog.exec();
}

// Hand-overs on loopback; every datagram goes to 127.0.0.1.
class HandOverTest : public ::testing::Test {
protected:
    // Activates server at a free port and aims client at it.
    static void Listen(TIdUDPServer& server, TIdUDPClient& client) {
        client.Host = QStringLiteral("127.0.0.1");
        client.Port = ActivateOnFreePort(server);
    }

    SystemResolver resolver_;
    SocketLayer layer_{resolver_};
    QStringList events_;
};

TEST_F(HandOverTest, SecondDatagramWaitsWhileTheFirstHandlerShowsAModalDialog) {
    TIdUDPServer server(layer_);
    TIdUDPClient client(layer_);
    server.OnUDPRead = [&](TIdUDPServer&, const QByteArray& data, TIdSocketHandle&) {
        events_ << "begin " + data;
        if (data == "first") {
            ShowModal([&](QDialog& dialog) {
                client.SendText("second");
                // Time for a wrong hand-over to happen; nothing to wait for.
                QTimer::singleShot(300, &dialog, &QDialog::accept);
            });
        }
        events_ << "end " + data;
    };
    Listen(server, client);

    client.SendText("first");

    ASSERT_TRUE(WaitUntil([&] { return events_.size() == 4; }));
    EXPECT_EQ(events_, (QStringList{"begin first", "end first", "begin second", "end second"}));
}

TEST_F(HandOverTest, AnotherListenerIsHandedOverInsideAModalHandler) {
    TIdUDPServer outer(layer_);
    TIdUDPServer inner(layer_);
    TIdUDPClient toOuter(layer_);
    TIdUDPClient toInner(layer_);
    QPointer<QDialog> shown;
    outer.OnUDPRead = [&](TIdUDPServer&, const QByteArray&, TIdSocketHandle&) {
        events_ << "outer begins";
        ShowModal([&](QDialog& dialog) {
            shown = &dialog;
            toInner.SendText("x");
        });
        events_ << "outer ends";
    };
    inner.OnUDPRead = [&](TIdUDPServer&, const QByteArray&, TIdSocketHandle&) {
        events_ << "inner";
        if (shown)
            shown->accept();
    };
    Listen(outer, toOuter);
    Listen(inner, toInner);

    toOuter.SendText("x");

    ASSERT_TRUE(WaitUntil([&] { return events_.size() == 3; }));
    EXPECT_EQ(events_, (QStringList{"outer begins", "inner", "outer ends"}));
}

TEST_F(HandOverTest, DeactivationFromInsideItsOwnModalHandlerReturnsPromptly) {
    TIdUDPServer server(layer_);
    qint64 deactivation_ms = -1;
    QByteArray seenAfterwards;
    server.OnUDPRead = [&](TIdUDPServer& sender, const QByteArray& data, TIdSocketHandle&) {
        ShowModal([&](QDialog& dialog) {
            QElapsedTimer timer;
            timer.start();
            sender.setActive(false); // the listener waits for this very handler
            deactivation_ms = timer.elapsed();
            dialog.accept();
        });
        seenAfterwards = data; // still the datagram, though the listener is gone
    };
    TIdUDPClient client(layer_);
    Listen(server, client);

    client.SendText("datagram");

    ASSERT_TRUE(WaitUntil([&] { return !seenAfterwards.isEmpty(); }));
    EXPECT_EQ(seenAfterwards, "datagram");
    EXPECT_FALSE(server.Active());
    EXPECT_GE(deactivation_ms, 0);
    EXPECT_LT(deactivation_ms, 1000);
}

TEST_F(HandOverTest, DeactivationRunsAQueuedHandOverInsteadOfWaitingForIt) {
    TIdUDPServer server(layer_);
    server.OnUDPRead = [&](TIdUDPServer&, const QByteArray& data, TIdSocketHandle&) {
        events_ << data;
    };
    TIdUDPClient client(layer_);
    Listen(server, client);
    HandOverQueue& queue = HandOverQueue::Instance();

    // No event processing here: the listener stays blocked in its hand-over.
    client.SendText("queued");
    QDeadlineTimer deadline(5000);
    while (queue.PendingCount() == 0 && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(queue.PendingCount(), 1);

    QElapsedTimer timer;
    timer.start();
    server.setActive(false);

    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(events_, QStringList{"queued"});
    EXPECT_EQ(queue.PendingCount(), 0);
}

TEST_F(HandOverTest, IdleDeactivationDoesNotWaitOutTheListenersWait) {
    TIdUDPServer server(layer_);
    ActivateOnFreePort(server);

    QElapsedTimer timer;
    timer.start();
    server.setActive(false);

    EXPECT_LT(timer.elapsed(), 500);
}

} // namespace
} // namespace vocalyn::net
