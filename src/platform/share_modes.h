// Share modes as the original platform enforces them. Every open handle of
// the file layer holds a claim on its file (device and inode): the access it
// was opened with and the share mode it grants to others. A second open is
// refused with ERROR_SHARING_VIOLATION when
//   - it wants read access and a holder does not share reading,
//   - it wants write access (truncation counts as writing) and a holder does
//     not share writing,
//   - a holder has read access and the new share mode does not share
//     reading, or a holder has write access and it does not share writing;
// a delete or rename of the file (also a rename onto it) is refused while a
// holder does not share deleting (FILE_SHARE_DELETE).
//
// Within the process a table answers. Between processes that use this
// library, open-file-description locks (F_OFD_SETLK) on single bytes far
// past the end of any real file carry the same facts, one byte per fact:
//
//   byte      shared lock held by an open that ...
//   base + 0  has read access
//   base + 1  has write access
//   base + 2  does not share reading
//   base + 3  does not share writing
//   base + 4  does not share deleting
//
// The new open first takes the shared locks of its own facts, then asks
// F_OFD_GETLK whether a write lock could be placed on the bytes that stand
// against it (2 for reading, 3 for writing, 0 when it does not share
// reading, 1 when it does not share writing; 4 for a delete). A lock of
// another open file description there means a holder with the opposite fact:
// exactly the table's rule. Two opens that race each see the other's locks,
// so both may fail but never both succeed. The locks are advisory: programs
// that do not use the library are not hindered. A file system without
// these locks leaves the table as the only rule.
#pragma once

#include <sys/stat.h>

#include <cstdint>

namespace vkt::platform {

// One open's entry in the table; released (and its locks with it) before
// the descriptor closes.
class ShareClaim {
public:
    ShareClaim() = default;
    ~ShareClaim() { release(); }
    ShareClaim(const ShareClaim&) = delete;
    ShareClaim& operator=(const ShareClaim&) = delete;

    // Takes the claim for fd, an open descriptor of the regular file st.
    // ERROR_SUCCESS, or ERROR_SHARING_VIOLATION with nothing taken.
    uint32_t acquire(int fd, const struct stat& st, bool read, bool write, uint32_t share_mode, bool fd_readable);
    void release();

private:
    int fd_ = -1;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
    uint64_t id_ = 0;
    bool locked_ = false;
};

// ERROR_SUCCESS when no open handle stands against deleting or renaming the
// entry at path (a symbolic link itself is never open), else
// ERROR_SHARING_VIOLATION. A missing name is no violation: the delete or
// rename reports it.
uint32_t check_delete_allowed(const char* path);

}  // namespace vkt::platform
