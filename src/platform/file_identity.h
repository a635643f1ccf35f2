// Which file a name stands for. Two names are one file when they reach the
// same inode, whatever the spelling: symbolic links, "dir/./x", "a/../x" and
// hard links all lead there. Names are compared by identity, never as text
// and never without regard to case: on Linux `Case.wav` and `case.wav` are
// two files (unless a case-folding file system makes them one inode, which
// the identity then shows).
#pragma once

#include <sys/types.h>

#include <string>

namespace vkt::platform {

// The directory entry a name resolves to after following symbolic links in
// its last component: the file itself when it exists, else its parent folder
// and the name it would be created under.
struct FileIdentity {
    bool resolved = false;  // false: not even the parent folder exists
    bool exists = false;
    dev_t dev = 0;          // of the file, or of the parent folder when missing
    ino_t ino = 0;
    std::string missing_name;  // the last component, when missing
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity identity_of(const char* path);

// True when writing to one name would change what the other names: the same
// device and inode, or, for names not there yet, the same entry of the same
// folder. Names whose folders do not exist are compared as text, since
// neither can be created.
bool same_file(const char* a, const char* b);
inline bool same_file(const std::string& a, const std::string& b) { return same_file(a.c_str(), b.c_str()); }

// True when the name exists and is a regular file (symbolic links followed).
bool is_regular_file(const char* path);
// True when the name exists but is no regular file: a folder, a device, a
// fifo or a socket, which no export writes, replaces or removes.
bool is_special_file(const char* path);

}  // namespace vkt::platform
