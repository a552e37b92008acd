// A camera frame through the capture connection as the main window takes it, per frame:
//   idle:    outside a call the frame is only passed on (nothing needs its picture);
//   in call: its picture is made (converted where it cannot be used as it lies) and encoded
//            into its datagram, as the main window does before sending.
// Formats: YUY2 and I420 (converted) and 24-bit RGB (used where it lies), 640 x 480.
// For instruction counts without timing noise:
//   valgrind --tool=callgrind --toggle-collect='*MeasuredFrames*' bench_framepath --frames KIND
//   CALL N
// counts N frames after three unmeasured ones (KIND 0 YUY2, 1 I420, 2 RGB; CALL 0 or 1).
#include "tests/fakes/FakeCapture.h"
#include "video/capture/VideoCap.h"
#include "video/conversion/FormatCodes.h"
#include "video/transport/VideoTransport.h"

#include <QApplication>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

namespace video = vocalyn::video;
using vocalyn::fakes::FakeCaptureService;

video::BITMAPINFOHEADER FormatOf(int kind) {
    switch (kind) {
    case 0:
        return video::FormatHeader(640, 480, 16, video::FourCC('Y', 'U', 'Y', '2'), 0);
    case 1:
        return video::FormatHeader(640, 480, 12, video::FourCC('I', '4', '2', '0'), 0);
    default:
        return video::FormatHeader(640, 480, 24, video::kBI_RGB, 0);
    }
}

// A capture connection on a scripted camera whose frame handler does what the main window's
// does with a frame, inside or outside a call; frames are handed to it directly.
class FramePath {
public:
    FramePath(int kind, bool inCall) {
        camera_.keepsFormat = true;
        camera_.format = FormatOf(kind);
        panel_.resize(176, 144);
        cap_.StartVideo();
        cap_.OnPreviewFrame = [this, inCall](const video::CameraFrame& frame) {
            if (inCall)
                sent_ += transport_.EncodeFrame(cap_.PrepareFrame(frame)).size();
        };
        bytes_ = FakeCaptureService::PatternFrame(camera_.format, 7);
        frame_ = video::DescribeFrame(camera_.format,
                                      {reinterpret_cast<const std::uint8_t*>(bytes_.constData()),
                                       std::size_t(bytes_.size())});
    }
    void Frame() { cap_.FrameHandler(frame_); }
    std::size_t sent() const { return sent_; }

private:
    FakeCaptureService camera_;
    QWidget panel_;
    video::VideoCap cap_{camera_, {&panel_, {}}};
    video::VideoTransport transport_;
    QByteArray bytes_;
    video::CameraFrame frame_;
    std::size_t sent_ = 0;
};

// args: format kind, in a call
void BM_FrameHandler(benchmark::State& state) {
    FramePath path(int(state.range(0)), state.range(1));
    for (auto _ : state)
        path.Frame();
    state.counters["sent"] = double(path.sent());
}
BENCHMARK(BM_FrameHandler)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMicrosecond);

[[gnu::noinline]] void MeasuredFrames(FramePath& path, int count) {
    for (int i = 0; i < count; ++i)
        path.Frame();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc == 5 && std::strcmp(argv[1], "--frames") == 0) {
        FramePath path(std::atoi(argv[2]), std::atoi(argv[3]) != 0);
        MeasuredFrames(path, 0);
        for (int i = 0; i < 3; ++i)
            path.Frame();
        MeasuredFrames(path, std::atoi(argv[4]));
        std::printf("datagram bytes %zu\n", path.sent());
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
