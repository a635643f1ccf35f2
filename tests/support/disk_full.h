// A full disk for the length of a scope: writes fail with ERROR_DISK_FULL after
// `after` more bytes.
#pragma once

#include <cstdint>

#include "platform/fileio.h"

namespace orvkt_test {

class DiskFullAfter {
public:
    explicit DiskFullAfter(uint64_t after) {
        vkt::platform::inject_write_failure(after, vkt::platform::ERROR_DISK_FULL);
    }
    ~DiskFullAfter() { vkt::platform::clear_write_failure(); }
    DiskFullAfter(const DiskFullAfter&) = delete;
    DiskFullAfter& operator=(const DiskFullAfter&) = delete;
};

// Runs f on a disk that is full after `after` bytes and gives its result.
template <typename F>
auto with_disk_full_after(uint64_t after, F f) {
    DiskFullAfter full(after);
    return f();
}

}  // namespace orvkt_test
