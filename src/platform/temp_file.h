// Temporary files beside a destination ("~NAME.vkt", "~NAME1", ...). Their
// names are predictable, so they are made exclusively: an existing file,
// a link planted under the name, or a fifo is never opened, replaced or
// written through. When the wanted name is taken the file gets the first free
// of "STEM~1EXT", "STEM~2EXT", ... (EXT being the wanted name's extension,
// so a reader that goes by the extension reads it the same way).
//
// The object removes its file when it goes, unless the file was handed on
// (moved into place, or kept on purpose), and only while the name still
// holds the file made here: never a file someone else put there.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace vkt::platform {

class TempFile {
public:
    TempFile() = default;
    ~TempFile() { remove(); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates the empty file (mode before the umask; 0600 for contents only
    // the owner may read). ERROR_SUCCESS or the platform error of the last
    // try; the name is empty on failure.
    uint32_t create(const std::string& wanted, mode_t mode = 0666);

    const std::string& name() const { return name_; }
    const char* c_str() const { return name_.c_str(); }
    bool owned() const { return owned_; }

    // The file is no longer ours to remove.
    void keep();
    // Removes the file while it is still the one made here.
    void remove();

private:
    std::string name_;
    // Held open while the file is ours, so that its inode cannot be freed
    // and given to another file: the identity then tells ours for certain.
    // It takes no share claim.
    int pin_ = -1;
    dev_t dev_ = 0;
    ino_t ino_ = 0;
    bool owned_ = false;
};

}  // namespace vkt::platform
