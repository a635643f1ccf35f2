// ORVKTSplitMP3File on ten minutes of ffmpeg-made MP3 (8336 frames of 72
// bytes and 72 ms) behind a hand-laid ID3v2 tag: where the pieces start and
// end, checked against the source's bytes; the out count; the markers and
// the length in each piece's header; failures.
#include "media/mp3_splitter.h"

#include "convert/conv_files.h"
#include "support/disk_full.h"
#include "trace/xkrvlog_capture.h"

using namespace orvkt_test;
using namespace conv_test;

namespace {

// Frames that start before a time: a frame goes into each piece its start
// time falls in.
constexpr long frames_before(double seconds) { return static_cast<long>((seconds * 1000 + 71) / 72); }

class Mp3Split : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!have_program("ffmpeg")) return;
        dir_ = new TempDir;
        plain_ = ten_minutes_mp3(*dir_);
        tag_ = id3_tag_with_priv(header_image(600000, kMarkers));
        Bytes tagged = tag_;
        const Bytes frames = read_bytes(plain_);
        tagged.insert(tagged.end(), frames.begin(), frames.end());
        tagged_ = dir_->path("tagged.mp3");
        write_bytes(tagged_, tagged);
    }
    static void TearDownTestSuite() { delete dir_; }
    void SetUp() override {
        ORVKT_REQUIRE_PROGRAM("ffmpeg");
        ASSERT_FALSE(plain_.empty());
        source_frames_ = read_bytes(plain_);
    }
    // Index of the source frame a piece's audio starts with, checking that
    // all its frames follow the source's in order (-1 when they do not).
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
    static inline std::string plain_, tagged_;
    static inline Bytes tag_;
    Bytes source_frames_;
    TempDir out_;
};

}  // namespace

// Piece n holds the frames starting in [(n - 1) x (length - overlap),
// + length) seconds, the last one the rest; its header states that length
// and the markers cut to its range, counted from its start.
TEST_F(Mp3Split, PiecesHoldTheFramesAndMarkersOfTheirRange) {
    struct Row {
        const char* mask;
        bool tagged;
        uint32_t length, overlap, count, pieces;
        std::vector<Markers> markers;     // per piece (none: not checked)
        std::vector<uint32_t> progress;   // reports (none: no callback)
    };
    const Row rows[] = {
        {"piece%d.mp3", true, 240, 0, 2, 2, {{{50000, 70000}}, {{10000, 10500}, {350000, 359000}}}, {}},
        // No piece starts after the end; a report per piece (n x 100 / count), then 100.
        {"p%02d.mp3", true, 240, 0, 5, 3, {}, {20, 40, 60, 100}},
        {"p%d.mp3", true, 120, 20, 3, 3, {}, {}},
        // A marker across the split point is cut into both pieces.
        {"p%d.mp3", true, 60, 0, 2, 2, {{{50000, 60000}}, {{0, 10000}, {190000, 190500}, {530000, 539000}}}, {}},
        // 0, 300 and the two frames that start at 600 s; no tag, no header.
        {"p%d.mp3", false, 300, 0, 9, 3, {}, {}},
    };
    const long total = static_cast<long>(source_frames_.size() / kFrameBytes);
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.length) + "/" + std::to_string(r.overlap) + "/" + std::to_string(r.count));
        TempDir out;
        ProgressLog log;
        xkrvlog::Capture trace;
        uint32_t count = 0;
        ASSERT_EQ(ORVKTSplitMP3File((r.tagged ? tagged_ : plain_).c_str(), out.dir().c_str(), r.mask, r.length,
                                    r.overlap, r.count, &count, r.progress.empty() ? nullptr : &ProgressLog::callback,
                                    log.user()),
                  0u);
        EXPECT_EQ(count, r.pieces);
        ASSERT_EQ(out.entries().size(), r.pieces);
        if (!r.progress.empty()) EXPECT_EQ(log.percents, r.progress);
        const size_t tag = r.tagged ? tag_.size() : 0;
        for (uint32_t n = 1; n <= r.pieces; ++n) {
            SCOPED_TRACE(n);
            char name[32];
            std::snprintf(name, sizeof name, r.mask, n);
            const Bytes b = read_bytes(out.path(name));
            ASSERT_GT(b.size(), tag);
            const Bytes frames(b.begin() + static_cast<long>(tag), b.end());
            const double start = (n - 1.0) * (r.length - r.overlap);
            const long first = frames_before(start), end = n == r.pieces ? total : frames_before(start + r.length);
            EXPECT_EQ(first_frame(frames), first);
            EXPECT_EQ(static_cast<long>(frames.size() / kFrameBytes), end - first);
            if (!r.tagged) {
                EXPECT_EQ(b[0], 0xFF) << "a frame, no tag";
                continue;
            }
            // Header 1 is the source's (its six-character length stays);
            // header 2 has the piece's length.
            EXPECT_TRUE(std::equal(tag_.begin(), tag_.begin() + static_cast<long>(image_offset(tag_) + 512), b.begin()));
            const Bytes image(b.begin() + static_cast<long>(image_offset(b)), b.begin() + static_cast<long>(tag));
            if (n < r.pieces) EXPECT_EQ(get32(image, 512 + 18), r.length * 1000);
            else EXPECT_NEAR(get32(image, 512 + 18), 600000 - start * 1000, 300.0);
            if (!r.markers.empty()) EXPECT_EQ(marker_list(image.data() + 1024), r.markers[n - 1]);
        }
        if (!r.tagged) {
            EXPECT_TRUE(trace.contains("ORVKTReadSpokenInstructionMarkers failed in RecalculateSpokenInstructions"));
            EXPECT_TRUE(trace.contains("ReadZRM2HeaderDataToMemory failed in UpdateLength"));
        }
    }
}

// A cancel removes the piece being written, a full disk too; the finished
// pieces stay and are counted.
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
    // Nothing to do: no piece, and the count as it was.
    uint32_t count = 7;
    EXPECT_EQ(ORVKTSplitMP3File(tagged_.c_str(), dir.c_str(), "p%d.mp3", 60, 0, 0, &count, nullptr, 0), VKT_OK);
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(out_.entries(), std::vector<std::string>{"text.mp3"});
    EXPECT_EQ(read_bytes(tagged_), before);
}

// MPEG-2 layer III frames (16000 or 22050/s, 576 samples each) of a file,
// walked by the lengths their headers give, behind an ID3v2 tag and an
// encoder's information frame, which hold no audio.
struct Mpeg2Frames {
    Bytes audio;                // the frames back to back
    std::vector<size_t> start;  // offset of each frame in `audio`, and the end
    uint32_t rate = 0;
    size_t tag = 0;  // bytes of the ID3v2 tag
};
Mpeg2Frames mpeg2_frames(const Bytes& file) {
    static const uint32_t kKbps[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
    Mpeg2Frames f;
    if (file.size() >= 10 && std::memcmp(file.data(), "ID3", 3) == 0)
        f.tag = 10 + (size_t{file[6]} << 21 | size_t{file[7]} << 14 | size_t{file[8]} << 7 | file[9]);
    for (size_t at = f.tag; file.size() - at >= 4 && file[at] == 0xFF && (file[at + 1] & 0xF6) == 0xF2;) {
        f.rate = ((file[at + 2] >> 2) & 3) == 0 ? 22050 : 16000;
        const size_t length = 72000 * kKbps[file[at + 2] >> 4] / f.rate + ((file[at + 2] >> 1) & 1);
        if (length < 4 || file.size() - at < length) break;
        const Bytes head(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + std::min<size_t>(length, 48)));
        if (at != f.tag || !(contains(head, "Xing") || contains(head, "Info"))) {
            f.start.push_back(f.audio.size());
            f.audio.insert(f.audio.end(), file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + length));
        }
        at += length;
    }
    f.start.push_back(f.audio.size());
    return f;
}

TEST(Mp3SplitFrames, EveryFrameLandsInThePiecesWhoseRangeItStartsIn) {
    // Constant bit rate at 22050/s, where the padding bit changes from frame
    // to frame, and variable-bit-rate speech with LAME's information frame,
    // where every frame may have another bit rate.
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const std::string cbr = ffmpeg_make(tmp, "cbr.mp3",
                                        "-f lavfi -i anoisesrc=color=pink:amplitude=0.3:seed=5:sample_rate=22050:"
                                        "duration=20 -ac 1 -c:a libmp3lame -b:a 32k -write_xing 0 -id3v2_version 0");
    ASSERT_TRUE(write_speech_wav(tmp.path("speech.wav"), 16000));
    const std::string vbr = ffmpeg_make(tmp, "vbr.mp3", "-i " + shell_quote(tmp.path("speech.wav")) + " -c:a libmp3lame -q:a 6");
    ASSERT_FALSE(cbr.empty() || vbr.empty());
    for (const auto& [source, length, overlap, count] :
         {std::tuple{cbr, 5u, 0u, 4u}, {vbr, 2u, 0u, 9u}, {vbr, 3u, 2u, 9u}}) {
        SCOPED_TRACE(source + " " + std::to_string(length) + "/" + std::to_string(overlap));
        const Mpeg2Frames frames = mpeg2_frames(read_bytes(source));
        const size_t total = frames.start.size() - 1;
        ASSERT_GT(total, 100u);
        TempDir out;
        uint32_t made = 0;
        ASSERT_EQ(ORVKTSplitMP3File(source.c_str(), out.dir().c_str(), "p%d.mp3", length, overlap, count, &made,
                                    nullptr, 0),
                  0u);
        ASSERT_EQ(out.entries().size(), made);
        Bytes joined;
        for (uint32_t n = 1; n <= made; ++n) {
            SCOPED_TRACE(n);
            const uint64_t start = uint64_t{n - 1} * (length - overlap) * frames.rate;
            const size_t first = static_cast<size_t>((start + 575) / 576);
            const uint64_t stop = start + uint64_t{length} * frames.rate;
            const size_t end = n == made ? total : std::min<size_t>(total, static_cast<size_t>((stop + 575) / 576));
            ASSERT_LT(first, end) << "a piece without audio";
            const Bytes piece = read_bytes(out.path("p" + std::to_string(n) + ".mp3"));
            ASSERT_GE(piece.size(), frames.tag);
            EXPECT_TRUE(Bytes(piece.begin() + static_cast<long>(frames.tag), piece.end()) ==
                        Bytes(frames.audio.begin() + static_cast<long>(frames.start[first]),
                              frames.audio.begin() + static_cast<long>(frames.start[end])));
            joined.insert(joined.end(), piece.begin() + static_cast<long>(frames.tag), piece.end());
        }
        if (overlap == 0) EXPECT_TRUE(joined == frames.audio) << "the pieces together are the source's frames";
    }
}

TEST(Mp3PieceHeader, MarkersAreCutToTheRangeAndTheLengthWrittenToHeader2Only) {
    TempDir tmp;
    const std::string file = tmp.path("m.mp3");
    write_bytes(file, read_bytes(data_path("speech_header.mp3")));
    const Bytes before = read_bytes(file);
    const size_t at = image_offset(before);
    ASSERT_GT(at, 0u);
    // The fixture's markers: 1000-2500 and 5000-6000 ms. A marker ending
    // exactly at the start is kept with length 0; a range that touches no
    // marker leaves none. Only header 3 changes.
    const struct {
        uint32_t from, to;
        Markers markers;
    } steps[] = {{2000, 5500, {{0, 500}, {3000, 3500}}}, {500, 3500, {{0, 0}, {2500, 3000}}}, {10, 20, {}}};
    for (const auto& s : steps) {
        CMP3Splitter::RecalculateSpokenInstructions(file.c_str(), s.from, s.to);
        const Bytes after = read_bytes(file);
        ASSERT_EQ(after.size(), before.size());
        EXPECT_EQ(marker_list(after.data() + at + 1024), s.markers);
        EXPECT_TRUE(std::all_of(after.begin() + static_cast<long>(at + 1024 + 8 * s.markers.size()),
                                after.begin() + static_cast<long>(at + 1024 + 256), [](uint8_t b) { return b == 0xFF; }));
        EXPECT_TRUE(std::equal(before.begin(), before.begin() + static_cast<long>(at + 1024), after.begin()));
        EXPECT_TRUE(std::equal(before.begin() + static_cast<long>(at + kImage), before.end(),
                               after.begin() + static_cast<long>(at + kImage)));
    }
    const Bytes marked = read_bytes(file);
    CMP3Splitter::UpdateLength(file.c_str(), 0x01020304);
    Bytes expected = marked;
    const uint8_t length[4] = {4, 3, 2, 1};
    std::copy_n(length, 4, expected.begin() + static_cast<long>(at + 530));
    EXPECT_EQ(read_bytes(file), expected) << "header 2's length only; header 1's six characters stay";

    // A file without our frame only gets a warning.
    write_bytes(tmp.path("plain.mp3"), read_bytes(data_path("speech_mono.mp3")));
    xkrvlog::Capture trace;
    CMP3Splitter::UpdateLength(tmp.path("plain.mp3").c_str(), 5);
    EXPECT_TRUE(trace.contains("ReadZRM2HeaderDataToMemory failed in UpdateLength"));
    EXPECT_EQ(read_bytes(tmp.path("plain.mp3")), read_bytes(data_path("speech_mono.mp3")));
}

TEST(Mp3FrameReference, SyncVersionLayerAndRateMustAgree) {
    // MPEG-2 layer III, no CRC, 32 kbit/s, 16000/s, no padding, mono.
    const uint32_t reference = 0xFFF348C4u;  // the header in stream byte order
    constexpr int kNo = 0, kYes = 1, kUnchecked = -1;
    const struct {
        uint32_t header;
        int matches, valid;
        const char* what;
    } rows[] = {
        {0xFFF348C4, kYes, kYes, "itself"},
        {0xFFF248C4, kYes, kUnchecked, "CRC bit"},
        {0xFFF349C4, kYes, kUnchecked, "private bit"},
        {0xFFF34AC4, kYes, kUnchecked, "padding"},
        {0xFFF398C4, kYes, kUnchecked, "bit rate"},
        {0xFFF34844, kYes, kUnchecked, "mode"},
        {0xFFF344C4, kNo, kUnchecked, "rate"},
        {0xFFFB48C4, kNo, kUnchecked, "version"},
        {0xFFE348C4, kNo, kUnchecked, "MPEG 2.5"},
        {0xFFF548C4, kNo, kUnchecked, "layer"},
        {0xFEF348C4, kNo, kNo, "sync"},
        {0xFFEB48C4, kUnchecked, kNo, "reserved version"},
        {0xFFF148C4, kUnchecked, kNo, "reserved layer"},
        {0xFFF308C4, kUnchecked, kNo, "free bit rate"},
        {0xFFF3F8C4, kUnchecked, kNo, "bit rate 15"},
        {0xFFF34CC4, kUnchecked, kNo, "rate index 3"},
    };
    for (const auto& r : rows) {
        const uint8_t h[4] = {uint8_t(r.header >> 24), uint8_t(r.header >> 16), uint8_t(r.header >> 8), uint8_t(r.header)};
        if (r.matches != kUnchecked) EXPECT_EQ(CMP3Splitter::MatchesReferenceFrameHeader(h, reference), r.matches == kYes) << r.what;
        if (r.valid != kUnchecked) EXPECT_EQ(CMP3Splitter::IsReferenceFrameHeader(h), r.valid == kYes) << r.what;
    }
}
