#pragma once

#include "net/UniqueFd.h"

#include <QByteArray>
#include <QString>

#include <poll.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace vocalyn::net {

class TIdSocketHandle;
class TIdUDPServer;

// The thread that reads an active endpoint's sockets and hands each datagram
// over. It ends when told to stop, or on a failed read, recording the error.
class TIdUDPListenerThread {
public:
    TIdUDPListenerThread(TIdUDPServer& server, std::vector<TIdSocketHandle*> bindings,
                         int bufferSize, bool threadedEvent);
    ~TIdUDPListenerThread(); // stops and waits
    TIdUDPListenerThread(const TIdUDPListenerThread&) = delete;
    TIdUDPListenerThread& operator=(const TIdUDPListenerThread&) = delete;

    void Start();
    // Tells the thread to stop; it notices at once, even inside its wait.
    void Stop();
    // Main thread: waits for the thread to end, running queued hand-overs
    // meanwhile so that a listener waiting for one can finish.
    void WaitFor();

    bool Terminated() const { return finished_.load(); }
    // The text of the error that ended the thread; empty when none did.
    QString ErrorText() const;

private:
    void Execute() noexcept;
    void Cycle(std::vector<pollfd>& fds);
    void ReadDatagram(TIdSocketHandle& binding);
    void HandOver(TIdSocketHandle& binding);

    TIdUDPServer& server_;
    const std::vector<TIdSocketHandle*> bindings_;
    const qsizetype bufferSize_;
    const bool threadedEvent_;
    QByteArray buffer_; // reused for every datagram
    UniqueFd wake_;     // an eventfd written by Stop
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    mutable std::mutex errorMutex_;
    QString errorText_;
    std::thread thread_;
};

} // namespace vocalyn::net
