// Empty dictation files: three header blocks and no data block, optionally
// protected by a password (DS2 only).
#pragma once

#include <cstdint>

// Writes the template pcszFileName (".dss" or ".ds2") with the compression
// identifier stored as given (unchecked). With a password (4 to 16
// characters, ".ds2" only) the header carries a version-1 encryption header.
// Returns 0, 44 (password length), 36 (password for a non-".ds2" name), 14
// (create failed or wrong extension), 20 (memory) or 15 (header rewrite).
// A partly written template is left in place.
uint32_t VKTCreateDSSTemplateWithEncryptionType(const char* pcszFileName, const char* pcszPassword,
                                                uint8_t compressionId);
