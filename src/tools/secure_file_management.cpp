#include "tools/secure_file_management.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>
#include <zlib.h>

#include "dss/dss_layout.h"
#include "OrvaneVktapi.h"
#include "edit/dss_data_handler.h"
#include "metadata/header_image.h"
#include "metadata/header_transport.h"
#include "metadata/header_operations.h"
#include "platform/file_identity.h"
#include "platform/fileio.h"
#include "platform/path.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("SecureFileManagement");

using namespace vkt::platform;

namespace SecureFileManagement {

namespace {

constexpr uint32_t kPiece = 16384;
constexpr uint32_t kCrcPiece = 4096;

bool is_existing_file(const char* name) {
    uint32_t attributes = 0;
    return get_file_attributes(name, &attributes) == 0 && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Enough numbered names for any folder; "~del.tmp" first, as the platform's
// own tools name it.
constexpr int kMaxDeleteNames = 1000;

std::string delete_name(const PathParts& parts, int n) {
    return parts.drive + parts.dir + (n == 0 ? std::string("~del.tmp") : "~del~" + std::to_string(n) + ".tmp");
}

bool drive_unusable(const char* name) {
    uint32_t type = drive_type(name);
    return type == DRIVE_UNKNOWN || type == DRIVE_NO_ROOT_DIR;
}

// Platform errors met while verifying or moving, as result codes.
uint32_t map_platform_error(uint32_t error, uint32_t not_found_code) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND: return not_found_code;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_ACCESS_DENIED: return VKT_ERR_FILE_NAME;
        case ERROR_WRITE_PROTECT: return VKT_ERR_FILE_READONLY;
        case ERROR_CRC: return VKT_ERR_VERIFY;
        default: return VKT_ERR;
    }
}

// Opens the file for reading and writing and asks the disk to keep it.
void flush_to_disk(const char* name) {
    uint32_t err = 0;
    UniqueFile f(file_open(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0,
                           &err));
    if (!f || file_flush(f.get()) != 0) VKT_TRACE_WARNING("FlushFileBuffers() not possible");
}

bool should_filter(const char* source, uint32_t* result) {
    *result = 0;
    if (!equals_ignore_case(extension_of(source), ".dss")) return false;
    std::vector<uint8_t> image(vkt::dss::image::kTwoHeaders);
    uint32_t length = static_cast<uint32_t>(image.size());
    uint32_t r = ReadZRM2HeaderDataToMemory(source, image.data(), &length);
    if (r != 0) {
        VKT_TRACE_ERROR(r, "ORVKTIsValidZRM2File() failed");
        *result = r;
        return false;
    }
    if (!IsFilterableHeaderImage(image.data(), length)) return false;
    VKT_TRACE_WARNING("ZRM2 DSS file: Using WriteWithoutCorrBlocks()");
    return true;
}

}  // namespace

bool IsFilterableHeaderImage(const uint8_t* image, uint32_t length) { return IsZRM2DictOrInsImage(image, length); }

uint32_t FileCrc(const char* name, uint32_t* crc) {
    uint32_t err = 0;
    UniqueFile f(file_open(name, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, &err));
    if (!f) return err;
    uLong value = crc32(0L, Z_NULL, 0);
    std::vector<uint8_t> piece(kCrcPiece);
    for (;;) {
        uint32_t got = 0;
        if (file_read(f.get(), piece.data(), kCrcPiece, &got) != 0 || got == 0) break;
        value = crc32(value, piece.data(), got);
    }
    *crc = static_cast<uint32_t>(value);
    return 0;
}

uint32_t CopyWithoutBuffering(const char* source, const char* dest, int32_t bWriteThrough) {
    VKT_TRACE_TEXT("-----SecureFileManagement::CopyWithoutBuffering()");
    uint32_t filter_result = 0;
    const bool filter = should_filter(source, &filter_result);
    if (filter_result != 0) return filter_result;

    uint32_t attributes = FILE_ATTRIBUTE_NORMAL;
    get_file_attributes(source, &attributes);

    uint32_t err = 0;
    UniqueFile src(file_open(source, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0, &err));
    if (!src) src.reset(file_open(source, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, &err));
    if (!src) {
        VKT_TRACE_ERROR(err, "CreateFile(src) failed");
        return VKT_ERR_OPEN_FILE;
    }

    uint64_t size = 0;
    uint32_t expected = file_size(src.get(), &size) == 0 ? static_cast<uint32_t>(size) : 0;

    uint64_t free_bytes = 0;
    if (disk_free_space(dest, &free_bytes) == 0 && free_bytes < expected) {
        VKT_TRACE_ERROR(0, "Out of disk space");
        return VKT_ERR_OUT_OF_DISKSPACE;
    }

    UniqueFile dst(file_open(dest, GENERIC_WRITE, 0, CREATE_NEW, bWriteThrough ? FILE_FLAG_WRITE_THROUGH : 0, &err));
    if (!dst) {
        VKT_TRACE_ERROR(err, "CreateFile(dest) failed");
        return VKT_ERR_OPEN_FILE;
    }

    DSSDataHandler handler(true);
    std::vector<uint8_t> piece(kPiece);
    uint64_t total = 0;
    for (;;) {
        uint32_t got = 0;
        uint32_t read_err = file_read(src.get(), piece.data(), kPiece, &got);
        bool written_ok;
        if (filter) {
            uint32_t done = 0;
            written_ok = handler.WriteWithoutCorrBlocks(dst.get(), piece.data(), got, &done) != 0;
        } else {
            uint32_t done = 0;
            written_ok = got == 0 || (file_write(dst.get(), piece.data(), got, &done) == 0 && done == got);
        }
        if (!written_ok) {
            VKT_TRACE_ERROR(ERROR_DISK_FULL, "WriteFile(dest) failed");
            src.reset();
            File* d = dst.release();
            file_close(d);
            delete_file(dest);
            return VKT_ERR_COPY_FAILED;
        }
        total += got;
        if (read_err != 0 || got < kPiece) break;
    }

    if (total == 0 || (expected != 0 && expected != total)) return VKT_ERR_COPY_FAILED;  // both closed, copy kept

    // Buffered bytes reach the file when it is closed; a failure there is a failed write.
    src.reset();
    if (File* d = dst.release(); file_close(d) != 0) {
        VKT_TRACE_ERROR(ERROR_DISK_FULL, "WriteFile(dest) failed");
        delete_file(dest);
        return VKT_ERR_COPY_FAILED;
    }
    set_file_attributes(dest, attributes);
    if (bWriteThrough) flush_to_disk(dest);

    if (handler.CorruptBlockSeen()) return 0;  // the copy differs on purpose: no verification

    uint32_t source_crc = 0, dest_crc = 0;
    if (uint32_t e = FileCrc(source, &source_crc); e != 0) {
        VKT_TRACE_ERROR(e, "FileCrc returns error");
        delete_file(dest);
        return map_platform_error(e, VKT_ERR_FILE_NAME);
    }
    if (FileCrc(dest, &dest_crc) != 0) return 0;
    if (source_crc == dest_crc) return 0;
    VKT_TRACE_ERROR(VKT_ERR_VERIFY, " - files not idenitical - operation aborted!");
    set_file_attributes(dest, FILE_ATTRIBUTE_NORMAL);
    delete_file(dest);
    return VKT_ERR_VERIFY;
}

uint32_t UpdateDownloadTime(const char* file) {
    ZRM2HeaderInfo info{};
    info.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    if (uint32_t r = vkt::metadata::read_zrm2_header(file, &info); r != 0) {
        VKT_TRACE_ERROR(r, "ORVKTReadZRM2Header failed");
        return r;
    }
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[48], time_of_day[48];  // room for any int the compiler imagines
    std::snprintf(date, sizeof date, "%02d%02d%02d", local.tm_year % 100, local.tm_mon + 1, local.tm_mday);
    std::snprintf(time_of_day, sizeof time_of_day, "%02d%02d%02d", local.tm_hour, local.tm_min, local.tm_sec);
    std::memcpy(info.achH2Field22, date, 6);
    std::memcpy(info.achH2Field28, time_of_day, 6);
    info.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    return vkt::metadata::write_zrm2_header(file, &info);
}

uint32_t CopyFile(const char* source, const char* dest, int32_t bWriteThrough) {
    VKT_TRACE_TEXT("SecureFileManagement::CopyFile()");
    VKT_TRACE_PARAM("lpcstrSourceFile", "%s", source);
    VKT_TRACE_PARAM("lpcstrDestFile", "%s", dest);
    VKT_TRACE_PARAM("bWriteThrough", "%d", bWriteThrough);
    if (!source || !dest) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, Invalid parameter");
        return VKT_ERR_FILE_NAME;
    }
    // A device or fifo would never end (or never start): only files are copied.
    if (!is_existing_file(source) || !is_regular_file(source)) {
        VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, source);
        return VKT_ERR_OPEN_FILE;
    }
    if (is_existing_file(dest)) {
        VKT_TRACE_ERROR(VKT_ERR_DEST_EXISTS, dest);
        return VKT_ERR_DEST_EXISTS;
    }
    uint32_t r = CopyWithoutBuffering(source, dest, bWriteThrough);
    if (r == 0 && !bWriteThrough) UpdateDownloadTime(dest);
    if (r == 0) return 0;
    if (drive_unusable(source) || drive_unusable(dest)) return VKT_ERR_COPY_FAILED;
    return r;
}

uint32_t RenameOrDeleteFile(const char* file) {
    VKT_TRACE_TEXT("SecureFileManagement::RenameOrDeleteFile()");
    // The temporary name is one that is free: a file already called
    // "~del.tmp" is someone's, and stays. The move takes the name only if it
    // is still free at that moment.
    const PathParts parts = split_path(file);
    struct stat moved{};
    if (::lstat(file, &moved) != 0) moved = {};
    std::string temp;
    uint32_t err = ERROR_ALREADY_EXISTS;
    for (int n = 0; n < kMaxDeleteNames && err == ERROR_ALREADY_EXISTS; ++n) {
        temp = delete_name(parts, n);
        err = move_file(file, temp.c_str(), false);
    }
    if (err != 0) {
        VKT_TRACE_ERROR(err, " = GetLastError() - MoveFile failed");
        return map_platform_error(err, VKT_ERR_DELETE_FAILED);
    }
    const char* temp_name = temp.c_str();
    set_file_attributes(temp_name, FILE_ATTRIBUTE_HIDDEN);
    flush_to_disk(temp_name);
    // Only the file that was moved there is deleted.
    struct stat now{};
    if (::lstat(temp_name, &now) != 0 || now.st_dev != moved.st_dev || now.st_ino != moved.st_ino)
        return VKT_ERR_DELETE_FAILED;
    if (uint32_t e = delete_file(temp_name); e != 0) return map_platform_error(e, VKT_ERR_DELETE_FAILED);
    return 0;
}

uint32_t DeleteFile(const char* file) {
    VKT_TRACE_TEXT("SecureFileManagement::DeleteFile()");
    VKT_TRACE_PARAM("lpcstrFile", "%s", file);
    if (!file) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, Invalid parameter");
        return VKT_ERR_FILE_NAME;
    }
    uint32_t attributes = 0;
    if (get_file_attributes(file, &attributes) != 0 || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "File not found");
        return VKT_ERR_FILE_NAME;
    }
    // Devices, fifos and sockets are no recordings: never removed.
    if (!is_regular_file(file)) {
        VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "not a regular file");
        return VKT_ERR_OPEN_FILE;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_READONLY, "VKT_ERR_FILE_READONLY");
        return VKT_ERR_FILE_READONLY;
    }
    uint32_t r = RenameOrDeleteFile(file);
    if (r != 0 && drive_unusable(file)) return VKT_ERR_DELETE_FAILED;
    return r;
}

}  // namespace SecureFileManagement
