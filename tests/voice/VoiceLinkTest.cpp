#include "base/Error.h"
#include "tests/fakes/RecordingMediaTerm.h"
#include "voice/TCCNMediaTerm.h"
#include "voice/TVOIPMedia.h"
#include "voice/TfrmCCN.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace vocalyn::voice {
namespace {

using fakes::RecordingMediaTerm;

// Distinct ports, so that a swapped pair shows.
constexpr int kRemotePort = 8501;
constexpr int kLocalPort = 8502;

const QStringList kConfigure = {
    "SetupSender(4, 20, 0, 1, 1, 0)",
    "SetSendTarget(peer.example, 8501)",
    "SetupReceiver(4, 20, 0, 0)",
    "SetReceivePort(8502)",
};

class VoiceLinkTest : public ::testing::Test {
protected:
    std::shared_ptr<RecordingMediaTerm> terminal_ = std::make_shared<RecordingMediaTerm>();
    int connections_ = 0;
    TCCNMediaTerm ccn_{[this] {
        ++connections_;
        return terminal_;
    }};

    std::unique_ptr<TVOIPMedia> StartedLink() {
        auto link = std::make_unique<TVOIPMedia>(ccn_);
        link->SetRemotePort(kRemotePort);
        link->SetLocalPort(kLocalPort);
        link->SetRemoteHost("peer.example"); // a name: the link passes it on, unresolved
        link->Start();
        return link;
    }
};

TEST_F(VoiceLinkTest, CreateAndStartDriveTheTerminalInOrder) {
    auto link = StartedLink();
    EXPECT_EQ(terminal_->calls,
              QStringList({"InitTerminal()", "InitTerminal()"}) + kConfigure +
                  QStringList({"StartReceiving(0)", "StartSending(0)", "ReceiverControl(0, 80)",
                               "SenderControl(0, 80)"}));
    EXPECT_FALSE(link->IsMuted());
}

TEST_F(VoiceLinkTest, MuteTwiceStopsThenReconfiguresAndResumesSendingOnly) {
    auto link = StartedLink();
    terminal_->calls.clear();

    link->ToggleMute();
    EXPECT_EQ(terminal_->calls, QStringList({"StopSending()"}));
    EXPECT_TRUE(link->IsMuted());

    terminal_->calls.clear();
    link->ToggleMute();
    EXPECT_EQ(terminal_->calls, kConfigure + QStringList({"StartSending(0)"}));
    EXPECT_FALSE(link->IsMuted());
}

TEST_F(VoiceLinkTest, EndingAMutedCallStopsAndShutsDownTheTerminal) {
    auto link = StartedLink();
    link->ToggleMute();
    terminal_->calls.clear();

    link->Stop();
    EXPECT_EQ(terminal_->calls, QStringList({"StopReceiving()", "StopSending()"}));

    terminal_->calls.clear();
    link.reset();
    EXPECT_EQ(terminal_->calls, QStringList({"StopReceiving()", "StopSending()", "StopReceiving()",
                                             "StopSending()", "ExitTerminal()", "ExitTerminal()"}));
    // Both references given up: only the component and this test still hold the terminal.
    EXPECT_EQ(terminal_.use_count(), 2);
}

TEST_F(VoiceLinkTest, ASecondCallReusesTheConnectedTerminal) {
    StartedLink().reset();
    terminal_->calls.clear();

    auto second = StartedLink();
    EXPECT_EQ(connections_, 1);
    EXPECT_EQ(terminal_->calls.mid(0, 2), QStringList({"InitTerminal()", "InitTerminal()"}));
}

TEST(VoiceLinkCreation, ConnectionFailuresReachTheCallerAndAreRetried) {
    auto terminal = std::make_shared<RecordingMediaTerm>();
    int attempt = 0;
    TCCNMediaTerm ccn([&]() -> std::shared_ptr<ICCNMediaTerm> {
        switch (++attempt) {
        case 1:
            throw Error("Class not registered");
        case 2:
            return nullptr;
        default:
            return terminal;
        }
    });

    try {
        TVOIPMedia link(ccn);
        FAIL() << "created without a terminal";
    } catch (const Error& error) {
        EXPECT_EQ(error.message(), "Class not registered");
    }
    try {
        TVOIPMedia link(ccn);
        FAIL() << "created without a terminal";
    } catch (const Error& error) {
        EXPECT_EQ(error.message(), "Interface not supported");
    }
    EXPECT_FALSE(ccn.Connected());

    TVOIPMedia link(ccn);
    EXPECT_TRUE(ccn.Connected());
    EXPECT_EQ(terminal->calls, QStringList({"InitTerminal()", "InitTerminal()"}));
}

TEST(TfrmCCN, HiddenHostThatConnectsOnFirstUseAndForwardsStatus) {
    auto terminal = std::make_shared<RecordingMediaTerm>();
    int connections = 0;
    TfrmCCN form([&] {
        ++connections;
        return terminal;
    });
    EXPECT_EQ(form.windowTitle(), "CCN");
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(connections, 0);
    QSignalSpy status(form.ccn, &TCCNMediaTerm::statusChanged);

    EXPECT_EQ(form.ccn->DefaultInterface(), terminal);
    EXPECT_EQ(form.ccn->DefaultInterface(), terminal);
    EXPECT_EQ(connections, 1);

    terminal->setStatus("Microphone: no device");
    ASSERT_EQ(status.count(), 1);
    EXPECT_EQ(status.at(0).at(0).toString(), "Microphone: no device");
    EXPECT_EQ(form.ccn->statusText(), "Microphone: no device");
}

} // namespace
} // namespace vocalyn::voice
