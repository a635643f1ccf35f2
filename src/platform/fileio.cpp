#include "platform/fileio.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <vector>

#include "platform/path.h"
#include "platform/share_modes.h"

namespace vkt::platform {

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

std::atomic<uint64_t> g_fail_after{0};
std::atomic<uint32_t> g_fail_error{0};
std::atomic<uint64_t> g_written{0};

// Applies the injected write failure: returns how many of count bytes may
// still be written, or count when no failure is armed.
std::size_t allowed_bytes(std::size_t count) {
    if (g_fail_error.load() == 0) return count;
    uint64_t limit = g_fail_after.load();
    uint64_t done = g_written.load();
    if (done >= limit) return 0;
    return static_cast<std::size_t>(std::min<uint64_t>(count, limit - done));
}

// Directory part of a path ("." when there is none).
std::string directory_of(const char* path) {
    std::string p = path;
    auto slash = p.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

bool is_directory(const std::string& p) {
    struct stat st{};
    return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Windows tells a missing file from a missing folder; POSIX says ENOENT to both.
uint32_t not_found_error(const char* path) {
    if (path[0] == '\0') return ERROR_PATH_NOT_FOUND;
    return is_directory(directory_of(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

uint32_t error_for(int err, const char* path) {
    if (err == ENOENT && path) return not_found_error(path);
    return win32_error_from_errno(err);
}

bool writable_bits(mode_t mode) { return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0; }

}  // namespace

uint32_t win32_error_from_errno(int err) {
    switch (err) {
        case 0: return ERROR_SUCCESS;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case EACCES:
        case EPERM:
        case EISDIR: return ERROR_ACCESS_DENIED;
        case EBADF: return ERROR_INVALID_HANDLE;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        case EXDEV: return ERROR_NOT_SAME_DEVICE;
        case EROFS: return ERROR_WRITE_PROTECT;
        case EIO: return ERROR_CRC;
        case EBUSY:
        case ETXTBSY: return ERROR_SHARING_VIOLATION;
        case EEXIST: return ERROR_FILE_EXISTS;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        case ENOSPC:
        case EDQUOT:
        case EFBIG: return ERROR_DISK_FULL;
        case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case ENODEV:
        case ENXIO: return ERROR_NOT_READY;
        default: return ERROR_INVALID_FUNCTION;
    }
}

class File {
public:
    File(int fd, bool write_through) : fd_(fd), write_through_(write_through) {}
    ~File() {
        claim_.release();
        if (fd_ >= 0) ::close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    ShareClaim& claim() { return claim_; }

    uint32_t close() {
        uint32_t err = flush_buffer();
        // Buffered bytes that were lost earlier make the close fail as well,
        // whichever call happened to report them first.
        if (err == 0) err = lost_write_;
        claim_.release();
        if (::close(fd_) != 0 && err == 0) err = win32_error_from_errno(errno);
        fd_ = -1;
        return err;
    }

    uint32_t read(void* out, uint32_t count, uint32_t* done) {
        *done = 0;
        if (mode_ == Mode::Write) {
            if (uint32_t err = flush_buffer()) return err;
        }
        auto* dst = static_cast<uint8_t*>(out);
        uint32_t total = 0;
        while (total < count) {
            if (mode_ == Mode::Read && pos_ >= buf_start_ && pos_ < buf_start_ + buf_.size()) {
                std::size_t offset = pos_ - buf_start_;
                std::size_t n = std::min<std::size_t>(count - total, buf_.size() - offset);
                std::memcpy(dst + total, buf_.data() + offset, n);
                total += static_cast<uint32_t>(n);
                pos_ += n;
                continue;
            }
            uint32_t want = count - total;
            if (want >= kBufferSize) {
                ssize_t got = ::pread(fd_, dst + total, want, static_cast<off_t>(pos_));
                if (got < 0) {
                    if (errno == EINTR) continue;
                    *done = total;
                    return win32_error_from_errno(errno);
                }
                total += static_cast<uint32_t>(got);
                pos_ += static_cast<uint64_t>(got);
                if (static_cast<uint32_t>(got) < want) break;  // end of file
                continue;
            }
            if (uint32_t err = fill(pos_)) {
                *done = total;
                return err;
            }
            if (buf_.empty()) break;  // end of file
        }
        *done = total;
        return ERROR_SUCCESS;
    }

    uint32_t write(const void* in, uint32_t count, uint32_t* done) {
        *done = 0;
        const auto* src = static_cast<const uint8_t*>(in);
        if (write_through_ || count >= kBufferSize) {
            if (uint32_t err = flush_buffer()) return err;
            drop_read_buffer();
            return write_direct(src, count, done);
        }
        if (mode_ == Mode::Read) drop_read_buffer();
        if (mode_ == Mode::Write &&
            (pos_ != buf_start_ + buf_.size() || buf_.size() + count > kBufferSize)) {
            if (uint32_t err = flush_buffer()) return err;
        }
        if (mode_ == Mode::None) {
            mode_ = Mode::Write;
            buf_start_ = pos_;
            buf_.clear();
            buf_.reserve(kBufferSize);
        }
        buf_.insert(buf_.end(), src, src + count);
        pos_ += count;
        *done = count;
        return ERROR_SUCCESS;
    }

    uint32_t seek(int64_t offset, uint32_t method, uint64_t* new_pos) {
        int64_t base = 0;
        if (method == FILE_CURRENT) {
            base = static_cast<int64_t>(pos_);
        } else if (method == FILE_END) {
            uint64_t size = 0;
            if (uint32_t err = size_of(&size)) return err;
            base = static_cast<int64_t>(size);
        } else if (method != FILE_BEGIN) {
            return ERROR_INVALID_PARAMETER;
        }
        int64_t target = base + offset;
        if (target < 0) return ERROR_NEGATIVE_SEEK;
        pos_ = static_cast<uint64_t>(target);
        if (new_pos) *new_pos = pos_;
        return ERROR_SUCCESS;
    }

    uint32_t size_of(uint64_t* size) {
        if (uint32_t err = flush_buffer()) return err;
        struct stat st{};
        if (::fstat(fd_, &st) != 0) return win32_error_from_errno(errno);
        *size = static_cast<uint64_t>(st.st_size);
        return ERROR_SUCCESS;
    }

    uint32_t flush() {
        if (uint32_t err = flush_buffer()) return err;
        if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
            return win32_error_from_errno(errno);
        return ERROR_SUCCESS;
    }

    uint32_t set_end() {
        if (uint32_t err = flush_buffer()) return err;
        drop_read_buffer();
        if (::ftruncate(fd_, static_cast<off_t>(pos_)) != 0) return win32_error_from_errno(errno);
        return ERROR_SUCCESS;
    }

    uint32_t mtime(int64_t* seconds) {
        if (uint32_t err = flush_buffer()) return err;
        struct stat st{};
        if (::fstat(fd_, &st) != 0) return win32_error_from_errno(errno);
        *seconds = st.st_mtime;
        return ERROR_SUCCESS;
    }

private:
    enum class Mode { None, Read, Write };

    uint32_t fill(uint64_t at) {
        buf_.resize(kBufferSize);
        ssize_t got;
        do {
            got = ::pread(fd_, buf_.data(), kBufferSize, static_cast<off_t>(at));
        } while (got < 0 && errno == EINTR);
        if (got < 0) {
            drop_read_buffer();
            return win32_error_from_errno(errno);
        }
        buf_.resize(static_cast<std::size_t>(got));
        buf_start_ = at;
        mode_ = Mode::Read;
        return ERROR_SUCCESS;
    }

    void drop_read_buffer() {
        if (mode_ == Mode::Read) {
            buf_.clear();
            mode_ = Mode::None;
        }
    }

    uint32_t write_at(uint64_t at, const uint8_t* src, std::size_t count, std::size_t* written) {
        *written = 0;
        while (*written < count) {
            std::size_t want = allowed_bytes(count - *written);
            if (want == 0) return g_fail_error.load();
            ssize_t n = ::pwrite(fd_, src + *written, want, static_cast<off_t>(at + *written));
            if (n < 0) {
                if (errno == EINTR) continue;
                return win32_error_from_errno(errno);
            }
            *written += static_cast<std::size_t>(n);
            g_written.fetch_add(static_cast<uint64_t>(n));
        }
        return ERROR_SUCCESS;
    }

    uint32_t write_direct(const uint8_t* src, uint32_t count, uint32_t* done) {
        std::size_t written = 0;
        uint32_t err = write_at(pos_, src, count, &written);
        pos_ += written;
        *done = static_cast<uint32_t>(written);
        return err;
    }

    uint32_t flush_buffer() {
        if (mode_ != Mode::Write) return ERROR_SUCCESS;
        std::size_t written = 0;
        uint32_t err = write_at(buf_start_, buf_.data(), buf_.size(), &written);
        buf_.clear();
        mode_ = Mode::None;
        if (err != 0 && lost_write_ == 0) lost_write_ = err;
        return err;
    }

    int fd_;
    bool write_through_;
    uint64_t pos_ = 0;
    Mode mode_ = Mode::None;
    std::vector<uint8_t> buf_;
    uint64_t buf_start_ = 0;
    uint32_t lost_write_ = 0;  // the first failed write-back of the buffer
    ShareClaim claim_;
};

File* file_open(const char* path, uint32_t desired_access, uint32_t share_mode,
                uint32_t creation_disposition, uint32_t flags, uint32_t* error) {
    uint32_t dummy = 0;
    uint32_t& err = error ? *error : dummy;
    err = ERROR_SUCCESS;
    if (!path) {
        err = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    const bool want_read = (desired_access & GENERIC_READ) != 0;
    bool truncate = false;
    // O_TRUNC is never passed: the file is cut only once the share modes of
    // the open handles allow writing it.
    int oflags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    switch (creation_disposition) {
        case CREATE_NEW: oflags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: oflags |= O_CREAT, truncate = true; break;
        case OPEN_EXISTING: break;
        case OPEN_ALWAYS: oflags |= O_CREAT; break;
        case TRUNCATE_EXISTING: truncate = true; break;
        default: err = ERROR_INVALID_PARAMETER; return nullptr;
    }
    const bool want_write = (desired_access & GENERIC_WRITE) != 0 || truncate;
    if ((flags & FILE_FLAG_WRITE_THROUGH) != 0) oflags |= O_DSYNC;

    struct stat st{};
    bool exists = ::stat(path, &st) == 0;
    // Directories, devices, fifos and sockets are not files: refused before
    // an open could block on them or a truncation reach a device.
    if (exists && !S_ISREG(st.st_mode)) {
        err = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (exists && creation_disposition == CREATE_NEW) {
        err = ERROR_FILE_EXISTS;
        return nullptr;
    }
    // A read-only file refuses writers, also when we run as root.
    if (exists && want_write && !writable_bits(st.st_mode)) {
        err = ERROR_ACCESS_DENIED;
        return nullptr;
    }

    // A writer opens for reading as well when it may: share locks need a
    // readable descriptor.
    int fd;
    bool readable = true;
    do {
        fd = ::open(path, oflags | (want_write ? O_RDWR : O_RDONLY), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno == EACCES && want_write && !want_read) {
        readable = false;
        do {
            fd = ::open(path, oflags | O_WRONLY, 0666);
        } while (fd < 0 && errno == EINTR);
    }
    if (fd < 0) {
        err = error_for(errno, path);
        return nullptr;
    }
    auto file = std::make_unique<File>(fd, (flags & FILE_FLAG_WRITE_THROUGH) != 0);
    // The name may have changed between the look and the open.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        err = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if ((err = file->claim().acquire(fd, st, want_read, want_write, share_mode, readable)) != ERROR_SUCCESS)
        return nullptr;
    if (truncate && st.st_size != 0 && ::ftruncate(fd, 0) != 0) {
        err = win32_error_from_errno(errno);
        return nullptr;
    }
    return file.release();
}

uint32_t file_close(File* file) {
    if (!file) return ERROR_INVALID_HANDLE;
    uint32_t err = file->close();
    delete file;
    return err;
}

uint32_t file_read(File* file, void* buffer, uint32_t count, uint32_t* done) {
    uint32_t dummy = 0;
    uint32_t& d = done ? *done : dummy;
    d = 0;
    if (!file) return ERROR_INVALID_HANDLE;
    return file->read(buffer, count, &d);
}

uint32_t file_write(File* file, const void* buffer, uint32_t count, uint32_t* done) {
    uint32_t dummy = 0;
    uint32_t& d = done ? *done : dummy;
    d = 0;
    if (!file) return ERROR_INVALID_HANDLE;
    return file->write(buffer, count, &d);
}

uint32_t file_seek(File* file, int64_t offset, uint32_t move_method, uint64_t* new_position) {
    if (!file) return ERROR_INVALID_HANDLE;
    return file->seek(offset, move_method, new_position);
}

uint32_t file_size(File* file, uint64_t* size) {
    if (!file) return ERROR_INVALID_HANDLE;
    return file->size_of(size);
}

uint32_t file_flush(File* file) {
    if (!file) return ERROR_INVALID_HANDLE;
    return file->flush();
}

uint32_t file_set_end(File* file) {
    if (!file) return ERROR_INVALID_HANDLE;
    return file->set_end();
}

uint32_t file_mtime(File* file, int64_t* seconds) {
    if (!file) return ERROR_INVALID_HANDLE;
    return file->mtime(seconds);
}

uint32_t get_file_attributes(const char* path, uint32_t* attributes) {
    *attributes = INVALID_FILE_ATTRIBUTES;
    struct stat st{};
    if (!path || ::stat(path, &st) != 0) return path ? error_for(errno, path) : ERROR_INVALID_PARAMETER;
    uint32_t a = 0;
    if (S_ISDIR(st.st_mode)) a |= FILE_ATTRIBUTE_DIRECTORY;
    if (!writable_bits(st.st_mode)) a |= FILE_ATTRIBUTE_READONLY;
    const char* base = std::strrchr(path, '/');
    base = base ? base + 1 : path;
    if (base[0] == '.') a |= FILE_ATTRIBUTE_HIDDEN;
    *attributes = a ? a : FILE_ATTRIBUTE_NORMAL;
    return ERROR_SUCCESS;
}

uint32_t set_file_attributes(const char* path, uint32_t attributes) {
    struct stat st{};
    if (!path || ::stat(path, &st) != 0) return path ? error_for(errno, path) : ERROR_INVALID_PARAMETER;
    mode_t mode = st.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    if (::chmod(path, mode) != 0) return win32_error_from_errno(errno);
    return ERROR_SUCCESS;
}

bool file_exists(const char* path) {
    struct stat st{};
    return path && ::stat(path, &st) == 0;
}

uint32_t delete_file(const char* path) {
    struct stat st{};
    if (!path) return ERROR_INVALID_PARAMETER;
    // The entry itself: removing a link leaves the file it points to alone.
    if (::lstat(path, &st) != 0) return error_for(errno, path);
    if (S_ISLNK(st.st_mode)) {
        if (::unlink(path) != 0) return error_for(errno, path);
        return ERROR_SUCCESS;
    }
    if (!S_ISREG(st.st_mode)) return ERROR_ACCESS_DENIED;
    if (!writable_bits(st.st_mode)) return ERROR_ACCESS_DENIED;  // DeleteFile refuses read-only files
    if (uint32_t err = check_delete_allowed(path)) return err;
    if (::unlink(path) != 0) return error_for(errno, path);
    return ERROR_SUCCESS;
}

uint32_t move_file(const char* from, const char* to, bool replace) {
    if (!from || !to) return ERROR_INVALID_PARAMETER;
    struct stat st{};
    if (::lstat(from, &st) != 0) return error_for(errno, from);
    struct stat target{};
    const bool target_exists = ::lstat(to, &target) == 0;
    if (target_exists && !replace) return ERROR_ALREADY_EXISTS;
    if (target_exists && !S_ISREG(target.st_mode) && !S_ISLNK(target.st_mode)) return ERROR_ACCESS_DENIED;
    if (uint32_t err = check_delete_allowed(from)) return err;
    if (target_exists) {
        if (uint32_t err = check_delete_allowed(to)) return err;
    }
    int rc;
    if (replace) {
        rc = ::rename(from, to);
    } else {
        // The name must still be free at the moment of the rename.
        rc = ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
        if (rc != 0 && errno == EINVAL) {
            // A file system without that flag: a hard link is just as exclusive.
            rc = ::link(from, to);
            if (rc == 0 && ::unlink(from) != 0) {
                const int e = errno;
                ::unlink(to);
                return win32_error_from_errno(e);
            }
        }
        if (rc != 0 && errno == EEXIST) return ERROR_ALREADY_EXISTS;
    }
    if (rc == 0) return ERROR_SUCCESS;
    if (errno != EXDEV) return error_for(errno, to);
    // Another file system: copy, then remove the original.
    if (uint32_t err = copy_file(from, to, !replace)) return err;
    if (::unlink(from) != 0) return win32_error_from_errno(errno);
    return ERROR_SUCCESS;
}

uint32_t copy_file(const char* from, const char* to, bool fail_if_exists) {
    uint32_t err = 0;
    UniqueFile src(file_open(from, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, 0, &err));
    if (!src) return err;
    UniqueFile dst(file_open(to, GENERIC_WRITE, 0, fail_if_exists ? CREATE_NEW : CREATE_ALWAYS, 0, &err));
    if (!dst) return err;
    std::vector<uint8_t> buf(kBufferSize);
    for (;;) {
        uint32_t got = 0;
        if ((err = file_read(src.get(), buf.data(), static_cast<uint32_t>(buf.size()), &got))) return err;
        if (got == 0) break;
        uint32_t put = 0;
        if ((err = file_write(dst.get(), buf.data(), got, &put))) return err;
    }
    File* d = dst.release();
    return file_close(d);
}

uint32_t disk_free_space(const char* path, uint64_t* free_bytes) {
    *free_bytes = 0;
    if (!path) return ERROR_INVALID_PARAMETER;
    std::string p = path;
    if (!is_directory(p)) p = directory_of(path);
    struct statvfs vfs{};
    if (::statvfs(p.c_str(), &vfs) != 0) return error_for(errno, p.c_str());
    *free_bytes = static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
    return ERROR_SUCCESS;
}

uint32_t drive_type(const char* path) {
    if (!path) return DRIVE_NO_ROOT_DIR;
    std::string p = path;
    if (!is_directory(p)) p = directory_of(path);
    return is_directory(p) ? DRIVE_FIXED : DRIVE_NO_ROOT_DIR;
}

void inject_write_failure(uint64_t after_bytes, uint32_t error) {
    g_written.store(0);
    g_fail_error.store(error);
    g_fail_after.store(after_bytes);
}

void clear_write_failure() {
    g_fail_after.store(0);
    g_fail_error.store(0);
    g_written.store(0);
}

}  // namespace vkt::platform
