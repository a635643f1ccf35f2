// Traced file wrappers under the DSS file object: they answer with platform
// error numbers (never result codes).
#pragma once

#include <cstdint>

#include "platform/fileio.h"

using KRVHANDLE = vkt::platform::File*;

// Opens or creates a file; on failure returns null and sets *pdwError_p.
KRVHANDLE KRVDSS_open_file(const char* lpszFilepath_p, uint32_t* pdwError_p, uint32_t dwDesiredAccess_p,
                           uint32_t dwShareMode_p, uint32_t dwCreationDistribution_p);
// Closes *rhFile_p and sets it to null.
uint32_t KRVDSS_close_file(KRVHANDLE* rhFile_p);
uint32_t KRVDSS_read_file(KRVHANDLE hFile_p, void* lpvBuffer_p, uint32_t dwBytesToRead_p,
                          uint32_t* lpdwBytesWereRead_p);
uint32_t KRVDSS_write_file(KRVHANDLE hFile_p, const void* lpvBuffer_p, uint32_t dwBytesToWrite_p);
// Positions address 32 bits: from the start the value is unsigned, from the
// current position or the end it is a signed distance.
uint32_t KRVDSS_set_position_file(KRVHANDLE hFile_p, uint32_t dwPosition_p, uint32_t dwMoveMethod_p);
