#pragma once

#include "directory/NeighbourhoodSource.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <memory>

// The walk over the network neighbourhood: depth first from the root, one batch of records per
// container, four lines for every record that passes the display filter.
namespace vocalyn::directory {

// The buffer that one request starts with.
inline constexpr std::uint32_t kEnumerationBufferSize = 16384;

// The four lines of a listed server.
QStringList ServerLines(const NetResource& record);

// One container's records as the first successful request returned them; they and their texts
// live in `buffer` as long as the batch does.
struct ContainerBatch {
    std::unique_ptr<std::byte[]> buffer;
    std::uint32_t count = 0;
    bool success = false;

    const NetResource* records() const;
};

class NetworkWalk {
public:
    using LineSink = std::function<void(const QString&)>;

    // `processPendingEvents` runs at the fixed points of the walk so that the windows stay
    // painted; it may be empty.
    NetworkWalk(NeighbourhoodSource& source, std::function<void()> processPendingEvents);

    // Walks from the root and appends to `lines` the four lines of every record whose display
    // type equals `displayFilter` (of every record when it is 0).
    void EnumerateNetwork(std::uint32_t resourceType, std::uint32_t displayFilter,
                          const LineSink& lines);

    // One request of one container (`parent` nullptr: the root). Only the first batch is taken.
    ContainerBatch EnumerateContainer(std::uint32_t resourceType, const NetResource* parent);

    // Deeper containers are not opened: a source whose tree loops would never end the walk.
    static constexpr int kMaxDepth = 16;

private:
    void WalkContainer(const NetResource* parent, int depth);
    void ProcessPendingEvents();

    NeighbourhoodSource& source_;
    std::function<void()> processPendingEvents_;
    std::uint32_t resourceType_ = RESOURCETYPE_ANY;
    std::uint32_t displayFilter_ = 0;
    const LineSink* lines_ = nullptr;
};

} // namespace vocalyn::directory
