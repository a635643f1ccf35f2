// Conversions of media files (MP3, WMA) to WAV through the media reader.
//
//   VKTWMFConvertToWAV  the reader's 16-bit PCM output of the first audio
//                       stream, as it is, into a WAV file; the dictation
//                       header and the markers of an MP3 follow
//   VKTMP3ToWAV         the above into a temporary file (progress 0-40), a
//                       stereo result mixed to mono (40-50), then a change
//                       of format to the caller's (50-100)
//   VKTWMAToWAV         the WMA's first channel as 16-bit mono PCM into a
//                       temporary file (0-50), then a change of format
//                       (50-100); a WMA carries no header or markers
//
// Each leaves either its finished destination or nothing: the temporary
// files are removed on every path.
#pragma once

#include <cstdint>

#include "OrvaneVktapi.h"

// The Windows Media conversion with its progress running from 0 to
// dwProgressRange. pwfxOut (may be null) receives the written format.
uint32_t VKTWMFConvertToWAV(const char* pcszSrcFileName, const char* pcszDstFileName, WAVEFORMATEX* pwfxOut,
                            ProgressCallback pfnCallback, intptr_t lCallback, uint32_t dwProgressRange);

uint32_t VKTMP3ToWAV(const char* pcszMP3FileName, const char* pcszWAVFileName, const WAVEFORMATEX* pwfxDst,
                     ProgressCallback pfnCallback, intptr_t lCallback);

uint32_t VKTWMAToWAV(const char* pcszWMAFileName, const char* pcszWAVFileName, const WAVEFORMATEX* pwfxDst,
                     ProgressCallback pfnCallback, intptr_t lCallback);
