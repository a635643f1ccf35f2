// Moving the header image between files and memory. Where the image lives
// is decided by the file's extension (case ignored): ".dss"/".ds2" the
// header blocks themselves, ".mp3" our private frame in the ID3v2 tag, any
// other name the ICMT sub-chunk of the LIST/INFO chunk of a WAV file.
#pragma once

#include <cstdint>

#include "metadata/metadata_file_kind.h"

// Reads the image. On entry *size is the buffer's capacity (at least 512;
// callers pass 1024 or 1536), on return the image length: 0 (a WAV file
// without a usable comment), 512, 513, 1024 or 1536 for DSS files; the
// capacity for MP3 files; the chunk's size for WAV files. bForceDss reads
// the file as DSS whatever its extension.
uint32_t ReadZRM2HeaderDataToMemoryEx(const char* name, uint8_t* buffer, uint32_t* size, bool bForceDss);
uint32_t ReadZRM2HeaderDataToMemory(const char* name, uint8_t* buffer, uint32_t* size);

// Stores an image of `size` bytes in the file.
uint32_t WriteZRM2HeaderDataToFile(const char* name, const uint8_t* buffer, uint32_t size, bool bForceDss);

// The work of ORVKTCopyDSSHeaders: markers (bH3) and headers 1 and 2 (bH1H2)
// from one file to another of any kind.
uint32_t CopyDSSHeaders(const char* src, const char* dst, bool bH1H2, bool bH3);
