// The screen saver held off during a call, against a screen saver service on a message bus of
// the test's own.
#include "app/DBusScreenSaverInhibitor.h"
#include "tests/fakes/FakeNotificationServer.h"
#include "tests/fakes/FakeScreenSaver.h"

#include <QTest>
#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace vocalyn;

namespace {

TEST(ScreenSaverInhibitor, HoldsOneInhibitionWhileWantedAndGivesItsOwnCookieBack) {
    fakes::PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << bus.Errors().toStdString();
    struct Case {
        const char* name;
        const char* steps; // I: Inhibit, R: Release, S: the service starts
        bool late;         // the service answers Inhibit only after the last step
        int inhibits;      // Inhibit calls the service gets
        bool heldAtEnd;    // an inhibition is in force at the end
    };
    const Case cases[] = {
        {"inhibit", "SI", false, 1, true},
        {"release", "SIR", false, 1, false},
        {"release before the reply", "SIR", true, 1, false},
        {"second inhibit while held", "SII", false, 1, true},
        {"inhibit again before the first reply", "SIRI", true, 1, true},
        {"inhibit again after a release", "SIRI", false, 2, true},
        {"release with nothing held", "SRR", false, 0, false},
        {"no service at first", "IRSI", false, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<fakes::FakeScreenSaver> service;
        DBusScreenSaverInhibitor inhibitor(bus.address());
        ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitor.Ready(); }, 5000));
        for (const char* step = c.steps; *step; ++step) {
            if (*step == 'S') {
                service.emplace(bus.address());
                ASSERT_TRUE(service->Registered());
                service->holdReplies = c.late;
            }
            if (*step == 'I')
                inhibitor.Inhibit(QStringLiteral("Call with Alice"));
            if (*step == 'R')
                inhibitor.Release();
            if (!c.late)
                QTest::qWait(150); // every message sent so far arrives and is handled
        }
        QTest::qWait(150);
        service->ReleaseReplies();
        QTest::qWait(150);
        EXPECT_EQ(service->inhibits, QStringList(c.inhibits, "Vocalyn: Call with Alice"));
        EXPECT_EQ(service->held.size(), c.heldAtEnd ? 1 : 0);
        // Each cookie given back is one the service gave, given back once.
        QList<uint> released = service->cookies;
        released.removeIf([&](uint cookie) { return service->held.contains(cookie); });
        // As vectors: Qt 6.4 compares two empty QLists with memcmp on null pointers.
        EXPECT_EQ(std::vector<uint>(service->uninhibits.begin(), service->uninhibits.end()),
                  std::vector<uint>(released.begin(), released.end()));
    }
    DBusScreenSaverInhibitor noBus(QStringLiteral("unix:path=/nonexistent/vocalyn-test-bus"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return noBus.Ready(); }, 5000));
    noBus.Inhibit(QStringLiteral("Call"));
    noBus.Release();
}

} // namespace
