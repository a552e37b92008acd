#include "tests/fakes/FakeResolver.h"

#include <QScopeGuard>

#include <chrono>
#include <thread>

namespace vocalyn::fakes {

net::ResolveResult FakeResolver::LookUpIPv4(const QByteArray& host) {
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    const auto done = qScopeGuard([this] { ++answered; });
    const std::lock_guard lock(mutex_);
    lookups.append(host);
    if (const auto it = answers.constFind(host); it != answers.constEnd())
        return *it;
    return {net::kHostNotFound, {}};
}

QByteArray FakeResolver::HostName(int bufferSize) {
    hostNameSizes.append(bufferSize);
    return name.left(bufferSize);
}

} // namespace vocalyn::fakes
