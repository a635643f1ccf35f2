// Reading and writing DSS and DS2 files through CDssFile against hand-laid bytes.
#include <gtest/gtest.h>

#include <algorithm>

#include "dss/dss_file.h"
#include "dss/frame_sizing.h"
#include "platform/vkt_error.h"
#include "support/dss_bytes.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

using namespace dss_test;
using namespace vkt::platform;
using edit_test::part;
using orvkt_test::TempDir;
using orvkt_test::read_bytes;
using orvkt_test::write_bytes;

namespace {

struct Walk {
    uint32_t open_result = 0;
    uint8_t compression_id = 0;
    uint32_t total_frames = 0;
    std::vector<Bytes> codec_blocks;  // as handed out, cut to *pdwBufferSize
    std::vector<uint32_t> frame_sizes;
    uint32_t error = 0;  // a code raised while walking
};

// Opens the file with frame counting and takes every frame.
Walk walk(const std::string& path, const char* password = nullptr, bool header_only = false) {
    Walk w;
    CDssFile dss(header_only);
    if (password) dss.SetPassword(password);
    w.open_result = dss.create_file(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, true);
    w.compression_id = dss.m_byCompressionId;
    w.total_frames = dss.m_dwTotalNrOfFrames;
    if (w.open_result != 0 || header_only) return w;
    try {
        for (int guard = 0; guard < 100000; ++guard) {
            uint8_t buffer[DSS_MAX_CODEC_BLOCK + 8];
            std::memset(buffer, 0xEE, sizeof buffer);
            uint32_t block_size = 0, frame_bytes = 0;
            uint8_t id = 0xAA;
            if (dss.transfer_from_file_to_buffer(buffer, &block_size, &frame_bytes, &id) != 0) break;
            EXPECT_EQ(buffer[block_size], 0xEE) << "wrote beyond the codec block";
            w.codec_blocks.emplace_back(buffer, buffer + block_size);
            w.frame_sizes.push_back(frame_bytes);
        }
    } catch (const vkt::VktError& e) {
        w.error = e.code;
    }
    return w;
}

constexpr uint32_t kAny = 0xFFFFFFFFu;

// A file, its frame count, the frames handed out and the errors traced on the way.
struct Case {
    std::string name;
    Bytes file;
    uint32_t total = kAny;
    std::vector<Bytes> frames;
    size_t codec = 42;
    std::vector<std::pair<uint32_t, std::string>> traces = {};
    uint32_t walk_error = 0;
};

std::vector<Case> walk_cases() {
    std::vector<Case> cases;
    // A word below 16 takes the pointer from its low four bits and the byte
    // stored at offset 3: (1 × 256 + 0x50) / 8 = 42.
    Bytes small = block(0x0001, 1, 0);
    small[2] = 0x50;
    place(small, 42, frame(9));
    cases.push_back({"small.dss", concat({header1(1, "dss"), stored(small)}), 1, {frame(9)}});

    // Count 0xFF (or 0): the byte at 4 holds it; 0xFF in both: no frame start.
    Bytes a = block(0x030F, 0xFF, 0), b = block(0x030F, 0xFF, 0), c = block(0x030F, 0, 0);
    a[4] = 2;
    place(a, 6, frame(1));
    place(a, 47, frame(2));
    place(b, 6, frame(3));
    c[4] = 1;
    place(c, 6, frame(4));
    cases.push_back({"count.dss", concat({header1(1, "dss"), stored(a), stored(b), stored(c)}), 3,
                     {frame(1), frame(2), frame(4)}});

    // An invalid identifier of a long-play file stops the walk with 18.
    cases.push_back({"invalid.ds2",
                     concat({header1(1, "ds2"), stored(block(0x030F, 1, 2)), stored(block(0x030F, 1, 5))}),
                     kAny, {Bytes(24, 0)}, 25, {{18, "catched in transfer_from_file_to_buffer(..)"}}, 18});
    // Counting stops where the identifier changes.
    cases.push_back({"ids.dss",
                     concat({header1(1, "dss"), stored(block(0x030F, 2, 0)), stored(block(0x030F, 3, 0)),
                             stored(block(0x030F, 4, 4)), stored(block(0x030F, 5, 0))}),
                     5, {}, 0});

    // Quality play, twelve frame starts (plausible by the 41-byte rule), but
    // only nine 56-byte frames fit behind offset 6; the tenth would start two
    // bytes before the end and is not the last one. Then a last frame that
    // starts in the last byte of its block.
    Bytes qa = block(0x030F, 12, 6), qb = block(0x030F, 1, 6), qc = block(fp_word(511), 1, 6);
    Bytes qd = block(fp_word(6 + 55), 0, 6);
    std::vector<Bytes> qf;
    for (unsigned i = 0; i < 9; ++i) {
        qf.push_back(frame(i, 56));
        place(qa, 6 + 56 * i, qf.back());
    }
    qf.push_back(frame(50, 56));
    place(qb, 6, qf.back());
    qc[511] = 0x77;
    place(qd, 6, frame(60, 55));
    qf.push_back(concat({Bytes(1, 0x77), frame(60, 55)}));
    cases.push_back({"qp.ds2", concat({header1(1, "ds2"), stored(qa), stored(qb), stored(qc), stored(qd)}), kAny, qf,
                     57, {{12, "Corrupt block: Invalid number of frames"}}});
    return cases;
}

constexpr uint32_t kReadWrite = GENERIC_READ | GENERIC_WRITE;

// n codec blocks of 42 bytes whose 41-byte frames are frame(first + i).
Bytes codec_blocks(unsigned n, unsigned first = 0, size_t frame_size = 41, size_t block_size = 42) {
    Bytes out;
    for (unsigned i = 0; i < n; ++i) {
        Bytes c = codec_block(frame(first + i, frame_size), block_size);
        c[block_size - 1] = 0xEE;  // the padding byte is never stored
        out.insert(out.end(), c.begin(), c.end());
    }
    return out;
}

class DssWrite : public ::testing::Test {
protected:
    TempDir tmp;
    // The bytes of a new file with `input` handed over in one call and flushed.
    Bytes write(const std::string& name, uint16_t headers, uint8_t id, const Bytes& input) {
        const std::string path = tmp.path(name);
        {
            CDssFile dss;
            dss.m_wNrOfHeaders = headers;
            dss.m_byCompressionId = id;
            EXPECT_EQ(dss.create_file(path.c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 0u);
            if (!input.empty()) {
                dss.transfer_from_buffer_to_file(input.data(), static_cast<uint32_t>(input.size()));
                dss.flush_out_block();
            }
        }
        return read_bytes(path);
    }
};

uint32_t frame_size(uint8_t id, uint8_t first = 0, uint8_t second = 0, uint32_t* rc = nullptr) {
    const uint8_t frame[2] = {first, second};
    uint32_t size = 12345;
    const uint32_t r = KRVDSS_get_size_of_frame(frame, id, &size);
    if (rc) *rc = r;
    return size;
}

}  // namespace

TEST(DssRead, FramesAcrossBlocksAndDamagedBlocks) {
    TempDir tmp;
    for (const Case& c : walk_cases()) {
        SCOPED_TRACE(c.name);
        write_bytes(tmp.path(c.name), c.file);
        xkrvlog::Capture capture;
        Walk w = walk(tmp.path(c.name));
        ASSERT_EQ(w.open_result, 0u);
        EXPECT_EQ(w.error, c.walk_error);
        if (c.total != kAny) {
            EXPECT_EQ(w.total_frames, c.total);
        }
        for (const auto& [code, text] : c.traces) EXPECT_TRUE(capture.contains_error(code, text)) << text;
        if (c.codec == 0) continue;
        ASSERT_EQ(w.codec_blocks.size(), c.frames.size());
        for (size_t i = 0; i < c.frames.size(); ++i) {
            EXPECT_EQ(w.codec_blocks[i], codec_block(c.frames[i], c.codec)) << "frame " << i;
            EXPECT_EQ(w.frame_sizes[i], c.frames[i].size()) << "frame " << i;
        }
    }
}

TEST(DssRead, HeaderChecksAndTinyFiles) {
    TempDir tmp;
    const Bytes data = stored(block(0x030F, 0, 0));
    Bytes enc1 = header1(1, "enc"), enc3 = enc1;
    put16(enc1, 326, 1);
    put16(enc3, 326, 3);
    const char* mismatch = "VKT_ERR_OPEN_FILE file extension and self-id don't match";
    const struct {
        const char* name;
        Bytes bytes;
        const char* password;
        uint32_t rc;
        const char* error;  // traced with the code, if any
        int id = 0;
    } rows[] = {
        {"a.dss", concat({header1(1, "ds2"), data}), nullptr, 14, mismatch},
        {"b.ds2", concat({header1(1, "dss"), data}), nullptr, 14, mismatch},
        {"c.ds2", concat({header1(1, "abc"), data}), nullptr, 14, "VKT_ERR_OPEN_FILE invalid Self-Id"},
        {"d.DS2", concat({header1(1, "ds2"), data}), nullptr, 0, nullptr},
        {"e.DsS", concat({header1(1, "dss"), data}), nullptr, 0, nullptr},
        // The version is refused before any password check.
        {"g.ds2", concat({enc3, data}), "password", 14, "VKT_ERR_OPEN_FILE invalid DSSPro EncryptionVersion"},
        {"q.dss", concat({header1(1, "dss"), stored(block(0x030F, 1, 6))}), nullptr, 16,
         "qualityplay requires DSS Pro file"},
        {"q.ds2", concat({header1(1, "ds2"), stored(block(0x030F, 1, 6))}), nullptr, 0, nullptr, 6},
        {"empty.dss", {}, nullptr, 14, nullptr},
        {"three.dss", {1, 'd', 's'}, nullptr, 14, nullptr},
        // The first four bytes of a header: a valid self-id, everything else zero.
        {"four.dss", {1, 'd', 's', 's'}, nullptr, 0, nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        xkrvlog::Capture capture;
        write_bytes(tmp.path(r.name), r.bytes);
        Walk w = walk(tmp.path(r.name), r.password);
        EXPECT_EQ(w.open_result, r.rc);
        if (r.error) {
            EXPECT_TRUE(capture.contains_error(r.rc, r.error));
        }
        if (r.rc == 0) {
            EXPECT_EQ(w.compression_id, r.id);
        }
    }
    EXPECT_TRUE(walk(tmp.path("four.dss")).codec_blocks.empty()) << "no data blocks";
    write_bytes(tmp.path("f.DS2"), concat({enc1, data}));
    EXPECT_EQ(walk(tmp.path("f.DS2"), nullptr, true).open_result, 0u) << "no password: the header is accepted";
    EXPECT_EQ(walk(tmp.path("missing.dss")).open_result, 14u);
    EXPECT_EQ(walk(tmp.dir() + "/").open_result, 14u);
}

TEST(DssRead, FrameLengthsAndFormatsPerIdentifier) {
    CDssFile dss;
    WAVEFORMATEX wfx{};
    EXPECT_EQ(dss.read_format(&wfx, 16), 22u) << "too small for the record";
    xkrvlog::Capture capture;
    // identifier, ms per frame, result of read_format
    for (auto [id, ms, rc] : {std::tuple{0, 24u, 0u}, {5, 36u, 18u}, {8, 0u, 18u}}) {
        dss.m_byCompressionId = static_cast<uint8_t>(id);
        EXPECT_EQ(dss.GetFrameLengthInMs(), ms) << id;
        EXPECT_EQ(dss.read_format(&wfx, sizeof wfx), rc) << id;
    }
    EXPECT_EQ(wfx.wFormatTag, 0x0121);
    EXPECT_TRUE(capture.contains_error(38, "invalid compression id"));
}

TEST(DssFileFacts, ExtensionTest) {
    for (const char* name : {"x.DSS", "dir/x.ds2", "x.ds2x"}) EXPECT_TRUE(CDssFile::HasDSSFileExtension(name)) << name;
    for (const char* name : {"x.ds", "x.wav", "x", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(CDssFile::HasDSSFileExtension(name)) << (name ? name : "null");
}

TEST_F(DssWrite, ThirteenFramesFillOneBlockAndPartTheLast) {
    const Bytes file = write("p.dss", 1, 0, codec_blocks(13));
    Bytes a = block(0x030F, 13, 0);
    for (unsigned i = 0; i < 12; ++i) place(a, 6 + 41 * i, frame(i));
    place(a, 498, frame(12), 0, 14);
    Bytes b = block(0x108F, 0, 0);
    place(b, 6, frame(12), 14, 27);
    EXPECT_EQ(file, concat({header1(1, "dss"), stored(a), stored(b)}));
    EXPECT_EQ(file[1024], 0x8F) << "frame-pointer word low byte first in the file";

    Bytes two = codec_blocks(3);
    two.resize(100);  // two codec blocks and 16 bytes: the rest is ignored
    Bytes c = block(0x030F, 2, 0);
    place(c, 6, frame(0));
    place(c, 47, frame(1));
    EXPECT_EQ(write("q.dss", 1, 0, two), concat({header1(1, "dss"), stored(c)}));
}

TEST_F(DssWrite, CopiedBlocksAndHeaderRewrites) {
    std::string path = tmp.path("c.ds2");
    Bytes copied = block(0x030F, 1, 6);
    place(copied, 6, frame(3, 56));
    {
        CDssFile dss;
        dss.m_wNrOfHeaders = 3;
        dss.m_byCompressionId = 6;
        ASSERT_EQ(dss.create_file(path.c_str(), kReadWrite, 0, CREATE_ALWAYS, false), 0u);
        std::memcpy(dss.m_pDssDataBlock.get(), copied.data(), 512);
        EXPECT_EQ(dss.write_datablock(), 0u);
        EXPECT_EQ(Bytes(dss.m_pDssDataBlock.get(), dss.m_pDssDataBlock.get() + 512), stored(copied))
            << "the buffer is left in file order";
        std::memcpy(dss.m_pDssDataBlock.get(), copied.data(), 512);
        dss.write_datablock();
        dss.m_pDssFileHeader_2[100] = 0x42;
        EXPECT_EQ(dss.write_fileheader(2), 0u);
        std::memcpy(dss.m_pDssDataBlock.get(), copied.data(), 512);
        dss.write_datablock();  // appended after the rewrite, not over block 2
        EXPECT_EQ(dss.write_fileheader(4), 15u);
    }
    Bytes file = read_bytes(path);
    ASSERT_EQ(file.size(), 6u * 512);
    EXPECT_EQ(file[512 + 100], 0x42);
    for (int i = 3; i < 6; ++i) EXPECT_EQ(part(file, 512 * i, 512 * i + 512), stored(copied)) << i;
}

TEST_F(DssWrite, HeaderBlocksBeyondTheThirdAreLaidDownBeforeTheData) {
    const Bytes file = write("five.ds2", 5, 0, codec_blocks(2));
    ASSERT_EQ(file.size(), 6u * 512);
    EXPECT_EQ(part(file, 1536, 2560), Bytes(1024, 0xFF));
    EXPECT_EQ(file[5 * 512 + 2], 2) << "frame count (stored at 2) of the data block at N × 512";
}

TEST(FrameSizing, StoredFrameAndCodecBlockSizePerIdentifier) {
    // id, first two frame bytes, stored frame size, codec block size (0: invalid id)
    const struct {
        uint8_t id, first, second;
        uint32_t frame, codec;
    } rows[] = {
        {0, 0, 0, 41, 42},       {4, 0, 0, 41, 42},    {1, 0x7F, 0, 9, 42},  // bit 7 of byte 1 clear: compressed
        {1, 0x80, 0, 41, 42},    {2, 0xFF, 0xFF, 24, 25},
        {3, 0x00, 0x02, 4, 25},  // bit 1 of byte 2 set: compressed
        {3, 0x02, 0xFD, 24, 25}, {6, 0, 0, 56, 57},    {7, 0, 0, 56, 57},    {5, 0, 0, 0, 0},
        {8, 0, 0, 0, 0},         {0xFF, 0, 0, 0, 0},
    };
    xkrvlog::Capture capture;
    for (const auto& r : rows) {
        SCOPED_TRACE(int(r.id));
        uint32_t rc = 99, codec = 77;
        EXPECT_EQ(frame_size(r.id, r.first, r.second, &rc), r.frame);
        EXPECT_EQ(rc, r.codec ? 0u : 18u);
        EXPECT_EQ(VKT_get_size_of_blockalign(r.id, &codec), r.codec ? 0u : 18u);
        EXPECT_EQ(codec, r.codec);
    }
    EXPECT_TRUE(capture.contains_error(18, "VKT_ERR_INVALID_COMPRESSIONID byCompressionId_p"));
}
