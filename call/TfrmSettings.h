#pragma once

#include "call/SettingsFile.h"

#include <QDialog>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vocalyn {
class LimitedLineEdit;
class SilverPanel;
class SpinEdit;
} // namespace vocalyn

namespace vocalyn::call {

// The settings dialog: edits the ring tone, the ring time, the unanswered message and the caller
// ID. Save writes "Settings.ini" and the held settings, so the values take effect at once; Close
// drops the edits. Every showing fills the fields from the held settings again. Borderless,
// dragged by its background; Escape does nothing.
class TfrmSettings : public QDialog {
    Q_OBJECT
public:
    // `dataDir` ends in "/"; `held` is the main window's held settings and must outlive the
    // dialog. The dialog is centred over `parent` whenever it is shown.
    TfrmSettings(const QString& dataDir, CallSettings& held, QWidget* parent = nullptr);
    ~TfrmSettings() override;

    static constexpr int kWidth = 474;
    static constexpr int kHeight = 231;
    static constexpr int kMinRingTime_s = 1;
    static constexpr int kMaxRingTime_s = 30;
    static constexpr int kMaxTypedLength = 50;

    // The ring-tone chooser's filter list, the first entry selected. Each entry is its shown
    // description followed by its patterns in parentheses; the chooser hides that last part,
    // so the user reads exactly "Supported Media Files", "MP3 (*.mp3)" and so on.
    static QString RingToneFilter();

    // Asks for a file to open: the parent, the initial file and the filter list in; the chosen
    // file's full path out, empty when the user cancels.
    using FileChooser =
        std::function<QString(QWidget* parent, const QString& initialFile, const QString& filter)>;
    // The chooser behind "...": the standard open-file dialog unless replaced.
    FileChooser ChooseFile;

    // Runs on "Video Options": shows the video options dialog modally. Nothing happens while
    // empty. The fields keep their edits meanwhile.
    std::function<void()> OnVideoOptions;

    // Controls, named as the rest of the program refers to them.
    SilverPanel* XiPanel1 = nullptr;
    QLabel* Label1 = nullptr; // "Ring Tone"
    QLabel* Label2 = nullptr; // "Ring Time (sec)"
    QLabel* Label3 = nullptr; // "Unanswered Message"
    QLabel* Label4 = nullptr; // "Caller ID"
    QLineEdit* edtRingTone = nullptr;
    QPushButton* btnRingTone = nullptr;
    SpinEdit* sedRingTime = nullptr;
    LimitedLineEdit* edtMessage = nullptr;
    LimitedLineEdit* edtCallerID = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnClose = nullptr;
    QPushButton* btnVideoOptions = nullptr;

    // Handlers. The key handlers see every key pressed in their field.
    void FormActivate();
    void btnRingToneClick();
    void btnSaveClick();
    void btnCloseClick();
    void btnVideoOptionsClick();
    void edtRingToneKeyDown(int Key);
    void sedRingTimeKeyDown(int Key);
    void edtMessageKeyDown(int Key);
    void edtCallerIDKeyDown(int Key);
    void XiPanel1MouseDown();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void ConnectHandlers();

    const QString dataDir_;
    CallSettings& held_;
};

} // namespace vocalyn::call
