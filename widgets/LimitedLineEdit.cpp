#include "widgets/LimitedLineEdit.h"

#include <QValidator>

#include <algorithm>

namespace vocalyn {

class LimitedLineEdit::LengthValidator : public QValidator {
public:
    explicit LengthValidator(LimitedLineEdit& edit) : QValidator(&edit), edit_(edit) {}

    // Too long: what was just put in before the cursor is cut to what fits, so that a paste
    // keeps its first part instead of being dropped whole.
    State validate(QString& input, int& pos) const override {
        const qsizetype allowed = std::max<qsizetype>(edit_.typingLimit_, edit_.shownLength_);
        const qsizetype excess = input.size() - allowed;
        if (excess <= 0)
            return Acceptable;
        qsizetype from = pos - excess;
        if (from < 0)
            return Invalid;
        // Never half a character.
        if (from > 0 && input.at(from).isLowSurrogate())
            --from;
        input.remove(from, pos - from);
        pos = static_cast<int>(from);
        return Acceptable;
    }

private:
    const LimitedLineEdit& edit_;
};

LimitedLineEdit::LimitedLineEdit(int typingLimit, QWidget* parent)
    : QLineEdit(parent), typingLimit_(typingLimit) {
    setValidator(new LengthValidator(*this));
    connect(this, &QLineEdit::textChanged, this,
            [this](const QString& text) { shownLength_ = text.size(); });
}

void LimitedLineEdit::setWholeText(const QString& text) {
    // Counted before the change, so the text is valid input the moment it is shown.
    shownLength_ = text.size();
    setText(text);
}

} // namespace vocalyn
