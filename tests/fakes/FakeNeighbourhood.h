#pragma once

#include "directory/NeighbourhoodAnnouncer.h"
#include "directory/NeighbourhoodSource.h"
#include "directory/ResourceEnumeration.h"

#include <QString>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace vocalyn::fakes {

// One record of the fake tree and, for a container, what opening it lists.
struct FakeNode {
    directory::ResourceEntry record;
    std::vector<FakeNode> children;
    bool failsToOpen = false;
    bool throwsOnEnum = false; // as a source that runs out of memory

    // A server: path "\\" + host, the description, a container of `children`.
    static FakeNode Server(const std::string& host, const std::string& description,
                           std::vector<FakeNode> children = {});
    // Any other container (network, domain) of `children`.
    static FakeNode Container(std::uint32_t displayType, const std::string& name,
                              std::vector<FakeNode> children);
    // A share of a server: listed by its server, not a container.
    static FakeNode Share(const std::string& path);
};

// A neighbourhood that lists a fixed tree and records every call in order. Containers are found
// again by the path, description and display type of the parent record they are opened with.
class FakeNeighbourhood final : public directory::NeighbourhoodSource {
public:
    explicit FakeNeighbourhood(std::vector<FakeNode> root = StandardTree());

    // Fake Network → WORKGROUP (alpha with a share, beta without a description, a computer that
    // cannot be opened) and OFFICE (alpha again, Delta), then a computer at the root itself.
    static std::vector<FakeNode> StandardTree();

    struct Call {
        enum Kind { Open, Enum, Close } kind;
        std::string container;          // parent path; "" for the root
        std::uint32_t scope = 0;        // Open
        std::uint32_t resourceType = 0; // Open
        std::uint32_t bufferSize = 0;   // Enum: the size handed in
        std::uint32_t countAsked = 0;   // Enum
        directory::EnumResult result = directory::EnumResult::NO_ERROR;
    };
    std::vector<Call> calls;
    // Runs after each call is recorded, for looking at the windows in the middle of a walk.
    std::function<void(const Call&)> onCall;
    bool rootFails = false; // as without any network

    std::size_t openHandles() const { return open_.size(); }

    directory::EnumResult OpenEnum(std::uint32_t scope, std::uint32_t resourceType,
                                   std::uint32_t usage, const directory::NetResource* parent,
                                   directory::EnumHandle& handle) override;
    directory::EnumResult EnumResource(directory::EnumHandle handle, std::uint32_t& count,
                                       void* buffer, std::uint32_t& bufferSize) override;
    directory::EnumResult CloseEnum(directory::EnumHandle handle) override;

private:
    struct Open {
        std::string container;
        const FakeNode* node = nullptr;
        directory::ResourceEnumeration records;
    };
    void Record(Call call);
    const FakeNode* Find(const std::vector<FakeNode>& nodes,
                         const directory::NetResource& parent) const;

    std::vector<FakeNode> root_;
    std::map<directory::EnumHandle, Open> open_;
    directory::EnumHandle lastHandle_ = 0;
};

// Records every announcement.
class RecordingAnnouncer final : public directory::NeighbourhoodAnnouncer {
public:
    struct Announcement {
        QString name;
        std::uint16_t port = 0;
    };
    std::vector<Announcement> announcements;
    int withdrawals = 0;

    void Announce(const QString& instanceName, std::uint16_t port) override {
        announcements.push_back({instanceName, port});
    }
    void Withdraw() override { ++withdrawals; }
};

} // namespace vocalyn::fakes
