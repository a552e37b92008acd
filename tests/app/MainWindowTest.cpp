// The main window through its real controls, on substitutes.
#include "tests/app/MainWindowFixture.h"

#include "base/AppInfo.h"
#include "base/Error.h"
#include "call/TfrmCalling.h"
#include "call/TfrmSettings.h"
#include "call/gst/GstMediaDevice.h"
#include "directory/TfrmAddressList.h"
#include "tests/support/ModalWatcher.h"
#include "widgets/CaptionPanel.h"
#include "widgets/ErrorReport.h"
#include "widgets/FlatButton.h"
#include "widgets/LimitedLineEdit.h"
#include "widgets/RoundRegion.h"
#include "widgets/RoundedPanel.h"
#include "widgets/SpinEdit.h"

#include <QAccessible>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

using namespace vocalyn;
using vocalyn::test::MainWindowFixture;
using vocalyn::test::ModalWatcher;

namespace {

void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

// Sends one datagram to a local port, as a peer on this machine would.
void SendTo(int port, const QByteArray& payload) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto sent = ::sendto(fd, payload.constData(), static_cast<size_t>(payload.size()), 0,
                               reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::close(fd);
    ASSERT_EQ(sent, payload.size());
}

} // namespace

TEST_F(MainWindowFixture, ControlsStartWithTheirCaptionsHintsPlacesAndStates) {
    TfrmMain& w = CreateWindow();
    EXPECT_EQ(w.windowTitle(), kApplicationTitle);
    EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(w.size(), QSize(658, 682));

    struct Row {
        QWidget* control;
        QRect geometry;
        QString hint;
        bool enabled;
    };
    const Row rows[] = {
        {w.Image1, {9, 34, 640, 480}, {}, true},
        {w.lblCallerID, {104, 10, 481, 17}, {}, true},
        {w.btnHelp, {587, 9, 23, 22}, "Help...", true},
        {w.SpeedButton1, {619, 9, 23, 22}, "Minimize Window", true},
        {w.btnMute, {16, 525, 97, 60}, "Microphone Mute", false},
        {w.btnCall, {129, 525, 97, 60}, "Call / Answer Phone", true},
        {w.pnlVideoArea, {242, 524, 176, 144}, {}, true},
        {w.btnEnd, {434, 525, 97, 60}, "End Call", false},
        {w.btnSnapShot, {546, 525, 97, 60}, "Clipboard SnapShot", true},
        {w.edtHostName, {16, 596, 169, 24}, {}, true},
        {w.btnHostName, {197, 596, 28, 24}, {}, true},
        {w.lblIPAddress, {488, 599, 129, 18}, {}, true},
        {w.btnSettings, {16, 633, 97, 35}, "Control Settings...", true},
        {w.btnExit, {546, 633, 97, 35}, "Exit Vocalyn", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.control->metaObject()->className());
        EXPECT_EQ(row.control->geometry(), row.geometry);
        EXPECT_EQ(row.control->toolTip(), row.hint);
        EXPECT_EQ(row.control->isEnabled(), row.enabled);
    }
    EXPECT_EQ(w.dxToolButton3->toolTip(), "Refresh IP Address");
    EXPECT_EQ(w.dxToolButton3->pos(), QPoint(619, 601));
    EXPECT_EQ(w.Label10->pos(), QPoint(434, 599));
    EXPECT_EQ(w.lblHostName->pos(), QPoint(434, 639));
    EXPECT_EQ(w.lblVideoArea->pos(), QPoint(112, 10));

    EXPECT_EQ(w.lblCallerID->text(), "Caller ID");
    EXPECT_EQ(w.lblVideoArea->text(), "lblVideoArea");
    EXPECT_EQ(w.btnHelp->text(), "?");
    EXPECT_EQ(w.SpeedButton1->text(), "_");
    EXPECT_EQ(w.pnlVideoArea->caption(), "Client/Host Video");
    EXPECT_EQ(w.edtHostName->text(), "Host Name or IP Address");
    EXPECT_EQ(w.btnHostName->text(), "...");
    EXPECT_EQ(w.Label10->text(), "Local IP:");
    EXPECT_EQ(w.lblHostName->text(), "Host Name");
    // Until the first activation the address label keeps its design text.
    EXPECT_EQ(w.lblIPAddress->text(), "255.255.255.255");
    EXPECT_FALSE(w.Image1->pixmap().isNull());
    EXPECT_EQ(w.Image1->pixmap().size(), QSize(640, 480));

    // Network text in the caller-ID line is never rich text.
    EXPECT_EQ(w.lblCallerID->textFormat(), Qt::PlainText);

    // The status line is painted over the caller-ID line where they meet.
    const QObjectList& children = w.RbPanel1->children();
    EXPECT_GT(children.indexOf(w.lblVideoArea), children.indexOf(w.lblCallerID));

    EXPECT_EQ(w.mask(), RoundRectRegion(1, 1, 658, 682, 40, 40));
    EXPECT_FALSE(w.mask().contains(QPoint(0, 300)));
    EXPECT_FALSE(w.mask().contains(QPoint(300, 0)));
}

// A screen reader can speak every control that takes the focus, in the main window and its
// dialogs (not "?" or an empty picture's name); fields take their labels' names, the window is a
// frame, and Mute is a toggle, checked exactly while it shows its "*".
TEST_F(MainWindowFixture, ScreenReadersGetANameRoleAndToggleStateForEachControl) {
    TfrmMain& w = ShowWindow();
    QFile(platform.dataDir + "IPAddress.dat").open(QIODevice::WriteOnly);
    call::TfrmSettings settings(platform.dataDir, w.Settings, &w);
    call::TfrmCalling calling(&w);
    directory::TfrmAddressList book(platform.dataDir, *w.edtHostName, &w);
    // The dialogs are the window's children; a field's inner editor leaves the focus to it.
    for (QWidget* control : w.findChildren<QWidget*>())
        if (control->focusPolicy() != Qt::NoFocus && !control->focusProxy()) {
            const QString name =
                QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name);
            EXPECT_TRUE(name.contains(QRegularExpression("\\w\\w"))) << name.toStdString();
        }
    using A = QAccessible;
    struct Row {
        QObject* control;
        QString name;
        QAccessible::Role role;
    };
    const Row rows[] = {{&w, kApplicationTitle, A::Window},
                        {w.btnMute, "Mute microphone", A::CheckBox},
                        {settings.edtRingTone, "Ring Tone", A::EditableText},
                        {settings.sedRingTime, "Ring Time (sec)", A::SpinBox},
                        {&book, "Address book", A::Dialog},
                        {book.edtIPAdd, "I.P. Address or Host Name", A::EditableText},
                        {book.ListBox1, "Addresses", A::List}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.toStdString());
        QAccessibleInterface* control = QAccessible::queryAccessibleInterface(row.control);
        EXPECT_EQ(control->text(A::Name), row.name);
        EXPECT_EQ(control->role(), row.role);
    }
    QAccessibleInterface* mute = QAccessible::queryAccessibleInterface(w.btnMute);
    for (const bool muted : {true, false}) {
        w.btnMute->setText(muted ? "*" : "");
        EXPECT_EQ(mute->state().checked, muted);
    }
}

// The host field has the focus first; Enter there presses Call (which asks for an address);
// F1, and Enter or Space on a picture button, open the help; Escape still does nothing.
TEST_F(MainWindowFixture, KeysPressTheButtonsTheyStandFor) {
    TfrmMain& w = ShowWindow();
    // Keys reach only an active window; a compositor without a keyboard activates none.
    if (!QTest::qWaitFor([&] { return w.isActiveWindow(); }, 2000))
        GTEST_SKIP() << "no window is given the keyboard here";
    EXPECT_EQ(QApplication::focusWidget(), w.edtHostName);
    const QString ask = "Please enter Host Name or IP Address First.", help = TfrmMain::HelpText();
    struct Row {
        QWidget* focus;
        Qt::Key key;
        QString box;
    };
    const Row rows[] = {{w.edtHostName, Qt::Key_Return, ask}, {w.edtHostName, Qt::Key_Enter, ask},
                        {w.edtHostName, Qt::Key_F1, help},    {w.btnSnapShot, Qt::Key_F1, help},
                        {w.btnHelp, Qt::Key_Return, help},    {w.btnHelp, Qt::Key_Space, help},
                        {w.edtHostName, Qt::Key_Escape, {}},  {w.btnHelp, Qt::Key_Escape, {}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(QTest::toString(row.key));
        w.activateWindow(); // as a desktop does after a message box
        ASSERT_TRUE(QTest::qWaitFor([&] { return w.isActiveWindow(); }));
        row.focus->setFocus();
        ModalWatcher watcher;
        QTest::keyClick(row.focus, row.key);
        EXPECT_EQ(watcher.box().seen ? watcher.box().text : QString(), row.box);
        EXPECT_TRUE(w.isVisible());
    }
}

// A long status text runs into the caller-ID line; it covers it, the two never mix letters.
TEST_F(MainWindowFixture, ALongStatusCoversTheCallerIDLineWhereTheyMeet) {
    TfrmMain& w = CreateWindow();
    w.SetVideoStatus(QStringLiteral("Connected to Fake camera 0"));
    w.lblCallerID->setText(QStringLiteral("The front desk on the second floor calling..."));
    ASSERT_TRUE(w.lblVideoArea->geometry().intersects(w.lblCallerID->geometry()));
    const QImage picture = w.RbPanel1->grab().toImage();
    const QRect overlap = w.lblVideoArea->geometry() & w.lblCallerID->geometry();
    int limePixels = 0;
    for (int y = overlap.top(); y <= overlap.bottom(); ++y)
        for (int x = overlap.left(); x <= overlap.right(); ++x) {
            const QColor pixel = picture.pixelColor(x, y);
            // The caller ID's lime, also where antialiasing mixes it with black.
            limePixels += pixel.green() > 100 && pixel.red() < pixel.green() / 2;
        }
    EXPECT_EQ(limePixels, 0);
    // Where the status line ends, the caller ID shows again.
    const QRect rest(w.lblVideoArea->geometry().right() + 1, w.lblCallerID->y(),
                     w.lblCallerID->geometry().right() - w.lblVideoArea->geometry().right(),
                     w.lblCallerID->height());
    int restLime = 0;
    for (int y = rest.top(); y <= rest.bottom(); ++y)
        for (int x = rest.left(); x <= rest.right(); ++x)
            restLime += picture.pixelColor(x, y) == QColor(0, 255, 0);
    EXPECT_GT(restLime, 0);
}

TEST_F(MainWindowFixture, ActivationShowsLocalAddressLoadsDefaultsAndOpensSignalling) {
    TfrmMain& w = ShowWindow();
    EXPECT_EQ(w.lblHostName->text(), "deskhost");
    // The last address of the lookup, in the resolver's order.
    EXPECT_EQ(w.lblIPAddress->text(), "198.18.0.2");
    EXPECT_EQ(w.Settings.RingTone, "");
    EXPECT_EQ(w.Settings.RingTime, 10000);
    EXPECT_EQ(w.Settings.Message, "Unanswered");
    EXPECT_EQ(w.Settings.CallerID, "198.18.0.2");
    EXPECT_TRUE(w.UDPServer.Active());
    EXPECT_FALSE(w.Busy() || w.Ringing() || w.MicMuted());
}

TEST_F(MainWindowFixture, ActivationRunsOnceAndModalBoxesDoNotRepeatIt) {
    WriteSettings("[Settings]\r\nRingTime=7\r\n");
    TfrmMain& w = ShowWindow();
    const qsizetype lookups = resolver->lookups.size();
    SendTo(platform.signallingPort, "Calling|Front desk");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Ringing(); }, 5000));
    // A hand edit while running takes effect only at the next start.
    WriteSettings("[Settings]\r\nRingTime=9\r\n");
    {
        ModalWatcher watcher;
        Click(w.btnHelp);
        ASSERT_TRUE(watcher.box().seen);
        EXPECT_EQ(watcher.box().title, "Information");
        EXPECT_EQ(watcher.box().icon, QMessageBox::Information);
        EXPECT_EQ(watcher.box().text, TfrmMain::HelpText());
    }
    w.activateWindow();
    QCoreApplication::processEvents();
    EXPECT_EQ(resolver->lookups.size(), lookups);
    EXPECT_TRUE(w.Ringing());
    EXPECT_EQ(w.Settings.RingTime, 7000);
}

TEST_F(MainWindowFixture, BadRingTimeIsReportedAndCallsStillRingForTheDefaultTime) {
    WriteSettings("[Settings]\r\nRingTone=ring.wav\r\nRingTime=7s\r\nMessage=Busy now\r\n");
    CreateWindow();
    ModalWatcher watcher;
    TfrmMain& w = ShowWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.box().seen; }, 5000));
    EXPECT_EQ(watcher.box().title, kApplicationTitle);
    EXPECT_EQ(watcher.box().icon, QMessageBox::Critical);
    EXPECT_EQ(watcher.box().text, "'7s' is not a valid integer value.");
    EXPECT_TRUE(w.UDPServer.Active());
    EXPECT_EQ(w.Settings.RingTone, "ring.wav");
    EXPECT_EQ(w.Settings.RingTime, 10000);
    EXPECT_EQ(w.Settings.Message, "Busy now");
}

// A port another program holds is reported in the endpoint's own words; the camera side and
// the other listener go on.
TEST_F(MainWindowFixture, APortInUseIsReported) {
    for (const bool video : {false, true}) {
        SCOPED_TRACE(video ? "video port" : "signalling port");
        window.reset();
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port =
            htons(static_cast<uint16_t>(video ? platform.videoPort : platform.signallingPort));
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        CreateWindow();
        ModalWatcher watcher;
        TfrmMain& w = ShowWindow();
        ASSERT_TRUE(QTest::qWaitFor([&] { return watcher.box().seen; }, 5000));
        ::close(fd);
        EXPECT_EQ(watcher.box().text,
                  "Could not bind socket. Address and port are already in use.");
        EXPECT_EQ(w.UDPServer.Active(), video);
        EXPECT_EQ(w.UDPServer1.Active(), !video);
        EXPECT_EQ(w.VideoStarted, !video);
        EXPECT_TRUE(camera->window() && camera->window()->previewing());
    }
}

TEST_F(MainWindowFixture, RefreshFetchesTheAddressAgain) {
    TfrmMain& w = ShowWindow();
    resolver->name = "laptop";
    resolver->answers.insert("laptop", {0, {0xC6130005u}});
    Click(w.dxToolButton3);
    EXPECT_EQ(w.lblHostName->text(), "laptop");
    EXPECT_EQ(w.lblIPAddress->text(), "198.19.0.5");
    // A name that does not resolve blanks the address but still shows the name.
    resolver->name = "nowhere";
    Click(w.dxToolButton3);
    EXPECT_EQ(w.lblHostName->text(), "nowhere");
    EXPECT_EQ(w.lblIPAddress->text(), "");
    // The held caller ID was taken once, at activation.
    EXPECT_EQ(w.Settings.CallerID, "198.18.0.2");
}

TEST_F(MainWindowFixture, ExitFadesTheWindowOutThenHidesIt) {
    TfrmMain& w = ShowWindow();
    QElapsedTimer clock;
    clock.start();
    Click(w.btnExit);
    EXPECT_GE(clock.elapsed(), 550);
    EXPECT_FALSE(w.isVisible());
}

// While the window fades out nothing may act on it: a call that comes in then must not ring
// (and be cut off a moment later), neither during the fade nor after it.
TEST_F(MainWindowFixture, ACallRequestDuringTheFadeNeitherRingsNorHoldsTheCloseUp) {
    TfrmMain& w = ShowWindow();
    bool timerRanDuringTheFade = false;
    QTimer::singleShot(100, &w, [&] { timerRanDuringTheFade = w.isVisible(); });
    std::thread caller([port = platform.signallingPort] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        SendTo(port, "Calling|Late caller");
    });
    QElapsedTimer clock;
    clock.start();
    Click(w.btnExit);
    const qint64 closing_ms = clock.elapsed();
    caller.join();

    EXPECT_GE(closing_ms, 550);
    // The listener thread waiting on its hand-over is let go, not waited on for long.
    EXPECT_LT(closing_ms, 2000);
    EXPECT_FALSE(w.UDPServer.Active());
    EXPECT_FALSE(w.UDPServer1.Active());
    QTest::qWait(300);
    EXPECT_FALSE(w.Ringing());
    EXPECT_EQ(w.lblCallerID->text(), "Caller ID");
    EXPECT_EQ(w.edtHostName->text(), "Host Name or IP Address");
    EXPECT_FALSE(w.Timer1.isActive());
    EXPECT_FALSE(timerRanDuringTheFade);
}

// A machine whose sound output is missing still starts and still rings, silently, and the
// status line tells why.
TEST_F(MainWindowFixture, WithoutSoundOutputTheStatusLineSaysWhyAndCallsStillRing) {
    auto device = std::make_unique<call::GstMediaDevice>(QStringLiteral("nosuchsink"));
    const QString reason = device->unavailableReason();
    ASSERT_FALSE(reason.isEmpty());
    platform.mediaDevice = std::move(device);
    WriteSettings("[Settings]\r\nRingTone=" VOCALYN_ASSETS_DIR "/ringtone.wav\r\n");
    TfrmMain& w = ShowWindow();
    EXPECT_EQ(w.lblVideoArea->text(), reason);
    EXPECT_TRUE(w.UDPServer.Active());

    SendTo(platform.signallingPort, "Calling|Front desk");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Ringing(); }, 5000));
    EXPECT_EQ(w.lblCallerID->text(), "Front desk calling...");
    EXPECT_TRUE(w.Timer1.isActive());
    EXPECT_FALSE(w.MediaPlayer1.opened());
    EXPECT_EQ(w.MediaPlayer1.lastResult(), call::GstMediaDevice::Unavailable);
    // The failed tone does not cost the listener: the caller can still cancel.
    SendTo(platform.signallingPort, "Cancel");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.Ringing(); }, 5000));
}

// The rounded corners: cut by the mask on X11, left unpainted on a translucent Wayland window
// (where a mask only shapes the input).
TEST_F(MainWindowFixture, TheCornersAreCutOnEveryPlatform) {
    TfrmMain& w = ShowWindow();
    EXPECT_FALSE(w.mask().contains(QPoint(2, 2)));
    if (!QGuiApplication::platformName().startsWith("wayland"))
        return;
    ASSERT_TRUE(w.testAttribute(Qt::WA_TranslucentBackground));
    const QImage picture = w.grab().toImage();
    EXPECT_EQ(qAlpha(picture.pixel(2, 2)), 0);
    EXPECT_EQ(qAlpha(picture.pixel(w.width() - 3, w.height() - 3)), 0);
    EXPECT_EQ(qAlpha(picture.pixel(w.width() / 2, 2)), 255);
}

// The status line stops before the "?" button, and gives way to a ringing call's caller ID.
TEST_F(MainWindowFixture, StatusLineEndsBeforeHelpAndGivesWayToTheCaller) {
    TfrmMain& w = ShowWindow();
    const QString longText = QStringLiteral("Microphone unavailable: no such device; ") +
                             QStringLiteral("Speaker unavailable: the sound server refused");
    w.SetVideoStatus(longText);
    EXPECT_LT(w.lblVideoArea->geometry().right(), w.btnHelp->x());
    EXPECT_TRUE(w.lblVideoArea->text().endsWith(QChar(0x2026)));
    EXPECT_EQ(w.lblVideoArea->toolTip(), longText);
    w.SetVideoStatus(QStringLiteral("Connected"));
    EXPECT_EQ(w.lblVideoArea->text(), "Connected");
    EXPECT_EQ(w.lblVideoArea->toolTip(), "");

    SendTo(platform.signallingPort, "Calling|Front desk");
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.Ringing(); }, 5000));
    EXPECT_FALSE(w.lblVideoArea->isVisible());
    SendTo(platform.signallingPort, "Cancel");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.Ringing(); }, 5000));
    EXPECT_TRUE(w.lblVideoArea->isVisible());
}

TEST(HelpText, HasSeventeenLinesJoinedByCrLf) {
    const QString text = TfrmMain::HelpText();
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 17);
    EXPECT_EQ(lines[0], "This is a short help tutorial.");
    EXPECT_EQ(lines[1], "");
    EXPECT_TRUE(lines[7].startsWith("  - The remote"));
    EXPECT_TRUE(lines[10].startsWith("  - To end a call"));
    EXPECT_EQ(lines[16], "- Custom ring tones may consist of mp3, wav, or wma audio files.");
    EXPECT_FALSE(text.endsWith('\n'));
}

TEST(ErrorReport, FullStopIsAddedOnlyAfterCharactersSortingAfterIt) {
    EXPECT_EQ(WithFullStop("Cannot allocate socket"), "Cannot allocate socket.");
    EXPECT_EQ(WithFullStop("Set Size Exceeded."), "Set Size Exceeded.");
    EXPECT_EQ(WithFullStop("Socket Error # 11001\r\n"), "Socket Error # 11001\r\n");
    EXPECT_EQ(WithFullStop("Really!"), "Really!");
    EXPECT_EQ(WithFullStop("count 1"), "count 1.");
    EXPECT_EQ(WithFullStop(""), "");
}

TEST(ErrorReport, GuardedHandlerReportsAndReturns) {
    ModalWatcher watcher;
    bool after = false;
    Guarded([] { throw Error(QStringLiteral("<b>from the network</b>")); })();
    after = true;
    EXPECT_TRUE(after);
    ASSERT_TRUE(watcher.box().seen);
    EXPECT_EQ(watcher.box().text, "<b>from the network</b>.");
    EXPECT_EQ(watcher.box().title, kApplicationTitle);
}
