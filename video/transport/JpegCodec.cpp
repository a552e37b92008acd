#include "video/transport/JpegCodec.h"

#include "video/transport/JpegGuard.h"

#include <algorithm>
#include <new>

namespace vocalyn::video {

namespace {

constexpr int kRowsPerCall = 16;
constexpr int kMaxJpegSide = 65500; // the largest side a JPEG file can hold

J_COLOR_SPACE ColourSpaceOf(PixelLayout layout) {
    switch (layout) {
    case PixelLayout::BGR:
        return JCS_EXT_BGR;
    case PixelLayout::BGRX:
        return JCS_EXT_BGRX;
    case PixelLayout::RGB:
        break;
    }
    return JCS_RGB;
}

int ComponentsOf(PixelLayout layout) {
    return layout == PixelLayout::BGRX ? 4 : 3;
}

// ---- steps that libjpeg may jump out of: C-style, trivially destructible locals only

struct CreateJob {
    j_common_ptr cinfo;
    bool compress;
};

void CreateStep(void* context) {
    auto* job = static_cast<CreateJob*>(context);
    if (job->compress)
        jpeg_create_compress(reinterpret_cast<j_compress_ptr>(job->cinfo));
    else
        jpeg_create_decompress(reinterpret_cast<j_decompress_ptr>(job->cinfo));
}

struct EncodeJob {
    j_compress_ptr cinfo;
    const PictureView* picture;
    int quality;
};

void EncodeStep(void* context) {
    const auto* job = static_cast<const EncodeJob*>(context);
    const j_compress_ptr cinfo = job->cinfo;
    const PictureView& picture = *job->picture;
    cinfo->image_width = static_cast<JDIMENSION>(picture.width);
    cinfo->image_height = static_cast<JDIMENSION>(picture.height);
    cinfo->input_components = ComponentsOf(picture.layout);
    cinfo->in_color_space = ColourSpaceOf(picture.layout);
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, job->quality, TRUE);
    cinfo->dct_method = JDCT_FLOAT;
    jpeg_start_compress(cinfo, TRUE);
    JSAMPROW rows[kRowsPerCall];
    while (cinfo->next_scanline < cinfo->image_height) {
        JDIMENSION count = 0;
        for (; count < kRowsPerCall && cinfo->next_scanline + count < cinfo->image_height;
             ++count) {
            const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(cinfo->next_scanline + count);
            // libjpeg's row type is not const, but it only reads input rows.
            rows[count] = const_cast<JSAMPROW>(picture.top + row * picture.stride);
        }
        jpeg_write_scanlines(cinfo, rows, count);
    }
    jpeg_finish_compress(cinfo);
}

struct HeaderJob {
    j_decompress_ptr cinfo;
    const std::uint8_t* data;
    std::size_t size;
};

void HeaderStep(void* context) {
    const auto* job = static_cast<const HeaderJob*>(context);
    const j_decompress_ptr cinfo = job->cinfo;
    jpeg_mem_src(cinfo, job->data, static_cast<unsigned long>(job->size));
    jpeg_read_header(cinfo, TRUE);
    // BGRA rather than BGRX: libjpeg then fills the fourth byte with 0xFF, as 32-bit RGB needs.
    cinfo->out_color_space = JCS_EXT_BGRA;
    cinfo->scale_num = 1;
    cinfo->scale_denom = 1;
    // As exact as the float transform to a level or so, and faster with libjpeg-turbo's SIMD.
    cinfo->dct_method = JDCT_ISLOW;
    cinfo->do_block_smoothing = TRUE;
    cinfo->quantize_colors = FALSE;
    jpeg_calc_output_dimensions(cinfo);
}

struct ScanlineJob {
    j_decompress_ptr cinfo;
    std::uint8_t* first;
    std::ptrdiff_t stride;
};

void ScanlineStep(void* context) {
    const auto* job = static_cast<const ScanlineJob*>(context);
    const j_decompress_ptr cinfo = job->cinfo;
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != 4)
        jpeg::Fail(reinterpret_cast<j_common_ptr>(cinfo), jpeg::Stop::Error);
    JSAMPROW rows[kRowsPerCall];
    while (cinfo->output_scanline < cinfo->output_height) {
        JDIMENSION count = 0;
        for (; count < kRowsPerCall && cinfo->output_scanline + count < cinfo->output_height;
             ++count)
            rows[count] = job->first +
                          static_cast<std::ptrdiff_t>(cinfo->output_scanline + count) * job->stride;
        jpeg_read_scanlines(cinfo, rows, count);
    }
    jpeg_finish_decompress(cinfo);
}

// The code of the file's frame marker (SOF0 to SOF15), found by walking the marker segments
// from the start of the file; 0 when there is none before the first scan or the end.
int FrameMarkerOf(std::span<const std::uint8_t> file) {
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8)
        return 0;
    std::size_t at = 2;
    while (at + 1 < file.size()) {
        if (file[at] != 0xFF)
            return 0;
        const std::uint8_t code = file[at + 1];
        ++at;
        if (code == 0xFF)
            continue; // fill byte before a marker
        ++at;
        if (code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC)
            return code;
        if (code == 0xDA || code == 0xD9)
            return 0;
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7))
            continue; // markers without a segment
        if (at + 1 >= file.size())
            return 0;
        at += std::size_t{file[at]} << 8 | file[at + 1]; // the length counts its own two bytes
    }
    return 0;
}

constexpr int kBaselineFrame = 0xC0;

// Writes into a span given before each picture; a full span ends the step.
struct SpanDestination {
    jpeg_destination_mgr pub; // first, as libjpeg expects
    std::uint8_t* data;
    std::size_t size;
};

void InitDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<SpanDestination*>(cinfo->dest);
    dest->pub.next_output_byte = dest->data;
    dest->pub.free_in_buffer = dest->size;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    jpeg::Fail(reinterpret_cast<j_common_ptr>(cinfo), jpeg::Stop::OutputFull);
}

void TermDestination(j_compress_ptr) {}

} // namespace

// ---------------------------------------------------------------- encoder

struct JpegEncoder::State {
    jpeg::ErrorManager errors{};
    jpeg_compress_struct cinfo{};
    SpanDestination destination{};
    bool created = false;

    ~State() {
        if (created)
            jpeg_destroy_compress(&cinfo);
    }
};

JpegEncoder::JpegEncoder() : state_(std::make_unique<State>()) {
    State& s = *state_;
    jpeg::Attach(s.errors, reinterpret_cast<j_common_ptr>(&s.cinfo));
    CreateJob job{reinterpret_cast<j_common_ptr>(&s.cinfo), true};
    if (!jpeg::RunStep(s.errors, CreateStep, &job))
        throw std::bad_alloc();
    s.created = true;
    s.destination.pub.init_destination = InitDestination;
    s.destination.pub.empty_output_buffer = EmptyOutputBuffer;
    s.destination.pub.term_destination = TermDestination;
    s.cinfo.dest = &s.destination.pub;
}

JpegEncoder::~JpegEncoder() = default;

JpegEncoder::Result JpegEncoder::Encode(const PictureView& picture, int quality,
                                        std::span<std::uint8_t> out) {
    if (picture.empty() || picture.width > kMaxJpegSide || picture.height > kMaxJpegSide ||
        out.empty())
        return {};
    State& s = *state_;
    s.destination.data = out.data();
    s.destination.size = out.size();
    EncodeJob job{&s.cinfo, &picture, std::clamp(quality, 1, 100)};
    if (!jpeg::RunStep(s.errors, EncodeStep, &job)) {
        const bool tooLong = s.errors.stop == jpeg::Stop::OutputFull;
        jpeg_abort_compress(&s.cinfo);
        return {0, tooLong};
    }
    return {out.size() - s.destination.pub.free_in_buffer, false};
}

// ---------------------------------------------------------------- decoder

struct JpegDecoder::State {
    jpeg::ErrorManager errors{};
    jpeg_decompress_struct cinfo{};
    bool created = false;

    ~State() {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

JpegDecoder::JpegDecoder(JpegLimits limits) : limits_(limits), state_(std::make_unique<State>()) {
    State& s = *state_;
    jpeg::Attach(s.errors, reinterpret_cast<j_common_ptr>(&s.cinfo));
    CreateJob job{reinterpret_cast<j_common_ptr>(&s.cinfo), false};
    if (!jpeg::RunStep(s.errors, CreateStep, &job))
        throw std::bad_alloc();
    s.created = true;
    s.errors.maxScans = limits_.maxScans;
    jpeg::WatchScans(s.errors, &s.cinfo);
}

JpegDecoder::~JpegDecoder() = default;

bool JpegDecoder::ReadHeaders(std::span<const std::uint8_t> file) {
    if (file.empty())
        return false;
    if (limits_.baselineOnly && FrameMarkerOf(file) != kBaselineFrame)
        return false; // progressive, arithmetic-coded, extended or lossless: libjpeg never sees it
    State& s = *state_;
    HeaderJob header{&s.cinfo, file.data(), file.size()};
    if (!jpeg::RunStep(s.errors, HeaderStep, &header)) {
        jpeg_abort_decompress(&s.cinfo);
        return false;
    }
    const jpeg_decompress_struct& c = s.cinfo;
    const JDIMENSION width = c.output_width;
    const JDIMENSION height = c.output_height;
    const std::size_t pixels = std::size_t{width} * height;
    const bool fits =
        width > 0 && height > 0 && width <= static_cast<JDIMENSION>(limits_.maxWidth) &&
        height <= static_cast<JDIMENSION>(limits_.maxHeight) &&
        (limits_.maxPixels == 0 || pixels <= limits_.maxPixels) && pixels * 4 < limits_.maxMemory;
    // The first scan is known by now: with every component in it, it is the only one.
    const bool baseline = !c.progressive_mode && !c.arith_code && c.data_precision == 8 &&
                          (c.num_components == 1 || c.num_components == 3) &&
                          c.comps_in_scan == c.num_components;
    if (!fits || (limits_.baselineOnly && !baseline)) {
        jpeg_abort_decompress(&s.cinfo);
        return false;
    }
    // What is left of the bound goes to libjpeg's whole-image buffers; it fails rather than
    // take more.
    s.cinfo.mem->max_memory_to_use = static_cast<long>(limits_.maxMemory - pixels * 4);
    return true;
}

QImage JpegDecoder::Decode(std::span<const std::uint8_t> file) {
    if (!ReadHeaders(file))
        return {};
    State& s = *state_;
    const JDIMENSION width = s.cinfo.output_width;
    const JDIMENSION height = s.cinfo.output_height;
    QImage picture(static_cast<int>(width), static_cast<int>(height), QImage::Format_RGB32);
    if (picture.isNull()) {
        jpeg_abort_decompress(&s.cinfo);
        return {};
    }
    ScanlineJob scanlines{&s.cinfo, picture.bits(), picture.bytesPerLine()};
    if (!jpeg::RunStep(s.errors, ScanlineStep, &scanlines)) {
        jpeg_abort_decompress(&s.cinfo);
        return {};
    }
    return picture;
}

} // namespace vocalyn::video
