#pragma once

#include "net/Resolver.h"

#include <QHash>

#include <atomic>
#include <mutex>

namespace vocalyn::fakes {

// A resolver that answers from a table and records every question. Lookups may come from the
// program's lookup threads; the test reads and changes the table while none is under way.
class FakeResolver final : public net::Resolver {
public:
    QByteArray name = "testhost";                  // the host name, cut to the asked buffer size
    QHash<QByteArray, net::ResolveResult> answers; // names not listed are not found (11001)

    QList<QByteArray> lookups;    // every name looked up, in order
    QList<int> hostNameSizes;     // every buffer size the host name was asked with, in order
    std::atomic<int> delay_ms{0}; // how long each lookup takes
    std::atomic<int> answered{0}; // lookups finished

    net::ResolveResult LookUpIPv4(const QByteArray& host) override;
    QByteArray HostName(int bufferSize) override;

private:
    std::mutex mutex_;
};

} // namespace vocalyn::fakes
