// Reading DSS and DS2 files through CDssFile: header checks, frame pointers,
// frames handed out across block boundaries, corrupt and truncated blocks.
// Every file is laid out byte by byte in the test.
#include <gtest/gtest.h>

#include "dss/dss_file.h"
#include "platform/vkt_error.h"
#include "support/dss_bytes.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

using namespace dss_test;
using namespace vkt::platform;
using orvkt_test::TempDir;
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

// Two blocks of identifier 0 as in the layout example: thirteen frame starts
// in the first block, the last one parted 14 + 27 bytes, two more frames
// behind the continuation (frame pointer 33, word 0x108F).
Bytes example_blocks(std::vector<Bytes>& frames) {
    frames.clear();
    for (unsigned i = 1; i <= 15; ++i) frames.push_back(frame(i));
    return edit_test::pack_blocks(frames, 0);
}

constexpr uint32_t kAny = 0xFFFFFFFFu;

// A file, the frame count the header pass finds, the frames handed out (each
// padded to the codec block) and the errors traced on the way.
struct Case {
    std::string name;
    Bytes file;
    uint32_t total = kAny;
    std::vector<Bytes> frames;
    size_t codec = 42;
    std::vector<std::pair<uint32_t, std::string>> traces = {};  // code 0: a line with the text
    uint32_t walk_error = 0;
};

std::vector<Case> walk_cases() {
    std::vector<Case> cases;
    std::vector<Bytes> ex;
    const Bytes example = example_blocks(ex);
    // The end of the file cuts the parted frame: handed out zero-padded.
    Bytes partial(41, 0);
    std::memcpy(partial.data(), ex[12].data(), 14);
    std::vector<Bytes> cut(ex.begin(), ex.begin() + 12);
    cut.push_back(partial);
    cases.push_back({"cut.dss", concat({header1(1, "dss"), edit_test::part(example, 0, 512)}), kAny, cut, 42,
                     {{18, "VKT_ERR_INVALID_COMPRESSIONID, Eof on reading rest of a frame"}}});

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

    // Corrupt blocks are skipped and reading goes on.
    Bytes good = block(0x030F, 1, 0), bad_id = block(0x030F, 1, 8), too_many = block(0x030F, 14, 0);
    place(good, 6, frame(1));
    place(bad_id, 6, frame(2));
    place(too_many, 6, frame(3));
    Bytes bad_pointer = block(fp_word(40), 13, 0);  // 13 × 41 + 40 = 573 ≥ 553
    place(bad_pointer, 40, frame(4));
    Bytes limit = block(fp_word(60), 12, 0);  // 12 × 41 + 60 = 552: still plausible
    std::vector<Bytes> kept = {frame(1)};
    for (unsigned i = 0; i < 11; ++i) {
        place(limit, 60 + 41 * i, frame(10 + i));
        kept.push_back(frame(10 + i));
    }
    place(limit, 511, frame(21), 0, 1);
    Bytes tail = block(fp_word(46), 1, 0);
    place(tail, 6, frame(21), 1, 40);
    place(tail, 46, frame(22));
    kept.push_back(frame(21));  // parted 1 + 40 bytes
    kept.push_back(frame(22));
    cases.push_back({"corrupt.dss",
                     concat({header1(1, "dss"), stored(good), stored(bad_id), stored(too_many), stored(bad_pointer),
                             stored(limit), stored(tail)}),
                     14, kept, 42,
                     {{8, "Corrupt block: Invalid compression ID"},
                      {14, "Corrupt block: Invalid number of frames"},
                      {40, "Corrupt block: Invalid Framepointer"}}});
    Bytes s = block(0x030F, 2, 0);
    place(s, 6, frame(1));
    place(s, 47, frame(2));
    s = stored(s);
    s.resize(90);  // the last block ends two bytes after the second frame
    cases.push_back({"short.dss", concat({header1(1, "dss"), s}), kAny, {frame(1), frame(2)}});

    // An invalid identifier of a long-play file stops the walk with 18.
    cases.push_back({"invalid.ds2", concat({header1(1, "ds2"), stored(block(0x030F, 1, 2)), stored(block(0x030F, 1, 5))}),
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
        for (const auto& [code, text] : c.traces) EXPECT_TRUE(code ? capture.contains_error(code, text) : capture.contains(text)) << text;
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
    const struct {
        const char* name;
        Bytes bytes;
        const char* password;
        uint32_t rc;
        const char* error;  // traced with the code, if any
        int id = 0;
    } rows[] = {
        {"a.dss", concat({header1(1, "ds2"), data}), nullptr, 14, "VKT_ERR_OPEN_FILE file extension and self-id don't match"},
        {"b.ds2", concat({header1(1, "dss"), data}), nullptr, 14, "VKT_ERR_OPEN_FILE file extension and self-id don't match"},
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

TEST(DssRead, BlockFactsFormatsAndReuse) {
    TempDir tmp;
    std::vector<Bytes> frames;
    const std::string path = tmp.path("f.dss");
    write_bytes(path, concat({header1(1, "dss"), example_blocks(frames)}));
    CDssFile dss;
    ASSERT_EQ(dss.create_file(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, true), 0u);
    EXPECT_EQ(dss.GetDataLength(), 512u) << "6 + 13 × 42 is cut to 512";
    ASSERT_EQ(dss.read_next_datablock(), 0u);
    EXPECT_EQ(dss.m_wFramePointer, 33);
    EXPECT_EQ(dss.GetDataLength(), 33u + 2 * 42);
    EXPECT_EQ(dss.read_next_datablock(), 1u);
    EXPECT_EQ(dss.GetFrameLengthInMs(), 24u);

    WAVEFORMATEX wfx{};
    EXPECT_EQ(dss.read_format(&wfx, 16), 22u);
    ASSERT_EQ(dss.read_format(&wfx, sizeof wfx), 0u);
    EXPECT_EQ(wfx.wFormatTag, 0x0121);
    EXPECT_EQ(wfx.nSamplesPerSec, 12000u);
    EXPECT_EQ(wfx.nBlockAlign, 42);

    xkrvlog::Capture capture;
    dss.m_byCompressionId = 5;
    EXPECT_EQ(dss.GetFrameLengthInMs(), 36u);
    EXPECT_EQ(dss.read_format(&wfx, sizeof wfx), 18u);
    dss.m_byCompressionId = 8;
    EXPECT_EQ(dss.GetFrameLengthInMs(), 0u);
    EXPECT_TRUE(capture.contains_error(38, "invalid compression id"));
}

TEST(DssFileFacts, ExtensionTest) {
    for (const char* name : {"x.DSS", "dir/x.ds2", "x.ds2x"}) EXPECT_TRUE(CDssFile::HasDSSFileExtension(name)) << name;
    for (const char* name : {"x.ds", "x.wav", "x", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(CDssFile::HasDSSFileExtension(name)) << (name ? name : "null");
}
