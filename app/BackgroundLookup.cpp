#include "app/BackgroundLookup.h"

#include "base/Error.h"
#include "base/Log.h"
#include "net/DottedAddress.h"
#include "net/Errors.h"
#include "net/SocketLayer.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace vocalyn {

struct BackgroundLookup::Shared {
    std::mutex mutex;
    std::condition_variable finished;
    int running = 0;
    BackgroundLookup* owner = nullptr; // none once the owner is going
};

BackgroundLookup::BackgroundLookup(net::SocketLayer& sockets)
    : sockets_(sockets), shared_(std::make_shared<Shared>()) {
    shared_->owner = this;
}

BackgroundLookup::~BackgroundLookup() {
    std::unique_lock lock(shared_->mutex);
    shared_->owner = nullptr;
    shared_->finished.wait(lock, [this] { return shared_->running == 0; });
}

void BackgroundLookup::Start(const QString& host,
                             std::function<void(const call::LookupResult&)> done) {
    {
        const std::lock_guard lock(shared_->mutex);
        ++shared_->running;
    }
    std::thread([shared = shared_, &sockets = sockets_, host, done = std::move(done)] {
        call::LookupResult result;
        try {
            result.address = net::DottedAddress(sockets.LookUpHostAddress(host));
            if (!result.address)
                result.error = net::EIdSocketError(net::kHostNotFound).message();
        } catch (const Error& error) {
            result.error = error.message();
        } catch (...) {
            LogSwallowed(lcApp(), "host lookup");
            result.error = net::EIdSocketError(net::kNoRecovery).message();
        }
        const std::lock_guard lock(shared->mutex);
        if (shared->owner)
            QMetaObject::invokeMethod(
                shared->owner, [done, result] { done(result); }, Qt::QueuedConnection);
        --shared->running;
        shared->finished.notify_all();
    }).detach();
}

} // namespace vocalyn
