// Saved settings reach the main window's next calls at once, without a restart.
#include "app/TfrmMain.h"
#include "call/SignalMessage.h"
#include "call/TfrmCalling.h"
#include "call/TfrmSettings.h"
#include "tests/app/MainWindowFixture.h"
#include "widgets/FlatButton.h"
#include "widgets/LimitedLineEdit.h"
#include "widgets/SpinEdit.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>

namespace vocalyn {
namespace {

// The peer's signalling socket, on a loopback address of its own.
class PeerSocket {
public:
    PeerSocket(const char* address, int port) : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
        ::fcntl(fd_, F_SETFL, O_NONBLOCK);
        const sockaddr_in local = Address(address, port);
        bound_ = ::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    }
    ~PeerSocket() { ::close(fd_); }
    PeerSocket(const PeerSocket&) = delete;
    PeerSocket& operator=(const PeerSocket&) = delete;

    bool bound() const { return bound_; }

    std::optional<QByteArray> Receive() {
        char buffer[2048];
        const ssize_t size = ::recv(fd_, buffer, sizeof buffer, 0);
        if (size < 0)
            return std::nullopt;
        return QByteArray(buffer, size);
    }

    void SendTo(const char* address, int port, const QByteArray& payload) {
        const sockaddr_in to = Address(address, port);
        ::sendto(fd_, payload.constData(), payload.size(), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

private:
    static sockaddr_in Address(const char* address, int port) {
        sockaddr_in result{};
        result.sin_family = AF_INET;
        result.sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, address, &result.sin_addr);
        return result;
    }

    int fd_;
    bool bound_ = false;
};

class SettingsEffectTest : public test::MainWindowFixture {
protected:
    void SetUp() override {
        MainWindowFixture::SetUp();
        // The window and the peer each have a loopback address of their own, on the same port.
        platform.bindAddress = QStringLiteral("127.0.0.1");
    }

    // Saves through the dialog's own button, as a user would.
    static void SaveThroughDialog(call::TfrmSettings& settings, const QString& ringTone,
                                  const QString& ringTime_s, const QString& callerID) {
        settings.show();
        settings.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&settings));
        settings.edtRingTone->setText(ringTone);
        settings.sedRingTime->setText(ringTime_s);
        settings.edtCallerID->setText(callerID);
        QTest::mouseClick(settings.btnSave, Qt::LeftButton);
        ASSERT_FALSE(settings.isVisible());
    }
};

TEST_F(SettingsEffectTest, NextCallsUseTheSavedCallerIDRingTimeAndRingTone) {
    TfrmMain& w = CreateWindow();
    call::TfrmCalling calling(&w);
    w.SetCallingDialog(calling);
    call::TfrmSettings settings(platform.dataDir, w.Settings, &w);
    ShowWindow();
    PeerSocket peer("127.0.0.2", platform.signallingPort);
    ASSERT_TRUE(peer.bound());

    SaveThroughDialog(settings, QStringLiteral("/tones/bell.wav"), QStringLiteral("7"),
                      QStringLiteral("Reception"));

    // Outgoing: the request carries the new caller ID.
    std::optional<QByteArray> request;
    w.edtHostName->setText(QStringLiteral("127.0.0.2"));
    QTest::mouseClick(w.btnCall, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return (request = peer.Receive()).has_value(); }, 5000));
    EXPECT_EQ(*request, call::CallRequestPayload("Reception"));
    calling.btnCancel->click();

    // Incoming: the ring timer runs for the new ring time and the new tone plays.
    auto* device = static_cast<fakes::FakeMediaDevice*>(platform.mediaDevice.get());
    peer.SendTo("127.0.0.1", platform.signallingPort, call::CallRequestPayload("Peer"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Ringing(); }, 5000));
    EXPECT_TRUE(w.Timer1.isActive());
    EXPECT_EQ(w.Timer1.interval(), 7000);
    EXPECT_TRUE(device->operations.contains(QStringLiteral("open /tones/bell.wav")))
        << device->operations.join(QStringLiteral(", ")).toStdString();
}

} // namespace
} // namespace vocalyn
