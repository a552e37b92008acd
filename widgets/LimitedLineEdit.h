#pragma once

#include <QLineEdit>

namespace vocalyn {

// A one-line edit whose length limit holds for typing and pasting only: setWholeText shows a
// longer text whole, and from there on an edit may shorten it but never lengthen it while it is
// over the limit. (QLineEdit's maxLength would cut the text itself.)
class LimitedLineEdit : public QLineEdit {
    Q_OBJECT
public:
    LimitedLineEdit(int typingLimit, QWidget* parent = nullptr);

    int typingLimit() const { return typingLimit_; }
    void setWholeText(const QString& text);

private:
    class LengthValidator;

    const int typingLimit_;
    // The length before the edit under validation.
    qsizetype shownLength_ = 0;
};

} // namespace vocalyn
