#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

namespace vocalyn {
class RxDice;
class SilverPanel;
} // namespace vocalyn

namespace vocalyn::call {

// The calling-status dialog: stands modally over the main window from the moment a call
// request is sent until the callee accepts or the caller cancels. It shows "Calling...", a
// rolling die, and later the callee's unanswered message. Borderless; only its Cancel button
// and an accepted call close it (no Escape, no close command of its own).
class TfrmCalling : public QDialog {
    Q_OBJECT
public:
    // `owner` is the main window, over which the dialog is centred whenever it is shown.
    explicit TfrmCalling(QWidget* owner);

    static constexpr int kWidth = 383;
    static constexpr int kHeight = 134;

    // The main window's part of Cancel, run before the dialog closes. What it throws is
    // swallowed: the dialog closes all the same.
    std::function<void()> OnCancelCall;

    // Ends the modal display (an accepted call). The die keeps rolling until told otherwise.
    void Close();

    // Controls, named as the rest of the program refers to them.
    SilverPanel* XiPanel1 = nullptr;
    QLabel* Label1 = nullptr;
    RxDice* RxDice1 = nullptr;
    QPushButton* btnCancel = nullptr;

    // Handlers.
    void btnCancelClick();
    void XiPanel1MouseDown();

    void setVisible(bool visible) override;
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

} // namespace vocalyn::call
