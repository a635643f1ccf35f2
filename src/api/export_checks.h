// Checks shared by several exports.
#pragma once

#include <cstdint>

// A required file name that is null or empty: writes the error line and
// returns VKT_ERR_FILE_NAME.
uint32_t file_name_missing();

// The names a split needs: a source, a folder (empty: the current one) and a
// mask that names something.
inline bool split_names_missing(const char* source, const char* folder, const char* mask) {
    return !source || !*source || !folder || !mask || !*mask;
}
