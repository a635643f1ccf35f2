// Reading DSS and DS2 files through CDssFile: header checks, frame pointers,
// frames handed out across block boundaries, corrupt and truncated blocks.
// Every file is laid out byte by byte in the test.
#include <gtest/gtest.h>

#include "dss/dss_file.h"
#include "support/dss_bytes.h"
#include "platform/vkt_error.h"
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

class DssRead : public ::testing::Test {
protected:
    TempDir tmp;
    std::string file(const std::string& name, const Bytes& bytes) {
        std::string p = tmp.path(name);
        write_bytes(p, bytes);
        return p;
    }
};

// Two blocks of identifier 0 as in the layout example: thirteen frame starts
// in the first block, the last one parted 14 + 27 bytes, two more frames
// behind the continuation.
Bytes example_blocks(std::vector<Bytes>& frames) {
    frames.clear();
    for (unsigned i = 1; i <= 15; ++i) frames.push_back(frame(i));
    Bytes a = block(0x030F, 13, 0);
    for (unsigned i = 0; i < 12; ++i) place(a, 6 + 41 * i, frames[i]);
    place(a, 498, frames[12], 0, 14);
    Bytes b = block(0x108F, 2, 0);
    place(b, 6, frames[12], 14, 27);
    place(b, 33, frames[13]);
    place(b, 74, frames[14]);
    return concat({stored(a), stored(b)});
}

}  // namespace

TEST_F(DssRead, PartedFrameOfTheLayoutExample) {
    EXPECT_EQ(fp_word(33), 0x108F);
    std::vector<Bytes> frames;
    auto path = file("a.dss", concat({header1(1, "dss"), example_blocks(frames)}));
    Walk w = walk(path);
    ASSERT_EQ(w.open_result, 0u);
    EXPECT_EQ(w.compression_id, 0);
    EXPECT_EQ(w.total_frames, 15u);
    ASSERT_EQ(w.codec_blocks.size(), 15u);
    for (size_t i = 0; i < 15; ++i) {
        EXPECT_EQ(w.codec_blocks[i], codec_block(frames[i], 42)) << "frame " << i + 1;
        EXPECT_EQ(w.frame_sizes[i], 41u);
    }
}

TEST_F(DssRead, FirstDataBlockFollowsAllHeaderBlocks) {
    std::vector<Bytes> frames;
    // Licensee 2 with three header blocks: blocks 2 and 3 are skipped unread.
    Bytes h1 = header1(3, "dss", 2);
    Bytes other(512, 0x5A);
    auto path = file("o.dss", concat({h1, other, other, example_blocks(frames)}));
    xkrvlog::Capture capture;
    Walk w = walk(path);
    ASSERT_EQ(w.open_result, 0u);
    EXPECT_EQ(w.codec_blocks.size(), 15u);
    EXPECT_TRUE(capture.contains("No second fileheader of VALMERO existing"));
}

TEST_F(DssRead, FramePointerFromTheSmallWordForm) {
    // A word below 16 takes the pointer from its low four bits and the byte
    // stored at offset 3: (1 × 256 + 0x50) / 8 = 42.
    Bytes b = block(0x0001, 1, 0);
    b[2] = 0x50;
    place(b, 42, frame(9));
    auto path = file("s.dss", concat({header1(1, "dss"), stored(b)}));
    CDssFile dss;
    ASSERT_EQ(dss.create_file(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, false), 0u);
    EXPECT_EQ(dss.m_wFramePointer, 42);
    Walk w = walk(path);
    ASSERT_EQ(w.codec_blocks.size(), 1u);
    EXPECT_EQ(w.codec_blocks[0], codec_block(frame(9), 42));
}

TEST_F(DssRead, FrameCountFromTheSecondCountByte) {
    Bytes a = block(0x030F, 0xFF, 0);  // count 0xFF: the byte at 4 holds it
    a[4] = 2;
    place(a, 6, frame(1));
    place(a, 47, frame(2));
    Bytes b = block(0x030F, 0xFF, 0);  // 0xFF in both: no frame start
    place(b, 6, frame(3));
    Bytes c = block(0x030F, 0, 0);
    c[4] = 1;
    place(c, 6, frame(4));
    Walk w = walk(file("c.dss", concat({header1(1, "dss"), stored(a), stored(b), stored(c)})));
    ASSERT_EQ(w.open_result, 0u);
    EXPECT_EQ(w.total_frames, 3u);
    ASSERT_EQ(w.codec_blocks.size(), 3u);
    EXPECT_EQ(w.codec_blocks[2], codec_block(frame(4), 42));
}

TEST_F(DssRead, CorruptBlocksAreSkippedAndReadingGoesOn) {
    Bytes good = block(0x030F, 1, 0);
    place(good, 6, frame(1));
    Bytes bad_id = block(0x030F, 1, 8);
    place(bad_id, 6, frame(2));
    Bytes too_many = block(0x030F, 14, 0);
    place(too_many, 6, frame(3));
    Bytes bad_pointer = block(fp_word(40), 13, 0);  // 13 × 41 + 40 = 573 ≥ 553
    place(bad_pointer, 40, frame(4));
    Bytes limit = block(fp_word(60), 12, 0);  // 12 × 41 + 60 = 552: still plausible
    for (unsigned i = 0; i < 11; ++i) place(limit, 60 + 41 * i, frame(10 + i));
    place(limit, 511, frame(21), 0, 1);
    Bytes tail = block(fp_word(46), 1, 0);
    place(tail, 6, frame(21), 1, 40);
    place(tail, 46, frame(22));
    xkrvlog::Capture capture;
    Walk w = walk(file("k.dss", concat({header1(1, "dss"), stored(good), stored(bad_id), stored(too_many),
                                        stored(bad_pointer), stored(limit), stored(tail)})));
    ASSERT_EQ(w.open_result, 0u);
    EXPECT_EQ(w.error, 0u);
    EXPECT_TRUE(capture.contains_error(8, "Corrupt block: Invalid compression ID"));
    EXPECT_TRUE(capture.contains_error(14, "Corrupt block: Invalid number of frames"));
    EXPECT_TRUE(capture.contains_error(40, "Corrupt block: Invalid Framepointer"));
    EXPECT_EQ(w.total_frames, 1u + 12u + 1u);
    ASSERT_EQ(w.codec_blocks.size(), 14u);
    EXPECT_EQ(w.codec_blocks[0], codec_block(frame(1), 42));
    EXPECT_EQ(w.codec_blocks[1], codec_block(frame(10), 42));
    EXPECT_EQ(w.codec_blocks[12], codec_block(frame(21), 42)) << "parted 1 + 40 bytes";
    EXPECT_EQ(w.codec_blocks[13], codec_block(frame(22), 42));
}

TEST_F(DssRead, LongPlayBlocksAreNotCheckedForCorruption) {
    // Identifier 2 (24-byte frames): twenty frame starts are fine.
    Bytes b = block(0x030F, 20, 2);
    for (unsigned i = 0; i < 20; ++i) place(b, 6 + 24 * i, frame(i, 24));
    Walk w = walk(file("l.ds2", concat({header1(1, "ds2"), stored(b)})));
    ASSERT_EQ(w.open_result, 0u);
    EXPECT_EQ(w.total_frames, 20u);
    ASSERT_EQ(w.codec_blocks.size(), 20u);
    EXPECT_EQ(w.codec_blocks[19], codec_block(frame(19, 24), 25));
}

TEST_F(DssRead, VariableFramesOfIdentifierOne) {
    // Frames of 9 bytes (first byte below 0x80) and of 41 bytes; the last
    // frame start of the first block is parted 40 + 1; every codec block
    // ends in 1. The first block begins with six bytes of an earlier frame.
    auto make = [](unsigned n, bool longer) {
        Bytes f = frame(n, longer ? 41 : 9);
        f[0] = static_cast<uint8_t>(longer ? (0x80 | n) : (n & 0x7F));
        return f;
    };
    std::vector<Bytes> frames;
    Bytes a = block(fp_word(12), 13, 1);  // 13 × 41 + 12 = 545: plausible
    size_t at = 12;
    for (unsigned i = 0; i < 12; ++i) {
        Bytes f = make(i, i != 5);
        place(a, at, f);
        at += f.size();
        frames.push_back(f);
    }
    ASSERT_EQ(at, 472u);
    Bytes parted = make(12, true);
    place(a, 472, parted, 0, 40);
    frames.push_back(parted);
    Bytes b = block(fp_word(7), 2, 1);
    place(b, 6, parted, 40, 1);
    frames.push_back(make(13, false));
    frames.push_back(make(14, true));
    place(b, 7, frames[13]);
    place(b, 16, frames[14]);

    Walk w = walk(file("v.dss", concat({header1(1, "dss"), stored(a), stored(b)})));
    ASSERT_EQ(w.open_result, 0u);
    EXPECT_EQ(w.compression_id, 1);
    ASSERT_EQ(w.codec_blocks.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(w.codec_blocks[i], codec_block(frames[i], 42, true)) << "frame " << i;
        EXPECT_EQ(w.frame_sizes[i], frames[i].size());
    }
}

TEST_F(DssRead, CompressedLongPlayFramesCarryTheFlagByte) {
    Bytes b = block(0x030F, 3, 3);
    Bytes sid = {0x10, 0x02, 0x33, 0x44};  // bit 1 of the second byte: 4 bytes
    Bytes full = frame(5, 24);
    full[1] = 0xFD;
    place(b, 6, sid);
    place(b, 10, full);
    place(b, 34, sid);
    Walk w = walk(file("t.ds2", concat({header1(1, "ds2"), stored(b)})));
    ASSERT_EQ(w.codec_blocks.size(), 3u);
    EXPECT_EQ(w.codec_blocks[0], codec_block(sid, 25, true));
    EXPECT_EQ(w.codec_blocks[1], codec_block(full, 25, true));
    EXPECT_EQ(w.frame_sizes[2], 4u);
}

TEST_F(DssRead, ThreeHeaderFileWithoutDataBlocks) {
    Bytes h2 = header2(6);
    auto path = file("h.ds2", concat({header1(3, "ds2"), h2, Bytes(512, 0xFF)}));
    Walk full = walk(path);
    ASSERT_EQ(full.open_result, 0u);
    EXPECT_EQ(full.compression_id, 0) << "taken from the zero-filled block buffer";
    EXPECT_EQ(full.total_frames, 0u);
    EXPECT_TRUE(full.codec_blocks.empty());
    Walk headers = walk(path, nullptr, true);
    ASSERT_EQ(headers.open_result, 0u);
    EXPECT_EQ(headers.compression_id, 6) << "header block 2, offset 16";
}

TEST_F(DssRead, CountingStopsWhereTheIdentifierChanges) {
    Bytes a = block(0x030F, 2, 0);
    Bytes b = block(0x030F, 3, 0);
    Bytes c = block(0x030F, 4, 4);
    Bytes d = block(0x030F, 5, 0);
    Walk w = walk(file("x.dss", concat({header1(1, "dss"), stored(a), stored(b), stored(c), stored(d)})));
    ASSERT_EQ(w.open_result, 0u);
    EXPECT_EQ(w.total_frames, 5u);
}

TEST_F(DssRead, HeaderChecksAndTinyFiles) {
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
        {"q.ds2", concat({header1(1, "ds2"), stored(block(0x030F, 1, 6))}), nullptr, 0, nullptr},
        {"empty.dss", {}, nullptr, 14, nullptr},
        {"three.dss", {1, 'd', 's'}, nullptr, 14, nullptr},
        // The first four bytes of a header: a valid self-id, everything else zero.
        {"four.dss", {1, 'd', 's', 's'}, nullptr, 0, nullptr},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        xkrvlog::Capture capture;
        Walk w = walk(file(r.name, r.bytes), r.password);
        EXPECT_EQ(w.open_result, r.rc);
        if (r.error) {
            EXPECT_TRUE(capture.contains_error(r.rc, r.error));
        }
        if (r.password) {
            EXPECT_FALSE(capture.contains_error(44, "VKT_ERR_PASSWORD verification value does not match"));
        }
        if (r.bytes.size() == 4) {
            EXPECT_TRUE(w.codec_blocks.empty()) << "no data blocks";
        }
    }
    EXPECT_EQ(walk(file("f.DS2", concat({enc1, data})), nullptr, true).open_result, 0u)
        << "no password: the header is accepted";
    EXPECT_EQ(walk(tmp.path("missing.dss")).open_result, 14u);
    EXPECT_EQ(walk(tmp.dir() + "/").open_result, 14u);
}

TEST_F(DssRead, FrameCutOffByTheEndOfTheFile) {
    std::vector<Bytes> frames;
    Bytes both = example_blocks(frames);
    both.resize(512);  // the block with the continuation is missing
    xkrvlog::Capture capture;
    Walk w = walk(file("cut.dss", concat({header1(1, "dss"), both})));
    ASSERT_EQ(w.open_result, 0u);
    EXPECT_EQ(w.error, 0u);
    ASSERT_EQ(w.codec_blocks.size(), 13u);
    Bytes partial(41, 0);
    std::memcpy(partial.data(), frames[12].data(), 14);
    EXPECT_EQ(w.codec_blocks[12], codec_block(partial, 42)) << "handed out zero-padded";
    EXPECT_TRUE(capture.contains_error(18, "VKT_ERR_INVALID_COMPRESSIONID, Eof on reading rest of a frame"));
}

TEST_F(DssRead, ShortLastBlockIsReadAsFarAsItGoes) {
    Bytes b = block(0x030F, 2, 0);
    place(b, 6, frame(1));
    place(b, 47, frame(2));
    Bytes s = stored(b);
    s.resize(90);  // the second frame ends at 88
    Walk w = walk(file("short.dss", concat({header1(1, "dss"), s})));
    ASSERT_EQ(w.codec_blocks.size(), 2u);
    EXPECT_EQ(w.codec_blocks[1], codec_block(frame(2), 42));
}

TEST_F(DssRead, FramesThatCannotLieInTheBlockAreNotRead) {
    // Quality play, twelve frame starts (plausible by the 41-byte rule), but
    // only nine 56-byte frames fit behind offset 6; the tenth would start
    // two bytes before the end and is not the last one.
    Bytes a = block(0x030F, 12, 6);
    for (unsigned i = 0; i < 9; ++i) place(a, 6 + 56 * i, frame(i, 56));
    Bytes b = block(0x030F, 1, 6);
    place(b, 6, frame(50, 56));
    // A last frame that starts in the last byte of its block.
    Bytes c = block(fp_word(511), 1, 6);
    c[511] = 0x77;
    Bytes d = block(fp_word(6 + 55), 0, 6);
    place(d, 6, frame(60, 55));
    xkrvlog::Capture capture;
    Walk w = walk(file("p.ds2", concat({header1(1, "ds2"), stored(a), stored(b), stored(c), stored(d)})));
    ASSERT_EQ(w.open_result, 0u);
    EXPECT_EQ(w.error, 0u);
    ASSERT_EQ(w.codec_blocks.size(), 11u);
    EXPECT_EQ(w.codec_blocks[8], codec_block(frame(8, 56), 57));
    EXPECT_EQ(w.codec_blocks[9], codec_block(frame(50, 56), 57));
    Bytes joined(56);
    joined[0] = 0x77;
    std::memcpy(joined.data() + 1, frame(60, 55).data(), 55);
    EXPECT_EQ(w.codec_blocks[10], codec_block(joined, 57));
    EXPECT_TRUE(capture.contains_error(12, "Corrupt block: Invalid number of frames"));
}

TEST_F(DssRead, LongPlayFrameStartingInTheLastByte) {
    // Identifier 3 sizes a frame by its second byte, which here is the first
    // byte of the next block's continuation.
    Bytes a = block(fp_word(511), 1, 3);
    a[511] = 0x01;
    Bytes b = block(fp_word(6 + 3), 1, 3);
    b[6] = 0x02;  // second byte: bit 1 set, a 4-byte frame
    b[7] = 0x03;
    b[8] = 0x04;
    Bytes sid = {0x22, 0x02, 0x00, 0x00};
    place(b, 9, sid);
    Walk w = walk(file("z.ds2", concat({header1(1, "ds2"), stored(a), stored(b)})));
    ASSERT_EQ(w.codec_blocks.size(), 2u);
    EXPECT_EQ(w.codec_blocks[0], codec_block(Bytes{0x01, 0x02, 0x03, 0x04}, 25, true));
    EXPECT_EQ(w.codec_blocks[1], codec_block(sid, 25, true));
}

TEST_F(DssRead, InvalidIdentifierOfALongPlayFileStopsTheWalkWith18) {
    Bytes a = block(0x030F, 1, 2);
    Bytes b = block(0x030F, 1, 5);  // long-play files are not checked for corruption
    xkrvlog::Capture capture;
    Walk w = walk(file("i.ds2", concat({header1(1, "ds2"), stored(a), stored(b)})));
    ASSERT_EQ(w.open_result, 0u);
    EXPECT_EQ(w.codec_blocks.size(), 1u);
    EXPECT_EQ(w.error, 18u);
    EXPECT_TRUE(capture.contains_error(18, "catched in transfer_from_file_to_buffer(..)"));
}

TEST_F(DssRead, BlockFactsAndFormats) {
    std::vector<Bytes> frames;
    auto path = file("f.dss", concat({header1(1, "dss"), example_blocks(frames)}));
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
    EXPECT_EQ(wfx.nAvgBytesPerSec, 1750u);
    EXPECT_EQ(wfx.nBlockAlign, 42);
    EXPECT_EQ(wfx.wBitsPerSample, 0);
    EXPECT_EQ(wfx.cbSize, 0);

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

TEST(DssFileFacts, CompressionIdCompatibility) {
    // file's id, asked id, result
    const uint8_t rows[][3] = {{0, 1, 0},  {0, 4, 19}, {0, 2, 19}, {0, 5, 18},
                               {0, 200, 18}, {3, 2, 0}, {6, 6, 0}, {6, 7, 19}};
    xkrvlog::Capture capture;
    CDssFile dss;
    for (const auto& r : rows) {
        dss.m_byCompressionId = r[0];
        EXPECT_EQ(dss.check_compressionId(r[1]), r[2]) << int(r[0]) << " asked " << int(r[1]);
    }
    EXPECT_TRUE(capture.contains_error(19, "VKT_ERR_COMPRESSIONID_NOT_SUPPORTED CompressionId TRUESPEECH"));
    EXPECT_TRUE(capture.contains_error(
        19, "VKT_ERR_COMPRESSIONID_NOT_SUPPORTED CompressionId QUALITYPLAY_WITH_COMPRESSION"));
}

TEST_F(DssRead, FailedOpenLeavesTheObjectReusable) {
    std::vector<Bytes> frames;
    auto good = file("g.dss", concat({header1(1, "dss"), example_blocks(frames)}));
    CDssFile dss;
    EXPECT_EQ(dss.create_file(tmp.path("none.dss").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, true), 14u);
    EXPECT_FALSE(dss.m_pDssFileHeader);
    ASSERT_EQ(dss.create_file(good.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, true), 0u);
    EXPECT_EQ(dss.m_dwTotalNrOfFrames, 15u);
    EXPECT_EQ(dss.cleanup(), 0u);
    EXPECT_EQ(dss.cleanup(), 0u) << "a second clean-up does nothing";
}
