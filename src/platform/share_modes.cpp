#include "platform/share_modes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/fileio.h"

namespace vkt::platform {

namespace {

// Far past the end of any file the library handles, inside off_t's range.
constexpr off_t kLockBase = 0x7FFFFFFF00000000LL;
enum Fact : off_t { kReads = 0, kWrites = 1, kDeniesRead = 2, kDeniesWrite = 3, kDeniesDelete = 4, kFacts = 5 };

struct Holder {
    uint64_t id;
    bool read;
    bool write;
    uint32_t share;
};

using Key = std::pair<dev_t, ino_t>;

std::mutex g_mutex;
std::map<Key, std::vector<Holder>> g_holders;
uint64_t g_next_id = 1;

bool conflicts(const Holder& held, bool read, bool write, uint32_t share) {
    return (read && !(held.share & FILE_SHARE_READ)) || (write && !(held.share & FILE_SHARE_WRITE)) ||
           (held.read && !(share & FILE_SHARE_READ)) || (held.write && !(share & FILE_SHARE_WRITE));
}

int lock_range(int fd, short type, off_t fact, off_t count) {
    struct flock fl{};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockBase + fact;
    fl.l_len = count;
    return ::fcntl(fd, F_OFD_SETLK, &fl);
}

// Whether another open file description holds a lock on the fact's byte.
bool held_elsewhere(int fd, off_t fact) {
    struct flock fl{};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kLockBase + fact;
    fl.l_len = 1;
    if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
    return fl.l_type != F_UNLCK;
}

// The open's facts as locks. False when the file system keeps no such locks.
bool mark_facts(int fd, bool read, bool write, uint32_t share) {
    const std::pair<bool, off_t> facts[] = {{read, kReads},
                                            {write, kWrites},
                                            {!(share & FILE_SHARE_READ), kDeniesRead},
                                            {!(share & FILE_SHARE_WRITE), kDeniesWrite},
                                            {!(share & FILE_SHARE_DELETE), kDeniesDelete}};
    for (const auto& [wanted, fact] : facts) {
        if (!wanted) continue;
        if (lock_range(fd, F_RDLCK, fact, 1) != 0) {
            lock_range(fd, F_UNLCK, 0, kFacts);
            return false;
        }
    }
    return true;
}

bool facts_stand_against(int fd, bool read, bool write, uint32_t share) {
    return (read && held_elsewhere(fd, kDeniesRead)) || (write && held_elsewhere(fd, kDeniesWrite)) ||
           (!(share & FILE_SHARE_READ) && held_elsewhere(fd, kReads)) ||
           (!(share & FILE_SHARE_WRITE) && held_elsewhere(fd, kWrites));
}

}  // namespace

uint32_t ShareClaim::acquire(int fd, const struct stat& st, bool read, bool write, uint32_t share_mode,
                             bool fd_readable) {
    release();
    const Key key{st.st_dev, st.st_ino};
    std::lock_guard<std::mutex> lock(g_mutex);
    auto found = g_holders.find(key);
    if (found != g_holders.end()) {
        for (const Holder& held : found->second)
            if (conflicts(held, read, write, share_mode)) return ERROR_SHARING_VIOLATION;
    }
    // Shared locks need a descriptor open for reading; a write-only one (a
    // file without read permission) can still ask, but leaves no facts.
    const bool locked = fd_readable && mark_facts(fd, read, write, share_mode);
    if (facts_stand_against(fd, read, write, share_mode)) {
        if (locked) lock_range(fd, F_UNLCK, 0, kFacts);
        return ERROR_SHARING_VIOLATION;
    }
    id_ = g_next_id++;
    g_holders[key].push_back(Holder{id_, read, write, share_mode});
    fd_ = fd;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    locked_ = locked;
    return ERROR_SUCCESS;
}

void ShareClaim::release() {
    if (id_ == 0) return;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto found = g_holders.find(Key{dev_, ino_});
    if (found != g_holders.end()) {
        auto& list = found->second;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if (it->id == id_) {
                list.erase(it);
                break;
            }
        }
        if (list.empty()) g_holders.erase(found);
    }
    // Dropped while the table is locked, so no open in between sees a
    // holder that is gone from the table but not from the locks.
    if (locked_) lock_range(fd_, F_UNLCK, 0, kFacts);
    id_ = 0;
    fd_ = -1;
    locked_ = false;
}

uint32_t check_delete_allowed(const char* path) {
    struct stat st{};
    if (!path || ::lstat(path, &st) != 0 || !S_ISREG(st.st_mode)) return ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto found = g_holders.find(Key{st.st_dev, st.st_ino});
    if (found != g_holders.end()) {
        for (const Holder& held : found->second)
            if (!(held.share & FILE_SHARE_DELETE)) return ERROR_SHARING_VIOLATION;
    }
    // Another process's handles: asked through a descriptor of our own,
    // which holds no locks and so answers for the others alone.
    const int fd = ::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return ERROR_SUCCESS;
    struct stat opened{};
    const bool same = ::fstat(fd, &opened) == 0 && opened.st_dev == st.st_dev && opened.st_ino == st.st_ino;
    const bool denied = same && held_elsewhere(fd, kDeniesDelete);
    ::close(fd);
    return denied ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}

}  // namespace vkt::platform
