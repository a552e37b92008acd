#include "directory/ResourceEnumeration.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace vocalyn::directory {

namespace {

std::size_t TextSize(const std::string& text) {
    return text.empty() ? 0 : text.size() + 1;
}

// Copies `text` with its zero to `cursor` and returns where it lies; nullptr for the empty text.
const char* PlaceText(const std::string& text, std::byte*& cursor) {
    if (text.empty())
        return nullptr;
    std::memcpy(cursor, text.c_str(), text.size() + 1);
    const char* placed = reinterpret_cast<const char*>(cursor);
    cursor += text.size() + 1;
    return placed;
}

} // namespace

std::size_t PackedSize(const ResourceEntry& entry) {
    return sizeof(NetResource) + TextSize(entry.localName) + TextSize(entry.remoteName) +
           TextSize(entry.comment) + TextSize(entry.provider);
}

ResourceEnumeration::ResourceEnumeration(std::vector<ResourceEntry> entries)
    : entries_(std::move(entries)) {}

EnumResult ResourceEnumeration::EnumResource(std::uint32_t& count, void* buffer,
                                             std::uint32_t& bufferSize) {
    const std::size_t wanted = count;
    count = 0;
    if (next_ >= entries_.size())
        return EnumResult::ERROR_NO_MORE_ITEMS;

    const std::size_t first = PackedSize(entries_[next_]);
    if (first > bufferSize || buffer == nullptr) {
        // Sizes of records a source holds are far below 4 GiB; clamp all the same.
        bufferSize = static_cast<std::uint32_t>(
            std::min<std::size_t>(first, std::numeric_limits<std::uint32_t>::max()));
        return EnumResult::ERROR_MORE_DATA;
    }

    // How many whole records fit, records first and all their texts behind them.
    std::size_t used = 0;
    std::size_t taken = 0;
    while (next_ + taken < entries_.size() && taken < wanted) {
        const std::size_t size = PackedSize(entries_[next_ + taken]);
        if (used + size > bufferSize)
            break;
        used += size;
        ++taken;
    }

    auto* bytes = static_cast<std::byte*>(buffer);
    std::byte* texts = bytes + taken * sizeof(NetResource);
    for (std::size_t i = 0; i < taken; ++i) {
        const ResourceEntry& entry = entries_[next_ + i];
        NetResource record;
        record.dwScope = entry.dwScope;
        record.dwType = entry.dwType;
        record.dwDisplayType = entry.dwDisplayType;
        record.dwUsage = entry.dwUsage;
        record.lpLocalName = PlaceText(entry.localName, texts);
        record.lpRemoteName = PlaceText(entry.remoteName, texts);
        record.lpComment = PlaceText(entry.comment, texts);
        record.lpProvider = PlaceText(entry.provider, texts);
        new (bytes + i * sizeof(NetResource)) NetResource(record);
    }
    next_ += taken;
    count = static_cast<std::uint32_t>(taken);
    return EnumResult::NO_ERROR;
}

} // namespace vocalyn::directory
