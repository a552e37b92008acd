// A hand on the keyboard and an eye on the screen for the real program in end-to-end tests:
// preloaded (LD_PRELOAD) into the unmodified executable, it reads one command a line from the
// standard input once the application exists and answers each with one line on the standard
// output. It finds the main window's controls the way a user does, by what they show.
//
//   type TEXT        puts TEXT into the host field                                 -> ok
//   click CAPTION    presses the main window's button with that caption or tooltip, after the
//                    answer, so a press that opens a modal loop holds nothing up -> ok | error
//   host             the host field's text                                         -> host TEXT
//   status           the camera status line                                        -> status TEXT
//   box              the text of the message box shown, if any                     -> box TEXT
//   picture          the big picture's size, how often it changed so far, and the longest it
//                    stood still since the last "picture" (ms)            -> picture W H N LONGEST
//   grab PATH        writes the big picture to PATH as PNG                         -> ok | error
//   window STATE     shows the main window normally, minimised or not at all (shown,
//                    minimised, hidden)                                            -> ok | error
//   preview          how often the camera's own picture was painted so far       -> preview N
//   datagrams        how many picture datagrams the program sent to port 8800 and read on it
//                    so far, whether or not they became pictures       -> datagrams SENT READ
//   quit             closes the main window                                        -> bye
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

constexpr std::uint16_t kPicturePort = 8800;
// Counted on whichever thread sends or reads.
std::atomic<long> picturesSent{0}, picturesRead{0};

std::uint16_t PortOf(const sockaddr* address) {
    return address && address->sa_family == AF_INET
               ? ntohs(reinterpret_cast<const sockaddr_in*>(address)->sin_port)
               : 0;
}

QWidget* MainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (QByteArray(widget->metaObject()->className()) == "vocalyn::TfrmMain")
            return widget;
    return nullptr;
}

QLineEdit* HostField(QWidget* main) {
    return main ? main->findChild<QLineEdit*>() : nullptr;
}

// The big picture: the label that scales its pixmap to 640 x 480.
QLabel* Picture(QWidget* main) {
    if (!main)
        return nullptr;
    for (QLabel* label : main->findChildren<QLabel*>())
        if (label->hasScaledContents() && label->size() == QSize(640, 480))
            return label;
    return nullptr;
}

// The camera's status line, top left above the big picture.
QLabel* StatusLine(QWidget* main) {
    if (!main)
        return nullptr;
    for (QLabel* label : main->findChildren<QLabel*>())
        if (label->pos() == QPoint(112, 10))
            return label;
    return nullptr;
}

class Driver : public QObject {
public:
    explicit Driver(QObject* parent)
        : QObject(parent), input_(STDIN_FILENO, QSocketNotifier::Read) {
        connect(&input_, &QSocketNotifier::activated, this, [this] { Read(); });
        // Every new picture has a new pixmap, and is painted: looking at each painting sees
        // each one, without waking the program more often than its pictures do.
        watch_.setInterval(100);
        connect(&watch_, &QTimer::timeout, this, [this] {
            QWidget* main = MainWindow();
            if (!label_ && (label_ = Picture(main)))
                label_->installEventFilter(this);
            if (!preview_ && main &&
                (preview_ = main->findChild<QWidget*>(QStringLiteral("CaptureWindow"))))
                preview_->installEventFilter(this);
            // Once both are found, the program is woken only by its own work.
            if (label_ && preview_)
                watch_.stop();
        });
        watch_.start();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched == label_) {
            const qint64 key = label_->pixmap().cacheKey();
            if (key != lastKey_) {
                lastKey_ = key;
                ++changes_;
                Still();
                stillSince_ = clock_.elapsed();
            }
        }
        if (event->type() == QEvent::Paint && watched == preview_)
            ++previewPaints_;
        return false;
    }

private:
    void Read() {
        char chunk[512];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) {
            input_.setEnabled(false);
            return;
        }
        pending_.append(chunk, got);
        if (pending_.size() > 65536)
            pending_.clear(); // no sensible command is this long
        for (qsizetype end; (end = pending_.indexOf('\n')) >= 0;) {
            const QString line = QString::fromUtf8(pending_.left(end)).trimmed();
            pending_.remove(0, end + 1);
            Answer(Execute(line));
        }
    }

    // The picture has stood still from stillSince_ until now.
    void Still() { longestStill_ = std::max(longestStill_, clock_.elapsed() - stillSince_); }

    static void Answer(const QString& text) {
        std::fputs((text + QLatin1Char('\n')).toUtf8().constData(), stdout);
        std::fflush(stdout);
    }

    QString Execute(const QString& line) {
        const qsizetype blank = line.indexOf(QLatin1Char(' '));
        const QString command = line.left(blank);
        const QString argument = blank < 0 ? QString() : line.mid(blank + 1);
        QWidget* main = MainWindow();
        if (command == QLatin1String("type")) {
            if (QLineEdit* field = HostField(main)) {
                field->setText(argument);
                return QStringLiteral("ok");
            }
            return QStringLiteral("error");
        }
        if (command == QLatin1String("click")) {
            for (QAbstractButton* button :
                 main ? main->findChildren<QAbstractButton*>() : QList<QAbstractButton*>{}) {
                if ((button->text() == argument || button->toolTip() == argument) &&
                    button->isEnabled()) {
                    QPointer<QAbstractButton> target(button);
                    QTimer::singleShot(0, this, [target] {
                        if (target)
                            target->click();
                    });
                    return QStringLiteral("ok");
                }
            }
            return QStringLiteral("error");
        }
        if (command == QLatin1String("host")) {
            QLineEdit* field = HostField(main);
            return QStringLiteral("host ") + (field ? field->text() : QString());
        }
        if (command == QLatin1String("status")) {
            QLabel* status = StatusLine(main);
            return QStringLiteral("status ") + (status ? status->text() : QString());
        }
        if (command == QLatin1String("box")) {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            return QStringLiteral("box ") + (box ? box->text() : QString());
        }
        if (command == QLatin1String("picture")) {
            QLabel* picture = Picture(main);
            const QSize size = picture ? picture->pixmap().size() : QSize();
            Still();
            const qint64 longest = longestStill_;
            longestStill_ = 0;
            stillSince_ = clock_.elapsed(); // the next answer is about the time from here on
            return QStringLiteral("picture %1 %2 %3 %4")
                .arg(size.width())
                .arg(size.height())
                .arg(changes_)
                .arg(longest);
        }
        if (command == QLatin1String("grab")) {
            QLabel* picture = Picture(main);
            return picture && picture->pixmap().save(argument, "PNG") ? QStringLiteral("ok")
                                                                      : QStringLiteral("error");
        }
        if (command == QLatin1String("window") && main) {
            if (argument == QLatin1String("shown"))
                main->showNormal();
            else if (argument == QLatin1String("minimised"))
                main->showMinimized();
            else if (argument == QLatin1String("hidden"))
                main->hide();
            else
                return QStringLiteral("error");
            return QStringLiteral("ok");
        }
        if (command == QLatin1String("preview"))
            return QStringLiteral("preview %1").arg(previewPaints_);
        if (command == QLatin1String("datagrams"))
            return QStringLiteral("datagrams %1 %2")
                .arg(picturesSent.load())
                .arg(picturesRead.load());
        if (command == QLatin1String("quit")) {
            if (main)
                QTimer::singleShot(0, main, [main] { main->close(); });
            return QStringLiteral("bye");
        }
        return QStringLiteral("error unknown command");
    }

    QSocketNotifier input_;
    QTimer watch_;
    QPointer<QLabel> label_;
    QPointer<QWidget> preview_;
    QByteArray pending_;
    qint64 lastKey_ = 0;
    long changes_ = 0;
    long previewPaints_ = 0;
    QElapsedTimer clock_ = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    qint64 stillSince_ = 0;
    qint64 longestStill_ = 0;
};

// Runs inside the application's constructor; the driver starts with the first event loop.
void StartDriver() {
    QMetaObject::invokeMethod(
        qApp, [] { new Driver(qApp); }, Qt::QueuedConnection);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(StartDriver)

// The program's own socket calls, counted on their way to the C library: what left and what
// reached the picture port, before anything in the program could drop it.
extern "C" ssize_t sendto(int fd, const void* buffer, size_t length, int flags, const sockaddr* to,
                          socklen_t toLength) {
    static const auto next = reinterpret_cast<decltype(&sendto)>(dlsym(RTLD_NEXT, "sendto"));
    const ssize_t sent = next(fd, buffer, length, flags, to, toLength);
    if (sent >= 0 && PortOf(to) == kPicturePort)
        ++picturesSent;
    return sent;
}

extern "C" ssize_t recvfrom(int fd, void* buffer, size_t length, int flags, sockaddr* from,
                            socklen_t* fromLength) {
    static const auto next = reinterpret_cast<decltype(&recvfrom)>(dlsym(RTLD_NEXT, "recvfrom"));
    const ssize_t got = next(fd, buffer, length, flags, from, fromLength);
    sockaddr_storage local{};
    socklen_t localLength = sizeof local;
    if (got >= 0 && ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) == 0 &&
        PortOf(reinterpret_cast<const sockaddr*>(&local)) == kPicturePort)
        ++picturesRead;
    return got;
}
