// Cue insertion, list copying and the format-history reordering.
#include "wav/chunk_utilities.h"

#include "support/test_support.h"
#include "support/riff_bytes.h"

using namespace orvkt_test;
using namespace riff_bytes;

TEST(InsertCueChunk, AppendsOnceThenOverwrites) {
    TempDir tmp;
    const Bytes original = plain_wave();
    write_bytes(tmp.path("a.wav"), original);
    CuePoint cue{7, 0, mmioFOURCC('d', 'a', 't', 'a'), 0, 0, 1234};
    ASSERT_EQ(insert_cue_chunk(tmp.path("a.wav").c_str(), &cue), 0u);
    Bytes once = read_bytes(tmp.path("a.wav"));
    ASSERT_EQ(once.size(), original.size() + 36);
    EXPECT_EQ(get32(once, 4), get32(original, 4) + 36) << "RIFF grows by header and content";
    EXPECT_EQ(get32(once, original.size() + 4), 28u);
    EXPECT_EQ(get32(once, original.size() + 8), 1u) << "one cue point";
    EXPECT_EQ(get32(once, original.size() + 8 + 24), 1234u) << "sample offset is the record's last field";

    cue.dwSampleOffset = 99;
    ASSERT_EQ(insert_cue_chunk(tmp.path("a.wav").c_str(), &cue), 0u);
    Bytes twice = read_bytes(tmp.path("a.wav"));
    ASSERT_EQ(twice.size(), once.size());
    EXPECT_EQ(get32(twice, original.size() + 8 + 24), 99u);

    EXPECT_EQ(insert_cue_chunk(tmp.path("none.wav").c_str(), &cue), 13u);
    EXPECT_EQ(insert_cue_chunk(nullptr, &cue), 13u);
    EXPECT_EQ(insert_cue_chunk(tmp.path("a.wav").c_str(), nullptr), 24u);
}

TEST(CopyListChunk, CopiesAndReordersIntoTheDestinationOrInPlace) {
    TempDir tmp;
    const Bytes icmt = chunk("ICMT", pattern(512));
    const Bytes isrf = chunk("ISRF", text("DSS SP"));
    const Bytes reordered = plain_wave(list("INFO", cat({icmt, isrf})));
    write_bytes(tmp.path("src.wav"), plain_wave(list("INFO", cat({isrf, icmt}))));
    write_bytes(tmp.path("dst.wav"), plain_wave());
    ASSERT_EQ(copy_list_chunk(tmp.path("src.wav").c_str(), tmp.path("dst.wav").c_str()), 0u);
    EXPECT_EQ(read_bytes(tmp.path("dst.wav")), reordered);
    ASSERT_EQ(reorder_list_chunk_in_file(tmp.path("src.wav").c_str()), 0u);
    EXPECT_EQ(read_bytes(tmp.path("src.wav")), reordered);

    // A source without a list, or none at all, leaves the destination alone.
    write_bytes(tmp.path("plain.wav"), plain_wave());
    EXPECT_EQ(copy_list_chunk(tmp.path("plain.wav").c_str(), tmp.path("dst.wav").c_str()), 0u);
    EXPECT_EQ(copy_list_chunk(tmp.path("plain.wav").c_str(), nullptr), 13u);
    EXPECT_EQ(copy_list_chunk(tmp.path("missing.wav").c_str(), tmp.path("dst.wav").c_str()), 13u);
    EXPECT_EQ(read_bytes(tmp.path("dst.wav")), reordered);
}
