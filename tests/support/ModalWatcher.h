#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>

namespace vocalyn::test {

// What a message box showed before the watcher closed it.
struct SeenBox {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Watches for the next modal message box, records it and presses its
// default button, so code that shows one can run to its end in a test.
class ModalWatcher {
public:
    ModalWatcher() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            box_.seen = true;
            box_.title = box->windowTitle();
            box_.text = box->text();
            box_.icon = box->icon();
            timer_.stop();
            box->done(QMessageBox::Ok);
        });
        timer_.start();
    }
    const SeenBox& box() const { return box_; }

private:
    QTimer timer_;
    SeenBox box_;
};

} // namespace vocalyn::test
