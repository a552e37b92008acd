#include "video/conversion/YUVRowKernels.h"

#include <atomic>

namespace vocalyn::video::detail {

#if defined(__x86_64__) || defined(__i386__)
// Defined in YUVRowsAvx2.cpp and YUVRowsAvx512.cpp, each compiled for its
// instruction set whatever the build's target.
void Yuy2RowAvx2(const std::uint8_t* source, std::uint8_t* destination, int pairs);
void UyvyRowAvx2(const std::uint8_t* source, std::uint8_t* destination, int pairs);
void I420RowsAvx2(const std::uint8_t* luma0, const std::uint8_t* luma1, const std::uint8_t* u,
                  const std::uint8_t* v, std::uint8_t* destination0, std::uint8_t* destination1,
                  int pairs);
void GreyRowAvx2(const std::uint8_t* luma, std::uint8_t* destination, int pixels);
void Y211RowAvx2(const std::uint8_t* source, std::uint8_t* destination, int groups);
void Y41PRowAvx2(const std::uint8_t* source, std::uint8_t* destination, int pixels);
void Yvu9RowAvx2(const std::uint8_t* luma, const std::uint8_t* u, const std::uint8_t* v,
                 std::uint8_t* destination, int groups);
void Yuy2RowsAvx512(const std::uint8_t* source, std::ptrdiff_t sourceStride,
                    std::uint8_t* destination, std::ptrdiff_t destinationStride, int pairs,
                    int rows);
void UyvyRowsAvx512(const std::uint8_t* source, std::ptrdiff_t sourceStride,
                    std::uint8_t* destination, std::ptrdiff_t destinationStride, int pairs,
                    int rows);
void I420RowsAvx512(const std::uint8_t* luma0, const std::uint8_t* luma1, const std::uint8_t* u,
                    const std::uint8_t* v, std::uint8_t* destination0, std::uint8_t* destination1,
                    int pairs);

const RowKernels* Avx2Kernels() {
    static constexpr RowKernels kKernels{"avx2",
                                         EachPackedRow<Yuy2RowAvx2>,
                                         EachPackedRow<UyvyRowAvx2>,
                                         I420RowsAvx2,
                                         GreyRowAvx2,
                                         Y211RowAvx2,
                                         Y41PRowAvx2,
                                         Yvu9RowAvx2};
    return &kKernels;
}

// The AVX2 set with AVX-512 rows where there are some.
const RowKernels* Avx512Kernels() {
    static constexpr RowKernels kKernels{"avx512",       Yuy2RowsAvx512, UyvyRowsAvx512,
                                         I420RowsAvx512, GreyRowAvx2,    Y211RowAvx2,
                                         Y41PRowAvx2,    Yvu9RowAvx2};
    return &kKernels;
}

namespace {
bool CpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

// The AVX-512 rows permute bytes (VBMI): a processor with AVX-512BW alone,
// such as Skylake-SP, runs the AVX2 set.
bool CpuHasAvx512() {
    __builtin_cpu_init();
    return CpuHasAvx2() && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
}
} // namespace
#else
const RowKernels* Avx2Kernels() {
    return nullptr;
}

const RowKernels* Avx512Kernels() {
    return nullptr;
}

namespace {
bool CpuHasAvx2() {
    return false;
}

bool CpuHasAvx512() {
    return false;
}
} // namespace
#endif

std::vector<const RowKernels*> RunnableKernels() {
    std::vector<const RowKernels*> kernels{&ScalarKernels()};
    if (Avx2Kernels() && CpuHasAvx2())
        kernels.push_back(Avx2Kernels());
    if (Avx512Kernels() && CpuHasAvx512())
        kernels.push_back(Avx512Kernels());
    return kernels;
}

namespace {
// The choice is made once and is the same for every caller; only tests
// change it, to run each implementation.
std::atomic<const RowKernels*> g_active{nullptr};
} // namespace

const RowKernels& ActiveKernels() {
    const RowKernels* kernels = g_active.load(std::memory_order_acquire);
    if (!kernels) {
        kernels = RunnableKernels().back();
        g_active.store(kernels, std::memory_order_release);
    }
    return *kernels;
}

void UseKernels(const RowKernels& kernels) {
    g_active.store(&kernels, std::memory_order_release);
}

} // namespace vocalyn::video::detail
