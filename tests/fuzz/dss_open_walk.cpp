// Fuzz target: bytes opened as a DSS or DS2 file (extension from the self-id,
// password "abcd") and walked by frames, blocks, headers and decrypting copies.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "OrvaneVktapi.h"
#include "dss/dss_file.h"
#include "platform/vkt_error.h"

namespace {

struct Scratch {
    std::string dir;
    Scratch() {
        char name[] = "/tmp/orvkt_fuzz_XXXXXX";
        if (mkdtemp(name)) dir = name;
    }
    ~Scratch() {
        for (const char* f : {"/in.dss", "/in.ds2", "/out.ds2", "/out.dss", "/enc.ds2"})
            std::remove((dir + f).c_str());
        rmdir(dir.c_str());
    }
};

void walk_frames(const std::string& path, bool with_password) {
    CDssFile dss(false);
    if (with_password) dss.SetPassword("abcd");
    if (dss.create_file(path.c_str(), vkt::platform::GENERIC_READ, vkt::platform::FILE_SHARE_READ,
                        vkt::platform::OPEN_EXISTING, true) != 0)
        return;
    WAVEFORMATEX wfx;
    dss.read_format(&wfx, sizeof wfx);
    dss.GetFrameLengthInMs();
    try {
        uint8_t buffer[DSS_MAX_CODEC_BLOCK];
        uint32_t block_size = 0, frame_size = 0;
        uint8_t id = 0;
        for (int i = 0; i < 1000000; ++i) {
            if (dss.transfer_from_file_to_buffer(buffer, &block_size, &frame_size, &id) != 0) break;
            if (block_size > sizeof buffer || frame_size >= block_size) std::abort();
        }
    } catch (const vkt::VktError&) {
    }
}

void walk_blocks(const std::string& path) {
    CDssFile dss(false);
    dss.m_bSkipDecryption = true;
    if (dss.create_file(path.c_str(), vkt::platform::GENERIC_READ, vkt::platform::FILE_SHARE_READ,
                        vkt::platform::OPEN_EXISTING, false) != 0)
        return;
    try {
        if (dss.SetFilePositionToFirstDatablock() != 0) return;
        while (dss.read_next_datablock() == 0)
            if (dss.GetDataLength() > DSS_BLOCK_SIZE) std::abort();
    } catch (const vkt::VktError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Scratch scratch;
    if (scratch.dir.empty()) return 0;
    const bool dss = size >= 4 && std::memcmp(data + 1, "dss", 3) == 0;
    const bool encrypted = size >= 4 && std::memcmp(data + 1, "enc", 3) == 0;
    const std::string path = scratch.dir + (dss ? "/in.dss" : "/in.ds2");
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    walk_frames(path, encrypted);
    walk_blocks(path);
    uint32_t flag = 0;
    ORVKTIsEncryptedDSSFile(path.c_str(), &flag);
    if (encrypted) {
        ORVKTCheckDSSFilePassword(path.c_str(), "abcd");
        ORVKTDecryptDSSFile(path.c_str(), (scratch.dir + "/out.dss").c_str(), "abcd");
    } else {
        ORVKTEncryptDSSFile(path.c_str(), (scratch.dir + "/enc.ds2").c_str(), "abcd");
        walk_frames(scratch.dir + "/enc.ds2", true);
    }
    std::remove(path.c_str());
    return 0;
}
