#pragma once

#include <cstddef>
#include <cstdint>

namespace vocalyn::video {

// The blocks exchanged with the capture service, laid out byte for byte as the
// capture drivers define them: 32-bit little-endian fields, no padding.

// The capture parameters as the program reads and writes them: the driver's
// block without its last field, 92 bytes. Only streamed capture reads most of
// these; the program changes a few and hands the rest back as read.
struct CAPTUREPARMS {
    std::uint32_t dwRequestMicroSecPerFrame = 0;
    std::uint32_t fMakeUserHitOKToCapture = 0;
    std::uint32_t wPercentDropForError = 0;
    std::uint32_t fYield = 0;
    std::uint32_t dwIndexSize = 0;
    std::uint32_t wChunkGranularity = 0;
    std::uint32_t fUsingDOSMemory = 0;
    std::uint32_t wNumVideoRequested = 0;
    std::uint32_t fCaptureAudio = 0;
    std::uint32_t wNumAudioRequested = 0;
    std::uint32_t vKeyAbort = 0;
    std::uint32_t fAbortLeftMouse = 0;
    std::uint32_t fAbortRightMouse = 0;
    std::uint32_t fLimitEnabled = 0;
    std::uint32_t wTimeLimit = 0;
    std::uint32_t fMCIControl = 0;
    std::uint32_t fStepMCIDevice = 0;
    std::uint32_t dwMCIStartTime = 0;
    std::uint32_t dwMCIStopTime = 0;
    std::uint32_t fStepCaptureAt2x = 0;
    std::uint32_t wStepCaptureAverageFrames = 0;
    std::uint32_t dwAudioBufferSize = 0;
    std::uint32_t fDisableWriteCache = 0;
};
static_assert(sizeof(CAPTUREPARMS) == 92);

// What a driver can do, 44 bytes; the program reads only the two dialog flags.
struct CAPDRIVERCAPS {
    std::uint32_t wDeviceIndex = 0;
    std::uint32_t fHasOverlay = 0;
    std::uint32_t fHasDlgVideoSource = 0;
    std::uint32_t fHasDlgVideoFormat = 0;
    std::uint32_t fHasDlgVideoDisplay = 0;
    std::uint32_t fCaptureInitialized = 0;
    std::uint32_t fDriverSuppliesPalettes = 0;
    std::uint32_t hVideoIn = 0;
    std::uint32_t hVideoOut = 0;
    std::uint32_t hVideoExtIn = 0;
    std::uint32_t hVideoExtOut = 0;
};
static_assert(sizeof(CAPDRIVERCAPS) == 44);

} // namespace vocalyn::video
