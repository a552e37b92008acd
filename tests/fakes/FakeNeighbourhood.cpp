#include "tests/fakes/FakeNeighbourhood.h"

#include <new>

namespace vocalyn::fakes {

using namespace directory;

namespace {

constexpr char kProvider[] = "Fake Network";

std::string Text(const char* text) {
    return text ? text : "";
}

} // namespace

FakeNode FakeNode::Server(const std::string& host, const std::string& description,
                          std::vector<FakeNode> children) {
    FakeNode node;
    node.record.dwType = RESOURCETYPE_ANY;
    node.record.dwDisplayType = RESOURCEDISPLAYTYPE_SERVER;
    node.record.dwUsage = RESOURCEUSAGE_CONTAINER;
    node.record.remoteName = "\\\\" + host;
    node.record.comment = description;
    node.record.provider = kProvider;
    node.children = std::move(children);
    return node;
}

FakeNode FakeNode::Container(std::uint32_t displayType, const std::string& name,
                             std::vector<FakeNode> children) {
    FakeNode node;
    node.record.dwDisplayType = displayType;
    node.record.dwUsage = RESOURCEUSAGE_CONTAINER;
    node.record.remoteName = name;
    node.record.provider = kProvider;
    node.children = std::move(children);
    return node;
}

FakeNode FakeNode::Share(const std::string& path) {
    FakeNode node;
    node.record.dwType = RESOURCETYPE_DISK;
    node.record.dwDisplayType = RESOURCEDISPLAYTYPE_SHARE;
    node.record.dwUsage = RESOURCEUSAGE_CONNECTABLE;
    node.record.remoteName = path;
    node.record.provider = kProvider;
    return node;
}

std::vector<FakeNode> FakeNeighbourhood::StandardTree() {
    FakeNode unreachable = FakeNode::Server("gamma", "Gamma's Laptop");
    unreachable.failsToOpen = true;
    return {
        FakeNode::Container(
            RESOURCEDISPLAYTYPE_NETWORK, kProvider,
            {FakeNode::Container(RESOURCEDISPLAYTYPE_DOMAIN, "WORKGROUP",
                                 {FakeNode::Server("alpha.local", "Alpha's PC",
                                                   {FakeNode::Share("\\\\alpha.local\\docs")}),
                                  FakeNode::Server("beta.local", ""), unreachable}),
             FakeNode::Container(RESOURCEDISPLAYTYPE_DOMAIN, "OFFICE",
                                 {FakeNode::Server("alpha.local", "Alpha's PC"),
                                  FakeNode::Server("Delta.local", "Delta")})}),
        FakeNode::Server("epsilon.local", "Epsilon"),
    };
}

FakeNeighbourhood::FakeNeighbourhood(std::vector<FakeNode> root) : root_(std::move(root)) {}

void FakeNeighbourhood::Record(Call call) {
    calls.push_back(std::move(call));
    if (onCall)
        onCall(calls.back());
}

const FakeNode* FakeNeighbourhood::Find(const std::vector<FakeNode>& nodes,
                                        const NetResource& parent) const {
    for (const FakeNode& node : nodes) {
        if (node.record.remoteName == Text(parent.lpRemoteName) &&
            node.record.comment == Text(parent.lpComment) &&
            node.record.dwDisplayType == parent.dwDisplayType)
            return &node;
        if (const FakeNode* found = Find(node.children, parent))
            return found;
    }
    return nullptr;
}

EnumResult FakeNeighbourhood::OpenEnum(std::uint32_t scope, std::uint32_t resourceType,
                                       std::uint32_t, const NetResource* parent,
                                       EnumHandle& handle) {
    const std::string container = parent ? Text(parent->lpRemoteName) : std::string();
    const FakeNode* node = parent ? Find(root_, *parent) : nullptr;
    EnumResult result = EnumResult::NO_ERROR;
    if (parent ? (!node || node->failsToOpen || !(parent->dwUsage & RESOURCEUSAGE_CONTAINER))
               : rootFails)
        result = parent ? EnumResult::ERROR_NOT_CONTAINER : EnumResult::ERROR_NO_NETWORK;
    if (result == EnumResult::NO_ERROR) {
        std::vector<ResourceEntry> entries;
        for (const FakeNode& child : node ? node->children : root_)
            if (resourceType == RESOURCETYPE_ANY || child.record.dwType == RESOURCETYPE_ANY ||
                child.record.dwType == resourceType ||
                (child.record.dwUsage & RESOURCEUSAGE_CONTAINER))
                entries.push_back(child.record);
        handle = ++lastHandle_;
        open_.emplace(handle, Open{container, node, ResourceEnumeration(std::move(entries))});
    }
    Record({Call::Open, container, scope, resourceType, 0, 0, result});
    return result;
}

EnumResult FakeNeighbourhood::EnumResource(EnumHandle handle, std::uint32_t& count, void* buffer,
                                           std::uint32_t& bufferSize) {
    const auto open = open_.find(handle);
    if (open == open_.end())
        return EnumResult::ERROR_INVALID_HANDLE;
    const std::uint32_t givenSize = bufferSize;
    const std::uint32_t asked = count;
    if (open->second.node && open->second.node->throwsOnEnum) {
        Record({Call::Enum, open->second.container, 0, 0, givenSize, asked,
                EnumResult::ERROR_MORE_DATA});
        throw std::bad_alloc();
    }
    const EnumResult result = open->second.records.EnumResource(count, buffer, bufferSize);
    Record({Call::Enum, open->second.container, 0, 0, givenSize, asked, result});
    return result;
}

EnumResult FakeNeighbourhood::CloseEnum(EnumHandle handle) {
    const auto open = open_.find(handle);
    if (open == open_.end())
        return EnumResult::ERROR_INVALID_HANDLE;
    Record({Call::Close, open->second.container, 0, 0, 0, 0, EnumResult::NO_ERROR});
    open_.erase(open);
    return EnumResult::NO_ERROR;
}

} // namespace vocalyn::fakes
