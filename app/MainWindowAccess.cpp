#include "app/MainWindowAccess.h"

#include "app/TfrmMain.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FlatButton.h"

#include <QAccessibleWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

#include <iterator>
#include <utility>

namespace vocalyn {

namespace {

// A plain top-level QWidget reports the Client role, which AT-SPI calls a filler; a screen reader
// then announces no window at all.
QAccessibleInterface* MainWindowInterface(const QString& className, QObject* object) {
    if (className != QLatin1String(TfrmMain::staticMetaObject.className()) ||
        !object->isWidgetType())
        return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}

} // namespace

void SetUpAccess(TfrmMain& w) {
    static const bool factoryInstalled = (QAccessible::installFactory(MainWindowInterface), true);
    (void)factoryInstalled;

    // Picture buttons have no text, and "?", "_" and "..." are read as punctuation.
    const std::pair<QWidget*, QString> names[] = {
        {w.btnHelp, QStringLiteral("Help")},
        {w.SpeedButton1, QStringLiteral("Minimise")},
        {w.btnMute, QStringLiteral("Mute microphone")},
        {w.btnCall, QStringLiteral("Call")},
        {w.btnEnd, QStringLiteral("End call")},
        {w.btnSnapShot, QStringLiteral("Snapshot")},
        {w.edtHostName, QStringLiteral("Host name or IP address")},
        {w.btnHostName, QStringLiteral("Address book")},
        {w.dxToolButton3, QStringLiteral("Look up local address again")},
        {w.btnSettings, QStringLiteral("Control settings")},
        {w.btnExit, QStringLiteral("Exit")},
        {w.Image1, QStringLiteral("Video of the other side")},
        {w.pnlVideoArea, w.pnlVideoArea->caption()},
    };
    for (const auto& [control, name] : names)
        control->setAccessibleName(name);
    // Mute shows its on state only as a red "*" over the picture.
    w.btnMute->setCheckedCaption(QStringLiteral("*"));

    // Pressing the button, not calling its handler, keeps the call logic in one place.
    QObject::connect(w.edtHostName, &QLineEdit::returnPressed, w.btnCall, &QAbstractButton::click);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), &w);
    QObject::connect(help, &QShortcut::activated, w.btnHelp, &QAbstractButton::click);

    // Typing the address to call is the first thing to do; "?" was first only by creation order.
    QWidget* const order[] = {w.edtHostName, w.btnHostName, w.btnCall,     w.btnEnd,
                              w.btnMute,     w.btnSnapShot, w.btnSettings, w.dxToolButton3,
                              w.btnExit,     w.btnHelp,     w.SpeedButton1};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    w.edtHostName->setFocus();
}

} // namespace vocalyn
