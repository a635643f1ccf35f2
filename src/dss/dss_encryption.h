// The four operations on password-protected DS2 files: ask, check, write a
// decrypted copy, write an encrypted copy. None reports progress. A failed
// copy leaves the partly written destination in place.
#pragma once

#include <cstdint>

// *pbEncrypted = 1 for an encrypted file, 0 otherwise; untouched on failure.
uint32_t VKTIsEncryptedDSSFile(const char* lpszFilepath_p, uint32_t* pbEncrypted);
// 0 when the password opens the encrypted file; 44 for a wrong password or
// for a file that is not encrypted; the open code otherwise.
uint32_t VKTCheckDSSFilePassword(const char* lpszFilepath_p, const char* pcszPassword);
// Writes the decrypted copy (".dss" or ".ds2"; quality play needs ".ds2").
uint32_t VKTDecryptDSSFile(const char* pcszSrcFileName_p, const char* pcszDstFileName_p, const char* pcszPassword);
// Writes the encrypted copy (".ds2") of a plain file of licensee 3.
uint32_t VKTEncryptDSSFile(const char* pcszSrcFileName_p, const char* pcszDstFileName_p, const char* pcszPassword);
