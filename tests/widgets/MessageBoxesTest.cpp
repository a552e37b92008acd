#include "widgets/MessageBoxes.h"
#include "base/AppInfo.h"
#include "base/Error.h"
#include "widgets/ErrorReport.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPushButton>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace vocalyn {
namespace {

// What the next modal box looked like; it is answered with `answer`.
struct Seen {
    bool shown = false;
    QString caption;
    QString text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

Seen WatchBox(const std::function<void()>& show,
              QMessageBox::StandardButton answer = QMessageBox::Ok) {
    Seen seen;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        poll.stop();
        seen.shown = true;
        seen.caption = box->windowTitle();
        seen.text = box->text();
        seen.format = box->textFormat();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        seen.defaultButton = box->standardButton(box->defaultButton());
        box->done(answer);
    });
    poll.start();
    show();
    return seen;
}

// Markup a host name or a peer's message could carry: it must reach the user as typed.
const QString kMarkup = QStringLiteral("<b>peer</b> <img src=x>");

TEST(MessageBoxes, EveryKindShowsItsCaptionIconAndPlainText) {
    QWidget parent;
    struct Kind {
        std::function<void()> show;
        QString caption;
        QMessageBox::Icon icon;
    };
    const Kind kinds[] = {
        {[&] { ShowErrorBox(&parent, kMarkup); }, "Error", QMessageBox::Critical},
        {[&] { ShowWarningBox(&parent, kMarkup); }, "Warning", QMessageBox::Warning},
        {[&] { ShowInformationBox(&parent, kMarkup); }, "Information", QMessageBox::Information},
        {[&] { ShowErrorBox(&parent, "Own caption", kMarkup); }, "Own caption",
         QMessageBox::Critical},
    };
    for (const Kind& kind : kinds) {
        const Seen seen = WatchBox(kind.show);
        ASSERT_TRUE(seen.shown) << kind.caption.toStdString();
        EXPECT_EQ(seen.caption, kind.caption);
        EXPECT_EQ(seen.icon, kind.icon);
        EXPECT_EQ(seen.text, kMarkup);
        EXPECT_EQ(seen.format, Qt::PlainText) << kind.caption.toStdString();
        EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    }
}

TEST(MessageBoxes, ConfirmationDefaultsToYesAndReportsTheAnswer) {
    bool answer = false;
    Seen seen = WatchBox([&] { answer = AskConfirmation(nullptr, kMarkup); }, QMessageBox::Yes);
    ASSERT_TRUE(seen.shown);
    EXPECT_TRUE(answer);
    EXPECT_EQ(seen.caption, "Confirm");
    EXPECT_EQ(seen.format, Qt::PlainText);
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(seen.defaultButton, QMessageBox::Yes);

    seen = WatchBox([&] { answer = AskConfirmation(nullptr, kMarkup); }, QMessageBox::No);
    ASSERT_TRUE(seen.shown);
    EXPECT_FALSE(answer);
}

TEST(MessageBoxes, ErrorReportUsesTheProgramTitleAndEndsWithAFullStop) {
    const Seen seen = WatchBox([] { ShowErrorReport(QStringLiteral("<i>Socket Error</i>")); });
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.caption, QString::fromLatin1(kApplicationTitle));
    EXPECT_EQ(seen.text, "<i>Socket Error</i>.");
    EXPECT_EQ(seen.format, Qt::PlainText);
}

QString TextOf(const std::function<void()>& thrower) {
    try {
        thrower();
    } catch (...) {
        return CurrentExceptionText();
    }
    return {};
}

TEST(MessageBoxes, CurrentExceptionTextNamesEveryKindOfException) {
    EXPECT_EQ(TextOf([] { throw Error(QStringLiteral("Host not found: ä")); }),
              QStringLiteral("Host not found: ä"));
    EXPECT_EQ(TextOf([] { throw std::runtime_error("bad value"); }), "bad value");
    EXPECT_EQ(TextOf([] { throw 42; }), "Unknown error");
}

// A catch block that goes on says in its layer's log what it swallowed, where.
TEST(MessageBoxes, SwallowedErrorsAreLoggedInTheirLayersCategory) {
    static QStringList logged;
    QLoggingCategory::setFilterRules(QStringLiteral("vocalyn.call.info=true"));
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext& context, const QString& text) {
            logged << QString::fromLatin1(context.category) + ": " + text;
        });
    for (const auto* category : {&lcCall(), &lcNet()}) {
        try {
            throw Error(QStringLiteral("no route"));
        } catch (...) {
            LogSwallowed(*category, "sending");
        }
    }
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    // The net category stays quiet below warnings unless told otherwise.
    EXPECT_EQ(logged, QStringList({"vocalyn.call: sending went on after: no route"}));
}

TEST(MessageBoxes, GuardedHandlerReportsWhatItThrows) {
    auto handler = Guarded([] { throw Error(QStringLiteral("Cannot bind")); });
    const Seen seen = WatchBox([&] { handler(); });
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.text, "Cannot bind.");
}

TEST(DialogButtons, MadeButtonsNeverBecomeTheDefault) {
    QWidget parent;
    QPushButton* button = MakeButton(&parent, QStringLiteral("Close"), QRect(10, 20, 90, 28));
    EXPECT_EQ(button->parent(), &parent);
    EXPECT_EQ(button->text(), "Close");
    EXPECT_EQ(button->geometry(), QRect(10, 20, 90, 28));
    EXPECT_FALSE(button->autoDefault());
    EXPECT_FALSE(button->isDefault());
}

} // namespace
} // namespace vocalyn
