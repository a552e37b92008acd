#pragma once

#include "video/capture/v4l2/FormatChoices.h"

#include <QDialog>

class QComboBox;

namespace vocalyn::video::v4l2 {

// The video format dialog: a choice of the device's pixel formats and, for
// the chosen one, its frame sizes. It only chooses; the caller applies.
class FormatDialog : public QDialog {
    Q_OBJECT
public:
    FormatDialog(std::vector<PixelFormatChoice> choices, std::uint32_t currentFormat,
                 QSize currentSize, const QString& deviceName, QWidget* parent = nullptr);

    std::uint32_t chosenFormat() const;
    QSize chosenSize() const;

    QComboBox* formatBox() const { return formats_; }
    QComboBox* sizeBox() const { return sizes_; }

private:
    void ListSizes(QSize preferred);

    std::vector<PixelFormatChoice> choices_;
    QComboBox* formats_;
    QComboBox* sizes_;
};

// "YUYV" for a four-character code, with unprintable bytes as '?'.
QString FourCCText(std::uint32_t code);

} // namespace vocalyn::video::v4l2
