#include "video/capture/v4l2/SourceDialog.h"

#include "widgets/ErrorReport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vocalyn::video::v4l2 {

namespace {

// A slider for coarse moves with a number box for exact values.
class IntegerEditor : public QWidget {
public:
    explicit IntegerEditor(const Control& control, QWidget* parent = nullptr) : QWidget(parent) {
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        slider = new QSlider(Qt::Horizontal, this);
        box = new QSpinBox(this);
        slider->setRange(control.minimum, control.maximum);
        slider->setSingleStep(control.step);
        box->setRange(control.minimum, control.maximum);
        box->setSingleStep(control.step);
        layout->addWidget(slider, 1);
        layout->addWidget(box);
        show(control.value);
    }
    void show(int value) {
        const QSignalBlocker blockSlider(slider);
        const QSignalBlocker blockBox(box);
        slider->setValue(value);
        box->setValue(value);
    }
    QSlider* slider;
    QSpinBox* box;
};

} // namespace

SourceDialog::SourceDialog(IoctlPort& device, const QString& deviceName, QWidget* parent)
    : QDialog(parent), device_(device), controls_(QueryControls(device)), found_(controls_) {
    setWindowTitle(QStringLiteral("Video Source - %1").arg(deviceName));
    setModal(true);

    auto* form = new QWidget;
    auto* rows = new QFormLayout(form);
    for (const Control& control : controls_) {
        QWidget* editor = MakeEditor(control);
        editor->setObjectName(control.name);
        editors_[control.id] = editor;
        if (control.kind == Control::Kind::Button)
            rows->addRow(QString(), editor);
        else
            rows->addRow(control.name, editor);
    }
    if (controls_.empty())
        rows->addRow(new QLabel(QStringLiteral("This camera has no picture controls.")));

    auto* scroll = new QScrollArea;
    scroll->setWidget(form);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                         QDialogButtonBox::RestoreDefaults);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
            Guarded([this] { RestoreDefaults(); }));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    layout->addWidget(buttons);
    resize(420, std::min(120 + 34 * static_cast<int>(controls_.size()), 600));
    ShowControls();
}

QWidget* SourceDialog::editor(std::uint32_t id) const {
    const auto found = editors_.find(id);
    return found == editors_.end() ? nullptr : found->second;
}

QWidget* SourceDialog::MakeEditor(const Control& control) {
    const std::uint32_t id = control.id;
    switch (control.kind) {
    case Control::Kind::Integer: {
        auto* editor = new IntegerEditor(control);
        connect(editor->slider, &QSlider::valueChanged, this,
                Guarded([this, id](int value) { Change(id, value); }));
        connect(editor->box, &QSpinBox::valueChanged, this,
                Guarded([this, id](int value) { Change(id, value); }));
        return editor;
    }
    case Control::Kind::Boolean: {
        auto* box = new QCheckBox;
        connect(box, &QCheckBox::toggled, this,
                Guarded([this, id](bool on) { Change(id, on ? 1 : 0); }));
        return box;
    }
    case Control::Kind::Menu:
    case Control::Kind::IntegerMenu: {
        auto* box = new QComboBox;
        for (const Control::MenuItem& item : control.items)
            box->addItem(item.text, item.index);
        connect(box, &QComboBox::activated, this,
                Guarded([this, id, box](int row) { Change(id, box->itemData(row).toInt()); }));
        return box;
    }
    case Control::Kind::Button:
        break;
    }
    auto* button = new QPushButton(control.name);
    connect(button, &QPushButton::clicked, this, Guarded([this, id] { Change(id, 0); }));
    return button;
}

Control* SourceDialog::Find(std::uint32_t id) {
    for (Control& control : controls_)
        if (control.id == id)
            return &control;
    return nullptr;
}

void SourceDialog::Change(std::uint32_t id, std::int32_t value) {
    Control* control = Find(id);
    if (!control || !control->editable())
        return;
    WriteControl(device_, *control, value);
    RefreshControls(device_, controls_);
    ShowControls();
}

void SourceDialog::RestoreDefaults() {
    for (Control& control : controls_)
        if (control.editable() && control.kind != Control::Kind::Button)
            WriteControl(device_, control, control.defaultValue);
    RefreshControls(device_, controls_);
    ShowControls();
}

void SourceDialog::reject() {
    // Drivers mostly list an automatic mode before the values it rules, so
    // walking backwards restores a value while it is still writable; a
    // second pass catches the rest.
    for (int pass = 0; pass < 2; ++pass) {
        for (auto was = found_.rbegin(); was != found_.rend(); ++was) {
            Control* control = Find(was->id);
            if (control && control->editable() && control->kind != Control::Kind::Button &&
                control->value != was->value) {
                WriteControl(device_, *control, was->value);
                RefreshControls(device_, controls_);
            }
        }
    }
    QDialog::reject();
}

void SourceDialog::ShowControls() {
    for (const Control& control : controls_) {
        QWidget* widget = editor(control.id);
        widget->setEnabled(control.editable());
        if (auto* integer = dynamic_cast<IntegerEditor*>(widget)) {
            integer->show(control.value);
        } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
            const QSignalBlocker block(box);
            box->setChecked(control.value != 0);
        } else if (auto* menu = qobject_cast<QComboBox*>(widget)) {
            const QSignalBlocker block(menu);
            menu->setCurrentIndex(menu->findData(control.value));
        }
    }
}

} // namespace vocalyn::video::v4l2
