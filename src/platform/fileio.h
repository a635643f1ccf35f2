// File access with the semantics of the Win32 file calls the dictation code
// was written against: handles, a current position, create dispositions,
// and Win32 error numbers (ERROR_FILE_NOT_FOUND = 2, ...) mapped from errno.
//
// Reads and writes are buffered inside the handle, so walking a file in
// 512-byte blocks costs a system call per 64 KiB, not per block. A handle
// opened with FILE_FLAG_WRITE_THROUGH writes straight to the disk instead.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vkt::platform {

// Desired access, share modes, creation dispositions, move methods. Share
// modes are enforced as the platform does (platform/share_modes.h).
inline constexpr uint32_t GENERIC_READ = 0x80000000u;
inline constexpr uint32_t GENERIC_WRITE = 0x40000000u;
inline constexpr uint32_t FILE_SHARE_READ = 0x1u;
inline constexpr uint32_t FILE_SHARE_WRITE = 0x2u;
inline constexpr uint32_t FILE_SHARE_DELETE = 0x4u;
inline constexpr uint32_t CREATE_NEW = 1;
inline constexpr uint32_t CREATE_ALWAYS = 2;
inline constexpr uint32_t OPEN_EXISTING = 3;
inline constexpr uint32_t OPEN_ALWAYS = 4;
inline constexpr uint32_t TRUNCATE_EXISTING = 5;
inline constexpr uint32_t FILE_BEGIN = 0;
inline constexpr uint32_t FILE_CURRENT = 1;
inline constexpr uint32_t FILE_END = 2;
inline constexpr uint32_t FILE_FLAG_WRITE_THROUGH = 0x80000000u;

// File attributes as GetFileAttributes reports them.
inline constexpr uint32_t FILE_ATTRIBUTE_READONLY = 0x1u;
inline constexpr uint32_t FILE_ATTRIBUTE_HIDDEN = 0x2u;
inline constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10u;
inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80u;
inline constexpr uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

// Win32 error numbers that errno values map to.
inline constexpr uint32_t ERROR_SUCCESS = 0;
inline constexpr uint32_t ERROR_INVALID_FUNCTION = 1;
inline constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
inline constexpr uint32_t ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr uint32_t ERROR_INVALID_DRIVE = 15;
inline constexpr uint32_t ERROR_NOT_SAME_DEVICE = 17;
inline constexpr uint32_t ERROR_WRITE_PROTECT = 19;
inline constexpr uint32_t ERROR_NOT_READY = 21;
inline constexpr uint32_t ERROR_CRC = 23;
inline constexpr uint32_t ERROR_SHARING_VIOLATION = 32;
inline constexpr uint32_t ERROR_HANDLE_EOF = 38;
inline constexpr uint32_t ERROR_FILE_EXISTS = 80;
inline constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr uint32_t ERROR_DISK_FULL = 112;
inline constexpr uint32_t ERROR_NEGATIVE_SEEK = 131;
inline constexpr uint32_t ERROR_DIR_NOT_EMPTY = 145;
inline constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr uint32_t ERROR_FILENAME_EXCED_RANGE = 206;

// Drive types as GetDriveType reports them.
inline constexpr uint32_t DRIVE_UNKNOWN = 0;
inline constexpr uint32_t DRIVE_NO_ROOT_DIR = 1;
inline constexpr uint32_t DRIVE_REMOVABLE = 2;
inline constexpr uint32_t DRIVE_FIXED = 3;

uint32_t win32_error_from_errno(int err);

class File;

// Opens or creates a file. Returns null and sets *error on failure.
// Opening anything but a regular file (a directory, a device, a fifo), or a
// file without write permission bits for write access, fails with
// ERROR_ACCESS_DENIED whatever the process may do; a device or fifo is
// refused before it is opened, so nothing waits on it. An open that an open
// handle's share mode stands against fails with ERROR_SHARING_VIOLATION
// before a truncation changes a byte.
File* file_open(const char* path, uint32_t desired_access, uint32_t share_mode,
                uint32_t creation_disposition, uint32_t flags, uint32_t* error);
// Flushes and closes; the handle is gone afterwards whatever the result.
uint32_t file_close(File* file);
// Reads up to count bytes from the current position; at the end of the
// file a read succeeds with *done = 0.
uint32_t file_read(File* file, void* buffer, uint32_t count, uint32_t* done);
uint32_t file_write(File* file, const void* buffer, uint32_t count, uint32_t* done);
// Moves the position; positions past the end are allowed, before the
// start fail with ERROR_NEGATIVE_SEEK.
uint32_t file_seek(File* file, int64_t offset, uint32_t move_method, uint64_t* new_position);
uint32_t file_size(File* file, uint64_t* size);
// Writes the handle's buffer and asks the disk to keep the data.
uint32_t file_flush(File* file);
// Cuts or extends the file at the current position.
uint32_t file_set_end(File* file);
// Last-write time as seconds since the epoch.
uint32_t file_mtime(File* file, int64_t* seconds);

struct FileCloser {
    void operator()(File* f) const { file_close(f); }
};
using UniqueFile = std::unique_ptr<File, FileCloser>;

// Whole-file operations on names.
uint32_t get_file_attributes(const char* path, uint32_t* attributes);
// Only FILE_ATTRIBUTE_READONLY has an effect: it clears or sets the write bits.
uint32_t set_file_attributes(const char* path, uint32_t attributes);
bool file_exists(const char* path);
// Removes a regular file (or a symbolic link, not what it points to); any
// other kind of entry gives ERROR_ACCESS_DENIED. A file open without
// FILE_SHARE_DELETE gives ERROR_SHARING_VIOLATION.
uint32_t delete_file(const char* path);
// rename(); with replace false an existing destination fails with
// ERROR_ALREADY_EXISTS, decided atomically by the file system. Neither the
// file moved nor a file replaced may be open without FILE_SHARE_DELETE
// (ERROR_SHARING_VIOLATION), and only a regular file or a link is replaced.
uint32_t move_file(const char* from, const char* to, bool replace);
uint32_t copy_file(const char* from, const char* to, bool fail_if_exists);
// Free bytes the caller may use on the file system holding path.
uint32_t disk_free_space(const char* path, uint64_t* free_bytes);
// DRIVE_NO_ROOT_DIR when the directory of path does not exist, else DRIVE_FIXED.
uint32_t drive_type(const char* path);

// Test hook: once after_bytes more bytes have been written through any
// handle, every further write fails with the given Win32 error (a full disk).
void inject_write_failure(uint64_t after_bytes, uint32_t error);
void clear_write_failure();

}  // namespace vkt::platform
