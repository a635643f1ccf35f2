#include "dss/traced_file_io.h"

#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("INTERNAL");

using namespace vkt::platform;

KRVHANDLE KRVDSS_open_file(const char* lpszFilepath_p, uint32_t* pdwError_p, uint32_t dwDesiredAccess_p,
                           uint32_t dwShareMode_p, uint32_t dwCreationDistribution_p) {
    VKT_TRACE_TEXT("-----KRVDSS_open_file(...)");
    VKT_TRACE_PARAM("lpszFilepath_p", "%s", lpszFilepath_p);
    VKT_TRACE_PARAM("dwDesiredAccess_p", "%8X", dwDesiredAccess_p);
    VKT_TRACE_PARAM("dwShareMode_p", "%8X", dwShareMode_p);
    VKT_TRACE_PARAM("dwCreationDistribution_p", "%lu", dwCreationDistribution_p);
    uint32_t err = 0;
    File* f = file_open(lpszFilepath_p, dwDesiredAccess_p, dwShareMode_p, dwCreationDistribution_p, 0, &err);
    if (pdwError_p) *pdwError_p = f ? 0 : err;
    if (!f) VKT_TRACE_ERROR(err, "GetLastError() after CreateFile()");
    return f;
}

uint32_t KRVDSS_close_file(KRVHANDLE* rhFile_p) {
    VKT_TRACE_TEXT("-----KRVDSS_close_file(...)");
    VKT_TRACE_PARAM("rhFile_p", "%p", rhFile_p);
    if (!rhFile_p || !*rhFile_p) {
        VKT_TRACE_ERROR(ERROR_INVALID_HANDLE, "GetLastError() after CloseHandle(rhFile_p)");
        return ERROR_INVALID_HANDLE;
    }
    uint32_t err = file_close(*rhFile_p);
    // The handle is released either way; a failed close means the last
    // buffered bytes did not reach the file.
    *rhFile_p = nullptr;
    if (err) VKT_TRACE_ERROR(err, "GetLastError() after CloseHandle(rhFile_p)");
    return err;
}

uint32_t KRVDSS_read_file(KRVHANDLE hFile_p, void* lpvBuffer_p, uint32_t dwBytesToRead_p,
                          uint32_t* lpdwBytesWereRead_p) {
    VKT_TRACE_TEXT("-----KRVDSS_read_file(...)");
    VKT_TRACE_PARAM("hFile_p", "%p", hFile_p);
    VKT_TRACE_PARAM("lpvBuffer_p", "%p", lpvBuffer_p);
    VKT_TRACE_PARAM("dwBytesToRead_p", "%lu", dwBytesToRead_p);
    uint32_t got = 0;
    uint32_t err = file_read(hFile_p, lpvBuffer_p, dwBytesToRead_p, &got);
    if (lpdwBytesWereRead_p) *lpdwBytesWereRead_p = got;
    VKT_TRACE_VALUE("dwBytesWereRead", "%lu", got);
    if (err) VKT_TRACE_ERROR(err, "GetLastError() after ReadFile()");
    return err;
}

uint32_t KRVDSS_write_file(KRVHANDLE hFile_p, const void* lpvBuffer_p, uint32_t dwBytesToWrite_p) {
    VKT_TRACE_TEXT("-----KRVDSS_write_file(...)");
    VKT_TRACE_PARAM("hFile_p", "%p", hFile_p);
    VKT_TRACE_PARAM("lpvBuffer_p", "%p", lpvBuffer_p);
    VKT_TRACE_PARAM("dwBytesToWrite_p", "%lu", dwBytesToWrite_p);
    uint32_t written = 0;
    uint32_t err = file_write(hFile_p, lpvBuffer_p, dwBytesToWrite_p, &written);
    VKT_TRACE_VALUE("dwBytesWritten", "%lu", written);
    if (err) VKT_TRACE_ERROR(err, "GetLastError() after WriteFile()");
    return err;
}

uint32_t KRVDSS_set_position_file(KRVHANDLE hFile_p, uint32_t dwPosition_p, uint32_t dwMoveMethod_p) {
    VKT_TRACE_TEXT("-----KRVDSS_set_position_file(...)");
    VKT_TRACE_PARAM("hFile_p", "%p", hFile_p);
    VKT_TRACE_PARAM("dwPosition_p", "%lu", dwPosition_p);
    VKT_TRACE_PARAM("dwMoveMethod_p", "%lu", dwMoveMethod_p);
    int64_t offset = dwMoveMethod_p == FILE_BEGIN ? static_cast<int64_t>(dwPosition_p)
                                                  : static_cast<int64_t>(static_cast<int32_t>(dwPosition_p));
    uint32_t err = file_seek(hFile_p, offset, dwMoveMethod_p, nullptr);
    if (err) VKT_TRACE_ERROR(err, "GetLastError() after SetFilePointer()");
    return err;
}
