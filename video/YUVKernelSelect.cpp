#include "video/YUVRowKernels.h"

#include <atomic>

namespace vocalyn::video::detail {

#if defined(__x86_64__) || defined(__i386__)
// Defined in YUVRowsAvx2.cpp, compiled for AVX2 whatever the build's target.
void Yuy2RowAvx2(const std::uint8_t* source, std::uint8_t* destination, int pairs);
void UyvyRowAvx2(const std::uint8_t* source, std::uint8_t* destination, int pairs);
void I420RowsAvx2(const std::uint8_t* luma0, const std::uint8_t* luma1, const std::uint8_t* u,
                  const std::uint8_t* v, std::uint8_t* destination0, std::uint8_t* destination1,
                  int pairs);
void GreyRowAvx2(const std::uint8_t* luma, std::uint8_t* destination, int pixels);

const RowKernels* Avx2Kernels() {
    static constexpr RowKernels kernels{"avx2", Yuy2RowAvx2, UyvyRowAvx2, I420RowsAvx2,
                                        GreyRowAvx2};
    return &kernels;
}

namespace {
bool CpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
} // namespace
#else
const RowKernels* Avx2Kernels() {
    return nullptr;
}

namespace {
bool CpuHasAvx2() {
    return false;
}
} // namespace
#endif

std::vector<const RowKernels*> RunnableKernels() {
    std::vector<const RowKernels*> kernels{&ScalarKernels()};
    if (Avx2Kernels() && CpuHasAvx2())
        kernels.push_back(Avx2Kernels());
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
