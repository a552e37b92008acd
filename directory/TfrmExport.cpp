#include "directory/TfrmExport.h"

#include "directory/BrowserPictures.h"
#include "widgets/Fonts.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace vocalyn::directory {

TfrmExport::TfrmExport(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus) {
    setWindowTitle(QStringLiteral("Searching For Network Clients..."));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(kWidth, kHeight);
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);

    for (int i = 0; i < kBusyFrameCount; ++i)
        frames_[i] = BusyFrame(i);
    Animate1 = new QLabel(this);
    Animate1->setGeometry((kWidth - kBusyFrameSize) / 2, 16, kBusyFrameSize, kBusyFrameSize);
    Animate1->setPixmap(frames_[0]);

    lblStatus = new QLabel(QStringLiteral("Searching..."), this);
    lblStatus->setTextFormat(Qt::PlainText);
    InstallFontSubstitutions();
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(32);
    font.setBold(true);
    font.setItalic(true);
    lblStatus->setFont(font);
    lblStatus->setAlignment(Qt::AlignCenter);
    lblStatus->setGeometry(0, 58, kWidth, 44);

    animationTimer_.setInterval(kFrameInterval_ms);
    connect(&animationTimer_, &QTimer::timeout, this, [this] { NextFrame(); });
}

void TfrmExport::NextFrame() {
    frame_ = (frame_ + 1) % kBusyFrameCount;
    Animate1->setPixmap(frames_[frame_]);
}

void TfrmExport::showEvent(QShowEvent* event) {
    CentreOnScreen();
    QWidget::showEvent(event);
    animationTimer_.start();
}

void TfrmExport::hideEvent(QHideEvent* event) {
    animationTimer_.stop();
    QWidget::hideEvent(event);
}

void TfrmExport::CentreOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->geometry().center());
    move(frame.topLeft());
}

} // namespace vocalyn::directory
