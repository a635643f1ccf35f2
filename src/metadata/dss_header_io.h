// The DSS and DS2 side of header and marker transport: header blocks read
// and written in place through the DSS file object.
#pragma once

#include <cstdint>

// Reads header 1 and, as the file's licensee and header count allow, header 2
// and 3 or the Olympus flag byte (see ReadZRM2HeaderDataToMemoryEx).
uint32_t ReadDssHeaderImage(const char* name, uint8_t* buffer, uint32_t capacity, uint32_t* length);
// Writes the image over the header blocks, from offset 0.
uint32_t WriteDssHeaderImage(const char* name, const uint8_t* image, uint32_t size);
// The compression id the file object finds when it opens the file.
uint32_t ReadDssCompressionId(const char* name, uint16_t* compression_id);
// The marker array in the first 256 bytes of header 3 (licensee 3, three or
// more header blocks): 26 when the file has none.
uint32_t ReadDssMarkers(const char* name, uint8_t* markers);
// 0 also when the file has no header 3 (nothing is written then).
uint32_t WriteDssMarkers(const char* name, const uint8_t* markers);
// Copies a header image into a DSS file without changing what the file is:
// its header count, self-identifier, format words and encryption fields
// stay, at most as many blocks as it has are written, and header 2 only
// when both are of our own family (licensee 3).
uint32_t CopyHeaderImageIntoDss(const char* name, const uint8_t* image, uint32_t length);
