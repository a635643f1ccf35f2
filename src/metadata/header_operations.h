// The whole-file header and marker operations that the exports offer and
// that library code also needs (the MP3 splitter keeps markers, verified
// copies keep the ZRM2 header, media conversions carry the headers). They
// trace as the exports do, from "+ORVKT..." on, and answer with result codes.
#pragma once

#include <cstdint>

#include "OrvaneVktapi.h"

namespace vkt::metadata {

uint32_t read_zrm2_header(const char* pcszZRM2FileName, ZRM2HeaderInfo* pHeader);
uint32_t write_zrm2_header(const char* pcszZRM2FileName, const ZRM2HeaderInfo* pHeader);
uint32_t copy_dss_headers(const char* pcszSrcFileName, const char* pcszDstFileName, int32_t bH1H2, int32_t bH3);
uint32_t read_markers(const char* pcszFileName, uint8_t* pbyMarkers);
uint32_t write_markers(const char* pcszFileName, const uint8_t* pbyMarkers);

}  // namespace vkt::metadata
