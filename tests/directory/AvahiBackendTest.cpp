#include "directory/NetworkWalk.h"
#include "directory/avahi/AvahiAnnouncer.h"
#include "directory/avahi/AvahiNeighbourhood.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace vocalyn::directory::avahi {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Points the Avahi client at a bus in `dir` instead of the machine's system bus.
void UsePrivateBus(const QTemporaryDir& dir) {
    const QByteArray address = "unix:path=" + QFile::encodeName(dir.path()) + "/bus";
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.constData(), 1);
}

struct TimedWalk {
    QStringList lines;
    milliseconds took{};
    std::string error;
};

TimedWalk WalkOnce() {
    AvahiNeighbourhood source;
    TimedWalk walk;
    const auto start = steady_clock::now();
    NetworkWalk(source, {})
        .EnumerateNetwork(RESOURCETYPE_DISK, RESOURCEDISPLAYTYPE_SERVER,
                          [&](const QString& l) { walk.lines.append(l); });
    walk.took = std::chrono::duration_cast<milliseconds>(steady_clock::now() - start);
    walk.error = source.LastError();
    return walk;
}

TEST(AvahiBackendTest, WithoutABusTheWalkEndsAtOnceEmpty) {
    QTemporaryDir dir;
    UsePrivateBus(dir); // nothing listens there
    const TimedWalk walk = WalkOnce();
    EXPECT_TRUE(walk.lines.isEmpty());
    EXPECT_LT(walk.took, milliseconds(1000));
    EXPECT_FALSE(walk.error.empty());

    // The announcer waits for a daemon in the background and ends without waiting for one.
    const auto start = steady_clock::now();
    {
        AvahiAnnouncer announcer;
        announcer.Announce(QStringLiteral("Nobody hears this"), kVocalynServicePort);
        EXPECT_TRUE(announcer.EstablishedName().isEmpty());
        announcer.Withdraw();
    }
    EXPECT_LT(steady_clock::now() - start, milliseconds(2000));
}

TEST(AvahiBackendTest, ABusWithoutAvahiEndsTheWalkAtOnceEmpty) {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("bus.conf")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\""
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig><listen>unix:path=" +
        QFile::encodeName(dir.path()) +
        "/bus</listen><auth>EXTERNAL</auth><policy context=\"default\">"
        "<allow user=\"*\"/><allow own=\"*\"/><allow send_destination=\"*\" eavesdrop=\"true\"/>"
        "<allow eavesdrop=\"true\"/>"
        "</policy></busconfig>\n");
    config.close();
    QProcess bus;
    bus.start(daemon, {QStringLiteral("--config-file=") + config.fileName(),
                       QStringLiteral("--nofork"), QStringLiteral("--nopidfile")});
    ASSERT_TRUE(bus.waitForStarted(3000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(dir.filePath("bus")); }, 5000));
    UsePrivateBus(dir);

    const TimedWalk walk = WalkOnce();
    EXPECT_TRUE(walk.lines.isEmpty());
    EXPECT_LT(walk.took, milliseconds(1000));
    EXPECT_FALSE(walk.error.empty());
    bus.terminate();
    EXPECT_TRUE(bus.waitForFinished(3000));
}

} // namespace
} // namespace vocalyn::directory::avahi
