#pragma once

#include "net/UniqueFd.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <optional>

namespace vocalyn {
class TfrmMain;
namespace fakes {
class FakeCaptureService;
}
} // namespace vocalyn

namespace vocalyn::test {

class PeerConsole;

// The video side of a peer under test, as one console command "video" with subcommands; every
// answer is one line of key=value pairs:
//
//   video state                 picture=WxH received shown sent quality host, and per sender
//                               from-ADDRESS (datagrams) and shownfrom-ADDRESS (pictures shown)
//   video camera W H            the camera now delivers W x H, 24-bit RGB
//   video check                 the nearest test pattern frame to the picture: frame distance
//                               (mean absolute difference per channel) size
//   video snapshot              presses the snapshot button: size of the clipboard's image and
//                               same=1 when it is the picture
//   video sendframe ADDRESS W H N   sends pattern frame N at W x H as one video datagram
//   video g2g start|report      logs each frame sent (hash:time its frame handler began) and
//                               each picture shown (hash:time its paint ended:time its datagram
//                               reached the handler)
//   video watch start|report    a 50 ms timer measuring the longest event-loop gap and the
//                               resident memory: ticks maxgap rssbase rssmax rssnow (kB); the
//                               main thread's highest share of any second, busyshare (percent),
//                               and the datagrams dropped over the decoding budget, overbudget
//
// Times are microseconds of the system's monotonic clock, the same in every network namespace.
class PeerVideo : public QObject {
public:
    PeerVideo(TfrmMain& window, fakes::FakeCaptureService& camera);
    void AddCommands(PeerConsole& console);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString Execute(const QString& arguments);
    QString State() const;
    QString Check() const;
    QString Snapshot();
    QString SendFrame(const QStringList& words);
    QString GlassToGlass(const QString& what);
    QString Watch(const QString& what);
    void Tick();

    TfrmMain& w_;
    fakes::FakeCaptureService& camera_;
    net::UniqueFd socket_;
    int received_ = 0;
    int shown_ = 0;
    QHash<QString, int> receivedFrom_;
    QHash<QString, int> shownFrom_;

    bool timing_ = false;
    QStringList sentLog_;                                       // "hash:time" of each frame sent
    QStringList shownLog_;                                      // "hash:time" of each picture shown
    std::optional<std::pair<std::uint64_t, qint64>> unpainted_; // hash, arrival of the datagram

    QTimer watchTimer_;
    QElapsedTimer sinceTick_;
    qint64 maxGap_ms_ = 0;
    int ticks_ = 0;
    long rssBase_kB_ = 0;
    long rssMax_kB_ = 0;
    std::deque<std::pair<qint64, qint64>> busy_; // wall time and main-thread CPU time, in us
    double maxBusyShare_ = 0;
};

} // namespace vocalyn::test
