#pragma once

#include <QDialog>

class QGroupBox;
class QPushButton;

namespace vocalyn {
class SilverPanel;
}

namespace vocalyn::video {

class VideoCap;

// The video options dialog: the capture driver's own source and format
// dialogs, each usable only when the connected driver has it. Created hidden
// at start-up and shown modally again and again.
class TfrmVideoOptions : public QDialog {
    Q_OBJECT
public:
    explicit TfrmVideoOptions(VideoCap& videoCap, QWidget* parent = nullptr);

    static constexpr int kWidth = 298;
    static constexpr int kHeight = 180;

    SilverPanel* XiPanel1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QPushButton* btnSource = nullptr;
    QPushButton* btnFormat = nullptr;
    QPushButton* btnClose = nullptr;

    void FormShow();
    void btnSourceClick();
    void btnFormatClick();
    void btnCloseClick();
    void XiPanel1MouseDown();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateControls();

    VideoCap& videoCap_;
};

} // namespace vocalyn::video
