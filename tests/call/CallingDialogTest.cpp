// The calling-status dialog and its die, on their own.
#include "call/TfrmCalling.h"
#include "tests/call/CallTestSupport.h"
#include "tests/support/ModalWatcher.h"
#include "widgets/RxDice.h"
#include "widgets/SilverPanel.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <stdexcept>

using namespace vocalyn;
using vocalyn::call::TfrmCalling;

TEST(RxDice, NeverShowsTheSameFaceTwiceInARow) {
    EXPECT_EQ(RxDice::NextFace(3, 5), 5);
    EXPECT_EQ(RxDice::NextFace(3, 3), 2);
    EXPECT_EQ(RxDice::NextFace(6, 6), 5);
    EXPECT_EQ(RxDice::NextFace(2, 2), 1);
    EXPECT_EQ(RxDice::NextFace(1, 1), 2);

    RxDice die;
    EXPECT_EQ(die.Value(), 1);
    EXPECT_FALSE(die.Rotate());
    QList<int> draws{1, 1, 4, 4, 6};
    die.SetFaceSource([&] { return draws.takeFirst(); });
    QList<int> shown;
    for (int i = 0; i < 5; ++i) {
        die.Roll();
        shown << die.Value();
    }
    EXPECT_EQ(shown, QList<int>({2, 1, 4, 3, 6}));
}

TEST(RxDice, RollsEverySixtyMillisecondsAndKeepsItsFaceWhenStopped) {
    RxDice die;
    int draws = 0;
    die.SetFaceSource([&] { return ++draws % 6 + 1; });
    die.SetRotate(true);
    die.SetRotate(true); // rolling already: not restarted
    EXPECT_TRUE(die.Rotate());
    ASSERT_TRUE(QTest::qWaitFor([&] { return draws >= 3; }, 2000));
    die.SetRotate(false);
    const int face = die.Value();
    const int drawn = draws;
    EXPECT_FALSE(die.Rotate());
    EXPECT_EQ(die.Value(), face);
    EXPECT_EQ(draws, drawn);
    // The roll's pace, from the timer that drives it.
    const auto* timer = die.findChild<QTimer*>();
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 60);
}

class CallingDialog : public ::testing::Test {
protected:
    void SetUp() override {
        owner_.setGeometry(200, 150, 658, 682);
        owner_.show();
    }
    QWidget owner_;
    TfrmCalling dialog_{&owner_};
};

TEST_F(CallingDialog, LooksAsDesigned) {
    EXPECT_EQ(dialog_.size(), QSize(383, 134));
    EXPECT_TRUE(dialog_.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dialog_.windowTitle(), "Calling Status");
    EXPECT_EQ(dialog_.XiPanel1->geometry(), dialog_.rect());

    EXPECT_EQ(dialog_.Label1->text(), "Calling...");
    EXPECT_EQ(dialog_.Label1->textFormat(), Qt::PlainText);
    EXPECT_FALSE(dialog_.Label1->wordWrap());
    EXPECT_EQ(dialog_.Label1->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    EXPECT_EQ(dialog_.Label1->geometry().center().x(), 383 / 2);
    EXPECT_LT(dialog_.Label1->y(), 30);

    EXPECT_EQ(dialog_.RxDice1->size(), QSize(66, 66));
    EXPECT_LT(dialog_.RxDice1->x(), 60);
    EXPECT_EQ(dialog_.RxDice1->Value(), 1);
    EXPECT_FALSE(dialog_.RxDice1->Rotate());

    EXPECT_EQ(dialog_.btnCancel->text(), "Cancel");
    EXPECT_TRUE(dialog_.btnCancel->font().bold());
    EXPECT_GT(dialog_.btnCancel->geometry().right(), 340);
    EXPECT_GT(dialog_.btnCancel->y(), 80);

    const QImage panel = dialog_.XiPanel1->grab().toImage();
    EXPECT_EQ(QColor(panel.pixel(5, 0)), QColor(Qt::white));
    EXPECT_EQ(QColor(panel.pixel(5, panel.height() - 1)), QColor(222, 224, 218));
}

TEST_F(CallingDialog, OnlyCancelClosesItAndItStandsCentredOverItsOwner) {
    int cancels = 0;
    dialog_.OnCancelCall = [&] { ++cancels; };
    test::Script script;
    script
        .When(
            "shown", [&] { return dialog_.isVisible(); },
            [&] {
                EXPECT_TRUE(dialog_.isModal());
                // A Wayland client does not place its windows; the desktop puts a dialog over
                // its transient parent.
                if (QGuiApplication::platformName().startsWith("wayland"))
                    EXPECT_EQ(dialog_.windowHandle()->transientParent(), owner_.windowHandle());
                else
                    EXPECT_LE((dialog_.frameGeometry().center() - owner_.frameGeometry().center())
                                  .manhattanLength(),
                              2);
                QTest::keyClick(&dialog_, Qt::Key_Escape);
                dialog_.close();
                dialog_.reject();
            })
        .Then("still shown, then Cancel", [&] {
            EXPECT_TRUE(dialog_.isVisible());
            EXPECT_EQ(cancels, 0);
            dialog_.btnCancel->click();
        });
    ASSERT_TRUE(script.Run([&] { dialog_.exec(); })) << script.failure().toStdString();
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_EQ(cancels, 1);
}

TEST_F(CallingDialog, CancelClosesEvenWhenTheCallerSideFailsAndReportsNothing) {
    dialog_.OnCancelCall = [] { throw std::runtime_error("no route"); };
    test::ModalWatcher watcher;
    test::Script script;
    script.When(
        "shown", [&] { return dialog_.isVisible(); }, [&] { dialog_.btnCancel->click(); });
    ASSERT_TRUE(script.Run([&] { dialog_.exec(); })) << script.failure().toStdString();
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_FALSE(watcher.box().seen);
}
