// Every converter at two frame sizes beside libyuv's conversion of the same
// layout, or the nearest one where libyuv has none (the speed to match), and
// a copy of the output bytes (the floor). The fastest kernels run under the
// converter's name, the others under name_kernels. Prints the ratios libyuv
// time / our time after the usual table; run with --benchmark_repetitions=5
// on a busy machine.
//
// Buffers start on 64-byte boundaries: where malloc happens to put them
// otherwise moves libyuv's time by some 8 %. The layouts that matter most are
// also converted into a picture placed as a frame buffer places its pixels,
// after the bitmap file's headers (name/at54).
#include "video/conversion/BitmapFile.h"
#include "video/conversion/YUVConverters.h"
#include "video/conversion/YUVRowKernels.h"

#include <benchmark/benchmark.h>
#include <libyuv.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace vocalyn::video;

struct Size {
    int width, height;
};
constexpr Size kSizes[] = {{640, 480}, {384, 288}};

// An output that starts off any word boundary, as pixels behind a 54-byte bitmap file header do.
constexpr std::size_t kUnalignedAt = 54;

// `bytes` bytes from `offset` past a 64-byte boundary.
class Buffer {
public:
    explicit Buffer(std::size_t bytes, std::size_t offset = 0) : storage_(bytes + offset + 64) {
        const auto start = reinterpret_cast<std::uintptr_t>(storage_.data());
        data_ = storage_.data() + ((64 - start % 64) % 64 + offset);
    }
    std::uint8_t* data() const { return data_; }

private:
    std::vector<std::uint8_t> storage_;
    std::uint8_t* data_;
};

Buffer Frame(std::size_t bytes) {
    std::mt19937 random(7);
    Buffer frame(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        frame.data()[i] = static_cast<std::uint8_t>(random());
    return frame;
}

Buffer Picture(Size size, std::size_t offset) {
    return Buffer(static_cast<std::size_t>(size.width) * size.height * 4, offset);
}

std::string Name(const std::string& what, Size size, std::size_t offset = 0) {
    return what + "/" + std::to_string(size.width) + "x" + std::to_string(size.height) +
           (offset ? "/at" + std::to_string(offset) : "");
}

void Ours(benchmark::State& state, int frameClass, Size size, const detail::RowKernels* kernels,
          std::size_t offset) {
    detail::UseKernels(kernels ? *kernels : *detail::RunnableKernels().back());
    const Buffer source = Frame(SourceFrameBytes(frameClass, size.width, size.height));
    const Buffer picture = Picture(size, offset);
    for (auto _ : state) {
        ConvertFrame(frameClass, source.data(), picture.data(), size.width, size.height);
        benchmark::ClobberMemory();
    }
    detail::UseKernels(*detail::RunnableKernels().back());
}

enum class Anchor { YUY2, UYVY, I420, I400, Copy };

void Libyuv(benchmark::State& state, Anchor anchor, Size size, std::size_t offset) {
    const int w = size.width;
    const int h = size.height;
    const Buffer source = Frame(static_cast<std::size_t>(w) * h * 4);
    const Buffer picture = Picture(size, offset);
    const std::uint8_t* y = source.data();
    const std::uint8_t* u = y + w * h;
    const std::uint8_t* v = u + (w / 2) * (h / 2);
    for (auto _ : state) {
        switch (anchor) {
        case Anchor::YUY2:
            libyuv::YUY2ToARGB(y, w * 2, picture.data(), w * 4, w, h);
            break;
        case Anchor::UYVY:
            libyuv::UYVYToARGB(y, w * 2, picture.data(), w * 4, w, h);
            break;
        case Anchor::I420:
            libyuv::I420ToARGB(y, w, u, w / 2, v, w / 2, picture.data(), w * 4, w, h);
            break;
        case Anchor::I400:
            libyuv::I400ToARGB(y, w, picture.data(), w * 4, w, h);
            break;
        case Anchor::Copy:
            std::memcpy(picture.data(), source.data(), static_cast<std::size_t>(w) * h * 4);
            break;
        }
        benchmark::ClobberMemory();
    }
}

// Keeps the least CPU time of each benchmark's runs for the ratio table: on
// a shared machine the least disturbed run is the most telling
// (--benchmark_repetitions=5 gives it five tries).
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            const auto [entry, added] =
                cpu_.try_emplace(run.benchmark_name(), run.GetAdjustedCPUTime());
            if (!added)
                entry->second = std::min(entry->second, run.GetAdjustedCPUTime());
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const {
        struct Pair {
            const char* ours;
            const char* anchor;
        };
        const Pair pairs[] = {
            {"YUY2", "libyuv_YUY2ToARGB"},        {"UYVY", "libyuv_UYVYToARGB"},
            {"I420", "libyuv_I420ToARGB"},        {"Y8", "libyuv_I400ToARGB"},
            {"Y41P", "libyuv_YUY2ToARGB"},        {"YVU9", "libyuv_I420ToARGB"},
            {"Y211", "libyuv_YUY2ToARGB"},        {"YUY2_avx2", "libyuv_YUY2ToARGB"},
            {"UYVY_avx2", "libyuv_UYVYToARGB"},   {"I420_avx2", "libyuv_I420ToARGB"},
            {"YUY2_scalar", "libyuv_YUY2ToARGB"}, {"UYVY_scalar", "libyuv_UYVYToARGB"},
            {"I420_scalar", "libyuv_I420ToARGB"}};
        std::printf("\n%-14s %-20s %16s %10s %10s %8s %8s\n", "ours", "anchor", "size", "ours us",
                    "anchor us", "ratio", "xcopy");
        for (const Size size : kSizes) {
            for (const std::size_t offset : {std::size_t{0}, kUnalignedAt}) {
                for (const Pair& pair : pairs) {
                    const auto ours = cpu_.find(Name(pair.ours, size, offset));
                    const auto anchor = cpu_.find(Name(pair.anchor, size, offset));
                    const auto copy = cpu_.find(Name("memcpy_output", size));
                    if (ours == cpu_.end() || anchor == cpu_.end() || copy == cpu_.end())
                        continue;
                    const std::string place = Name("", size, offset).substr(1);
                    std::printf("%-14s %-20s %16s %10.1f %10.1f %8.2f %8.2f\n", pair.ours,
                                pair.anchor, place.c_str(), ours->second, anchor->second,
                                anchor->second / ours->second, ours->second / copy->second);
                }
            }
        }
    }

private:
    std::map<std::string, double> cpu_;
};

void Register() {
    struct Converter {
        const char* name;
        int frameClass;
    };
    const Converter converters[] = {
        {"YUY2", kClassYUY2}, {"UYVY", kClassUYVY}, {"Y41P", kClassY41P}, {"YVU9", kClassYVU9},
        {"I420", kClassI420}, {"Y8", kClassY8},     {"Y211", kClassY211}};
    // The layouts with a speed goal.
    const Converter goals[] = {{"YUY2", kClassYUY2}, {"UYVY", kClassUYVY}, {"I420", kClassI420}};
    const std::pair<const char*, Anchor> anchors[] = {{"libyuv_YUY2ToARGB", Anchor::YUY2},
                                                      {"libyuv_UYVYToARGB", Anchor::UYVY},
                                                      {"libyuv_I420ToARGB", Anchor::I420},
                                                      {"libyuv_I400ToARGB", Anchor::I400},
                                                      {"memcpy_output", Anchor::Copy}};
    for (const Size size : kSizes) {
        for (const Converter& converter : converters)
            benchmark::RegisterBenchmark(Name(converter.name, size).c_str(), Ours,
                                         converter.frameClass, size, nullptr, 0)
                ->Unit(benchmark::kMicrosecond);
        // The other kernel sets this processor runs, for the machines that
        // have only those.
        const auto kernelSets = detail::RunnableKernels();
        for (const detail::RowKernels* kernels : kernelSets) {
            if (kernels == kernelSets.back())
                continue;
            for (const Converter& converter : goals)
                benchmark::RegisterBenchmark(
                    Name(std::string(converter.name) + "_" + kernels->name, size).c_str(), Ours,
                    converter.frameClass, size, kernels, 0)
                    ->Unit(benchmark::kMicrosecond);
        }
        for (const auto& [name, anchor] : anchors)
            benchmark::RegisterBenchmark(Name(name, size).c_str(), Libyuv, anchor, size, 0)
                ->Unit(benchmark::kMicrosecond);
        // The same three into a picture placed as a frame buffer's.
        for (const Converter& converter : goals)
            benchmark::RegisterBenchmark(Name(converter.name, size, kUnalignedAt).c_str(), Ours,
                                         converter.frameClass, size, nullptr, kUnalignedAt)
                ->Unit(benchmark::kMicrosecond);
        for (const auto& [name, anchor] : anchors)
            if (anchor == Anchor::YUY2 || anchor == Anchor::UYVY || anchor == Anchor::I420)
                benchmark::RegisterBenchmark(Name(name, size, kUnalignedAt).c_str(), Libyuv, anchor,
                                             size, kUnalignedAt)
                    ->Unit(benchmark::kMicrosecond);
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Register();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
