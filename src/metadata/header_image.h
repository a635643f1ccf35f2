// The header image: the header blocks of a recording as one byte buffer
// (header 1 at 0, header 2 at 512, header 3 at 1024) of 0, 512, 513
// (header 1 and the Olympus flag byte), 1024 or 1536 bytes, and its mapping
// to and from the caller's ZRM2HeaderInfo record. Pure byte work: text
// fields are held in the OEM code page in the image and in the ANSI code
// page in the record.
#pragma once

#include <cstdint>

#include "dss/dss_layout.h"
#include "OrvaneVktapi.h"

inline constexpr uint32_t DSS_HEADERBLOCK_SIZE = vkt::dss::kHeaderBlockSize;

// Header 1 bytes 1-3 are "dss", "ds2" or "enc".
bool IsDssSelfId(const uint8_t* image, uint32_t length);
uint32_t ImageLicenseeId(const uint8_t* image);
uint16_t ImageH1Word32(const uint8_t* image);
uint16_t ImageH2Version(const uint8_t* image);

// A header of the library's own family that the record operations accept:
// licensee 3, and either one block with 0xFFFD at header 1 byte 32 or
// header 2 with version 1 or 2.
bool IsZRM2DictOrInsImage(const uint8_t* image, uint32_t length);

// The classes of ORVKTIsValidZRM2File: 0 no DSS header, 1 a DSS header of
// another licensee or header-2 kind, 2 licensee 3 with header 2 of version 1
// or 2, 3 licensee 3 with one header block. A licensee-3 image that fits
// neither of the last two is reported as 1.
uint32_t ClassifyZRM2Image(const uint8_t* image, uint32_t length);

// Image to record. Fills the record up to its dwSize (428: through
// aachText, 488: all). 38 for an image below 512 bytes or not from a DSS
// file, else 0.
uint32_t MapZRM2HeaderDataToZRM2HeaderStruct(const uint8_t* image, uint32_t length, ZRM2HeaderInfo* record);

// Record to image, in place: header 1 fields always, header 2 fields when
// the image holds header 2. Header 1 bytes 0-7, header 2 bytes 12-15 and
// header 3 are never changed. 25 for an image below 512 bytes, else 0.
uint32_t MapZRM2HeaderStructToZRM2HeaderData(const ZRM2HeaderInfo* record, uint8_t* image, uint32_t length);
