#include "widgets/LimitedLineEdit.h"

#include <QValidator>

#include <algorithm>

namespace vocalyn {

class LimitedLineEdit::LengthValidator : public QValidator {
public:
    explicit LengthValidator(LimitedLineEdit& edit) : QValidator(&edit), edit_(edit) {}

    State validate(QString& input, int&) const override {
        const qsizetype allowed = std::max<qsizetype>(edit_.typingLimit_, edit_.shownLength_);
        return input.size() > allowed ? Invalid : Acceptable;
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
