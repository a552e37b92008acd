// Calls between two real copies of the program in one process, driven through their buttons,
// with a bare socket as a third computer.
#include "tests/call/CallFixture.h"

#include "tests/support/ModalWatcher.h"
#include "voice/TCCNMediaTerm.h"
#include "voice/TfrmCCN.h"

#include <QTest>
#include <QWindow>

#include <chrono>
#include <memory>

using namespace vocalyn;
using namespace vocalyn::test;

namespace {

QStringList StartCalls(const QString& peer) {
    return {"InitTerminal()",
            "InitTerminal()",
            "SetupSender(4, 20, 0, 1, 1, 0)",
            "SetSendTarget(" + peer + ", 8500)",
            "SetupReceiver(4, 20, 0, 0)",
            "SetReceivePort(8500)",
            "StartReceiving(0)",
            "StartSending(0)",
            "ReceiverControl(0, 80)",
            "SenderControl(0, 80)"};
}

// Stop, then destroy: both channel references are one terminal.
const QStringList kStopAndDestroyCalls =
    QStringList{"StopReceiving()", "StopSending()"} +
    QStringList{"StopReceiving()", "StopSending()",  "StopReceiving()",
                "StopSending()",   "ExitTerminal()", "ExitTerminal()"};

// Sends from a window's own signalling sender, so the text arrives from its address.
void SendFrom(TfrmMain& w, const QString& to, const QByteArray& text) {
    w.UDPClient.Host = to;
    w.UDPClient.SendText(text);
}

// Returns once the receiver has handled every datagram sent to it before this one.
void Barrier(TfrmMain& from, const QString& to, Side& receiver) {
    const qsizetype before = receiver.handled.count("barrier");
    SendFrom(from, to, "barrier");
    EXPECT_TRUE(QTest::qWaitFor([&] { return receiver.handled.count("barrier") > before; }));
}

} // namespace

class CallStates : public CallTest {
protected:
    // Alice calls Bob and Bob answers at once; both end up in their call phases.
    bool EstablishCall() {
        Script script;
        script.When("Bob rings", BobRings(), [this] { B().btnCall->click(); });
        return AliceCalls(script) && A().VoiceLink && B().VoiceLink;
    }
};

TEST_F(CallStates, TypicalCallGoesThroughEveryPhaseAndEndingIsOneSided) {
    Script script;
    script.When("Bob rings", BobRings(), [this] {
        EXPECT_PHASE(*alice_, kPlacing);
        // Over the main window, wherever the desktop puts dialogs.
        EXPECT_EQ(alice_->dialog().windowHandle()->transientParent(), A().windowHandle());
        EXPECT_PHASE(*bob_, kRinging);
        EXPECT_EQ(B().edtHostName->text(), "127.0.0.1");
        EXPECT_EQ(B().lblCallerID->text(), "Alice calling...");
        EXPECT_TRUE(B().Timer1.isActive());
        EXPECT_EQ(B().Timer1.interval(), 10000);
        EXPECT_EQ(bob_->toneOperations(), QStringList({"open ring.wav", "status 1", "play 1"}));
        bob_->toneOperations().clear();
        B().btnCall->click();
    });
    ASSERT_TRUE(AliceCalls(script)) << script.failure().toStdString();

    EXPECT_PHASE(*alice_, kInCallPlaced);
    EXPECT_PHASE(*bob_, kInCallAnswered);
    EXPECT_TRUE(alice_->screenSaver->held && bob_->screenSaver->held);
    EXPECT_FALSE(B().Timer1.isActive());
    EXPECT_EQ(bob_->toneOperations(), QStringList({"stop 1"}));
    // The caller's identity stays shown during the call.
    EXPECT_EQ(B().lblCallerID->text(), "Alice calling...");
    // Alice's voice goes to where the "Accept" came from, her video to the peer called.
    EXPECT_EQ(alice_->terminalCalls(), StartCalls("127.0.0.2"));
    // The name was looked up once, for the whole call.
    EXPECT_EQ(A().UDPClient1.Host, "127.0.0.2");
    EXPECT_EQ(bob_->terminalCalls(), StartCalls("127.0.0.1"));
    EXPECT_EQ(B().UDPClient1.Host, "127.0.0.1");

    // What the voice said during the call goes with it.
    const QString cameraStatus = A().lblVideoArea->text();
    A().SetCallStatus(QStringLiteral("Microphone unavailable"));
    alice_->terminalCalls().clear();
    A().btnEnd->click();
    EXPECT_PHASE(*alice_, kIdle);
    EXPECT_EQ(A().lblVideoArea->text(), cameraStatus);
    EXPECT_EQ(A().lblCallerID->text(), "");
    EXPECT_EQ(alice_->terminalCalls(), kStopAndDestroyCalls);
    // Nothing goes to the peer: Bob's half of the call stays up.
    Barrier(A(), "127.0.0.2", *bob_);
    EXPECT_PHASE(*bob_, kInCallAnswered);

    B().btnEnd->click();
    EXPECT_PHASE(*bob_, kIdle);
    EXPECT_EQ(B().lblCallerID->text(), "");
    EXPECT_EQ(bob_->screenSaver->calls, QStringList({"inhibit In a call", "release"}));
}

// The media terminal is connected while the call is placed and while it rings, so that its
// set-up is done before the answer; but nothing is captured or sent before the answer.
TEST_F(CallStates, PlacingAndRingingConnectTheTerminalAheadButStartNothing) {
    EXPECT_FALSE(A().frmCCN->ccn->Connected());
    EXPECT_FALSE(B().frmCCN->ccn->Connected());
    Script script;
    // Bob connects at the end of his ring handler, after the ringing shows: wait for that.
    script.When(
        "Bob rings, connected",
        [this, rings = BobRings()] { return rings() && B().frmCCN->ccn->Connected(); },
        [this] {
            EXPECT_TRUE(A().frmCCN->ccn->Connected());
            EXPECT_EQ(alice_->terminalCalls(), QStringList());
            EXPECT_EQ(bob_->terminalCalls(), QStringList());
            B().btnCall->click();
        });
    ASSERT_TRUE(AliceCalls(script)) << script.failure().toStdString();
    EXPECT_EQ(alice_->terminalCalls(), StartCalls("127.0.0.2"));
    EXPECT_EQ(bob_->terminalCalls(), StartCalls("127.0.0.1"));
}

TEST_F(CallStates, MuteTwiceThenEndGivesTheTerminalOrderAndTheNextCallStartsUnmuted) {
    ASSERT_TRUE(EstablishCall());
    alice_->terminalCalls().clear();

    A().btnMute->click();
    EXPECT_TRUE(A().MicMuted());
    EXPECT_EQ(A().btnMute->text(), "*");
    EXPECT_EQ(A().btnMute->font().pixelSize(), 32);
    EXPECT_TRUE(A().btnMute->font().bold());
    EXPECT_EQ(alice_->terminalCalls(), QStringList({"StopSending()"}));

    alice_->terminalCalls().clear();
    A().btnMute->click();
    EXPECT_FALSE(A().MicMuted());
    EXPECT_EQ(A().btnMute->text(), "");
    EXPECT_EQ(
        alice_->terminalCalls(),
        QStringList({"SetupSender(4, 20, 0, 1, 1, 0)", "SetSendTarget(127.0.0.2, 8500)",
                     "SetupReceiver(4, 20, 0, 0)", "SetReceivePort(8500)", "StartSending(0)"}));

    A().btnMute->click(); // muted once more, then ended
    alice_->terminalCalls().clear();
    A().btnEnd->click();
    EXPECT_FALSE(A().MicMuted());
    EXPECT_EQ(A().btnMute->text(), "");
    EXPECT_EQ(alice_->terminalCalls(), kStopAndDestroyCalls);

    B().btnEnd->click();
    alice_->terminalCalls().clear();
    ASSERT_TRUE(EstablishCall());
    EXPECT_FALSE(A().MicMuted());
    EXPECT_EQ(A().btnMute->text(), "");
    // A new link on the same terminal, initialised again.
    EXPECT_EQ(alice_->terminalCalls(), StartCalls("127.0.0.2"));
}

TEST_F(CallStates, ThirdComputerGetsOnlyTheMessageFromEitherSideOfACall) {
    ASSERT_TRUE(EstablishCall());
    carol_->Send("127.0.0.1", "Calling|Carol");
    EXPECT_EQ(carol_->Next(), "Alice is away");
    carol_->Send("127.0.0.2", "Calling|Carol");
    EXPECT_EQ(carol_->Next(), "Bob is away");
    EXPECT_PHASE(*alice_, kInCallPlaced);
    EXPECT_PHASE(*bob_, kInCallAnswered);
    // Carol's requests did not take the host field (the peer's video may have, once).
    EXPECT_NE(A().edtHostName->text(), "127.0.0.3");
    EXPECT_EQ(B().edtHostName->text(), "127.0.0.1");
}

TEST_F(CallStates, OnlyTheAcceptOfTheCalledPeerWhileCallingStartsACall) {
    // Idle: an "Accept" from anywhere changes nothing.
    carol_->Send("127.0.0.1", "Accept");
    carol_->Send("127.0.0.1", "barrier");
    ASSERT_TRUE(QTest::qWaitFor([&] { return alice_->handled.contains("barrier"); }));
    EXPECT_PHASE(*alice_, kIdle);
    EXPECT_TRUE(alice_->terminalCalls().isEmpty());

    Script script;
    script
        .When("Bob rings", BobRings(),
              [this] {
                  // While calling: Carol is not the peer called, and a ringing side
                  // places no call.
                  carol_->Send("127.0.0.1", "Accept");
                  SendFrom(A(), "127.0.0.2", "Accept");
                  SendFrom(B(), "127.0.0.1", "calling"); // lower case: a refusal text
                  // Not waited for here: this may run inside Bob's ring handler, whose
                  // listener delivers nothing more until that handler returns.
                  SendFrom(A(), "127.0.0.2", "barrier");
              })
        .When(
            "the stray datagrams handled",
            [this] {
                return alice_->dialog().Label1->text() == "calling" &&
                       bob_->handled.contains("barrier");
            },
            [this] {
                EXPECT_PHASE(*alice_, kRefused);
                EXPECT_PHASE(*bob_, kRinging);
                EXPECT_TRUE(alice_->terminalCalls().isEmpty());
                EXPECT_TRUE(bob_->terminalCalls().isEmpty());
                // The peer called, by the address its name resolved to when called.
                B().btnCall->click();
            });
    ASSERT_TRUE(AliceCalls(script)) << script.failure().toStdString();
    EXPECT_PHASE(*alice_, kInCallPlaced);

    // A second "Accept" during the call: no second link.
    alice_->terminalCalls().clear();
    SendFrom(B(), "127.0.0.1", "Accept");
    Barrier(B(), "127.0.0.1", *alice_);
    EXPECT_PHASE(*alice_, kInCallPlaced);
    EXPECT_TRUE(alice_->terminalCalls().isEmpty());

    // After the call, Bob's late "Accept" finds nobody calling.
    A().btnEnd->click();
    alice_->terminalCalls().clear();
    SendFrom(B(), "127.0.0.1", "Accept");
    Barrier(B(), "127.0.0.1", *alice_);
    EXPECT_PHASE(*alice_, kIdle);
    EXPECT_TRUE(alice_->terminalCalls().isEmpty());
}

TEST_F(CallStates, TheCalledPeerIsKnownByItsAddressHoweverItWasTyped) {
    // Fields with leading zeros are decimal: all of these go to Bob at 127.0.0.2, whose answers
    // come from "127.0.0.2".
    for (const QString& typed : {QStringLiteral("127.000.0.002"), QStringLiteral("127.0.0.02"),
                                 QStringLiteral("bobs-pc")}) {
        SCOPED_TRACE(typed.toStdString());
        alice_->terminalCalls().clear();
        Script script;
        script.When("Bob rings", BobRings(), [this] { SendFrom(B(), "127.0.0.1", "Bob is away"); })
            .When(
                "Bob's refusal shown",
                [this] { return alice_->dialog().Label1->text() == "Bob is away"; },
                [this] { B().btnCall->click(); });
        ASSERT_TRUE(AliceCalls(script, typed)) << script.failure().toStdString();
        EXPECT_PHASE(*alice_, kInCallPlaced);
        EXPECT_EQ(alice_->terminalCalls(), StartCalls("127.0.0.2"));
        A().btnEnd->click();
        B().btnEnd->click();
    }
}

TEST_F(CallStates, OnlyTheCalledPeerPutsItsWordsIntoTheCallingDialog) {
    const QByteArray forged = "Refused. Call +1 555 0100 now";
    Script script;
    script
        .When(
            "Bob rings, his handler done",
            [this] { return BobRings()() && bob_->handled.contains("Calling|Alice"); },
            [&] {
                carol_->Send("127.0.0.1", forged);
                // Alice is busy: her reply shows that she has handled Carol's text.
                carol_->Send("127.0.0.1", "Calling|Carol");
                EXPECT_EQ(carol_->Next(), "Alice is away");
                EXPECT_PHASE(*alice_, kPlacing);
                SendFrom(B(), "127.0.0.1", "Bob is away");
            })
        .When(
            "Bob's refusal shown",
            [this] { return alice_->dialog().Label1->text() == "Bob is away"; },
            [&] {
                EXPECT_PHASE(*alice_, kRefused);
                carol_->Send("127.0.0.1", forged);
                EXPECT_TRUE(QTest::qWaitFor([&] { return alice_->handled.count(forged) == 2; }));
                EXPECT_EQ(alice_->dialog().Label1->text(), "Bob is away");
                alice_->dialog().btnCancel->click();
            });
    ASSERT_TRUE(AliceCalls(script)) << script.failure().toStdString();

    // No call placed: not even the last peer called changes the dialog.
    SendFrom(B(), "127.0.0.1", "Bob is back");
    EXPECT_TRUE(QTest::qWaitFor([&] { return alice_->handled.contains("Bob is back"); }));
    EXPECT_EQ(alice_->dialog().Label1->text(), "Bob is away");
}

TEST_F(CallStates, BusyRepliesToOneAddressGoAtMostOnceASecond) {
    const auto now_ms = std::make_shared<qint64>(0);
    A().Session().setReplyLimiter(call::ReplyLimiter([now_ms] { return *now_ms; }));
    ASSERT_TRUE(EstablishCall());
    for (int i = 0; i < 5; ++i)
        carol_->Send("127.0.0.1", "Calling|Carol");
    EXPECT_EQ(carol_->Next(), "Alice is away");
    ASSERT_TRUE(QTest::qWaitFor([&] { return alice_->handled.count("Calling|Carol") == 5; }));
    EXPECT_EQ(carol_->Next(300), std::nullopt);
    EXPECT_PHASE(*alice_, kInCallPlaced);

    *now_ms += call::ReplyLimiter::kWindow_ms;
    carol_->Send("127.0.0.1", "Calling|Carol");
    EXPECT_EQ(carol_->Next(), "Alice is away");
}

TEST_F(CallStates, CallRingsOutAndIsStillAnsweredAfterwards) {
    B().Settings.RingTime = 200;
    Script script;
    script.When("Bob rings", BobRings(), [] {})
        .When(
            "Bob's message shown",
            [this] { return alice_->dialog().Label1->text() == "Bob is away"; },
            [this] {
                EXPECT_PHASE(*alice_, kRefused);
                EXPECT_PHASE(*bob_, kRingTimeOver);
                EXPECT_FALSE(B().Timer1.isActive());
                EXPECT_EQ(B().lblCallerID->text(), "");
                EXPECT_EQ(bob_->toneOperations().last(), "stop 1");
                // Still ringing: the call button answers the caller, whose dialog
                // still shows the message.
                B().btnCall->click();
            });
    ASSERT_TRUE(AliceCalls(script)) << script.failure().toStdString();
    EXPECT_PHASE(*alice_, kInCallPlaced);
    EXPECT_PHASE(*bob_, kInCallAnswered);
}

TEST_F(CallStates, CancelAfterTheMessageStopsTheRingingOnBothSides) {
    B().Settings.RingTime = 200;
    Script script;
    script.When("Bob rings", BobRings(), [] {})
        .When(
            "Bob's message shown",
            [this] { return alice_->dialog().Label1->text() == "Bob is away"; },
            [this] { alice_->dialog().btnCancel->click(); })
        .When(
            "Bob stops ringing", [this] { return !B().Ringing(); }, [] {});
    ASSERT_TRUE(AliceCalls(script)) << script.failure().toStdString();
    EXPECT_PHASE(*alice_, kIdle);
    EXPECT_PHASE(*bob_, kIdle);
    EXPECT_EQ(bob_->toneOperations().last(), "close 1");
    EXPECT_FALSE(alice_->dialog().RxDice1->Rotate());
}

TEST_F(CallStates, CancelWhileRingingCountsOnlyFromTheAddressInTheHostField) {
    Script script;
    script
        .When("Bob rings", BobRings(),
              [this] {
                  carol_->Send("127.0.0.2", "Cancel");
                  carol_->Send("127.0.0.2", "barrier");
              })
        .When(
            "Carol's Cancel handled", [this] { return bob_->handled.contains("barrier"); },
            [this] {
                EXPECT_PHASE(*bob_, kRinging);
                EXPECT_TRUE(B().Timer1.isActive());
                alice_->dialog().btnCancel->click();
            })
        .When(
            "Bob stops ringing", [this] { return !B().Ringing(); }, [] {});
    ASSERT_TRUE(AliceCalls(script)) << script.failure().toStdString();
    EXPECT_PHASE(*alice_, kIdle);
    EXPECT_PHASE(*bob_, kIdle);
    EXPECT_FALSE(B().Timer1.isActive());
    EXPECT_EQ(B().lblCallerID->text(), "");
}

TEST_F(CallStates, SecondRequestWhileRingingReplacesCallerAndToneButNotTheRingTime) {
    B().Settings.RingTime = 5000;
    Script script;
    script
        .When(
            "Bob rings for a while",
            // Beyond the slack of a coarse timer, which may fire up to 5 % early.
            [this] {
                return B().Ringing() && B().Timer1.isActive() && B().Timer1.remainingTime() < 4700;
            },
            [this] {
                bob_->toneOperations().clear();
                carol_->Send("127.0.0.2", "Calling|Carol");
            })
        .When(
            "Carol's request handled", [this] { return B().edtHostName->text() == "127.0.0.3"; },
            [this] {
                EXPECT_EQ(B().lblCallerID->text(), "Carol calling...");
                EXPECT_EQ(bob_->toneOperations(),
                          QStringList({"close 1", "open ring.wav", "status 2", "play 2"}));
                EXPECT_TRUE(B().Timer1.isActive());
                EXPECT_LT(B().Timer1.remainingTime(), 4700);
                alice_->dialog().btnCancel->click();
            });
    ASSERT_TRUE(AliceCalls(script)) << script.failure().toStdString();
    // Alice's Cancel does not come from the host field's address any more.
    Barrier(A(), "127.0.0.2", *bob_);
    EXPECT_TRUE(B().Ringing());
}

TEST_F(CallStates, BothSidesCallingAtOnceEachGetTheOthersMessage) {
    // Alice holds Bob's request until she has pressed her own call button too.
    QList<QByteArray> held;
    const net::TUDPReadEvent handler = A().UDPServer.OnUDPRead;
    A().UDPServer.OnUDPRead = [&](net::TIdUDPServer&, const QByteArray& data,
                                  net::TIdSocketHandle&) { held << data; };
    B().edtHostName->setText("alices-pc");
    A().edtHostName->setText("bobs-pc");

    Script script;
    script
        .When(
            "Bob's request held", [&] { return !held.isEmpty(); }, [this] { A().btnCall->click(); })
        .When(
            "Alice calls too", [this] { return alice_->dialog().isVisible(); },
            [&] {
                // Bob's busy reply is held too: restoring the handler first would let it
                // slip past the replay when it comes late.
                EXPECT_TRUE(QTest::qWaitFor([&] { return held.size() == 2; }));
                A().UDPServer.OnUDPRead = handler;
                net::TIdSocketHandle fromBob;
                fromBob.SenderIP = "127.0.0.2";
                for (const QByteArray& data : held)
                    A().UDPServerUDPRead(A().UDPServer, data, fromBob);
            })
        .When(
            "both refused",
            [this] {
                return alice_->dialog().Label1->text() == "Bob is away" &&
                       bob_->dialog().Label1->text() == "Alice is away";
            },
            [this] {
                EXPECT_PHASE(*alice_, kRefused);
                EXPECT_PHASE(*bob_, kRefused);
                alice_->dialog().btnCancel->click();
            })
        .When(
            "Alice idle", [this] { return !A().Busy(); },
            [this] { bob_->dialog().btnCancel->click(); });
    ASSERT_TRUE(script.Run([this] { B().btnCall->click(); })) << script.failure().toStdString();
    EXPECT_PHASE(*alice_, kIdle);
    EXPECT_PHASE(*bob_, kIdle);
}

TEST_F(CallStates, FailedRequestShowsTheErrorAndLeavesThisSideIdle) {
    {
        ModalWatcher watcher;
        A().btnCall->click(); // the host field still holds its placeholder
        EXPECT_EQ(watcher.box().title, "Information");
        EXPECT_EQ(watcher.box().text, "Please enter Host Name or IP Address First.");
        EXPECT_PHASE(*alice_, kIdle);
        EXPECT_EQ(A().focusWidget(), A().edtHostName);
    }
    A().edtHostName->setText("nowhere-pc");
    A().btnHostName->setFocus();
    {
        ModalWatcher watcher;
        A().btnCall->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.box().seen; }));
        EXPECT_EQ(watcher.box().title, "Error");
        EXPECT_EQ(watcher.box().icon, QMessageBox::Critical);
        EXPECT_EQ(watcher.box().text, "Socket Error # 11001\r\n");
    }
    EXPECT_PHASE(*alice_, kIdle);
    EXPECT_EQ(A().focusWidget(), A().edtHostName);
    EXPECT_FALSE(alice_->dialog().RxDice1->Rotate());

    carol_->Send("127.0.0.1", "Calling|Carol");
    EXPECT_TRUE(QTest::qWaitFor([this] { return A().Ringing(); }));
    EXPECT_EQ(A().lblCallerID->text(), "Carol calling...");
}

TEST_F(CallStates, OddRequestsRingAsTheyAreClassified) {
    struct Case {
        QByteArray payload;
        QString label;
    };
    const Case cases[] = {
        {"Calling|", " calling..."},
        {"Calling", " calling..."},
        {"Away | back at three", "ack at three calling..."}, // a bar anywhere rings
        {"Calling|<b>Carol</b>", "<b>Carol</b> calling..."},
        {"Calling|Zo\xc3\xab", "Zoë calling..."},
        {"Calling|Zo\xeb \x80", "Zoë € calling..."}, // not UTF-8: a Windows peer's code page
    };
    EXPECT_EQ(B().lblCallerID->textFormat(), Qt::PlainText);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.payload.toStdString());
        carol_->Send("127.0.0.2", c.payload);
        EXPECT_TRUE(QTest::qWaitFor([&] { return B().Ringing(); }));
        EXPECT_EQ(B().lblCallerID->text(), c.label);
        carol_->Send("127.0.0.2", "Cancel");
        EXPECT_TRUE(QTest::qWaitFor([&] { return !B().Ringing(); }));
    }
    EXPECT_EQ(bob_->dialog().Label1->textFormat(), Qt::PlainText);
}

TEST_F(CallStates, RingAlertWithoutToneWithAFailingToneAndWithoutRingTime) {
    B().Settings.RingTone.clear();
    B().Settings.RingTime = 0;
    carol_->Send("127.0.0.2", "Calling|Carol");
    ASSERT_TRUE(QTest::qWaitFor([this] { return B().Ringing(); }));
    EXPECT_TRUE(bob_->toneOperations().isEmpty());
    // A ring time of 0 never runs out.
    EXPECT_FALSE(B().Timer1.isActive());
    carol_->Send("127.0.0.2", "Cancel");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !B().Ringing(); }));

    // A tone that cannot be opened is told on the status line; the call rings and is answered.
    B().Settings.RingTone = "broken.wav";
    B().Settings.RingTime = 10000;
    bob_->device->openFailures.insert("broken.wav", 277);
    carol_->Send("127.0.0.2", "Calling|Carol");
    ASSERT_TRUE(QTest::qWaitFor([this] { return B().Ringing(); }));
    EXPECT_EQ(B().lblCallerID->text(), "Carol calling...");
    EXPECT_TRUE(B().lblVideoArea->text().startsWith("Ring tone unavailable: "));
    EXPECT_TRUE(B().Timer1.isActive());
    B().btnCall->click();
    EXPECT_EQ(carol_->Next(), "Accept");
    EXPECT_PHASE(*bob_, kInCallAnswered);
}

// A name server that takes its time holds up nothing: datagrams are handled meanwhile, Cancel
// ends the call at once, and the answer that comes afterwards places no call.
TEST_F(CallStates, ASlowLookupFreezesNothingAndCancelStillWorks) {
    alice_->resolver->delay_ms = 300;
    const int answered = alice_->resolver->answered;
    A().edtHostName->setText("bobs-pc");
    A().btnCall->click();
    EXPECT_PHASE(*alice_, kPlacing);
    carol_->Send("127.0.0.1", "Calling|Carol");
    EXPECT_EQ(carol_->Next(), "Alice is away");
    EXPECT_EQ(alice_->resolver->answered, answered);
    alice_->dialog().btnCancel->click();
    EXPECT_PHASE(*alice_, kIdle);
    ASSERT_TRUE(QTest::qWaitFor([&] { return alice_->resolver->answered == answered + 1; }));
    Barrier(A(), "127.0.0.2", *bob_);
    EXPECT_PHASE(*alice_, kIdle);
    EXPECT_PHASE(*bob_, kIdle);
}

TEST_F(CallStates, AnEmptyMessageIsNeverSent) {
    // Bob's replies to Carol come closer together than the reply limit allows; his clock is
    // moved on between them.
    const auto skew = std::make_shared<qint64>(0);
    B().Session().setReplyLimiter(call::ReplyLimiter([skew] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
                   .count() +
               *skew;
    }));
    B().Settings.Message.clear();
    B().Settings.RingTime = 100;
    carol_->Send("127.0.0.2", "Calling|Carol");
    ASSERT_TRUE(QTest::qWaitFor([this] {
        return B().Ringing() && B().btnCall->isEnabled() && !B().Timer1.isActive() &&
               B().lblCallerID->text().isEmpty();
    }));
    // The next datagram Carol gets is the one sent once there is a message again.
    B().Settings.Message = "Bob is away";
    carol_->Send("127.0.0.2", "Calling|Carol");
    EXPECT_EQ(carol_->Next(), "Bob is away");
    carol_->Send("127.0.0.2", "Cancel");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !B().Ringing(); }));

    // The busy reply, likewise.
    *skew += call::ReplyLimiter::kWindow_ms;
    B().edtHostName->setText("carols-pc");
    Script script;
    script.When(
        "Bob calls Carol", [this] { return bob_->dialog().isVisible(); },
        [this] {
            EXPECT_EQ(carol_->Next(), "Calling|Bob");
            B().Settings.Message.clear();
            carol_->Send("127.0.0.2", "Calling|Carol");
            carol_->Send("127.0.0.2", "barrier");
            EXPECT_TRUE(
                QTest::qWaitFor([this] { return bob_->dialog().Label1->text() == "barrier"; }));
            B().Settings.Message = "Bob is busy";
            carol_->Send("127.0.0.2", "Calling|Carol");
            EXPECT_EQ(carol_->Next(), "Bob is busy");
            bob_->dialog().btnCancel->click();
        });
    ASSERT_TRUE(script.Run([this] { B().btnCall->click(); })) << script.failure().toStdString();
    EXPECT_EQ(carol_->Next(), "Cancel");
}
