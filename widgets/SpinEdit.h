#pragma once

#include <QAbstractSpinBox>

namespace vocalyn {

// A whole-number field with up and down buttons. Unlike QSpinBox it lets any number be typed and
// brings it within its range only when the focus leaves, and it refuses, with a short beep, the
// typed characters that cannot belong to a number: anything but digits, "+", "-", the decimal
// separator and control characters other than Enter. Enter is refused too, so a field that
// moves the focus on Enter still beeps.
class SpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit SpinEdit(QWidget* parent = nullptr);

    void setRange(int minValue, int maxValue);
    int minValue() const { return minValue_; }
    int maxValue() const { return maxValue_; }

    // The text read as a whole number, not limited to the range; minValue() when the text is not
    // a whole number.
    int value() const;
    // Shows `value` limited to the range.
    void setValue(int value);
    // Shows `text` as it is, even when it is no number.
    void setText(const QString& text);

    // Adds `steps` to the value, staying within the range.
    void stepBy(int steps) override;

signals:
    // A typed character was refused; the field has beeped.
    void Refused();

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    bool IsTypeable(QChar c) const;
    bool Refuses(const QKeyEvent& event) const;
    void Refuse();

    int minValue_ = 0;
    int maxValue_ = 100;
};

} // namespace vocalyn
