// Path pieces as the dictation code splits them: drive (always empty here),
// directory with its trailing '/', base name, extension with its dot.
// Names are plain byte strings.
#pragma once

#include <string>

namespace vkt::platform {

struct PathParts {
    std::string drive;
    std::string dir;    // "" or ending in '/'
    std::string fname;  // name without extension
    std::string ext;    // "" or beginning with '.'
};

PathParts split_path(const std::string& path);
std::string join_path(const PathParts& parts);

// Position of the extension's dot in the last path component, or the
// length of the path when there is none (as PathFindExtension answers).
std::size_t find_extension(const std::string& path);
inline std::string extension_of(const std::string& path) { return path.substr(find_extension(path)); }

// Case-insensitive comparison of the first n characters of an extension
// (".DS2" matches ".ds2"); shorter extensions do not match.
bool extension_starts_with(const std::string& ext, const char* wanted, std::size_t n);
bool equals_ignore_case(const std::string& a, const std::string& b);

// "dir/name" with exactly one separator between them.
std::string combine_path(const std::string& dir, const std::string& name);

}  // namespace vkt::platform
