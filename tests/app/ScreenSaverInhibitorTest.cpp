// The screen saver held off during a call, against a screen saver service on a message bus of
// the test's own.
#include "app/DBusScreenSaverInhibitor.h"
#include "tests/fakes/FakeNotificationServer.h"
#include "tests/fakes/FakeScreenSaver.h"

#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace vocalyn;
using fakes::FakeScreenSaver;
using fakes::PrivateBus;

namespace {

// Lets every message already sent arrive and be handled.
void Settle() {
    QTest::qWait(150);
}

TEST(ScreenSaverInhibitor, HoldsOneInhibitionWhileWantedAndGivesItsOwnCookieBack) {
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << bus.errors().toStdString();
    struct Case {
        const char* name;
        const char* steps; // I: Inhibit, R: Release, each settled before the next
        bool late;         // the service answers Inhibit only after all the steps
        int inhibits;      // Inhibit calls the service gets
        bool heldAtEnd;    // an inhibition is in force at the end
    };
    const Case cases[] = {
        {"inhibit", "I", false, 1, true},
        {"release", "IR", false, 1, false},
        {"release before the reply", "IR", true, 1, false},
        {"second inhibit while held", "II", false, 1, true},
        {"inhibit again before the reply to the first", "IRI", true, 1, true},
        {"inhibit again after a release", "IRI", false, 2, true},
        {"release with nothing held", "RR", false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeScreenSaver service(bus.address());
        ASSERT_TRUE(service.Registered());
        service.holdReplies = c.late;
        DBusScreenSaverInhibitor inhibitor(bus.address());
        ASSERT_TRUE(QTest::qWaitFor([&] { return inhibitor.Ready(); }, 5000));
        for (const char* step = c.steps; *step; ++step) {
            if (*step == 'I')
                inhibitor.Inhibit(QStringLiteral("Call with Alice"));
            else
                inhibitor.Release();
            if (!c.late)
                Settle();
        }
        Settle();
        service.ReleaseReplies();
        Settle();
        ASSERT_EQ(service.inhibits.size(), c.inhibits);
        for (const FakeScreenSaver::Request& request : std::as_const(service.inhibits)) {
            EXPECT_EQ(request.application, "Vocalyn");
            EXPECT_EQ(request.reason, "Call with Alice");
        }
        EXPECT_EQ(service.held.size(), c.heldAtEnd ? 1 : 0);
        // Every cookie given back is one the service gave, once.
        QList<uint> given;
        for (const FakeScreenSaver::Request& request : std::as_const(service.inhibits))
            if (!service.held.contains(request.cookie))
                given << request.cookie;
        EXPECT_EQ(service.uninhibits, given);
    }
}

TEST(ScreenSaverInhibitor, AMissingServiceOrBusIsHarmlessAndAServiceThatComesLaterIsUsed) {
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << bus.errors().toStdString();
    DBusScreenSaverInhibitor noBus(QStringLiteral("unix:path=/nonexistent/vocalyn-test-bus"));
    DBusScreenSaverInhibitor inhibitor(bus.address());
    ASSERT_TRUE(QTest::qWaitFor([&] { return noBus.Ready() && inhibitor.Ready(); }, 5000));
    for (ScreenSaverInhibitor* each : {static_cast<ScreenSaverInhibitor*>(&noBus),
                                       static_cast<ScreenSaverInhibitor*>(&inhibitor)}) {
        each->Inhibit(QStringLiteral("Call"));
        Settle();
        each->Release();
    }
    FakeScreenSaver service(bus.address());
    ASSERT_TRUE(service.Registered());
    inhibitor.Inhibit(QStringLiteral("Call"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.held.size() == 1; }, 3000));
    inhibitor.Release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return service.held.isEmpty(); }, 3000));
    EXPECT_EQ(service.inhibits.size(), 1);
}

} // namespace
