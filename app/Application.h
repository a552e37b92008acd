#pragma once

#include <QApplication>

namespace vocalyn {

// The application object. Handlers are wrapped with Guarded() where they are
// connected; notify() is the last line of defence so that nothing a handler
// throws ever unwinds through Qt's event loop.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace vocalyn
