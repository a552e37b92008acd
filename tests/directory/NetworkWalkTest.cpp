#include "directory/NetworkWalk.h"

#include "tests/fakes/FakeNeighbourhood.h"

#include <gtest/gtest.h>

#include <new>

namespace vocalyn::directory {
namespace {

using fakes::FakeNeighbourhood;
using fakes::FakeNode;
using Call = FakeNeighbourhood::Call;

QStringList Server(const QString& description, const QString& host) {
    return {"Computer Name: " + description, "Host Name and Connection Path: \\\\" + host,
            "Network Provider: Fake Network", ""};
}

QStringList Walk(FakeNeighbourhood& source, std::uint32_t filter = RESOURCEDISPLAYTYPE_SERVER) {
    QStringList lines;
    NetworkWalk(source, {}).EnumerateNetwork(RESOURCETYPE_DISK, filter, [&](const QString& line) {
        lines.append(line);
    });
    return lines;
}

std::vector<std::string> Opened(const FakeNeighbourhood& source) {
    std::vector<std::string> containers;
    for (const Call& call : source.calls)
        if (call.kind == Call::Open)
            containers.push_back(call.container);
    return containers;
}

std::vector<Call> CallsOf(const FakeNeighbourhood& source, const std::string& container,
                          Call::Kind kind) {
    std::vector<Call> found;
    for (const Call& call : source.calls)
        if (call.container == container && call.kind == kind)
            found.push_back(call);
    return found;
}

TEST(NetworkWalkTest, DepthFirstFourLinesPerServerEveryContainerOpened) {
    FakeNeighbourhood source;
    const QStringList lines = Walk(source);

    // Servers in walk order: a server listed twice appears twice, one without a description
    // has nothing after its label, and the share of alpha is no server.
    QStringList expected;
    for (const auto& [description, host] :
         std::vector<std::pair<QString, QString>>{{"Alpha's PC", "alpha.local"},
                                                  {"", "beta.local"},
                                                  {"Gamma's Laptop", "gamma"},
                                                  {"Alpha's PC", "alpha.local"},
                                                  {"Delta", "Delta.local"},
                                                  {"Epsilon", "epsilon.local"}})
        expected += Server(description, host);
    EXPECT_EQ(lines, expected);

    // Every container, listed or not, is opened before the walk goes on to the next record.
    EXPECT_EQ(Opened(source),
              (std::vector<std::string>{"", "Fake Network", "WORKGROUP", "\\\\alpha.local",
                                        "\\\\beta.local", "\\\\gamma", "OFFICE", "\\\\alpha.local",
                                        "\\\\Delta.local", "\\\\epsilon.local"}));
    for (const Call& call : source.calls) {
        if (call.kind == Call::Open) {
            EXPECT_EQ(call.scope, RESOURCE_GLOBALNET);
            EXPECT_EQ(call.resourceType, RESOURCETYPE_DISK);
        }
        if (call.kind == Call::Enum) {
            EXPECT_EQ(call.bufferSize, kEnumerationBufferSize);
            EXPECT_EQ(call.countAsked, kAllThatFit);
        }
    }
    // One request per opened container, and each handle closed again.
    EXPECT_EQ(CallsOf(source, "WORKGROUP", Call::Enum).size(), 1u);
    EXPECT_EQ(CallsOf(source, "\\\\gamma", Call::Enum).size(), 0u);
    EXPECT_EQ(source.openHandles(), 0u);
    const auto opens = std::count_if(source.calls.begin(), source.calls.end(), [](auto& c) {
        return c.kind == Call::Open && c.result == EnumResult::NO_ERROR;
    });
    EXPECT_EQ(opens, std::count_if(source.calls.begin(), source.calls.end(),
                                   [](auto& c) { return c.kind == Call::Close; }));
}

TEST(NetworkWalkTest, FilterZeroListsEveryRecord) {
    FakeNeighbourhood source;
    const QStringList lines = Walk(source, 0);
    // Ten records, and alpha's share once more under alpha's second listing.
    EXPECT_EQ(lines.size(), 4 * 11);
    EXPECT_EQ(lines.mid(0, 4),
              (QStringList{"Computer Name: ", "Host Name and Connection Path: Fake Network",
                           "Network Provider: Fake Network", ""}));
    EXPECT_TRUE(lines.contains("Host Name and Connection Path: \\\\alpha.local\\docs"));
}

TEST(NetworkWalkTest, NoNetworkListsNothing) {
    FakeNeighbourhood source;
    source.rootFails = true;
    EXPECT_TRUE(Walk(source).isEmpty());
    ASSERT_EQ(source.calls.size(), 1u);
    EXPECT_EQ(source.calls[0].kind, Call::Open);
}

TEST(NetworkWalkTest, ALargeContainerListsOnlyItsFirstBatch) {
    std::vector<FakeNode> servers;
    for (int i = 0; i < 2000; ++i)
        servers.push_back(
            FakeNode::Server("host" + std::to_string(i), "Computer " + std::to_string(i)));
    FakeNeighbourhood source({FakeNode::Container(RESOURCEDISPLAYTYPE_DOMAIN, "BIG", servers)});
    const QStringList lines = Walk(source);

    const auto batch = CallsOf(source, "BIG", Call::Enum);
    ASSERT_EQ(batch.size(), 1u);
    EXPECT_EQ(batch[0].result, EnumResult::NO_ERROR);
    const qsizetype listed = lines.size() / 4;
    EXPECT_GT(listed, 100);
    EXPECT_LT(listed, 2000);
    EXPECT_LE(std::size_t(listed) * PackedSize(servers[0].record), kEnumerationBufferSize);
    // The first ones, in order; each of them was opened.
    EXPECT_EQ(lines.mid(4 * (listed - 1), 4), Server("Computer " + QString::number(listed - 1),
                                                     "host" + QString::number(listed - 1)));
    EXPECT_EQ(Opened(source).size(), std::size_t(2 + listed));
}

TEST(NetworkWalkTest, TheBufferGrowsOnlyForARecordThatDoesNotFit) {
    const std::string longDescription(20000, 'x');
    FakeNeighbourhood source({FakeNode::Container(RESOURCEDISPLAYTYPE_DOMAIN, "D",
                                                  {FakeNode::Server("long.local", longDescription),
                                                   FakeNode::Server("short.local", "Short")})});
    const QStringList lines = Walk(source);

    const auto requests = CallsOf(source, "D", Call::Enum);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].bufferSize, kEnumerationBufferSize);
    EXPECT_EQ(requests[0].result, EnumResult::ERROR_MORE_DATA);
    EXPECT_EQ(requests[1].bufferSize,
              PackedSize(FakeNode::Server("long.local", longDescription).record));
    EXPECT_EQ(requests[1].result, EnumResult::NO_ERROR);
    // The grown buffer took the long record only: the second server is beyond the batch.
    EXPECT_EQ(lines, Server(QString::fromStdString(longDescription), "long.local"));
    // The next container starts afresh at the first size.
    EXPECT_EQ(CallsOf(source, "\\\\long.local", Call::Enum).at(0).bufferSize,
              kEnumerationBufferSize);
}

TEST(NetworkWalkTest, AnErrorWhileGrowingClosesEveryHandleAndGoesOn) {
    FakeNode domain =
        FakeNode::Container(RESOURCEDISPLAYTYPE_DOMAIN, "D", {FakeNode::Server("a.local", "A")});
    domain.throwsOnEnum = true;
    FakeNeighbourhood source({domain});
    EXPECT_THROW(Walk(source), std::bad_alloc);
    EXPECT_EQ(source.openHandles(), 0u);
    EXPECT_EQ(source.calls.back().kind, Call::Close);
}

TEST(NetworkWalkTest, ATreeThatContainsItselfEndsAtTheDepthBound) {
    // Opening "loop" finds the first record of that name again: the loop lists itself.
    FakeNode loop = FakeNode::Container(RESOURCEDISPLAYTYPE_DOMAIN, "loop", {});
    loop.children = {loop};
    FakeNeighbourhood source({loop});
    EXPECT_TRUE(Walk(source).isEmpty());
    EXPECT_EQ(Opened(source).size(), std::size_t(NetworkWalk::kMaxDepth));
    EXPECT_EQ(source.openHandles(), 0u);
}

} // namespace
} // namespace vocalyn::directory
