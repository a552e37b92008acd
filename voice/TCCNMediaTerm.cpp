#include "voice/TCCNMediaTerm.h"

#include "base/Error.h"

namespace vocalyn::voice {

TCCNMediaTerm::TCCNMediaTerm(Factory factory, QObject* parent)
    : QObject(parent), factory_(std::move(factory)) {}

TCCNMediaTerm::~TCCNMediaTerm() = default;

std::shared_ptr<ICCNMediaTerm> TCCNMediaTerm::DefaultInterface() {
    if (!terminal_) {
        std::shared_ptr<ICCNMediaTerm> made = factory_ ? factory_() : nullptr;
        if (!made)
            throw Error(QStringLiteral("Interface not supported"));
        terminal_ = std::move(made);
        connect(terminal_.get(), &ICCNMediaTerm::statusChanged, this,
                &TCCNMediaTerm::statusChanged);
        if (!terminal_->statusText().isEmpty())
            Q_EMIT statusChanged(terminal_->statusText());
    }
    return terminal_;
}

QString TCCNMediaTerm::statusText() const {
    return terminal_ ? terminal_->statusText() : QString();
}

} // namespace vocalyn::voice
