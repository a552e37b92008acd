#include "net/Errors.h"
#include "net/SocketLayer.h"
#include "net/SystemResolver.h"
#include "net/TIdUDPClient.h"
#include "net/TIdUDPListenerThread.h"
#include "net/TIdUDPServer.h"
#include "tests/net/NetTestSupport.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>

namespace vocalyn::net {
namespace {

using testing::ActivateOnFreePort;
using testing::WaitUntil;

// Endpoints on the loopback interface. Every datagram goes to 127.0.0.0/8.
class EndpointTest : public ::testing::Test {
protected:
    EndpointTest() { client_.Host = QStringLiteral("127.0.0.1"); }

    // Gives server a handler that keeps every datagram.
    void Keep(TIdUDPServer& server) {
        server.OnUDPRead = [this](TIdUDPServer&, const QByteArray& data, TIdSocketHandle& binding) {
            received_.append(data);
            senders_.append({binding.SenderIP, binding.SenderPort});
            bindings_.append(&binding);
        };
    }

    // Keeps what server receives, on all addresses at a free port.
    void Listen(TIdUDPServer& server) {
        Keep(server);
        client_.Port = ActivateOnFreePort(server);
    }

    SystemResolver resolver_;
    SocketLayer layer_{resolver_};
    TIdUDPClient client_{layer_};
    QList<QByteArray> received_;
    QList<std::pair<QString, quint16>> senders_;
    QList<TIdSocketHandle*> bindings_;
};

TEST_F(EndpointTest, OneBadDatagramDoesNotEndTheListener) {
    TIdUDPServer server(layer_);
    Listen(server);
    auto keep = server.OnUDPRead;
    server.OnUDPRead = [&](TIdUDPServer& sender, const QByteArray& data, TIdSocketHandle& binding) {
        keep(sender, data, binding);
        if (data == "error")
            throw Error(QStringLiteral("handler failed"));
        if (data == "anything")
            throw 42;
    };
    const QByteArray full(8192, 'a');

    client_.SendBytes(full.constData(), full.size());
    client_.SendBytes(QByteArray(8193, 'b').constData(), 8193); // longer than BufferSize
    client_.SendText("");                                       // empty
    client_.SendText("error");
    client_.SendText("anything");
    client_.SendText("last");

    ASSERT_TRUE(WaitUntil([&] { return received_.contains("last"); }));
    EXPECT_EQ(received_, (QList<QByteArray>{full, "error", "anything", "last"}));
    EXPECT_TRUE(server.Active());
    EXPECT_FALSE(server.Listener()->Terminated());
}

TEST_F(EndpointTest, ThreadedEventRunsTheHandlerOnTheListenerAndDropsItsErrors) {
    TIdUDPServer server(layer_);
    server.ThreadedEvent = true;
    std::atomic<int> handled = 0;
    std::atomic<bool> onMainThread = false;
    server.OnUDPRead = [&](TIdUDPServer&, const QByteArray&, TIdSocketHandle&) {
        onMainThread = onMainThread || QThread::currentThread() == qApp->thread();
        if (++handled == 1)
            throw Error(QStringLiteral("handler failed"));
    };
    client_.Port = ActivateOnFreePort(server);

    client_.SendText("one");
    client_.SendText("two");

    ASSERT_TRUE(WaitUntil([&] { return handled == 2; }));
    EXPECT_FALSE(onMainThread);
}

TEST_F(EndpointTest, LargeBufferTakesTheLargestDatagram) {
    TIdUDPServer server(layer_);
    server.BufferSize = 524288;
    Listen(server);
    const QByteArray largest(65507, 'v');

    client_.SendBytes(largest.constData(), largest.size());

    ASSERT_TRUE(WaitUntil([&] { return !received_.isEmpty(); }));
    EXPECT_EQ(received_.first(), largest);
}

TEST_F(EndpointTest, HandlerSeesTheSenderAndTheReceivingBinding) {
    TIdUDPServer server(layer_);
    server.Bindings.Add().IP = QStringLiteral("127.0.0.1");
    server.Bindings.Add().IP = QStringLiteral("127.0.0.1");
    Keep(server);
    server.setActive(true); // both bindings take system-chosen ports
    TIdUDPClient other(layer_);
    other.Host = QStringLiteral("localhost");
    other.Port = server.Bindings[1].Port;

    client_.Port = server.Bindings[0].Port;
    client_.SendText("one");
    client_.SendText("two");
    ASSERT_TRUE(WaitUntil([&] { return received_.size() == 2; })); // then one socket at a time
    other.SendText("three");

    ASSERT_TRUE(WaitUntil([&] { return received_.size() == 3; }));
    EXPECT_EQ(senders_[0].first, "127.0.0.1");
    EXPECT_NE(senders_[0].second, 0);
    EXPECT_EQ(senders_[1], senders_[0]); // the sender's port stays for its life
    EXPECT_NE(senders_[2].second, senders_[0].second);
    EXPECT_NE(senders_[0].second, server.Bindings[0].Port); // chosen by the system, not bound
    EXPECT_EQ(bindings_, (QList<TIdSocketHandle*>{&server.Bindings[0], &server.Bindings[0],
                                                  &server.Bindings[1]}));
    EXPECT_EQ(server.Binding(), &server.Bindings[1]);

    server.setActive(false);
    EXPECT_TRUE(server.Bindings[1].SenderIP.isEmpty());
    EXPECT_EQ(server.Bindings[1].SenderPort, 0);
}

TEST_F(EndpointTest, FailedSendsRaiseTheirKindsAndLeaveTheSenderUsable) {
    TIdUDPServer server(layer_);
    Listen(server);

    const QByteArray tooBig(70000, 'x');
    try {
        client_.SendBytes(tooBig.constData(), tooBig.size());
        ADD_FAILURE() << "sent";
    } catch (const EIdPackageSizeTooBig& e) {
        EXPECT_EQ(e.message(), "Package Size Too Big.");
    }
    try {
        client_.SendTextTo(QStringLiteral("127.255.255.255"), client_.Port, "to all");
        ADD_FAILURE() << "sent";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.ErrorCode, 10013);
        EXPECT_EQ(e.message(), "Socket Error # 10013\r\nAccess denied.");
    }

    client_.SendText("still works");
    ASSERT_TRUE(WaitUntil([&] { return !received_.isEmpty(); }));
    EXPECT_EQ(received_, QList<QByteArray>{"still works"});
}

TEST_F(EndpointTest, LimitedBroadcastIsRefusedWithoutPermission) {
    // The kernel checks the route before the permission. Ask it with a
    // connect, which sends nothing, whether this machine gives the refusal.
    const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    const bool refused =
        ::connect(probe, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno == EACCES;
    ::close(probe);
    if (!refused)
        GTEST_SKIP() << "no route to 255.255.255.255 here, so the kernel reports that first";

    // Make sure nothing can leave this machine should the permission be on.
    try {
        client_.SendTextTo(QStringLiteral("127.255.255.255"), 9, "x");
        FAIL() << "broadcast permitted";
    } catch (const EIdSocketError&) {
    }

    try {
        client_.SendTextTo(QStringLiteral("255.255.255.255"), 9, "x");
        ADD_FAILURE() << "sent";
    } catch (const EIdSocketError& e) {
        EXPECT_EQ(e.message(), "Socket Error # 10013\r\nAccess denied.");
    }
}

TEST_F(EndpointTest, FailedActivationLeavesTheEndpointInactive) {
    TIdUDPServer holder(layer_);
    const int port = ActivateOnFreePort(holder);

    TIdUDPServer server(layer_);
    server.DefaultPort = port;
    try {
        server.setActive(true);
        ADD_FAILURE() << "bound twice";
    } catch (const EIdCouldNotBindSocket& e) {
        EXPECT_EQ(e.message(), "Could not bind socket. Address and port are already in use.");
    }
    EXPECT_FALSE(server.Active());
    EXPECT_EQ(server.Binding(), nullptr);

    server.DefaultPort = 0;
    try {
        server.setActive(true);
        ADD_FAILURE() << "activated";
    } catch (const EIdNoBindingsSpecified& e) {
        EXPECT_EQ(e.message(), "No bindings specified.");
    }

    Listen(server); // a later activation on a free port works
    client_.SendText("after");
    EXPECT_TRUE(WaitUntil([&] { return received_ == QList<QByteArray>{"after"}; }));
}

TEST_F(EndpointTest, MoreThan64SocketsEndTheListener) {
    TIdUDPServer server(layer_);
    for (int i = 0; i < 65; ++i)
        server.Bindings.Add().IP = QStringLiteral("127.0.0.1");
    server.setActive(true);

    ASSERT_TRUE(WaitUntil([&] { return server.Listener()->Terminated(); }));
    EXPECT_EQ(server.Listener()->ErrorText(), "Set Size Exceeded.");
    EXPECT_TRUE(server.Active()); // the endpoint stays active until deactivated
}

} // namespace
} // namespace vocalyn::net
