// Index repair, checked against block and frame positions worked out by hand.
#include "OrvaneVktapi.h"
#include "support/dss_bytes.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

using namespace edit_test;
using dss_test::get16;
using dss_test::get32;
using orvkt_test::file_exists;
using orvkt_test::read_bytes;
using orvkt_test::TempDir;
using orvkt_test::write_bytes;

namespace {

struct Entry {
    uint32_t block;
    uint32_t frame;
    bool operator==(const Entry&) const = default;
};

std::vector<Entry> short_index(const Bytes& f) {
    std::vector<Entry> e;
    for (size_t at = 86; at < 134 && get16(f, at) != 0xFFFF; at += 3) e.push_back({get16(f, at), f[at + 2]});
    return e;
}

std::vector<Entry> long_index(const Bytes& f) {
    std::vector<Entry> e;
    for (size_t at = 134; at < 326 && get32(f, at) != 0xFFFFFFFFu; at += 6) e.push_back({get32(f, at), get16(f, at + 4)});
    return e;
}

std::ostream& operator<<(std::ostream& os, const Entry& e) { return os << "(" << e.block << "," << e.frame << ")"; }

class Repair : public ::testing::Test {
protected:
    TempDir tmp;
    std::string p(const std::string& name) const { return tmp.path(name); }
    std::string write(const std::string& name, const Recording& r) {
        write_bytes(p(name), build(r));
        return p(name);
    }
    static Recording rec(size_t frames, uint8_t id, std::vector<Marker> markers = {}) {
        Recording r;
        r.id = id;
        r.self_id = id >= 6 ? "ds2" : "dss";
        r.frames = random_frames(frames, frame_size_of(id), 21);
        r.markers = std::move(markers);
        return r;
    }
    uint32_t repair(const std::string& src, const std::string& dst) {
        return ORVKTRepairIndexMarkers(src.c_str(), dst.c_str());
    }
};

}  // namespace

TEST_F(Repair, SeventeenMarkersFillTheShortIndexWithSixteen) {
    // Standard play, 24 ms frames of 41 bytes: a marker at k x 2400 ms is
    // frame 100 k, at stream byte 4100 k, in data block 4100 k / 506.
    std::vector<Marker> markers;
    std::vector<Entry> expected;
    for (uint32_t k = 0; k < 17; ++k) {
        markers.emplace_back(k * 2400, k * 2400 + 100);
        const uint32_t frame = 100 * k, block = frame * 41 / 506;
        const uint32_t first = (block * 506 + 40) / 41;  // first frame that starts in that block
        expected.push_back({3 + block, frame - first});
    }
    const std::string src = write("sp.dss", rec(2000, 0, markers));
    ASSERT_EQ(repair(src, p("out.ds2")), VKT_OK);
    const Bytes ds2 = read_bytes(p("out.ds2"));
    EXPECT_EQ(long_index(ds2), expected);
    EXPECT_EQ(short_index(ds2), std::vector<Entry>(expected.begin(), expected.begin() + 16));
    EXPECT_EQ(std::string(ds2.begin() + 1, ds2.begin() + 4), "ds2") << "fitted to the name";

    ASSERT_EQ(repair(src, p("out.dss")), VKT_OK);
    const Bytes dss = read_bytes(p("out.dss"));
    EXPECT_EQ(short_index(dss), std::vector<Entry>(expected.begin(), expected.begin() + 16));
    EXPECT_TRUE(all_ff(dss, 134, 326)) << "no long index in a DSS file";
}

TEST_F(Repair, RefusalsAndFailuresLeaveNoDestination) {
    xkrvlog::Capture capture;
    const std::string qp = write("qp.ds2", rec(100, 6));
    EXPECT_EQ(repair(qp, p("qp.dss")), VKT_ERR);
    EXPECT_TRUE(capture.contains_error(10, "QP/encryption requires DSS Pro"));
    EXPECT_EQ(repair(qp, p("qp.wav")), VKT_ERR);
    EXPECT_FALSE(file_exists(p("qp.dss")));

    Recording olympus = rec(100, 0);
    olympus.licensee = 2;
    EXPECT_EQ(repair(write("oly.dss", olympus), p("o.dss")), VKT_ERR_INVALID_CONTENT);
    EXPECT_FALSE(file_exists(p("o.dss")));

    // Long play is refused after the destination's headers were written;
    // the half-made copy is removed.
    EXPECT_EQ(repair(write("lp.dss", rec(100, 2)), p("lp_out.dss")), VKT_ERR_INVALID_CONTENT);
    EXPECT_TRUE(capture.contains_error(38, "invalid compression id"));
    EXPECT_FALSE(file_exists(p("lp_out.dss")));

    EXPECT_EQ(repair(p("missing.dss"), p("m.dss")), VKT_ERR_OPEN_FILE);
}
