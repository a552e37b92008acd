// The anchor: baresip, a standard SIP client, in a direct call by IP between two test hosts.
//
// How each instance is set up (config and accounts written below): it listens for SIP on its
// host's address, port 5060, UDP; its one account is the host's address with registration off
// (regint=0), so a call goes straight to the peer's address with no server; Opus is the only
// codec (48 kHz, 28 kbit/s, 20 ms packets); the jitter settings are the defaults (audio_buffer
// 20-160 ms, jitter_buffer_delay 5-10 frames). There are no sound devices here, so the
// microphone is the ausine module (a steady tone: 1000 Hz at the caller, 600 Hz at the callee)
// and the speaker is the aubridge module's player (it runs at the real rate and plays to
// nowhere). The sndfile module writes the decoded sound of each call to a WAV file as it is
// decoded; the first loud sample written there, seen through inotify, is the "first audio at the
// sink". That is before the client's own playout buffer, so the anchor's sound times are, if
// anything, shorter than what its speaker would play. Commands go to its console (the stdio and
// menu modules) on its standard input: "/dial sip:bob@198.18.0.2", "/accept", "/hangup".
#include "bench/CallSetupAnchor.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>

namespace vocalyn::bench {

namespace {

constexpr int kLoud = 2000; // a sample this loud is the tone, not a decoder's first breath

double Now_ms() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct Instance {
    QString address;
    QTemporaryDir home;
    QString dumps;
    QProcess process;
    QByteArray output;

    bool WriteConfig(const QString& user, int tone_Hz) {
        dumps = home.filePath(QStringLiteral("dump"));
        QDir().mkpath(dumps);
        QFile config(home.filePath(QStringLiteral("config")));
        QFile accounts(home.filePath(QStringLiteral("accounts")));
        if (!config.open(QIODevice::WriteOnly) || !accounts.open(QIODevice::WriteOnly))
            return false;
        config.write(QStringLiteral("poll_method epoll\n"
                                    "sip_listen %1:5060\n"
                                    "call_local_timeout 120\n"
                                    "audio_player aubridge,speaker\n"
                                    "audio_source ausine,%2\n"
                                    "audio_alert aubridge,alert\n"
                                    "audio_buffer 20-160\n"
                                    "ausrc_srate 48000\n"
                                    "auplay_srate 48000\n"
                                    "jitter_buffer_delay 5-10\n"
                                    "rtcp_mux no\n"
                                    "module_path /usr/lib/baresip/modules\n"
                                    "module stdio.so\n"
                                    "module opus.so\n"
                                    "module aubridge.so\n"
                                    "module ausine.so\n"
                                    "module sndfile.so\n"
                                    "module_tmp uuid.so\n"
                                    "module_tmp account.so\n"
                                    "module_app menu.so\n"
                                    "snd_path %3\n"
                                    "opus_bitrate 28000\n")
                         .arg(address)
                         .arg(tone_Hz)
                         .arg(dumps)
                         .toUtf8());
        accounts.write(QStringLiteral("<sip:%1@%2>;regint=0;audio_codecs=opus/48000/2\n")
                           .arg(user, address)
                           .toUtf8());
        return true;
    }

    void Start(const QString& host) {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("ip"),
                      {QStringLiteral("netns"), QStringLiteral("exec"), host,
                       QStringLiteral("baresip"), QStringLiteral("-f"), home.path()});
    }

    void Say(const QByteArray& command) {
        process.write(command + '\n');
        process.waitForBytesWritten(1000);
    }

    // Waits until the output holds `text` (consumed with everything before it); the time it was
    // read, or 0.
    double WaitForText(const QByteArray& text, int limit_ms) {
        const QDeadlineTimer deadline(limit_ms);
        for (;;) {
            output += process.readAll();
            if (const qsizetype at = output.indexOf(text); at >= 0) {
                const double seen = Now_ms();
                output.remove(0, at + text.size());
                return seen;
            }
            if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
                return 0;
            process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        }
    }

    ~Instance() {
        if (process.state() == QProcess::NotRunning)
            return;
        Say("/quit");
        if (!process.waitForFinished(2000)) {
            process.kill();
            process.waitForFinished(2000);
        }
    }
};

// Watches both instances' dump folders for the first loud decoded sample.
class FirstSound {
public:
    FirstSound(const QString& callerDumps, const QString& calleeDumps)
        : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ < 0)
            return;
        caller_ = inotify_add_watch(fd_, callerDumps.toLocal8Bit().constData(), IN_MODIFY);
        callee_ = inotify_add_watch(fd_, calleeDumps.toLocal8Bit().constData(), IN_MODIFY);
        dirs_[caller_] = callerDumps;
        dirs_[callee_] = calleeDumps;
    }
    ~FirstSound() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool valid() const { return fd_ >= 0 && caller_ >= 0 && callee_ >= 0; }

    // Until both have heard something or the time is up.
    void Wait(int limit_ms) {
        const double end = Now_ms() + limit_ms;
        while ((atCaller == 0 || atCallee == 0) && Now_ms() < end) {
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, 5) <= 0)
                continue;
            const double now = Now_ms();
            alignas(inotify_event) char buffer[4096];
            const ssize_t size = ::read(fd_, buffer, sizeof buffer);
            for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= size;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                at += ssize_t(sizeof(inotify_event)) + event->len;
                const QString name = event->len ? QString::fromLocal8Bit(event->name) : QString();
                if (!name.endsWith(QLatin1String("-dec.wav")))
                    continue;
                double& first = event->wd == caller_ ? atCaller : atCallee;
                if (first == 0 && Loud(dirs_[event->wd] + QLatin1Char('/') + name))
                    first = now;
            }
        }
    }

    double atCaller = 0;
    double atCallee = 0;

private:
    // Whether the new part of the file has a loud sample.
    bool Loud(const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        qint64& offset = offsets_[path];
        if (offset == 0) {
            // The samples start after the "data" chunk's header.
            const QByteArray head = file.read(512);
            const qsizetype data = head.indexOf("data");
            if (data < 0)
                return false;
            offset = data + 8;
        }
        file.seek(offset);
        const QByteArray bytes = file.readAll();
        const qsizetype whole = bytes.size() & ~qsizetype(1);
        offset += whole;
        for (qsizetype i = 0; i < whole; i += 2) {
            const auto sample = std::int16_t(std::uint16_t(std::uint8_t(bytes[i])) |
                                             std::uint16_t(std::uint8_t(bytes[i + 1]) << 8));
            if (std::abs(int(sample)) >= kLoud)
                return true;
        }
        return false;
    }

    int fd_;
    int caller_ = -1;
    int callee_ = -1;
    std::map<int, QString> dirs_;
    std::map<QString, qint64> offsets_;
};

void RemoveDumps(const QString& folder) {
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        QFile::remove(folder + QLatin1Char('/') + name);
}

} // namespace

QString RunAnchor(const QString& prefix, int calls, int ring_ms, AnchorResults& results) {
    if (QStandardPaths::findExecutable(QStringLiteral("baresip")).isEmpty())
        return QStringLiteral("baresip is not installed (tools/install-deps.sh baresip-core)");
    Instance caller, callee;
    caller.address = QStringLiteral("198.18.0.1");
    callee.address = QStringLiteral("198.18.0.2");
    if (!caller.WriteConfig(QStringLiteral("alice"), 1000) ||
        !callee.WriteConfig(QStringLiteral("bob"), 600))
        return QStringLiteral("cannot write the configuration");
    caller.Start(prefix + QStringLiteral("-a"));
    callee.Start(prefix + QStringLiteral("-b"));
    if (caller.WaitForText("baresip is ready.", 10000) == 0 ||
        callee.WaitForText("baresip is ready.", 10000) == 0)
        return QStringLiteral("baresip did not start: ") + QString::fromLocal8Bit(caller.output);
    QProcess version;
    version.start(
        QStringLiteral("dpkg-query"),
        {QStringLiteral("-W"), QStringLiteral("-f=${Version}"), QStringLiteral("baresip-core")});
    version.waitForFinished(3000);
    results.description = QStringLiteral("baresip %1 from Debian, Opus, direct call by IP")
                              .arg(QString::fromLocal8Bit(version.readAll()));
    int failed = 0;
    for (int i = 0; i < calls && failed <= 3; ++i) {
        const double dialled = Now_ms();
        caller.Say("/dial sip:bob@" + callee.address.toLatin1());
        const double rang = callee.WaitForText("Incoming call", 5000);
        if (rang == 0) {
            ++failed;
            continue;
        }
        QThread::msleep(static_cast<unsigned long>(ring_ms));
        FirstSound sound(caller.dumps, callee.dumps);
        if (!sound.valid())
            return QStringLiteral("inotify is not available");
        const double answered = Now_ms();
        callee.Say("/accept");
        sound.Wait(3000);
        caller.Say("/hangup");
        caller.WaitForText("terminated", 3000);
        callee.WaitForText("terminated", 3000);
        RemoveDumps(caller.dumps);
        RemoveDumps(callee.dumps);
        // Dumps are named by the second: the next call's must not reuse a name.
        QThread::msleep(1000);
        if (sound.atCaller == 0 || sound.atCallee == 0) {
            ++failed;
            continue;
        }
        results.ringing.push_back(rang - dialled);
        results.soundAtCallee.push_back(sound.atCallee - answered);
        results.soundAtCaller.push_back(sound.atCaller - answered);
    }
    if (failed > 3)
        return QStringLiteral("the anchor's calls keep failing");
    return {};
}

} // namespace vocalyn::bench
