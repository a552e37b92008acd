#pragma once

#include "voice/ICCNMediaTerm.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace vocalyn::voice {

// The component through which the program reaches its one media terminal. It
// connects on first use, through the factory it was given (the GStreamer
// terminal in the program, a substitute in tests), and keeps the terminal
// until the program ends.
class TCCNMediaTerm : public QObject {
    Q_OBJECT

public:
    // Makes the terminal; throws vocalyn::Error with the reason when it cannot.
    using Factory = std::function<std::shared_ptr<ICCNMediaTerm>()>;

    explicit TCCNMediaTerm(Factory factory, QObject* parent = nullptr);
    ~TCCNMediaTerm() override;

    // The terminal, connected on the first request. Throws vocalyn::Error
    // with the factory's reason, or "Interface not supported" when the
    // factory gives no terminal; the next request tries again.
    std::shared_ptr<ICCNMediaTerm> DefaultInterface();

    bool Connected() const { return terminal_ != nullptr; }

    // The terminal's status text; empty before it is connected.
    QString statusText() const;

Q_SIGNALS:
    // Forwarded from the terminal, so a window can watch it before the first call.
    void statusChanged(const QString& text);

private:
    Factory factory_;
    std::shared_ptr<ICCNMediaTerm> terminal_;
};

} // namespace vocalyn::voice
