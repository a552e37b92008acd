#include "video/capture/v4l2/FormatChoices.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <optional>

namespace vocalyn::video::v4l2 {

namespace {

bool OnGrid(std::uint32_t value, std::uint32_t minimum, std::uint32_t maximum, std::uint32_t step) {
    if (value < minimum || value > maximum)
        return false;
    return step == 0 || (value - minimum) % step == 0;
}

std::vector<QSize> QuerySizes(IoctlPort& device, std::uint32_t pixelFormat) {
    std::vector<QSize> sizes;
    for (std::uint32_t index = 0;; ++index) {
        v4l2_frmsizeenum size{};
        size.index = index;
        size.pixel_format = pixelFormat;
        if (device.Ioctl(VIDIOC_ENUM_FRAMESIZES, &size) != 0)
            break;
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            sizes.emplace_back(static_cast<int>(size.discrete.width),
                               static_cast<int>(size.discrete.height));
            continue;
        }
        // Stepwise and continuous ranges come as a single entry.
        const v4l2_frmsize_stepwise& range = size.stepwise;
        for (const QSize& common : CommonFrameSizes()) {
            const auto width = static_cast<std::uint32_t>(common.width());
            const auto height = static_cast<std::uint32_t>(common.height());
            if (OnGrid(width, range.min_width, range.max_width, range.step_width) &&
                OnGrid(height, range.min_height, range.max_height, range.step_height))
                sizes.push_back(common);
        }
        sizes.emplace_back(static_cast<int>(range.max_width), static_cast<int>(range.max_height));
        break;
    }
    std::sort(sizes.begin(), sizes.end(), [](const QSize& a, const QSize& b) {
        return std::pair(a.width() * a.height(), a.width()) <
               std::pair(b.width() * b.height(), b.width());
    });
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

// A driver that never ends its list is not followed past this many formats.
constexpr std::uint32_t kMaxFormats = 256;

bool OffersNatively(IoctlPort& device, std::uint32_t pixelFormat) {
    for (std::uint32_t index = 0; index < kMaxFormats; ++index) {
        v4l2_fmtdesc format{};
        format.index = index;
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (device.Ioctl(VIDIOC_ENUM_FMT, &format) != 0)
            return false;
        if (format.pixelformat == pixelFormat)
            return (format.flags & V4L2_FMT_FLAG_EMULATED) == 0;
    }
    return false;
}

// The format the device would stream for this request, without changing anything.
std::optional<v4l2_pix_format> TryFormat(IoctlPort& device, std::uint32_t pixelFormat,
                                         std::uint32_t width, std::uint32_t height) {
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = width;
    format.fmt.pix.height = height;
    format.fmt.pix.pixelformat = pixelFormat;
    format.fmt.pix.field = V4L2_FIELD_ANY;
    if (device.Ioctl(VIDIOC_TRY_FMT, &format) != 0)
        return std::nullopt;
    return format.fmt.pix;
}

// The shortest frame interval the device offers for a format at a size, in seconds; nothing
// when it does not say.
std::optional<double> ShortestInterval(IoctlPort& device, const v4l2_pix_format& pix) {
    std::optional<double> shortest;
    for (std::uint32_t index = 0; index < 64; ++index) {
        v4l2_frmivalenum interval{};
        interval.index = index;
        interval.pixel_format = pix.pixelformat;
        interval.width = pix.width;
        interval.height = pix.height;
        if (device.Ioctl(VIDIOC_ENUM_FRAMEINTERVALS, &interval) != 0)
            break;
        // Stepwise and continuous ranges come as a single entry, shortest first.
        const v4l2_fract& fraction =
            interval.type == V4L2_FRMIVAL_TYPE_DISCRETE ? interval.discrete : interval.stepwise.min;
        if (fraction.denominator != 0) {
            const double seconds = double(fraction.numerator) / fraction.denominator;
            shortest = shortest ? std::min(*shortest, seconds) : seconds;
        }
        if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE)
            break;
    }
    return shortest;
}

} // namespace

std::uint32_t StreamPixelFormat(IoctlPort& device, std::uint32_t requested, std::uint32_t width,
                                std::uint32_t height) {
    if (requested != V4L2_PIX_FMT_BGR24 || OffersNatively(device, requested))
        return requested;
    const std::optional<v4l2_pix_format> rgb = TryFormat(device, requested, width, height);
    if (!rgb)
        return requested;
    const std::optional<double> rgbInterval = ShortestInterval(device, *rgb);
    for (const std::uint32_t own : {V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_UYVY}) {
        if (!OffersNatively(device, own))
            continue;
        const std::optional<v4l2_pix_format> yuv = TryFormat(device, own, width, height);
        if (!yuv || yuv->pixelformat != own || yuv->width != rgb->width ||
            yuv->height != rgb->height)
            continue;
        // Cameras often send uncompressed frames at a lower rate than compressed ones.
        const std::optional<double> ownInterval = ShortestInterval(device, *yuv);
        if (ownInterval && rgbInterval && *ownInterval > *rgbInterval * 1.001)
            continue;
        return own;
    }
    return requested;
}

const std::vector<QSize>& CommonFrameSizes() {
    static const std::vector<QSize> sizes = {
        {160, 120}, {176, 144}, {320, 240},  {352, 288},  {384, 288},  {640, 480},
        {768, 576}, {800, 600}, {1024, 768}, {1280, 720}, {1280, 960}, {1920, 1080},
    };
    return sizes;
}

std::vector<PixelFormatChoice> QueryFormatChoices(IoctlPort& device) {
    std::vector<PixelFormatChoice> choices;
    for (std::uint32_t index = 0;; ++index) {
        v4l2_fmtdesc format{};
        format.index = index;
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (device.Ioctl(VIDIOC_ENUM_FMT, &format) != 0)
            break;
        PixelFormatChoice choice;
        choice.pixelFormat = format.pixelformat;
        const auto* text = reinterpret_cast<const char*>(format.description);
        choice.description = QString::fromUtf8(text, qstrnlen(text, sizeof format.description));
        choice.emulated = (format.flags & V4L2_FMT_FLAG_EMULATED) != 0;
        choice.sizes = QuerySizes(device, format.pixelformat);
        choices.push_back(std::move(choice));
    }
    return choices;
}

} // namespace vocalyn::video::v4l2
