// Stereo PCM WAV files turned into mono files: each channel into a file of
// its own (split), or both channels mixed into one (16-bit sources only).
#pragma once

#include <cstdint>

#include "OrvaneVktapi.h"

// The worker of both. Splitting writes the frame's second channel to the
// left output and its first channel to the right output. Mixing writes
// L/2 + R/2, each halved with truncation toward zero. Progress runs from
// progStart to progEnd. The header and markers of the source are copied
// into each output.
uint32_t Internal_PCMStereoToMono(bool splitStereo, const char* pcszWAVSrcFileName,
                                  const char* pcszWAVDstLeftOrMonoFileName, const char* pcszWAVDstRightFileName,
                                  ProgressCallback pfnCallback, intptr_t lCallback, uint32_t progStart,
                                  uint32_t progEnd);

// Mixing with a share of a caller's progress range (used by conversions).
uint32_t VKTWAVMixStereoInternal(const char* pcszWAVSrcFileName, const char* pcszWAVDstFileName,
                                 ProgressCallback pfnCallback, intptr_t lCallback, uint32_t progStart,
                                 uint32_t progEnd);
