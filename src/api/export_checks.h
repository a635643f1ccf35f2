// Checks shared by several exports.
#pragma once

#include <cstdint>

// A required file name that is null or empty: writes the error line and
// returns VKT_ERR_FILE_NAME.
uint32_t file_name_missing();
