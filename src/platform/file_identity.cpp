#include "platform/file_identity.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vkt::platform {

namespace {

// As many links as the kernel follows before it gives up with ELOOP.
constexpr int kMaxLinks = 40;

std::string parent_of(const std::string& p) {
    const auto slash = p.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return p.substr(0, slash);
}

}  // namespace

FileIdentity identity_of(const char* path) {
    FileIdentity id;
    if (!path || !*path) return id;
    std::string p = path;
    for (int hops = 0; hops < kMaxLinks; ++hops) {
        struct stat st{};
        if (::stat(p.c_str(), &st) == 0) {
            id.resolved = id.exists = true;
            id.dev = st.st_dev;
            id.ino = st.st_ino;
            return id;
        }
        if (errno != ENOENT) return id;
        // A dangling link: a create through it makes the file it points to.
        struct stat lst{};
        if (::lstat(p.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
            std::string target(static_cast<std::size_t>(lst.st_size > 0 ? lst.st_size : 4096) + 1, '\0');
            const ssize_t n = ::readlink(p.c_str(), target.data(), target.size());
            if (n <= 0 || static_cast<std::size_t>(n) >= target.size()) return id;
            target.resize(static_cast<std::size_t>(n));
            p = target[0] == '/' ? target : parent_of(p) + "/" + target;
            continue;
        }
        const auto slash = p.find_last_of('/');
        const std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
        if (name.empty() || name == "." || name == "..") return id;
        struct stat dir{};
        if (::stat(parent_of(p).c_str(), &dir) != 0 || !S_ISDIR(dir.st_mode)) return id;
        id.resolved = true;
        id.dev = dir.st_dev;
        id.ino = dir.st_ino;
        id.missing_name = name;
        return id;
    }
    return id;  // a loop of links names no file
}

bool same_file(const char* a, const char* b) {
    if (!a || !b) return false;
    const FileIdentity ia = identity_of(a);
    const FileIdentity ib = identity_of(b);
    if (!ia.resolved || !ib.resolved) return std::strcmp(a, b) == 0;
    return ia == ib;
}

bool is_regular_file(const char* path) {
    struct stat st{};
    return path && ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

bool is_special_file(const char* path) {
    struct stat st{};
    return path && ::stat(path, &st) == 0 && !S_ISREG(st.st_mode);
}

}  // namespace vkt::platform
