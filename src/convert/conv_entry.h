// Checks shared by the conversions: destination and temporary names, and
// the wave formats a conversion accepts.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "OrvaneVktapi.h"

namespace vkt::platform {
class TempFile;
}

inline constexpr std::size_t VKT_MAX_PATH = 260;

// The destination path of a conversion into pszPath_p (VKT_MAX_PATH bytes).
// A destination with a file-name part is taken as it is; otherwise (a folder
// ending in a separator, or nothing) the source's folder and name with
// pcszExtension_p. With pszTmpPath_p the temporary name "~<name>.vkt" beside
// the chosen path. Returns 0, or 13 (no source extension, name too long).
uint32_t CreateDestinationFilePath(const char* pcszSrcFileName_p, const char* pcszDstFileName_p, char* pszPath_p,
                                   const char* pcszExtension_p, char* pszTmpPath_p = nullptr,
                                   std::size_t dwTmpSize_p = 0);

// Refuses, with 14 and before anything is written, a destination that is
// the source (by any name: a link, another spelling of the path, a hard
// link) or that is there but is no regular file (a device, a fifo, a
// folder): the conversion would cut what it reads, or replace or remove
// what is not a recording. 0 otherwise.
uint32_t CheckConversionDestination(const char* pcszSrcFileName_p, const char* pcszDstFileName_p);

// Makes the temporary file of a conversion under the wanted name, or a fresh
// one beside it when that is taken (platform/temp_file.h). Returns 0, or the
// code an unusable folder gives: 13 when it does not exist, 14 when it may
// not be written, 10 otherwise.
uint32_t CreateConversionTempFile(vkt::platform::TempFile& temp, const char* pcszWanted_p, mode_t mode = 0666);

// A DSS codec format a WAV file can be packed from: mono, 0 bits, cbSize 0,
// and the tag, rate, bytes/s and block of a compression identifier's row:
// standard play, standard play at the 8000 clock, quality play (0x0121) or
// G.723.1 long play (0xFFFC).
bool IsValidDSSWaveFormatEx(const WAVEFORMATEX* pwfx);

// True when tag, channels, rate, bytes/s, block, bits and cbSize are equal.
bool VKTSameWaveFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b);

// A PCM destination format whose fields disagree (block size not channels
// times bytes per sample, bytes per second not rate times block) would be
// written into the file's header as it stands and mislead every reader:
// 21 for such a format, 0 for any other.
uint32_t CheckPcmDestinationFormat(const WAVEFORMATEX& f);

// The start of every conversion into a PCM WAV file: both names given (else
// VKT_ERR_FILE_NAME), a destination format (else VKT_ERR_INVALID_WAVFMT)
// whose fields agree, the destination path into pszDest_p (VKT_MAX_PATH
// bytes; a folder takes the source's name with ".Wav"), a destination that
// is not the source, and the temporary file beside it. Its error lines carry
// the trace unit of the conversion that asks (pcszUnit_p).
uint32_t PreparePcmConversion(const char* pcszUnit_p, const char* pcszSrc_p, const char* pcszDst_p,
                              const WAVEFORMATEX* pwfxDst_p, char* pszDest_p, vkt::platform::TempFile& temp);
