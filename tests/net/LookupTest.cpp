#include "net/Errors.h"
#include "net/LocalAddress.h"
#include "net/SocketLayer.h"
#include "net/SystemInterfaces.h"
#include "net/SystemResolver.h"
#include "tests/fakes/FakeInterfaces.h"
#include "tests/fakes/FakeResolver.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace vocalyn::net {
namespace {

constexpr quint32 Address(quint8 a, quint8 b, quint8 c, quint8 d) {
    return quint32(a) << 24 | quint32(b) << 16 | quint32(c) << 8 | d;
}

TEST(SocketErrorTest, NumbersGoByConditionNameNotByLinuxErrno) {
    const struct {
        int posixErrno;
        int number;
    } rows[] = {{EWOULDBLOCK, 10035}, {EAGAIN, 10035},       {EMSGSIZE, 10040},
                {EADDRINUSE, 10048},  {ECONNREFUSED, 10061}, {EHOSTUNREACH, 10065},
                {ENOTEMPTY, 10066},   {EINTR, 10004},        {EACCES, 10013}};
    for (const auto& row : rows)
        EXPECT_EQ(WinsockErrorNumber(row.posixErrno), row.number) << row.posixErrno;

    EXPECT_EQ(EIdSocketError(10035).message(), "Socket Error # 10035\r\nOperation would block. ");
    EXPECT_EQ(EIdSocketError(10066).message(), "Socket Error # 10066\r\nDirectory not empty");

    // A condition without a Windows Sockets number keeps its own and gets no text.
    const int unknown = WinsockErrorNumber(EPERM);
    EXPECT_EQ(EIdSocketError(unknown).message(),
              QStringLiteral("Socket Error # %1\r\n").arg(unknown));
}

class LookUpHostAddressTest : public ::testing::Test {
protected:
    fakes::FakeResolver resolver_;
    SocketLayer layer_{resolver_};
};

TEST_F(LookUpHostAddressTest, LocalhostAndDottedAddressesNeedNoLookup) {
    for (const char* name : {"localhost", "LOCALHOST", "LocalHost", "lOcAlHoSt"})
        EXPECT_EQ(layer_.LookUpHostAddress(name), "127.0.0.1") << name;
    for (const char* name : {"1.2.3.4", "0.0.0.0", "255.255.255.255", "010.001.2.3"})
        EXPECT_EQ(layer_.LookUpHostAddress(name), name) << name;
    EXPECT_TRUE(resolver_.lookups.isEmpty());
}

TEST_F(LookUpHostAddressTest, EverythingElseGoesToTheResolverWhoseFirstAnswerWins) {
    const QList<QByteArray> names = {"10.0.0.256", "1.2.3",   "1.2.3.4.5", "1.2.3.", " 1.2.3.4",
                                     "-1.2.3.4",   "a.b.c.d", "localhoſt", "peer"};
    for (const QByteArray& name : names)
        resolver_.answers[name] = {0, {Address(10, 0, 0, 7), Address(10, 0, 0, 8)}};

    for (const QByteArray& name : names)
        EXPECT_EQ(layer_.LookUpHostAddress(QString::fromUtf8(name)), "10.0.0.7")
            << name.constData();
    EXPECT_EQ(resolver_.lookups, names);
}

TEST_F(LookUpHostAddressTest, FailedLookupGivesTheNumberAndAnEmptyText) {
    resolver_.answers["busy"] = {kTryAgain, {}};
    for (const auto& [name, number] : {std::pair{"nowhere", kHostNotFound}, {"busy", kTryAgain}}) {
        try {
            layer_.LookUpHostAddress(name);
            ADD_FAILURE() << name << " resolved";
        } catch (const EIdSocketError& e) {
            EXPECT_EQ(e.ErrorCode, number);
            EXPECT_EQ(e.message(), QStringLiteral("Socket Error # %1\r\n").arg(number));
        }
    }
}

TEST_F(LookUpHostAddressTest, LocalHostNameComesFromA250ByteBuffer) {
    resolver_.name = QByteArray(300, 'h');
    EXPECT_EQ(layer_.LocalHostName(), QString(250, u'h'));
    EXPECT_EQ(resolver_.hostNameSizes, QList<int>{250});
}

TEST(FindLocalAddressTest, ShowsTheLastAddressOfTheLookupOfThe64ByteName) {
    fakes::FakeResolver resolver;
    resolver.name = "workstation-with-a-name-longer-than-sixty-four-bytes-for-the-lookup-part";
    const QByteArray lookupName = resolver.name.left(64);
    resolver.answers[lookupName] = {0, {Address(10, 0, 0, 1), Address(192, 168, 1, 20)}};

    const LocalAddress local = FindLocalAddress(resolver, nullptr);

    EXPECT_EQ(local.hostName, QString::fromLatin1(resolver.name));
    EXPECT_EQ(local.address, "192.168.1.20");
    EXPECT_EQ(resolver.hostNameSizes, (QList<int>{250, 64}));
    EXPECT_EQ(resolver.lookups, QList<QByteArray>{lookupName});
}

TEST(FindLocalAddressTest, UnresolvableNameLeavesTheAddressEmpty) {
    fakes::FakeResolver resolver;
    resolver.name = "localhost"; // not special here: it goes to the resolver, which fails

    fakes::FakeInterfaces none; // nor has the computer any address besides loopback
    none.list = {{"lo", Address(127, 0, 0, 1), true, true}};
    const LocalAddress local = FindLocalAddress(resolver, &none);

    EXPECT_EQ(local.hostName, "localhost");
    EXPECT_TRUE(local.address.isEmpty());
    EXPECT_EQ(resolver.lookups, QList<QByteArray>{"localhost"});
}

// The usual desktop: the installer maps the host name to 127.0.1.1.
class LoopbackHostNameTest : public ::testing::Test {
protected:
    LoopbackHostNameTest() {
        resolver_.name = "desktop";
        interfaces_.list = {{"lo", Address(127, 0, 0, 1), true, true},
                            {"docker0", Address(172, 17, 0, 1), true, false},
                            {"wlan0", Address(192, 168, 1, 20), true, false}};
        interfaces_.routed = "wlan0";
    }
    QString Found() { return FindLocalAddress(resolver_, &interfaces_).address; }

    fakes::FakeResolver resolver_;
    fakes::FakeInterfaces interfaces_;
};

TEST_F(LoopbackHostNameTest, LoopbackAnswersAreSkippedAndALanAnswerStillWins) {
    resolver_.answers["desktop"] = {0, {Address(10, 0, 0, 5), Address(127, 0, 1, 1)}};
    EXPECT_EQ(Found(), "10.0.0.5");
    // Any of 127.0.0.0/8, in any position.
    resolver_.answers["desktop"] = {0, {Address(127, 255, 255, 254), Address(10, 0, 0, 6)}};
    EXPECT_EQ(Found(), "10.0.0.6");
}

TEST_F(LoopbackHostNameTest, OnlyLoopbackGivesTheAddressOfTheDefaultRoutesInterface) {
    resolver_.answers["desktop"] = {0, {Address(127, 0, 1, 1)}};
    EXPECT_EQ(Found(), "192.168.1.20");

    // Its first address that can be reached: the routed interface's loopback-range or
    // down addresses do not count.
    interfaces_.list.prepend({"wlan0", Address(127, 0, 0, 9), true, false});
    interfaces_.list.append({"wlan0", Address(192, 168, 1, 21), true, false});
    EXPECT_EQ(Found(), "192.168.1.20");
}

TEST_F(LoopbackHostNameTest, WithoutADefaultRouteTheFirstUpNonLoopbackInterfaceCounts) {
    resolver_.answers["desktop"] = {0, {Address(127, 0, 1, 1)}};
    interfaces_.routed.clear();
    interfaces_.list.insert(1, {"eth0", Address(10, 9, 8, 7), false, false}); // down
    EXPECT_EQ(Found(), "172.17.0.1");

    // A default route through an interface without an IPv4 address of its own.
    interfaces_.routed = "ppp0";
    EXPECT_EQ(Found(), "172.17.0.1");
}

TEST_F(LoopbackHostNameTest, AnUnresolvableNameAlsoFallsBackAndOnlyLoopbackGivesNothing) {
    EXPECT_EQ(Found(), "192.168.1.20"); // "desktop" is not in the resolver

    resolver_.answers["desktop"] = {0, {Address(127, 0, 1, 1)}};
    interfaces_.list = {{"lo", Address(127, 0, 0, 1), true, true},
                        {"dummy0", Address(127, 0, 0, 2), true, false},
                        {"eth0", Address(10, 9, 8, 7), false, false}};
    EXPECT_EQ(Found(), "");
    // The host name is shown whatever the address.
    EXPECT_EQ(FindLocalAddress(resolver_, &interfaces_).hostName, "desktop");
}

TEST(DefaultRouteTest, TheUpRouteTo0000WithTheLowestMetricWins) {
    const QByteArray table =
        "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
        "eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n"
        "down0\t00000000\t0101A8C0\t0002\t0\t0\t0\t00000000\t0\t0\t0\n"
        "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
        "eth0\t00000000\t0100A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
        "half0\t00000000\t0100A8C0\n"
        "bad0\t0000000G\t0100A8C0\t0003\t0\t0\t1\t00000000\t0\t0\t0\n";
    EXPECT_EQ(DefaultRouteInterface(table), "eth0");
    EXPECT_EQ(DefaultRouteInterface(table.left(table.indexOf("eth0\t00000000"))), "wlan0");
    EXPECT_EQ(DefaultRouteInterface(table.left(table.indexOf("wlan0"))), "");
    EXPECT_EQ(DefaultRouteInterface(""), "");
}

TEST(SystemInterfacesTest, ListsTheLoopbackInterface) {
    SystemInterfaces interfaces;
    bool loopbackSeen = false;
    for (const InterfaceAddress& item : interfaces.Addresses())
        loopbackSeen = loopbackSeen || (item.loopback && item.address == Address(127, 0, 0, 1));
    EXPECT_TRUE(loopbackSeen);
}

TEST(SystemResolverTest, AnswersFromTheSystem) {
    SystemResolver resolver;
    const ResolveResult localhost = resolver.LookUpIPv4("localhost");
    ASSERT_EQ(localhost.error, 0);
    EXPECT_TRUE(localhost.addresses.contains(Address(127, 0, 0, 1)));

    EXPECT_FALSE(resolver.HostName(250).isEmpty());
    EXPECT_LE(resolver.HostName(2).size(), 2); // a short buffer is never read past its end
}

} // namespace
} // namespace vocalyn::net
