// The video's per-frame paths against bare libjpeg-turbo on the same picture, in the same run:
//   Send:    a frame's picture (32-bit rows as the YUV converters write them into the frame
//            buffer, or an RGB driver's 24-bit rows where they lie) to the bytes of its datagram;
//   Receive: a datagram to the decoded picture Image1 holds;
//   Floor:   a plain libjpeg-turbo encode of the 24-bit picture (quality 90, baseline, float
//            DCT) and a plain decode of the same file (float IDCT, block smoothing).
// The Sequence benchmarks run 300 frames of moving camera scenes through the datagram writer
// and count how many fit one datagram at quality 90, which qualities the rest needed, how many
// went at the best quality that fits and how many encodes a frame took.
// Run with --benchmark_counters_tabular=true; QT_QPA_PLATFORM=offscreen without a display.

#include "bench/CameraScene.h"
#include "video/conversion/BitmapFile.h"
#include "video/transport/VideoDatagram.h"
#include "video/transport/VideoTransport.h"

#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <vector>

namespace {

using vocalyn::bench::CameraScene;
namespace video = vocalyn::video;

constexpr double kCameraNoise = 3.0;

// ---- the floor: libjpeg-turbo as a plain program would call it

class BareEncoder {
public:
    BareEncoder() {
        cinfo_.err = jpeg_std_error(&errors_);
        jpeg_create_compress(&cinfo_);
    }
    ~BareEncoder() { jpeg_destroy_compress(&cinfo_); }

    std::size_t Encode(const QImage& rgb) {
        unsigned char* buffer = out_.data();
        unsigned long size = out_.size();
        jpeg_mem_dest(&cinfo_, &buffer, &size);
        cinfo_.image_width = JDIMENSION(rgb.width());
        cinfo_.image_height = JDIMENSION(rgb.height());
        cinfo_.input_components = 3;
        cinfo_.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo_);
        jpeg_set_quality(&cinfo_, 90, TRUE);
        cinfo_.dct_method = JDCT_FLOAT;
        jpeg_start_compress(&cinfo_, TRUE);
        while (cinfo_.next_scanline < cinfo_.image_height) {
            JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(int(cinfo_.next_scanline)));
            jpeg_write_scanlines(&cinfo_, &row, 1);
        }
        jpeg_finish_compress(&cinfo_);
        if (buffer != out_.data())
            std::free(buffer); // grew past the buffer given
        return size;
    }

private:
    jpeg_compress_struct cinfo_{};
    jpeg_error_mgr errors_{};
    std::vector<unsigned char> out_ = std::vector<unsigned char>(1 << 20);
};

class BareDecoder {
public:
    BareDecoder() {
        cinfo_.err = jpeg_std_error(&errors_);
        jpeg_create_decompress(&cinfo_);
    }
    ~BareDecoder() { jpeg_destroy_decompress(&cinfo_); }

    void Decode(const QByteArray& file) {
        jpeg_mem_src(&cinfo_, reinterpret_cast<const unsigned char*>(file.constData()),
                     static_cast<unsigned long>(file.size()));
        jpeg_read_header(&cinfo_, TRUE);
        cinfo_.out_color_space = JCS_RGB;
        cinfo_.dct_method = JDCT_FLOAT;
        cinfo_.do_block_smoothing = TRUE;
        jpeg_start_decompress(&cinfo_);
        const std::size_t stride = std::size_t(cinfo_.output_width) * 3;
        pixels_.resize(stride * cinfo_.output_height);
        while (cinfo_.output_scanline < cinfo_.output_height) {
            JSAMPROW row = pixels_.data() + cinfo_.output_scanline * stride;
            jpeg_read_scanlines(&cinfo_, &row, 1);
        }
        jpeg_finish_decompress(&cinfo_);
    }

private:
    jpeg_decompress_struct cinfo_{};
    jpeg_error_mgr errors_{};
    std::vector<unsigned char> pixels_;
};

// ---- the picture the encoder gets of a camera frame

// 32-bit rows top row first, as a YUV frame is converted into the frame buffer, or an RGB
// driver's 24-bit rows, bottom-up, read where they lie.
struct FramePicture {
    std::vector<std::uint8_t> pixels;
    video::PictureView view;
};

FramePicture PictureOf(const QImage& rgb, bool converted) {
    const int w = rgb.width(), h = rgb.height();
    const int bytes = converted ? 4 : 3;
    const std::size_t stride = std::size_t(video::RowBytes(std::int64_t(w) * bytes * 8));
    FramePicture picture;
    picture.pixels.resize(stride * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* in = rgb.constScanLine(y);
        std::uint8_t* out = picture.pixels.data() + std::size_t(converted ? y : h - 1 - y) * stride;
        for (int x = 0; x < w; ++x) {
            out[x * bytes] = in[3 * x + 2];
            out[x * bytes + 1] = in[3 * x + 1];
            out[x * bytes + 2] = in[3 * x];
            if (converted)
                out[x * bytes + 3] = 0;
        }
    }
    const auto rowStep = static_cast<std::ptrdiff_t>(stride);
    picture.view = converted ? video::PictureView{picture.pixels.data(), w, h, rowStep,
                                                  video::PixelLayout::BGRX}
                             : video::PictureView{picture.pixels.data() + (h - 1) * rowStep, w, h,
                                                  -rowStep, video::PixelLayout::BGR};
    return picture;
}

QImage Picture(int width, bool noisy) {
    return CameraScene(width, width * 3 / 4, noisy ? kCameraNoise : 0.0).Frame(10);
}

// args: width, noisy scene
void BM_FloorEncode(benchmark::State& state) {
    const QImage picture = Picture(int(state.range(0)), state.range(1));
    BareEncoder encoder;
    std::size_t size = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(size = encoder.Encode(picture));
    state.counters["bytes"] = double(size);
}

// args: width, noisy scene, converted (32-bit) frame
void BM_SendPath(benchmark::State& state) {
    const QImage picture = Picture(int(state.range(0)), state.range(1));
    const FramePicture frame = PictureOf(picture, state.range(2));
    video::VideoTransport transport;
    std::size_t size = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(size = transport.EncodeFrame(frame.view).size());
    state.counters["bytes"] = double(size);
    state.counters["quality"] = transport.lastQuality();
}

// The datagram the send path makes of the picture: what the receiver gets.
QByteArray DatagramOf(const QImage& picture) {
    const FramePicture frame = PictureOf(picture, true);
    video::VideoTransport transport;
    const auto datagram = transport.EncodeFrame(frame.view);
    return QByteArray(reinterpret_cast<const char*>(datagram.data()), qsizetype(datagram.size()));
}

void BM_FloorDecode(benchmark::State& state) {
    const QByteArray file = DatagramOf(Picture(int(state.range(0)), state.range(1)));
    BareDecoder decoder;
    for (auto _ : state)
        decoder.Decode(file);
    state.counters["bytes"] = double(file.size());
}

// args: width, noisy scene, to a pixmap as Image1 holds it
void BM_ReceivePath(benchmark::State& state) {
    const QByteArray file = DatagramOf(Picture(int(state.range(0)), state.range(1)));
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(file.constData()),
                          std::size_t(file.size()));
    video::VideoTransport transport;
    QPixmap shown;
    for (auto _ : state) {
        QImage picture = transport.ReadDatagram(bytes);
        if (state.range(2))
            shown = QPixmap::fromImage(std::move(picture));
        else
            benchmark::DoNotOptimize(picture);
    }
    state.counters["bytes"] = double(file.size());
}

// The qualities the sender may use, best first.
constexpr int kLadder[] = {90, 85, 80, 75, 70, 65, 60, 55, 50, 40, 30, 20};

// The best quality of the ladder at which each frame fits one datagram, found by encoding every
// frame at every quality; 0 where none fits.
std::vector<int> BestQualities(const std::vector<QImage>& frames) {
    video::JpegEncoder encoder;
    std::vector<std::uint8_t> room(std::size_t(1) << 22);
    std::vector<int> best;
    for (const QImage& frame : frames) {
        const video::PictureView view{frame.constBits(), frame.width(), frame.height(),
                                      frame.bytesPerLine(), video::PixelLayout::RGB};
        int fits = 0;
        for (const int quality : kLadder) {
            const std::size_t size = encoder.Encode(view, quality, room).size;
            if (size > 0 && size <= video::kMaxVideoDatagram && fits == 0)
                fits = quality;
        }
        best.push_back(fits);
    }
    return best;
}

// 300 frames of a moving camera scene through the datagram writer: how many fit one datagram at
// quality 90, how many went out at the best quality that fits (against an encode of every frame
// at every quality), how many encodes a frame took, and which qualities the frames needed.
// args: width, noise (levels, standard deviation), motion of the scene
void BM_Sequence(benchmark::State& state) {
    const int width = int(state.range(0));
    const CameraScene scene(width, width * 3 / 4, double(state.range(1)),
                            CameraScene::Motion(state.range(2)));
    constexpr int kFrames = 300;
    std::vector<QImage> frames;
    for (int n = 0; n < kFrames; ++n)
        frames.push_back(scene.Frame(n));
    const std::vector<int> best = BestQualities(frames);
    std::map<int, int> qualities;
    int attempts = 0, atBest = 0;
    for (auto _ : state) {
        video::JpegEncoder encoder;
        video::VideoDatagramWriter writer;
        std::vector<std::uint8_t> buffer(video::VideoTransport::kSendBufferSize);
        qualities.clear();
        attempts = atBest = 0;
        for (int n = 0; n < kFrames; ++n) {
            const QImage& frame = frames[std::size_t(n)];
            const auto datagram = writer.Write(encoder,
                                               {frame.constBits(), frame.width(), frame.height(),
                                                frame.bytesPerLine(), video::PixelLayout::RGB},
                                               buffer);
            ++qualities[datagram.quality]; // 0: dropped
            attempts += datagram.attempts;
            atBest += datagram.quality == best[std::size_t(n)];
        }
    }
    state.counters["fit_at_90"] = double(qualities[90]) / kFrames;
    state.counters["at_best"] = double(atBest) / kFrames;
    state.counters["encodes_per_frame"] = double(attempts) / kFrames;
    for (const auto& [quality, count] : qualities)
        if (quality != 90)
            state.counters["share_q" + std::to_string(quality)] = double(count) / kFrames;
}

void Sizes(benchmark::internal::Benchmark* b, std::vector<std::int64_t> more = {}) {
    for (std::int64_t width : {384, 640})
        for (std::int64_t noisy : {0, 1}) {
            std::vector<std::int64_t> args{width, noisy};
            args.insert(args.end(), more.begin(), more.end());
            b->Args(args);
        }
}

BENCHMARK(BM_FloorEncode)->Apply([](auto* b) { Sizes(b); }) -> Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SendPath)
    ->Apply([](auto* b) {
        Sizes(b, {1});
        Sizes(b, {0});
    }) -> Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FloorDecode)->Apply([](auto* b) { Sizes(b); }) -> Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReceivePath)
    ->Apply([](auto* b) {
        Sizes(b, {0});
        Sizes(b, {1});
    }) -> Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sequence)
    ->Args({640, 2, int(CameraScene::Motion::Sway)})
    ->Args({640, 3, int(CameraScene::Motion::Sway)})
    ->Args({640, 5, int(CameraScene::Motion::Sway)})
    ->Args({640, 8, int(CameraScene::Motion::Sway)})
    ->Args({640, 2, int(CameraScene::Motion::Pan)})
    ->Args({640, 4, int(CameraScene::Motion::Pan)})
    ->Args({640, 7, int(CameraScene::Motion::Pan)})
    ->Args({640, 2, int(CameraScene::Motion::Dusk)})
    ->Args({640, 3, int(CameraScene::Motion::Dusk)})
    ->Args({640, 5, int(CameraScene::Motion::Dusk)})
    ->Args({384, 3, int(CameraScene::Motion::Sway)})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv); // pixmaps need one
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
