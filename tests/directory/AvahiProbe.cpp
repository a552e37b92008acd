// Drives the Avahi backend from the command line, for the end-to-end test on test hosts:
//   probe publish NAME SECONDS   announce this host as NAME until SIGTERM or SECONDS pass
//   probe walk                   print the lines of a walk over the neighbourhood
//   probe add DIR                walk in the browser window, add the hosts to the address book
//                                in DIR (made if missing), print the book

#include "directory/NetworkWalk.h"
#include "directory/TfrmAddressList.h"
#include "directory/TfrmExport.h"
#include "directory/TfrmNetworkClients.h"
#include "directory/avahi/AvahiAnnouncer.h"
#include "directory/avahi/AvahiNeighbourhood.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

using namespace vocalyn::directory;

int Publish(const char* name, int seconds) {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    avahi::AvahiAnnouncer announcer;
    announcer.Announce(QString::fromUtf8(name), kVocalynServicePort);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    bool told = false;
    while (std::chrono::steady_clock::now() < end) {
        if (!told && !announcer.EstablishedName().isEmpty()) {
            std::printf("established: %s\n", announcer.EstablishedName().toUtf8().constData());
            std::fflush(stdout);
            told = true;
        }
        const timespec step{0, 100'000'000};
        if (sigtimedwait(&stop, nullptr, &step) > 0)
            break;
    }
    announcer.Withdraw();
    return 0;
}

int Walk() {
    avahi::AvahiNeighbourhood source;
    const auto start = std::chrono::steady_clock::now();
    NetworkWalk(source, {})
        .EnumerateNetwork(RESOURCETYPE_DISK, RESOURCEDISPLAYTYPE_SERVER, [](const QString& line) {
            std::printf("%s\n", line.toUtf8().constData());
        });
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::fprintf(stderr, "walk took %lld ms%s%s\n", static_cast<long long>(took.count()),
                 source.LastError().empty() ? "" : "; ", source.LastError().c_str());
    return 0;
}

int Add(int argc, char** argv, const char* dir) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QDir().mkpath(QString::fromLocal8Bit(dir));
    const QString dataDir = QString::fromLocal8Bit(dir) + QLatin1Char('/');
    {
        // An empty book to start from, so that no "not found" box waits for an answer.
        QFile file(dataDir + QStringLiteral("IPAddress.dat"));
        if (!file.exists() && !file.open(QIODevice::WriteOnly))
            return 1;
    }
    QLineEdit hostField;
    const auto source = avahi::MakeAvahiNeighbourhood();
    TfrmNetworkClients browser(*source);
    TfrmExport searching;
    TfrmAddressList book(dataDir, hostField);
    browser.frmExport = &searching;
    browser.frmAddressList = &book;
    browser.show();
    browser.btnAdd->click();
    for (const QString& entry : book.Entries())
        std::printf("%s\n", entry.toUtf8().constData());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "publish" && argc == 4)
        return Publish(argv[2], std::atoi(argv[3]));
    if (mode == "walk" && argc == 2)
        return Walk();
    if (mode == "add" && argc == 3)
        return Add(argc, argv, argv[2]);
    std::fprintf(stderr, "usage: %s publish NAME SECONDS | walk | add DIR\n", argv[0]);
    return 2;
}
