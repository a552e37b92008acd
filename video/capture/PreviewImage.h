#pragma once

#include "video/conversion/FormatCodes.h"

#include <QImage>

#include <cstdint>
#include <span>
#include <vector>

namespace vocalyn::video {

// A frame as a preview shows it: the picture, and whether its rows lie bottom-up in the
// image, which the preview then draws turned over.
struct PreviewFrame {
    QImage image;
    bool bottomUp = false;
};

// A frame in a driver's format as a picture for showing in a preview. Converted YUV frames stay
// bottom-up as the converters write them: a preview scales its picture anyway, and turning it
// over while scaling costs nothing, where turning it over first would copy it.
PreviewFrame PreviewPicture(const BITMAPINFOHEADER& format, std::span<const std::uint8_t> frame);

// Makes the preview pictures of one stream of frames. A packed YUV frame (YUY2, UYVY) or a 24- or
// 32-bit RGB frame at least the size the preview is drawn at, each way, is sampled straight down
// to that size, each pixel the mean of a 2 x 2 block, the right way up: the preview then only
// copies it, where scaling a whole converted frame cost more than the conversion. Each picture is
// written into the one that was shown before the last, once the preview has let go of it, so that a
// stream of frames allocates nothing.
class PreviewMaker {
public:
    // `shown` is the size the preview is drawn at; an empty size draws frames at their own.
    PreviewFrame Make(const BITMAPINFOHEADER& format, std::span<const std::uint8_t> frame,
                      QSize shown);

private:
    QImage& NextPicture(QSize size);

    std::vector<std::uint8_t> small_;
    std::vector<std::uint8_t> mean_; // two rows of a frame as one
    std::vector<std::uint32_t> columns_;
    QImage pictures_[2];
    int next_ = 0;
};

// A frame in a driver's format as a picture the right way up, for showing
// in a preview. Plain RGB (24 and 32 bits, 16 bits under 5-6-5 masks), the
// YUV layouts the converters know, and JPEG frames; a null image for
// anything else or for a frame shorter than its format says.
QImage PreviewImage(const BITMAPINFOHEADER& format, std::span<const std::uint8_t> frame);

} // namespace vocalyn::video
