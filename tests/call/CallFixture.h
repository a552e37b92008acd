#pragma once

#include "tests/call/CallTestSupport.h"
#include "widgets/FlatButton.h"
#include "widgets/RxDice.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace vocalyn::test {

// The calling-status dialog as a phase shows it.
enum class DialogShows { Hidden = 1, Calling, Refusal };

// One row of the phase table: flags, voice link, buttons and the calling dialog.
struct Phase {
    const char* name;
    bool busy, ringing, sendingVideo, link;
    bool call, end, mute, exit;
    DialogShows dialog;
};

// clang-format off
inline constexpr Phase kIdle{"Idle", false, false, false, false, true, false, false, true, DialogShows::Hidden};
inline constexpr Phase kPlacing{"Placing", true, false, false, false, false, false, false, true, DialogShows::Calling};
inline constexpr Phase kRefused{"Placing, refused", true, false, false, false, false, false, false, true, DialogShows::Refusal};
inline constexpr Phase kInCallPlaced{"In a call placed here", true, false, true, true, false, true, true, false, DialogShows::Hidden};
inline constexpr Phase kRinging{"Ringing", false, true, false, false, true, false, false, true, DialogShows::Hidden};
inline constexpr Phase kInCallAnswered{"In a call answered here", true, true, true, true, false, true, true, false, DialogShows::Hidden};
// clang-format on
// Ringing and "ring time over" differ only in the ring timer and the caller-ID line.
inline constexpr Phase kRingTimeOver = kRinging;

inline void CheckPhase(Side& side, const Phase& phase) {
    TfrmMain& w = side.w();
    SCOPED_TRACE(QStringLiteral("%1 should be %2").arg(side.address, phase.name).toStdString());
    EXPECT_EQ(w.Busy(), phase.busy);
    EXPECT_EQ(w.Ringing(), phase.ringing);
    EXPECT_EQ(w.SendingVideo, phase.sendingVideo);
    EXPECT_EQ(w.VoiceLink != nullptr, phase.link);
    EXPECT_EQ(w.btnCall->isEnabled(), phase.call);
    EXPECT_EQ(w.btnEnd->isEnabled(), phase.end);
    EXPECT_EQ(w.btnMute->isEnabled(), phase.mute);
    EXPECT_EQ(w.btnExit->isEnabled(), phase.exit);
    call::TfrmCalling& dialog = side.dialog();
    EXPECT_EQ(dialog.isVisible(), phase.dialog != DialogShows::Hidden);
    if (phase.dialog == DialogShows::Calling) {
        EXPECT_TRUE(dialog.RxDice1->Rotate());
        EXPECT_EQ(dialog.Label1->text(), "Calling...");
    }
    if (phase.dialog == DialogShows::Refusal) {
        EXPECT_FALSE(dialog.RxDice1->Rotate());
    }
}

#define EXPECT_PHASE(side, phase)                                                                  \
    do {                                                                                           \
        SCOPED_TRACE("phase check");                                                               \
        ::vocalyn::test::CheckPhase(side, phase);                                                  \
    } while (false)

// Two copies on 127.0.0.1 (Alice) and 127.0.0.2 (Bob) and a third computer on 127.0.0.3
// (Carol), all on the same signalling port, as on a real network.
class CallTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QList<QByteArray> addresses{"127.0.0.1", "127.0.0.2", "127.0.0.3"};
        const int port = FreeSharedUdpPort(addresses);
        const int videoPort = FreeSharedUdpPort(addresses);
        alice_ = std::make_unique<Side>(QStringLiteral("127.0.0.1"), port, videoPort);
        bob_ = std::make_unique<Side>(QStringLiteral("127.0.0.2"), port, videoPort, BobsNotifier());
        carol_ = std::make_unique<Probe>("127.0.0.3", port);
        A().Settings.CallerID = QStringLiteral("Alice");
        A().Settings.Message = QStringLiteral("Alice is away");
        B().Settings.CallerID = QStringLiteral("Bob");
        B().Settings.Message = QStringLiteral("Bob is away");
    }

    // What announces Bob's ringing calls on his desktop; nothing unless a test says.
    virtual std::unique_ptr<CallNotifier> BobsNotifier() { return nullptr; }

    TfrmMain& A() { return alice_->w(); }
    TfrmMain& B() { return bob_->w(); }

    // Alice types Bob's name and calls; `steps` run while her dialog is up. True when every
    // step ran and the dialog has closed again.
    bool AliceCalls(Script& steps, const QString& host = QStringLiteral("bobs-pc")) {
        A().edtHostName->setText(host);
        const bool done = steps.Run([this] { A().btnCall->click(); });
        return done && QTest::qWaitFor([this] { return !alice_->dialog().isVisible(); }, 3000);
    }

    // Bob's side, ringing with Alice's call; the condition for the first step of a script.
    std::function<bool()> BobRings() {
        return [this] { return B().Ringing() && alice_->dialog().isVisible(); };
    }

    std::unique_ptr<Side> alice_;
    std::unique_ptr<Side> bob_;
    std::unique_ptr<Probe> carol_;
};

} // namespace vocalyn::test
