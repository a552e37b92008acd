#include "widgets/SpinEdit.h"

#include <QApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

#include <algorithm>

namespace vocalyn {

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    // The wheel does not step this field, so it gives no focus either.
    setFocusPolicy(Qt::StrongFocus);
    setValue(minValue_);
}

void SpinEdit::setRange(int minValue, int maxValue) {
    minValue_ = minValue;
    maxValue_ = std::max(minValue, maxValue);
}

int SpinEdit::value() const {
    bool ok = false;
    const int number = text().toInt(&ok, 10);
    return ok ? number : minValue_;
}

void SpinEdit::setValue(int value) {
    setText(QString::number(std::clamp(value, minValue_, maxValue_)));
}

void SpinEdit::setText(const QString& text) {
    lineEdit()->setText(text);
}

void SpinEdit::stepBy(int steps) {
    // 64 bits: a typed number near the 32-bit limits must not overflow on its way to the range.
    const qint64 next = static_cast<qint64>(value()) + steps;
    setValue(static_cast<int>(std::clamp<qint64>(next, minValue_, maxValue_)));
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const {
    // Stepping always lands within the range, so both directions always work.
    return isReadOnly() ? StepNone : (StepUpEnabled | StepDownEnabled);
}

bool SpinEdit::IsTypeable(QChar c) const {
    if (c >= u'0' && c <= u'9')
        return true;
    if (c == u'+' || c == u'-')
        return true;
    if (c == u'\r')
        return false;
    if (c.category() == QChar::Other_Control)
        return true;
    return QLocale().decimalPoint() == QString(c);
}

bool SpinEdit::Refuses(const QKeyEvent& event) const {
    if (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter)
        return true;
    // Key combinations are commands (copy, paste, undo), not typed characters.
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString typed = event.text();
    return !std::all_of(typed.begin(), typed.end(), [this](QChar c) { return IsTypeable(c); });
}

void SpinEdit::Refuse() {
    QApplication::beep();
    emit Refused();
}

void SpinEdit::keyPressEvent(QKeyEvent* event) {
    if (Refuses(*event)) {
        event->accept();
        Refuse();
        return;
    }
    if (event->key() == Qt::Key_PageUp || event->key() == Qt::Key_PageDown) {
        // Only single steps, by the arrow keys and buttons.
        event->ignore();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void SpinEdit::inputMethodEvent(QInputMethodEvent* event) {
    const QString typed = event->commitString();
    if (!std::all_of(typed.begin(), typed.end(), [this](QChar c) { return IsTypeable(c); })) {
        event->accept();
        Refuse();
        return;
    }
    QAbstractSpinBox::inputMethodEvent(event);
}

void SpinEdit::focusOutEvent(QFocusEvent* event) {
    // Only a move of the focus within the window ends the edit; switching to another window or
    // opening the context menu leaves the text as it is.
    const Qt::FocusReason reason = event->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
        const int current = value();
        if (current < minValue_ || current > maxValue_)
            setValue(current);
    }
    QAbstractSpinBox::focusOutEvent(event);
}

void SpinEdit::wheelEvent(QWheelEvent* event) {
    event->ignore();
}

} // namespace vocalyn
