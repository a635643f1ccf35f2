// ORVKTSplitMP3File on ten minutes of ffmpeg-made MP3 behind a hand-laid ID3v2 tag.
#include "convert/conv_files.h"
#include "support/disk_full.h"

using namespace orvkt_test;
using namespace conv_test;

namespace {

// A frame goes into the piece its start time falls in.
constexpr long frames_before(double seconds) { return static_cast<long>((seconds * 1000 + 71) / 72); }

class Mp3Split : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!have_program("ffmpeg")) return;
        dir_ = new TempDir;
        const std::string plain = ten_minutes_mp3(*dir_);
        tag_ = id3_tag_with_priv(header_image(600000, kMarkers));
        Bytes tagged = tag_;
        const Bytes frames = read_bytes(plain);
        tagged.insert(tagged.end(), frames.begin(), frames.end());
        tagged_ = dir_->path("tagged.mp3");
        write_bytes(tagged_, tagged);
    }
    static void TearDownTestSuite() { delete dir_; }
    void SetUp() override {
        ORVKT_REQUIRE_PROGRAM("ffmpeg");
        const Bytes file = read_bytes(tagged_);
        ASSERT_GT(file.size(), tag_.size());
        source_frames_.assign(file.begin() + static_cast<long>(tag_.size()), file.end());
    }
    // The source frame a piece starts with, if all its frames follow in order (else -1).
    long first_frame(const Bytes& frames) const {
        if (frames.size() % kFrameBytes != 0 || frames.size() > source_frames_.size()) return -1;
        for (size_t at = 0; at + frames.size() <= source_frames_.size(); at += kFrameBytes)
            if (std::memcmp(source_frames_.data() + at, frames.data(), kFrameBytes) == 0)
                return std::memcmp(source_frames_.data() + at, frames.data(), frames.size()) == 0
                           ? static_cast<long>(at / kFrameBytes)
                           : -1;
        return -1;
    }
    static inline const Markers kMarkers = {{50000, 70000}, {250000, 250500}, {590000, 599000}};
    static inline TempDir* dir_ = nullptr;
    static inline std::string tagged_;
    static inline Bytes tag_;
    Bytes source_frames_;
    TempDir out_;
};

}  // namespace

// Each header keeps header 1, states the piece's length and holds its markers from its start.
TEST_F(Mp3Split, PiecesHoldTheFramesAndMarkersOfTheirRange) {
    const struct {
        const char* mask;
        uint32_t length, count, pieces;
        std::vector<Markers> markers;    // per piece (none: not checked)
        std::vector<uint32_t> progress;  // reports (none: no callback)
    } rows[] = {
        // No piece starts after the end; a report per piece (n x 100 / count), then 100.
        {"p%02d.mp3", 240, 5, 3, {}, {20, 40, 60, 100}},
        // A marker across the split point is cut into both pieces.
        {"p%d.mp3", 60, 2, 2, {{{50000, 60000}}, {{0, 10000}, {190000, 190500}, {530000, 539000}}}, {}},
    };
    const long total = static_cast<long>(source_frames_.size() / kFrameBytes);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.length);
        TempDir out;
        ProgressLog log;
        uint32_t count = 0;
        ASSERT_EQ(ORVKTSplitMP3File(tagged_.c_str(), out.dir().c_str(), r.mask, r.length, 0, r.count, &count,
                                    r.progress.empty() ? nullptr : &ProgressLog::callback, log.user()),
                  0u);
        EXPECT_EQ(count, r.pieces);
        ASSERT_EQ(out.entries().size(), r.pieces);
        EXPECT_TRUE(r.progress.empty() || log.percents == r.progress);
        for (uint32_t n = 1; n <= r.pieces; ++n) {
            SCOPED_TRACE(n);
            char name[32];
            std::snprintf(name, sizeof name, r.mask, n);
            const Bytes b = read_bytes(out.path(name));
            ASSERT_GT(b.size(), tag_.size());
            const Bytes frames(b.begin() + static_cast<long>(tag_.size()), b.end());
            const double start = (n - 1.0) * r.length;
            const long first = frames_before(start), end = n == r.pieces ? total : frames_before(start + r.length);
            EXPECT_EQ(first_frame(frames), first);
            EXPECT_EQ(static_cast<long>(frames.size() / kFrameBytes), end - first);
            EXPECT_TRUE(std::equal(tag_.begin(), tag_.begin() + static_cast<long>(image_offset(tag_) + 512), b.begin()));
            const Bytes image(b.begin() + static_cast<long>(image_offset(b)), b.begin() + static_cast<long>(tag_.size()));
            const bool last = n == r.pieces;  // its length from the source's, within a few frames
            EXPECT_NEAR(get32(image, 512 + 18), last ? 600000 - start * 1000 : r.length * 1000, last ? 300 : 0);
            EXPECT_TRUE(r.markers.empty() || marker_list(image.data() + 1024) == r.markers[n - 1]);
        }
    }
}

TEST_F(Mp3Split, ACancelOrAFullDiskKeepsTheFinishedPieces) {
    ProgressLog progress;
    progress.cancel_at = 2;
    uint32_t count = 99;
    EXPECT_EQ(ORVKTSplitMP3File(tagged_.c_str(), out_.dir().c_str(), "p%d.mp3", 240, 0, 3, &count,
                                &ProgressLog::callback, progress.user()),
              VKT_CANCELLED);
    EXPECT_EQ(out_.entries(), std::vector<std::string>{"p1.mp3"});
    EXPECT_EQ(count, 1u);
    ASSERT_EQ(std::remove(out_.path("p1.mp3").c_str()), 0);
    // The first piece is about 242 KB, tag included.
    const uint32_t rc = with_disk_full_after(300000, [&] {
        return ORVKTSplitMP3File(tagged_.c_str(), out_.dir().c_str(), "p%d.mp3", 240, 0, 3, &count, nullptr, 0);
    });
    EXPECT_EQ(rc, VKT_ERR_WRITE_FILE);
    EXPECT_EQ(out_.entries(), std::vector<std::string>{"p1.mp3"});
    EXPECT_EQ(count, 1u);
}

TEST_F(Mp3Split, BadArgumentsAreRefusedBeforeAnythingIsWritten) {
    write_bytes(out_.path("text.mp3"), Bytes(3000, 'x'));  // not a recording at all
    const std::string dir = out_.dir();
    const struct {
        std::string src, dir;
        const char* mask;
        uint32_t length, overlap, code;
    } rows[] = {
        {tagged_, dir, "p%d.mp3", 60, 60, VKT_ERR},
        {tagged_, dir, "p%s.mp3", 60, 0, VKT_ERR},
        {tagged_, dir, "p%d_%d.mp3", 60, 0, VKT_ERR},
        {out_.path("missing.mp3"), dir, "p%d.mp3", 60, 0, VKT_ERR_OPEN_FILE},
        {out_.path("text.mp3"), dir, "p%d.mp3", 60, 0, VKT_ERR_OPEN_FILE},
        {tagged_, out_.path("no/such/folder"), "p%d.mp3", 60, 0, VKT_ERR_OPEN_FILE},
        {tagged_, dir_->dir(), "tagged.mp3", 60, 0, VKT_ERR},  // a mask that names the source
    };
    const Bytes before = read_bytes(tagged_);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.mask);
        EXPECT_EQ(ORVKTSplitMP3File(r.src.c_str(), r.dir.c_str(), r.mask, r.length, r.overlap, 2, nullptr, nullptr, 0),
                  r.code);
    }
    uint32_t count = 7;
    EXPECT_EQ(ORVKTSplitMP3File(tagged_.c_str(), dir.c_str(), "p%d.mp3", 60, 0, 0, &count, nullptr, 0), VKT_OK);
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(out_.entries(), std::vector<std::string>{"text.mp3"});
    EXPECT_EQ(read_bytes(tagged_), before);
}
