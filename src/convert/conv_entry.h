// Helpers of the conversion exports: destination and temporary names, the
// check of a DSS wave format, and the format and sound-length queries that
// several conversions share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "OrvaneVktapi.h"

inline constexpr std::size_t VKT_MAX_PATH = 260;

// The destination path of a conversion into pszPath_p (VKT_MAX_PATH bytes).
// A destination with a file-name part is taken as it is; otherwise (a folder
// ending in a separator, or nothing) the source's folder and name with
// pcszExtension_p. With pszTmpPath_p the temporary name "~<name>.vkt" beside
// the chosen path. Returns 0, or 13 (no source extension, name too long).
uint32_t CreateDestinationFilePath(const char* pcszSrcFileName_p, const char* pcszDstFileName_p, char* pszPath_p,
                                   const char* pcszExtension_p, char* pszTmpPath_p = nullptr,
                                   std::size_t dwTmpSize_p = 0);

// A DSS codec format a WAV file can be packed from: tag 0x0121, mono, 0 bits,
// cbSize 0, and (rate, bytes/s, block) of standard play, long play at the
// 8000 clock, or quality play.
bool IsValidDSSWaveFormatEx(const WAVEFORMATEX* pwfx);

// True when tag, channels, rate, bytes/s, block, bits and cbSize are equal.
bool VKTSameWaveFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b);

// The wave format of a WAV, DSS/DS2, MP3 or WMA file (by extension); the
// work of ORVKTReadWAVFormat.
uint32_t VKTReadWAVFormat(const char* pcszWAVFileName, WAVEFORMATEX* pWAVFormat, uint32_t lWAVFormatSize);

// The sound length of a WAV, MP3 or WMA file in milliseconds; the work of
// ORVKTWAVGetSndDataLength.
uint32_t VKTWAVGetSndDataLength(const char* pcszWAVFileName, uint32_t* lDataLengthMs);
