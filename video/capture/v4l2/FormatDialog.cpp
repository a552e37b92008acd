#include "video/capture/v4l2/FormatDialog.h"

#include "widgets/ErrorReport.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QVBoxLayout>

#include <algorithm>

namespace vocalyn::video::v4l2 {

QString FourCCText(std::uint32_t code) {
    QString text;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = static_cast<char>((code >> shift) & 0xFF);
        text += QChar::fromLatin1(c >= 0x20 && c < 0x7F ? c : '?');
    }
    return text;
}

FormatDialog::FormatDialog(std::vector<PixelFormatChoice> choices, std::uint32_t currentFormat,
                           QSize currentSize, const QString& deviceName, QWidget* parent)
    : QDialog(parent), choices_(std::move(choices)), formats_(new QComboBox),
      sizes_(new QComboBox) {
    setWindowTitle(QStringLiteral("Video Format - %1").arg(deviceName));
    setModal(true);
    formats_->setObjectName(QStringLiteral("formats"));
    sizes_->setObjectName(QStringLiteral("sizes"));

    // A format the driver does not list (or lists without sizes) can still be kept.
    bool listed = false;
    for (PixelFormatChoice& choice : choices_) {
        if (choice.pixelFormat == currentFormat) {
            listed = true;
            if (std::find(choice.sizes.begin(), choice.sizes.end(), currentSize) ==
                choice.sizes.end())
                choice.sizes.push_back(currentSize);
        }
    }
    if (!listed && currentFormat != 0)
        choices_.push_back({currentFormat, FourCCText(currentFormat), false, {currentSize}});

    for (const PixelFormatChoice& choice : choices_) {
        QString label =
            QStringLiteral("%1 (%2)").arg(choice.description, FourCCText(choice.pixelFormat));
        if (choice.emulated)
            label += QStringLiteral(", converted");
        formats_->addItem(label, choice.pixelFormat);
    }
    formats_->setCurrentIndex(std::max(formats_->findData(currentFormat), 0));
    ListSizes(currentSize);
    connect(formats_, &QComboBox::currentIndexChanged, this,
            Guarded([this] { ListSizes(chosenSize()); }));

    auto* rows = new QFormLayout;
    rows->addRow(QStringLiteral("Pixel format:"), formats_);
    rows->addRow(QStringLiteral("Frame size:"), sizes_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(rows);
    layout->addWidget(buttons);
}

void FormatDialog::ListSizes(QSize preferred) {
    sizes_->clear();
    const int row = formats_->currentIndex();
    if (row < 0 || row >= static_cast<int>(choices_.size()))
        return;
    for (const QSize& size : choices_[row].sizes)
        sizes_->addItem(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height()), size);
    const int found = sizes_->findData(preferred);
    sizes_->setCurrentIndex(found >= 0 ? found : 0);
}

std::uint32_t FormatDialog::chosenFormat() const {
    return formats_->currentData().toUInt();
}

QSize FormatDialog::chosenSize() const {
    return sizes_->currentData().toSize();
}

} // namespace vocalyn::video::v4l2
