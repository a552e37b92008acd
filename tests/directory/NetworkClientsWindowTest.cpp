#include "directory/TfrmNetworkClients.h"

#include "directory/BrowserPictures.h"
#include "directory/TfrmAddressList.h"
#include "directory/TfrmExport.h"
#include "tests/directory/BoxAnswerer.h"
#include "tests/fakes/FakeNeighbourhood.h"
#include "widgets/FlatButton.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace vocalyn::directory {
namespace {

using fakes::FakeNeighbourhood;
using fakes::FakeNode;

class NetworkClientsWindowTest : public ::testing::Test {
protected:
    void OpenBook(const QByteArray& bytes) {
        book_.reset(); // it writes its file as it goes
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        book_ = std::make_unique<TfrmAddressList>(dir_.path() + "/", host_);
        browser_.frmAddressList = book_.get();
    }
    QString path() const { return dir_.path() + "/IPAddress.dat"; }
    QByteArray FileBytes() const {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    void SetUp() override {
        browser_.frmExport = &searching_;
        OpenBook({});
    }

    QTemporaryDir dir_;
    QLineEdit host_;
    test::BoxAnswerer boxes_;
    FakeNeighbourhood source_;
    TfrmExport searching_;
    TfrmNetworkClients browser_{source_};
    std::unique_ptr<TfrmAddressList> book_;
};

TEST_F(NetworkClientsWindowTest, ShowingWalksUnderTheSearchingWindow) {
    struct Seen {
        bool searching, onTop, listFrozen;
        int rows;
    };
    std::vector<Seen> seen;
    source_.onCall = [&](const FakeNeighbourhood::Call&) {
        seen.push_back({searching_.isVisible(),
                        searching_.windowFlags().testFlag(Qt::WindowStaysOnTopHint),
                        !browser_.ListBox1->updatesEnabled(), browser_.ListBox1->count()});
    };
    browser_.show();

    ASSERT_FALSE(seen.empty());
    for (const Seen& s : seen) {
        EXPECT_TRUE(s.searching);
        EXPECT_TRUE(s.onTop);
        EXPECT_TRUE(s.listFrozen);
    }
    EXPECT_EQ(seen.front().rows, 0);
    EXPECT_FALSE(searching_.isVisible());
    EXPECT_TRUE(browser_.ListBox1->updatesEnabled());
    ASSERT_EQ(browser_.Lines().size(), 24);
    EXPECT_EQ(browser_.Lines().mid(4, 4),
              (QStringList{"Computer Name: ", "Host Name and Connection Path: \\\\beta.local",
                           "Network Provider: Fake Network", ""}));
    EXPECT_EQ(browser_.ListBox1->visualItemRect(browser_.ListBox1->item(1)).height(),
              TfrmNetworkClients::kRowHeight);

    // Shown again: walked again, from an empty list.
    browser_.hide();
    source_.calls.clear();
    seen.clear();
    browser_.show();
    EXPECT_EQ(seen.front().rows, 0);
    EXPECT_EQ(browser_.Lines().size(), 24);
}

TEST_F(NetworkClientsWindowTest, RefreshClearsTheListBeforeWalkingAgain) {
    browser_.show();
    ASSERT_EQ(browser_.Lines().size(), 24);
    source_.rootFails = true;
    int rowsAtFirstCall = -1;
    source_.onCall = [&](const FakeNeighbourhood::Call&) {
        rowsAtFirstCall = browser_.ListBox1->count();
    };
    QTest::mouseClick(browser_.SpeedButton1, Qt::LeftButton);
    EXPECT_EQ(rowsAtFirstCall, 0);
    EXPECT_TRUE(browser_.Lines().isEmpty());
    EXPECT_TRUE(browser_.isVisible());
}

TEST_F(NetworkClientsWindowTest, AddHostNamesSkipsHostsInTheBookAndAddsEachOnce) {
    // epsilon.local is there with the same letter case, delta.local only with other case.
    OpenBook("Eps <epsilon.local>\r\nd <delta.local>\r\n");
    browser_.show();
    QTest::mouseClick(browser_.btnAdd, Qt::LeftButton);

    const QStringList expected{" <beta.local>",       "Alpha's PC <alpha.local>",
                               "d <delta.local>",     "Delta <Delta.local>",
                               "Eps <epsilon.local>", "Gamma's Laptop <gamma>"};
    EXPECT_EQ(book_->Entries(), expected);
    EXPECT_EQ(FileBytes(), expected.join("\r\n").toUtf8() + "\r\n");
    EXPECT_FALSE(browser_.isVisible());
    EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(NetworkClientsWindowTest, WithoutNetworkNothingIsListedOrAddedAndCloseChangesNothing) {
    OpenBook("Ann <198.18.0.1>\r\n");
    source_.rootFails = true;
    browser_.show();
    EXPECT_TRUE(browser_.Lines().isEmpty());
    QTest::mouseClick(browser_.btnAdd, Qt::LeftButton);
    EXPECT_FALSE(browser_.isVisible());
    EXPECT_EQ(book_->Entries(), QStringList{"Ann <198.18.0.1>"});

    source_.rootFails = false;
    browser_.show();
    QTest::keyClick(browser_.ListBox1, Qt::Key_Escape);
    EXPECT_TRUE(browser_.isVisible());
    QTest::mouseClick(browser_.btnClose, Qt::LeftButton);
    EXPECT_FALSE(browser_.isVisible());
    EXPECT_EQ(book_->Entries(), QStringList{"Ann <198.18.0.1>"});
    EXPECT_EQ(FileBytes(), "Ann <198.18.0.1>\r\n");
}

TEST_F(NetworkClientsWindowTest, AFailedWalkIsReportedAndLeavesNoSearchingWindow) {
    FakeNode domain =
        FakeNode::Container(RESOURCEDISPLAYTYPE_DOMAIN, "D", {FakeNode::Server("a.local", "A")});
    domain.throwsOnEnum = true;
    FakeNeighbourhood failing({domain});
    TfrmNetworkClients browser(failing);
    browser.frmExport = &searching_;
    browser.show();

    ASSERT_EQ(boxes_.Boxes().size(), 1u);
    EXPECT_EQ(boxes_.Boxes()[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(searching_.isVisible());
    EXPECT_TRUE(browser.ListBox1->updatesEnabled());
    EXPECT_EQ(failing.openHandles(), 0u);
}

TEST(SearchingWindowTest, TwelveFramesTurnWhileShown) {
    std::vector<QImage> frames;
    for (int i = 0; i < kBusyFrameCount; ++i) {
        const QImage frame = BusyFrame(i).toImage();
        EXPECT_EQ(frame.size(), QSize(32, 32));
        for (const QImage& earlier : frames)
            EXPECT_NE(frame, earlier) << "frame " << i;
        frames.push_back(frame);
    }
    EXPECT_EQ(BusyFrame(kBusyFrameCount).toImage(), frames[0]);

    TfrmExport searching;
    EXPECT_EQ(searching.size(), QSize(306, 125));
    EXPECT_EQ(searching.lblStatus->text(), "Searching...");
    searching.show();
    EXPECT_TRUE(searching.Animating());
    // Every frame comes round, in order.
    std::vector<int> order{searching.CurrentFrame()};
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            if (searching.CurrentFrame() != order.back())
                order.push_back(searching.CurrentFrame());
            return order.size() > std::size_t(kBusyFrameCount);
        },
        5000));
    for (std::size_t i = 1; i < order.size(); ++i)
        EXPECT_EQ(order[i], (order[i - 1] + 1) % kBusyFrameCount);
    EXPECT_EQ(searching.Animate1->pixmap().toImage(), frames[searching.CurrentFrame()]);

    searching.hide();
    EXPECT_FALSE(searching.Animating());
}

} // namespace
} // namespace vocalyn::directory
