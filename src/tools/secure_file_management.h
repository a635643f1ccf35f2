// Copying dictation files with a free-space check, a corrupt-block filter
// for DSS files and CRC-32 verification; deleting them through a hidden
// temporary name.
#pragma once

#include <cstdint>

namespace SecureFileManagement {

uint32_t CopyFile(const char* lpcstrSourceFile, const char* lpcstrDestFile, int32_t bWriteThrough);
uint32_t DeleteFile(const char* lpcstrFile);

// Steps of the two operations, open for tests.
uint32_t CopyWithoutBuffering(const char* lpcstrSourceFile, const char* lpcstrDestFile, int32_t bWriteThrough);
uint32_t RenameOrDeleteFile(const char* lpcstrFile);
uint32_t UpdateDownloadTime(const char* lpcstrFile);
// CRC-32 (IEEE 802.3, reflected) of a whole file; 0 or the platform error of the open.
uint32_t FileCrc(const char* lpcstrFile, uint32_t* pdwCrc);
// True for a header image of a dictation or instruction file of our
// family: the files whose corrupt blocks the copy leaves out.
bool IsFilterableHeaderImage(const uint8_t* pbyImage, uint32_t dwLength);

}  // namespace SecureFileManagement
