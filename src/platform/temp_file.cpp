#include "platform/temp_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/fileio.h"
#include "platform/path.h"

namespace vkt::platform {

namespace {

// Enough tries for any folder a person keeps; a folder full of our own
// leftovers ends with ERROR_FILE_EXISTS.
constexpr int kMaxTries = 1000;

std::string numbered(const std::string& wanted, int n) {
    if (n == 0) return wanted;
    const std::size_t dot = find_extension(wanted);
    return wanted.substr(0, dot) + "~" + std::to_string(n) + wanted.substr(dot);
}

}  // namespace

uint32_t TempFile::create(const std::string& wanted, mode_t mode) {
    remove();
    name_.clear();
    uint32_t err = ERROR_FILE_EXISTS;
    for (int n = 0; n < kMaxTries; ++n) {
        const std::string candidate = numbered(wanted, n);
        // O_EXCL fails on every existing entry, links (even dangling ones)
        // included, so nothing is followed.
        int fd;
        do {
            fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            err = win32_error_from_errno(errno);
            if (errno == ENOENT) err = ERROR_PATH_NOT_FOUND;
            return err;
        }
        struct stat st{};
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            ::unlink(candidate.c_str());
            return ERROR_INVALID_FUNCTION;
        }
        pin_ = fd;
        name_ = candidate;
        dev_ = st.st_dev;
        ino_ = st.st_ino;
        owned_ = true;
        return ERROR_SUCCESS;
    }
    return err;
}

void TempFile::keep() {
    owned_ = false;
    if (pin_ >= 0) ::close(pin_);
    pin_ = -1;
}

void TempFile::remove() {
    if (!owned_) return;
    struct stat st{};
    if (::lstat(name_.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_) delete_file(name_.c_str());
    keep();
}

}  // namespace vkt::platform
