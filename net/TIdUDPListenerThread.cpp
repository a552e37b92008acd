#include "net/TIdUDPListenerThread.h"

#include "base/Log.h"
#include "net/DottedAddress.h"
#include "net/Errors.h"
#include "net/HandOver.h"
#include "net/TIdUDPServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>

namespace vocalyn::net {

namespace {

constexpr int kWaitLimit_ms = 1000;
constexpr size_t kMaxSockets = 64;
constexpr std::chrono::milliseconds kJoinWaitSlice(100);

} // namespace

TIdUDPListenerThread::TIdUDPListenerThread(TIdUDPServer& server,
                                           std::vector<TIdSocketHandle*> bindings, int bufferSize,
                                           bool threadedEvent)
    : server_(server), bindings_(std::move(bindings)), bufferSize_(std::max(bufferSize, 0)),
      threadedEvent_(threadedEvent), buffer_(bufferSize_, Qt::Uninitialized),
      wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!wake_.valid())
        throw std::system_error(errno, std::generic_category(), "eventfd");
    HandOverQueue::Instance(); // built here, on the main thread, before any hand-over
}

TIdUDPListenerThread::~TIdUDPListenerThread() {
    if (thread_.joinable()) {
        Stop();
        WaitFor();
    }
}

void TIdUDPListenerThread::Start() {
    thread_ = std::thread([this] { Execute(); });
}

void TIdUDPListenerThread::Stop() {
    stop_ = true;
    const std::uint64_t one = 1;
    (void)!::write(wake_.get(), &one, sizeof one);
    HandOverQueue::Instance().NotifyAll();
}

void TIdUDPListenerThread::WaitFor() {
    HandOverQueue& queue = HandOverQueue::Instance();
    while (!finished_.load()) {
        queue.Drain();
        queue.WaitForWork([this] { return finished_.load(); }, kJoinWaitSlice);
    }
    if (thread_.joinable())
        thread_.join(); // the thread has left its loop; this returns at once
}

QString TIdUDPListenerThread::ErrorText() const {
    std::lock_guard lock(errorMutex_);
    return errorText_;
}

void TIdUDPListenerThread::Execute() noexcept {
    QString error;
    try {
        std::vector<pollfd> fds;
        for (const TIdSocketHandle* binding : bindings_)
            fds.push_back({binding->Handle(), POLLIN, 0});
        fds.push_back({wake_.get(), POLLIN, 0});
        while (!stop_.load())
            Cycle(fds);
    } catch (const vocalyn::Error& e) {
        error = e.message();
    } catch (const std::exception& e) {
        error = QString::fromLocal8Bit(e.what());
    } catch (...) {
        error = QStringLiteral("Unknown error.");
    }
    {
        std::lock_guard lock(errorMutex_);
        errorText_ = std::move(error);
    }
    finished_ = true;
    HandOverQueue::Instance().NotifyAll();
}

void TIdUDPListenerThread::Cycle(std::vector<pollfd>& fds) {
    if (bindings_.size() > kMaxSockets)
        throw EIdStackSetSizeExceeded();
    for (pollfd& fd : fds)
        fd.revents = 0;
    // Only the readiness of each socket matters, not the result of the wait.
    (void)::poll(fds.data(), fds.size(), kWaitLimit_ms);
    for (size_t i = 0; i < bindings_.size(); ++i) {
        if (stop_.load())
            return;
        if (fds[i].revents & (POLLIN | POLLERR))
            ReadDatagram(*bindings_[i]);
    }
}

void TIdUDPListenerThread::ReadDatagram(TIdSocketHandle& binding) {
    buffer_.resize(bufferSize_);
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    // MSG_TRUNC reports the datagram's real length, so an over-long one is
    // recognised instead of being delivered cut. MSG_DONTWAIT because a
    // datagram reported readable can still be discarded (bad checksum).
    const ssize_t length =
        ::recvfrom(binding.Handle(), buffer_.data(), static_cast<size_t>(bufferSize_),
                   MSG_TRUNC | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (length < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return;
        throw EIdSocketError(WinsockErrorNumber(errno));
    }
    // One bad datagram must not silence the endpoint for the rest of the run.
    if (length == 0 || length > bufferSize_)
        return;

    buffer_.resize(length);
    binding.SenderIP = DottedText(ntohl(sender.sin_addr.s_addr));
    binding.SenderPort = ntohs(sender.sin_port);
    HandOver(binding);
}

void TIdUDPListenerThread::HandOver(TIdSocketHandle& binding) {
    if (threadedEvent_) {
        try {
            server_.DoUDPRead(buffer_, binding);
        } catch (...) {
            // dropped: the listener goes on with the next datagram
            LogSwallowed(lcNet(), "datagram handler");
        }
        return;
    }
    TIdUDPServer* server = &server_;
    TIdSocketHandle* receiver = &binding;
    // The request holds its own reference to the bytes, so a handler that is
    // still running after this listener has been stopped keeps valid data.
    // An error carried back from the handler is dropped like the ones above.
    (void)HandOverQueue::Instance().HandOver(
        [server, receiver, data = buffer_] { server->DoUDPRead(data, *receiver); }, stop_);
}

} // namespace vocalyn::net
