#pragma once

#include "directory/NeighbourhoodSource.h"

#include <cstddef>
#include <string>
#include <vector>

// The records of one open container as a source holds them, and how they are copied into a
// caller's buffer batch by batch. Shared by every neighbourhood source.
namespace vocalyn::directory {

// A record with its texts held apart; an empty text goes into the buffer as a null pointer.
struct ResourceEntry {
    std::uint32_t dwScope = RESOURCE_GLOBALNET;
    std::uint32_t dwType = RESOURCETYPE_ANY;
    std::uint32_t dwDisplayType = RESOURCEDISPLAYTYPE_GENERIC;
    std::uint32_t dwUsage = 0;
    std::string localName;
    std::string remoteName;
    std::string comment;
    std::string provider;
};

// Bytes one record takes in a buffer: the record and its non-empty texts with their zeros.
std::size_t PackedSize(const ResourceEntry& entry);

class ResourceEnumeration {
public:
    explicit ResourceEnumeration(std::vector<ResourceEntry> entries);

    // As NeighbourhoodSource::EnumResource: the next records that fit, from where the last
    // call stopped.
    EnumResult EnumResource(std::uint32_t& count, void* buffer, std::uint32_t& bufferSize);

private:
    std::vector<ResourceEntry> entries_;
    std::size_t next_ = 0;
};

} // namespace vocalyn::directory
