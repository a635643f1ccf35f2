// Splitting through the export.
#include "OrvaneVktapi.h"
#include "edit/dss_splitter.h"
#include "support/dss_bytes.h"
#include "support/disk_full.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

using namespace edit_test;
using dss_test::get32;
using orvkt_test::read_bytes;
using orvkt_test::with_disk_full_after;
using orvkt_test::TempDir;
using orvkt_test::write_bytes;

namespace {

class Split : public ::testing::Test {
protected:
    TempDir tmp;      // sources
    TempDir out_dir;  // pieces
    std::string out = out_dir.dir();

    std::string write(const std::string& name, const Recording& r) {
        write_bytes(tmp.path(name), build(r));
        return tmp.path(name);
    }
    uint32_t split(const std::string& src, const char* mask, uint32_t length, uint32_t overlap = 0,
                   uint32_t* created = nullptr, ProgressCallback callback = nullptr, intptr_t user = 0) {
        return ORVKTSplitDSSFile(src.c_str(), out.c_str(), mask, nullptr, length, overlap, 0xFFFFFFFF, created,
                                 callback, user);
    }
    Bytes piece(const std::string& name) { return read_bytes(out + "/" + name); }
    std::vector<std::string> pieces() const { return out_dir.entries(); }
};

Recording minutes(double m, uint8_t id = 0, uint32_t seed = 1) {
    Recording r;
    r.id = id;
    r.self_id = id >= 6 ? "ds2" : "dss";
    r.frames = random_frames(static_cast<size_t>(m * 60000 / frame_ms_of(id)), frame_size_of(id), seed);
    return r;
}

std::string text(const Bytes& b, size_t at, size_t n) {
    return std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
}

}  // namespace

TEST_F(Split, MarkersAreCutToEachPieceAndMovedToItsStart) {
    // Long play, 36 ms frames: the split at 60 s falls after frame 1667 (60012 ms).
    Recording r = minutes(2, 4);
    r.markers = {{1000, 2000}, {55000, 70000}, {61000, 61500}, {59000, 59500}, {119000, 200000}};
    const std::string src = write("rec.dss", r);
    ASSERT_EQ(split(src, "p%d.dss", 60), VKT_OK);
    ASSERT_EQ(pieces().size(), 2u);
    const Bytes p1 = piece("p1.dss"), p2 = piece("p2.dss");
    EXPECT_EQ(markers_of(p1), (std::vector<Marker>{{1000, 2000}, {55000, 60012}, {59000, 59500}}));
    EXPECT_EQ(markers_of(p2), (std::vector<Marker>{{0, 70000 - 60012}, {61000 - 60012, 61500 - 60012},
                                                   {119000 - 60012, 119988 - 60012}}));
    EXPECT_TRUE(all_ff(p1, 1024 + 3 * 8, 1536));
    EXPECT_TRUE(all_ff(p2, 1024 + 3 * 8, 1536));
}

TEST_F(Split, OneHeaderBlock) {
    // No header 2 to hold the length; the pieces still work.
    Recording one = minutes(1);
    one.headers = 1;
    ASSERT_EQ(split(write("one.dss", one), "h1_%d.dss", 40), VKT_OK);
    const Bytes h1 = piece("h1_2.dss");
    EXPECT_EQ(h1[0], 1);
    EXPECT_EQ(frames_of(h1, 41), slice(one.frames, 1667, 2500));
    EXPECT_EQ(text(h1, 62, 6), "000019") << "833 frames";
}

// Reports come every 1000 frames: a cancel at 3000 frames keeps piece 1
// (2500 frames) and removes the open piece 2.
TEST_F(Split, CancelRemovesTheOpenPiece) {
    auto cancel_third = [](intptr_t user, uint32_t, uint32_t) -> int32_t {
        return ++*reinterpret_cast<int*>(user) == 3 ? 2 : 0;
    };
    Recording r = minutes(2);
    int calls = 0;
    uint32_t created = 77;
    EXPECT_EQ(split(write("rec.dss", r), "b%d.dss", 60, 0, &created, cancel_third, reinterpret_cast<intptr_t>(&calls)),
              VKT_CANCELLED);
    EXPECT_EQ(created, 77u) << "not written after a failure";
    EXPECT_EQ(pieces(), std::vector<std::string>{"b1.dss"}) << "the incomplete piece is removed";
    EXPECT_EQ(frames_of(piece("b1.dss"), 41), slice(r.frames, 0, 2500));
}

TEST_F(Split, RefusedSourcesLeaveNoPiece) {
    for (uint8_t id : {1, 3, 7}) {
        Recording r = minutes(0.5, 0);
        r.self_id = id == 7 ? "ds2" : "dss";
        const std::string src = write(id == 7 ? "x.ds2" : "x.dss", r);
        Bytes bytes = read_bytes(src);
        // Every data block says the identifier.
        for (size_t at = 1536; at < bytes.size(); at += 512) bytes[at + 4] = id;
        write_bytes(src, bytes);
        EXPECT_EQ(split(src, "x%d.ds2", 10), VKT_ERR_INVALID_COMPRESSIONID) << int(id);
    }
    for (uint32_t licensee : {1u, 2u}) {
        Recording r = minutes(0.5);
        r.licensee = licensee;
        EXPECT_EQ(split(write("l.dss", r), "l%d.dss", 10), VKT_ERR_INVALID_CONTENT) << licensee;
    }
    EXPECT_EQ(split(tmp.path("missing.dss"), "m%d.dss", 10), VKT_ERR_OPEN_FILE);
    EXPECT_TRUE(pieces().empty());
}

TEST_F(Split, BadParametersAndMasks) {
    const std::string src = write("rec.dss", minutes(1));
    const Bytes before = read_bytes(src);
    EXPECT_EQ(split(src, "a%d.dss", 30, 30), VKT_ERR) << "overlap as long as a piece";
    EXPECT_EQ(split(src, "a%s.dss", 30), VKT_ERR) << "not an integer placeholder";
    EXPECT_EQ(split(src, "a%d_%d.dss", 30), VKT_ERR) << "two placeholders";
    EXPECT_EQ(split(src, "a%1000d.dss", 30), VKT_ERR) << "wider than a name";
    EXPECT_EQ(split(src, "same.dss", 30, 5), VKT_ERR) << "overlapping pieces under one name";
    EXPECT_EQ(split(src, "a%d.wav", 30), VKT_ERR) << "no DSS name";
    for (const char* mask : {"../esc%d.dss", "sub/p%d.dss", "/tmp/abs%d.dss"})
        EXPECT_EQ(split(src, mask, 30), VKT_ERR) << mask << ": a path separator";
    EXPECT_TRUE(pieces().empty());
    EXPECT_FALSE(orvkt_test::file_exists("/tmp/abs1.dss"));
    EXPECT_EQ(ORVKTSplitDSSFile(src.c_str(), (out + "/missing").c_str(), "a%d.dss", nullptr, 30, 0, 9, nullptr,
                                nullptr, 0),
              VKT_ERR_OPEN_FILE)
        << "no such folder";
    EXPECT_EQ(split(src, "a%d.ds2", 30), VKT_OK) << "a DSS recording may become DS2 pieces";
    EXPECT_EQ(text(piece("a1.ds2"), 1, 3), "ds2");
    EXPECT_EQ(read_bytes(src), before);
    const std::string inside = out + "/p1.dss";
    write_bytes(inside, before);
    EXPECT_EQ(split(inside, "p%d.dss", 30), VKT_ERR) << "a piece would overwrite the source";
    EXPECT_EQ(read_bytes(inside), before);

    // The mask's own percent signs and printf's flags.
    std::string name;
    EXPECT_TRUE(CDSSSplitter::FormatPieceName("take %% %05lu.dss", 42, name));
    EXPECT_EQ(name, "take % 00042.dss");
    EXPECT_TRUE(CDSSSplitter::FormatPieceName("%-4x|.dss", 255, name));
    EXPECT_EQ(name, "ff  |.dss");
}

TEST_F(Split, FullDiskRemovesTheOpenPieceAndKeepsTheFinishedOnes) {
    Recording r = minutes(2);  // pieces of 1 minute: 2500 frames, 201 blocks + headers
    const std::string src = write("rec.dss", r);
    const Bytes before = read_bytes(src);
    xkrvlog::Capture capture;
    // Room for the first piece and part of the second.
    const uint32_t rc = with_disk_full_after((3 + 201) * 512 + 40000, [&] { return split(src, "f%d.dss", 60); });
    EXPECT_EQ(rc, VKT_ERR_WRITE_FILE);
    EXPECT_TRUE(capture.contains_error(15, "error occured in ORVKTSplitDSSFile"));
    EXPECT_EQ(pieces(), std::vector<std::string>{"f1.dss"});
    EXPECT_EQ(frames_of(piece("f1.dss"), 41), slice(r.frames, 0, 2500));
    EXPECT_EQ(read_bytes(src), before);
}
