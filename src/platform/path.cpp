#include "platform/path.h"

#include <cctype>

namespace vkt::platform {

std::size_t find_extension(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < start) return path.size();
    return dot;
}

PathParts split_path(const std::string& path) {
    PathParts parts;
    std::size_t slash = path.find_last_of('/');
    std::size_t name_start = 0;
    if (slash != std::string::npos) {
        parts.dir = path.substr(0, slash + 1);
        name_start = slash + 1;
    }
    std::size_t dot = find_extension(path);
    parts.fname = path.substr(name_start, dot - name_start);
    parts.ext = path.substr(dot);
    return parts;
}

std::string join_path(const PathParts& parts) { return parts.drive + parts.dir + parts.fname + parts.ext; }

bool extension_starts_with(const std::string& ext, const char* wanted, std::size_t n) {
    if (ext.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (wanted[i] == '\0') return false;
        if (std::tolower(static_cast<unsigned char>(ext[i])) !=
            std::tolower(static_cast<unsigned char>(wanted[i])))
            return false;
    }
    return true;
}

bool equals_ignore_case(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string combine_path(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

}  // namespace vkt::platform
