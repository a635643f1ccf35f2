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
// padded to the codec block, flagged with a last byte of 1 for identifiers
// 1, 3 and 7) and the errors traced on the way.
struct Case {
    std::string name;
    Bytes file;
    uint32_t total = kAny;
    std::vector<Bytes> frames;
    size_t codec = 42;
    bool flag = false;
    std::vector<std::pair<uint32_t, std::string>> traces = {};  // code 0: a line with the text
    uint32_t walk_error = 0;
};

std::vector<Case> walk_cases() {
    std::vector<Case> cases;
    std::vector<Bytes> ex;
    const Bytes example = example_blocks(ex);
    cases.push_back({"layout.dss", concat({header1(1, "dss"), example}), 15, ex});
    // Licensee 2 with three header blocks: blocks 2 and 3 are skipped unread.
    const Bytes other(512, 0x5A);
    cases.push_back({"other.dss", concat({header1(3, "dss", 2), other, other, example}), 15, ex, 42, false,
                     {{0, "No second fileheader of VALMERO existing"}}});
    // The end of the file cuts the parted frame: handed out zero-padded.
    Bytes partial(41, 0);
    std::memcpy(partial.data(), ex[12].data(), 14);
    std::vector<Bytes> cut(ex.begin(), ex.begin() + 12);
    cut.push_back(partial);
    cases.push_back({"cut.dss", concat({header1(1, "dss"), edit_test::part(example, 0, 512)}), kAny, cut, 42, false,
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
                     14, kept, 42, false,
                     {{8, "Corrupt block: Invalid compression ID"},
                      {14, "Corrupt block: Invalid number of frames"},
                      {40, "Corrupt block: Invalid Framepointer"}}});
    Bytes s = block(0x030F, 2, 0);
    place(s, 6, frame(1));
    place(s, 47, frame(2));
    s = stored(s);
    s.resize(90);  // the last block ends two bytes after the second frame
    cases.push_back({"short.dss", concat({header1(1, "dss"), s}), kAny, {frame(1), frame(2)}});

    // Long play (24-byte frames) is not checked for corruption: twenty
    // frame starts are fine.
    const std::vector<Bytes> lp = edit_test::random_frames(20, 24, 5);
    cases.push_back({"lp.ds2", concat({header1(1, "ds2"), edit_test::pack_blocks(lp, 2)}), 20, lp, 25});
    // An invalid identifier there stops the walk with 18.
    cases.push_back({"invalid.ds2", concat({header1(1, "ds2"), stored(block(0x030F, 1, 2)), stored(block(0x030F, 1, 5))}),
                     kAny, {Bytes(24, 0)}, 25, false, {{18, "catched in transfer_from_file_to_buffer(..)"}}, 18});
    // Counting stops where the identifier changes.
    cases.push_back({"ids.dss",
                     concat({header1(1, "dss"), stored(block(0x030F, 2, 0)), stored(block(0x030F, 3, 0)),
                             stored(block(0x030F, 4, 4)), stored(block(0x030F, 5, 0))}),
                     5, {}, 0});

    // Identifier 1: frames of 9 bytes (first byte below 0x80) and of 41; the
    // last frame start of the first block is parted 40 + 1. The first block
    // begins with six bytes of an earlier frame.
    auto variable = [](unsigned n, bool longer) {
        Bytes f = frame(n, longer ? 41 : 9);
        f[0] = static_cast<uint8_t>(longer ? (0x80 | n) : (n & 0x7F));
        return f;
    };
    std::vector<Bytes> vf;
    Bytes va = block(fp_word(12), 13, 1);  // 13 × 41 + 12 = 545: plausible
    size_t at = 12;
    for (unsigned i = 0; i < 12; ++i) {
        vf.push_back(variable(i, i != 5));
        place(va, at, vf.back());
        at += vf.back().size();
    }
    vf.push_back(variable(12, true));
    place(va, at, vf.back(), 0, 40);
    Bytes vb = block(fp_word(7), 2, 1);
    place(vb, 6, vf.back(), 40, 1);
    vf.push_back(variable(13, false));
    vf.push_back(variable(14, true));
    place(vb, 7, vf[13]);
    place(vb, 16, vf[14]);
    cases.push_back({"variable.dss", concat({header1(1, "dss"), stored(va), stored(vb)}), 15, vf, 42, true});

    // Identifier 3 sizes a frame by bit 1 of its second byte: 4 or 24 bytes.
    const Bytes sid = {0x10, 0x02, 0x33, 0x44};
    Bytes full = frame(5, 24);
    full[1] = 0xFD;
    Bytes t = block(0x030F, 3, 3);
    place(t, 6, sid);
    place(t, 10, full);
    place(t, 34, sid);
    cases.push_back({"ts.ds2", concat({header1(1, "ds2"), stored(t)}), 3, {sid, full, sid}, 25, true});
    // A frame starting in the last byte: its second byte is the first byte
    // of the next block's continuation.
    Bytes la = block(fp_word(511), 1, 3), lb = block(fp_word(6 + 3), 1, 3);
    la[511] = 0x01;
    place(lb, 6, Bytes{0x02, 0x03, 0x04});
    place(lb, 9, Bytes{0x22, 0x02, 0x00, 0x00});
    cases.push_back({"last.ds2", concat({header1(1, "ds2"), stored(la), stored(lb)}), kAny,
                     {{0x01, 0x02, 0x03, 0x04}, {0x22, 0x02, 0x00, 0x00}}, 25, true});

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
                     57, false, {{12, "Corrupt block: Invalid number of frames"}}});
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
            EXPECT_EQ(w.codec_blocks[i], codec_block(c.frames[i], c.codec, c.flag)) << "frame " << i;
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
    // A three-header file without data blocks takes its identifier from the
    // zero-filled block buffer, a header-only open from header block 2.
    const Bytes no_data = concat({header1(3, "ds2"), header2(6), Bytes(512, 0xFF)});
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
        {"h.ds2", no_data, nullptr, 0, nullptr},
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
    EXPECT_EQ(walk(tmp.path("h.ds2"), nullptr, true).compression_id, 6) << "header block 2, offset 16";
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
    // A failed open leaves the object reusable.
    EXPECT_EQ(dss.create_file(tmp.path("none.dss").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, true), 14u);
    EXPECT_FALSE(dss.m_pDssFileHeader);
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
    EXPECT_EQ(dss.cleanup(), 0u);
    EXPECT_EQ(dss.cleanup(), 0u) << "a second clean-up does nothing";
}

TEST(DssFileFacts, ExtensionAndCompressionIdCompatibility) {
    for (const char* name : {"x.DSS", "dir/x.ds2", "x.ds2x"}) EXPECT_TRUE(CDssFile::HasDSSFileExtension(name)) << name;
    for (const char* name : {"x.ds", "x.wav", "x", static_cast<const char*>(nullptr)})
        EXPECT_FALSE(CDssFile::HasDSSFileExtension(name)) << (name ? name : "null");
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
