// The last step of every writer that copies or builds a DSS file block by
// block: the block writer reports a block that did not reach the disk (a
// full disk) only as a trace line, so the writer closes the file and
// compares its size with what it wrote.
#pragma once

#include <cstdint>
#include <string>

class CDssFile;

namespace vkt::dss {

// Closes `file` (named `name` on disk) and checks that it holds
// `expected_size` bytes. Raises 15 with an error line naming `what` when the
// close fails or bytes are missing.
void close_and_check_size(CDssFile& file, const std::string& name, uint64_t expected_size, const char* what);

}  // namespace vkt::dss
