#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <deque>
#include <vector>

namespace vocalyn::test {

struct ShownBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Records every message box shown while it lives and presses a button in it: the next scripted
// answer, or the box's default button when none is left. So no test can hang in a box.
class BoxAnswerer {
public:
    BoxAnswerer() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }

    void AnswerNext(QMessageBox::StandardButton button) { answers_.push_back(button); }
    const std::vector<ShownBox>& Boxes() const { return boxes_; }

private:
    void Poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == answered_)
            return;
        answered_ = box;
        boxes_.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons()});
        QMessageBox::StandardButton answer = box->standardButton(box->defaultButton());
        if (!answers_.empty()) {
            answer = answers_.front();
            answers_.pop_front();
        }
        if (QAbstractButton* button = box->button(answer))
            button->click();
        else
            box->done(answer);
    }

    QTimer timer_;
    QPointer<QMessageBox> answered_;
    std::deque<QMessageBox::StandardButton> answers_;
    std::vector<ShownBox> boxes_;
};

} // namespace vocalyn::test
