// The format and sound-length queries of a file of any kind the library
// reads. The exports answer with them, and the conversions read their
// sources' formats through them, so that both trace alike.
#pragma once

#include <cstdint>

#include "OrvaneVktapi.h"

// The wave format of a WAV, DSS/DS2, MP3 or WMA file (by extension); the
// work of ORVKTReadWAVFormat.
uint32_t VKTReadWAVFormat(const char* pcszWAVFileName, WAVEFORMATEX* pWAVFormat, uint32_t lWAVFormatSize);

// The sound length of a WAV, MP3 or WMA file in milliseconds; the work of
// ORVKTWAVGetSndDataLength.
uint32_t VKTWAVGetSndDataLength(const char* pcszWAVFileName, uint32_t* lDataLengthMs);
