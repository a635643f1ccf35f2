// orvkt split and join as a user runs them.
#include "cli_session.h"
#include "support/dss_bytes.h"

using namespace edit_test;
using namespace orvkt_test;
using cli_test::run_session;

TEST(EditCli, SplitAndJoin) {
    TempDir tmp;
    Recording r;
    r.frames = random_frames(5000, 41, 1);  // 120 s
    r.markers = {{10000, 70000}};
    write_bytes(tmp.path("memo.dss"), build(r));
    Recording secret = r;
    secret.self_id = "ds2";
    write_bytes(tmp.path("plain.ds2"), build(secret));
    write_bytes(tmp.path("pw"), {'s', 'e', 'c', 'r', 'e', 't', '\n'});
    run_session(tmp, {
        {"orvkt split memo.dss --length 50", 0,
         "split memo.dss into 3 piece(s):\nmemo_001.dss\nmemo_002.dss\nmemo_003.dss\n"},
        {"mkdir parts && orvkt -q split memo.dss -l 60 --overlap 10 -n 2 -o parts -m 'take-%d.ds2'", 0,
         "parts/take-1.ds2\nparts/take-2.ds2\n", "split"},  // -q keeps the names only
        // The pieces exist now: a second split is refused without -f.
        {"orvkt -q split memo.dss -l 60 --overlap 10 -n 2 -o parts -m 'take-%d.ds2'", 37, "take-1.ds2: exists already"},
        {"orvkt -q join whole.dss memo_001.dss memo_002.dss memo_003.dss", 0, ""},
        {"orvkt join x.dss 'a?b.dss'", 13, "'?'"},
        {"orvkt split memo.dss --length 0", 64, ""},
        {"orvkt split memo.dss --length 20 --mask 'x%s.dss'", 10, ""},
        {"orvkt encrypt plain.ds2 enc.ds2 --password-file pw", 0, ""},
        {"orvkt -q split enc.ds2 -l 60 --password-file pw", 0, ""},
        {"orvkt decrypt enc_002.ds2 dec.ds2 --password-file pw", 0, ""},
        {"orvkt split -f enc.ds2 -l 30 < /dev/null", 44, ""},
    });
    // 50 s is frame 2084 (50016 ms), 100 s frame 4167 (100008 ms).
    EXPECT_EQ(frames_of(read_bytes(tmp.path("memo_002.dss")), 41), slice(r.frames, 2084, 4167));
    EXPECT_EQ(markers_of(read_bytes(tmp.path("memo_002.dss"))), (std::vector<Marker>{{0, 70000 - 50016}}));
    EXPECT_EQ(frames_of(read_bytes(tmp.path("parts/take-2.ds2")), 41), slice(r.frames, 2084, 5000));
    EXPECT_EQ(frames_of(read_bytes(tmp.path("whole.dss")), 41), r.frames);
    EXPECT_EQ(frames_of(read_bytes(tmp.path("dec.ds2")), 41), slice(r.frames, 2500, 5000));
}
