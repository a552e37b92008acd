// Every converter at two frame sizes beside libyuv's conversion of the same
// layout, or the nearest one where libyuv has none (the speed to match), and
// a copy of the output bytes (the floor). The fastest kernels run under the
// converter's name, the others under name_kernels. Prints the ratios libyuv
// time / our time after the usual table; run with --benchmark_repetitions=5
// on a busy machine.
#include "video/YUVConverts.h"
#include "video/YUVRowKernels.h"

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

std::vector<std::uint8_t> Frame(std::size_t bytes) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> frame(bytes);
    for (auto& byte : frame)
        byte = static_cast<std::uint8_t>(random());
    return frame;
}

std::string Name(const char* what, Size size) {
    return std::string(what) + "/" + std::to_string(size.width) + "x" + std::to_string(size.height);
}

void Ours(benchmark::State& state, int frameClass, Size size, const detail::RowKernels* kernels) {
    detail::UseKernels(kernels ? *kernels : *detail::RunnableKernels().back());
    const auto source = Frame(SourceFrameBytes(frameClass, size.width, size.height));
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(size.width) * size.height * 4);
    for (auto _ : state) {
        ConvertFrame(frameClass, source.data(), picture.data(), size.width, size.height);
        benchmark::ClobberMemory();
    }
    detail::UseKernels(*detail::RunnableKernels().back());
}

enum class Anchor { YUY2, UYVY, I420, I400, Copy };

void Libyuv(benchmark::State& state, Anchor anchor, Size size) {
    const int w = size.width;
    const int h = size.height;
    const auto source = Frame(static_cast<std::size_t>(w) * h * 4);
    std::vector<std::uint8_t> picture(static_cast<std::size_t>(w) * h * 4);
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
            std::memcpy(picture.data(), source.data(), picture.size());
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
        std::printf("\n%-14s %-20s %10s %10s %10s %8s %8s\n", "ours", "anchor", "size", "ours us",
                    "anchor us", "ratio", "xcopy");
        for (const Size size : kSizes) {
            for (const Pair& pair : pairs) {
                const auto ours = cpu_.find(Name(pair.ours, size));
                const auto anchor = cpu_.find(Name(pair.anchor, size));
                const auto copy = cpu_.find(Name("memcpy_output", size));
                if (ours == cpu_.end() || anchor == cpu_.end() || copy == cpu_.end())
                    continue;
                std::printf("%-14s %-20s %4dx%-5d %10.1f %10.1f %8.2f %8.2f\n", pair.ours,
                            pair.anchor, size.width, size.height, ours->second, anchor->second,
                            anchor->second / ours->second, ours->second / copy->second);
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
    for (const Size size : kSizes) {
        for (const Converter& converter : converters)
            benchmark::RegisterBenchmark(Name(converter.name, size).c_str(), Ours,
                                         converter.frameClass, size, nullptr)
                ->Unit(benchmark::kMicrosecond);
        // The other kernel sets this processor runs, for the machines that
        // have only those.
        const auto kernelSets = detail::RunnableKernels();
        for (const detail::RowKernels* kernels : kernelSets) {
            if (kernels == kernelSets.back())
                continue;
            for (const Converter& converter :
                 {Converter{"YUY2", kClassYUY2}, Converter{"UYVY", kClassUYVY},
                  Converter{"I420", kClassI420}})
                benchmark::RegisterBenchmark(
                    Name((std::string(converter.name) + "_" + kernels->name).c_str(), size).c_str(),
                    Ours, converter.frameClass, size, kernels)
                    ->Unit(benchmark::kMicrosecond);
        }
        const std::pair<const char*, Anchor> anchors[] = {{"libyuv_YUY2ToARGB", Anchor::YUY2},
                                                          {"libyuv_UYVYToARGB", Anchor::UYVY},
                                                          {"libyuv_I420ToARGB", Anchor::I420},
                                                          {"libyuv_I400ToARGB", Anchor::I400},
                                                          {"memcpy_output", Anchor::Copy}};
        for (const auto& [name, anchor] : anchors)
            benchmark::RegisterBenchmark(Name(name, size).c_str(), Libyuv, anchor, size)
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
