#include "directory/NetworkWalk.h"

#include <cstring>
#include <new>

namespace vocalyn::directory {

namespace {

QString Text(const char* text) {
    return text ? QString::fromLocal8Bit(text) : QString();
}

std::unique_ptr<std::byte[]> TakeBuffer(std::uint32_t size) {
    return std::make_unique_for_overwrite<std::byte[]>(size);
}

} // namespace

QStringList ServerLines(const NetResource& record) {
    return {QStringLiteral("Computer Name: ") + Text(record.lpComment),
            QStringLiteral("Host Name and Connection Path: ") + Text(record.lpRemoteName),
            QStringLiteral("Network Provider: ") + Text(record.lpProvider), QString()};
}

const NetResource* ContainerBatch::records() const {
    return success ? std::launder(reinterpret_cast<const NetResource*>(buffer.get())) : nullptr;
}

NetworkWalk::NetworkWalk(NeighbourhoodSource& source, std::function<void()> processPendingEvents)
    : source_(source), processPendingEvents_(std::move(processPendingEvents)) {}

void NetworkWalk::ProcessPendingEvents() {
    if (processPendingEvents_)
        processPendingEvents_();
}

void NetworkWalk::EnumerateNetwork(std::uint32_t resourceType, std::uint32_t displayFilter,
                                   const LineSink& lines) {
    resourceType_ = resourceType;
    displayFilter_ = displayFilter;
    lines_ = &lines;
    WalkContainer(nullptr, 0);
    lines_ = nullptr;
}

void NetworkWalk::WalkContainer(const NetResource* parent, int depth) {
    ContainerBatch batch = EnumerateContainer(resourceType_, parent);
    if (!batch.success)
        return;
    const NetResource* records = batch.records();
    for (std::uint32_t i = 0; i < batch.count; ++i) {
        const NetResource& record = records[i];
        ProcessPendingEvents();
        if (displayFilter_ == 0 || record.dwDisplayType == displayFilter_) {
            for (const QString& line : ServerLines(record))
                (*lines_)(line);
            ProcessPendingEvents();
        }
        // Every container, listed or not: domains hold the servers, servers their services.
        if ((record.dwUsage & RESOURCEUSAGE_CONTAINER) && depth + 1 < kMaxDepth)
            WalkContainer(&record, depth + 1);
        ProcessPendingEvents();
    }
    batch = {};
    ProcessPendingEvents();
}

ContainerBatch NetworkWalk::EnumerateContainer(std::uint32_t resourceType,
                                               const NetResource* parent) {
    EnumHandle handle = 0;
    if (source_.OpenEnum(RESOURCE_GLOBALNET, resourceType, 0, parent, handle) !=
        EnumResult::NO_ERROR)
        return {};

    ContainerBatch batch;
    EnumResult result = EnumResult::NO_ERROR;
    try {
        std::uint32_t bufferSize = kEnumerationBufferSize;
        batch.buffer = TakeBuffer(bufferSize);
        for (;;) {
            ProcessPendingEvents();
            std::uint32_t count = kAllThatFit;
            std::memset(batch.buffer.get(), 0, bufferSize);
            std::uint32_t asked = bufferSize;
            result = source_.EnumResource(handle, count, batch.buffer.get(), asked);
            ProcessPendingEvents();
            if (result == EnumResult::ERROR_MORE_DATA && asked > bufferSize) {
                batch.buffer.reset();
                bufferSize = asked;
                batch.buffer = TakeBuffer(bufferSize);
                continue;
            }
            batch.count = count;
            break;
        }
    } catch (...) {
        // Out of memory while growing: the handle is closed before the error goes on.
        source_.CloseEnum(handle);
        throw;
    }

    if (result == EnumResult::NO_ERROR) {
        batch.success = true;
    } else {
        batch.buffer.reset();
        batch.count = 0;
    }
    source_.CloseEnum(handle);
    ProcessPendingEvents();
    return batch;
}

} // namespace vocalyn::directory
