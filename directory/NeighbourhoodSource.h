#pragma once

#include "directory/NetResource.h"

#include <cstdint>

// Where the network browser's tree comes from. One container at a time is opened, read in
// batches into a caller's buffer, and closed: the same three steps for every level, from the
// root down to the services of one computer.
namespace vocalyn::directory {

// Results of the three calls.
enum class EnumResult {
    NO_ERROR,            // records were returned, or the call succeeded
    ERROR_MORE_DATA,     // the buffer holds not even the next record; see EnumResource
    ERROR_NO_MORE_ITEMS, // the container has no (further) records
    ERROR_NO_NETWORK,    // no neighbourhood service can be reached
    ERROR_NOT_CONTAINER, // the parent record cannot be opened
    ERROR_INVALID_HANDLE,
};

// Identifies one open container; 0 is never a valid handle.
using EnumHandle = std::uint64_t;

// Asks for as many records as fit into the buffer.
inline constexpr std::uint32_t kAllThatFit = 0xFFFFFFFFu;

class NeighbourhoodSource {
public:
    virtual ~NeighbourhoodSource() = default;

    // Opens `parent` (nullptr: the root of the network) for listing its records of `resourceType`
    // (RESOURCETYPE_ANY for all) and `usage` (0 for all). On NO_ERROR `handle` is set. The
    // parent's texts need to stay readable only during this call. May take a while: a source
    // that asks the network bounds its wait.
    virtual EnumResult OpenEnum(std::uint32_t scope, std::uint32_t resourceType,
                                std::uint32_t usage, const NetResource* parent,
                                EnumHandle& handle) = 0;

    // Copies the next records into `buffer` (`bufferSize` bytes, aligned for NetResource):
    // records first, their texts after them. `count` is the most records wanted (kAllThatFit
    // for no limit) and comes back as the number copied. When the next record with its texts
    // does not fit, nothing is copied, `bufferSize` comes back as the size it needs, and the
    // result is ERROR_MORE_DATA. ERROR_NO_MORE_ITEMS when none are left.
    virtual EnumResult EnumResource(EnumHandle handle, std::uint32_t& count, void* buffer,
                                    std::uint32_t& bufferSize) = 0;

    // Ends the listing; the handle is invalid afterwards.
    virtual EnumResult CloseEnum(EnumHandle handle) = 0;
};

} // namespace vocalyn::directory
