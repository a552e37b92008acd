#include "tests/e2e/CallTiming.h"

#include "app/TfrmMain.h"
#include "tests/e2e/PeerConsole.h"
#include "widgets/FlatButton.h"

#include <QEvent>
#include <QLabel>

#include <time.h>

namespace vocalyn::test {

namespace {

QString Ms(double value) {
    return QString::number(value, 'f', 2);
}

} // namespace

CallTiming::CallTiming(TfrmMain& window) : w_(window) {
    // "pressed" comes before "clicked", whose handler does the work.
    connect(w_.btnCall, &QAbstractButton::pressed, this, [this] {
        callPress_ms_ = Now_ms();
        picture_ms_ = 0;
    });
    connect(w_.btnEnd, &QAbstractButton::pressed, this, [this] { endPress_ms_ = Now_ms(); });
    w_.UDPServer.OnUDPRead =
        [this, handler = w_.UDPServer.OnUDPRead](net::TIdUDPServer& server, const QByteArray& data,
                                                 net::TIdSocketHandle& binding) {
            if (data == "Accept")
                accept_ms_ = Now_ms();
            handler(server, data, binding);
        };
    w_.lblCallerID->installEventFilter(this);
    w_.Image1->installEventFilter(this);
}

void CallTiming::AddCommands(PeerConsole& console) {
    console.AddCommand(QStringLiteral("timing"), [this](const QString&) {
        return QStringLiteral("timing callpress=%1 endpress=%2 ringshown=%3 accept=%4 picture=%5")
            .arg(Ms(callPress_ms_), Ms(endPress_ms_), Ms(ringShown_ms_), Ms(accept_ms_),
                 Ms(picture_ms_));
    });
}

bool CallTiming::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Paint)
        return false;
    if (watched == w_.lblCallerID) {
        const QString text = w_.lblCallerID->text();
        if (text == paintedCallerID_)
            return false;
        // Paint first: the time is when the new text is on the window.
        watched->event(event);
        paintedCallerID_ = text;
        if (!text.isEmpty())
            ringShown_ms_ = Now_ms();
        return true;
    }
    if (watched == w_.Image1) {
        const qint64 key = w_.Image1->pixmap().cacheKey();
        if (key == paintedPicture_)
            return false;
        watched->event(event);
        paintedPicture_ = key;
        if (callPress_ms_ > 0 && picture_ms_ == 0)
            picture_ms_ = Now_ms();
        return true;
    }
    return false;
}

double CallTiming::Now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

} // namespace vocalyn::test
