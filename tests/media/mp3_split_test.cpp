// ORVKTSplitMP3File on ten minutes of ffmpeg-made MP3 (8336 frames of 72
// bytes and 72 ms) behind a hand-laid ID3v2 tag: where the pieces start and
// end, checked against the source's bytes; the out count; the markers and
// the length in each piece's header; failures.
#include "media/mp3_splitter.h"

#include "OrvaneVktapi.h"
#include "media/media_files.h"
#include "platform/fileio.h"
#include "trace/xkrvlog_capture.h"
#include "support/disk_full.h"

using namespace orvkt_test;
using namespace media_test;
using conv_test::ProgressLog;

namespace {

using Markers = std::vector<std::pair<uint32_t, uint32_t>>;

class Mp3Split : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!have_program("ffmpeg")) return;
        dir_ = new TempDir;
        plain_ = ten_minutes_mp3(*dir_);
        if (plain_.empty()) return;
        tag_ = id3_tag_with_priv(header_image(600000, kMarkers));
        Bytes tagged = tag_;
        const Bytes frames = read_bytes(plain_);
        tagged.insert(tagged.end(), frames.begin(), frames.end());
        tagged_ = dir_->path("tagged.mp3");
        write_bytes(tagged_, tagged);
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    void SetUp() override {
        ORVKT_REQUIRE_PROGRAM("ffmpeg");
        ASSERT_FALSE(plain_.empty());
        source_frames_ = read_bytes(plain_);
    }

    // The piece's bytes behind its tag (the tag is checked to be the source's).
    Bytes frames_of(const std::string& piece, bool with_tag = true) const {
        Bytes b = read_bytes(piece);
        if (!with_tag) return b;
        EXPECT_GE(b.size(), tag_.size());
        EXPECT_TRUE(std::equal(tag_.begin(), tag_.begin() + 10, b.begin())) << "tag header copied";
        return Bytes(b.begin() + static_cast<long>(tag_.size()), b.end());
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
    // The header image inside a piece.
    static Bytes image_of(const std::string& piece) {
        const Bytes b = read_bytes(piece);
        const size_t at = image_offset(b);
        EXPECT_GT(at, 0u);
        if (at == 0 || b.size() - at < kImage) return Bytes(kImage, 0);
        return Bytes(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + kImage));
    }
    static uint32_t length_ms(const Bytes& image) { return get32(image, 512 + 18); }

    static inline const Markers kMarkers = {{50000, 70000}, {250000, 250500}, {590000, 599000}};
    static inline TempDir* dir_ = nullptr;
    static inline std::string plain_;
    static inline std::string tagged_;
    static inline Bytes tag_;
    Bytes source_frames_;
    TempDir out_;
};

constexpr long frames_before(double seconds) { return static_cast<long>((seconds * 1000 + 71) / 72); }

}  // namespace

TEST_F(Mp3Split, CountTwoGivesFourMinutesAndTheRest) {
    uint32_t count = 0;
    ASSERT_EQ(ORVKTSplitMP3File(tagged_.c_str(), out_.dir().c_str(), "piece%d.mp3", 240, 0, 2, &count, nullptr, 0),
              0u);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(out_.entries(), (std::vector<std::string>{"piece1.mp3", "piece2.mp3"}));
    const Bytes one = frames_of(out_.path("piece1.mp3"));
    const Bytes two = frames_of(out_.path("piece2.mp3"));
    // Frames starting before 240 s go into the first piece, all others into
    // the second: together they are the source's frames, none twice.
    EXPECT_EQ(first_frame(one), 0);
    EXPECT_EQ(static_cast<long>(one.size() / kFrameBytes), frames_before(240));
    EXPECT_EQ(first_frame(two), frames_before(240));
    EXPECT_EQ(one.size() + two.size(), source_frames_.size());

    const Bytes image1 = image_of(out_.path("piece1.mp3"));
    const Bytes image2 = image_of(out_.path("piece2.mp3"));
    EXPECT_EQ(length_ms(image1), 240000u);
    EXPECT_NEAR(length_ms(image2), 360000.0, 300.0);
    EXPECT_EQ(markers_of(image1.data()), (Markers{{50000, 70000}}));
    EXPECT_EQ(markers_of(image2.data()), (Markers{{10000, 10500}, {350000, 359000}}));
    // Header 1 is the source's: its six-character length stays.
    const Bytes source_image = header_image(600000, kMarkers);
    EXPECT_TRUE(std::equal(image1.begin(), image1.begin() + 512, source_image.begin()));
}

TEST_F(Mp3Split, NoPieceStartsAfterTheEnd) {
    uint32_t count = 0;
    ProgressLog progress;
    ASSERT_EQ(ORVKTSplitMP3File(tagged_.c_str(), out_.dir().c_str(), "p%02d.mp3", 240, 0, 5, &count,
                                &ProgressLog::callback, progress.user()),
              0u);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(out_.entries(), (std::vector<std::string>{"p01.mp3", "p02.mp3", "p03.mp3"}));
    EXPECT_EQ(first_frame(frames_of(out_.path("p03.mp3"))), frames_before(480));
    EXPECT_EQ(length_ms(image_of(out_.path("p02.mp3"))), 240000u);
    EXPECT_NEAR(length_ms(image_of(out_.path("p03.mp3"))), 120000.0, 300.0);
    // A report per piece (piece number x 100 / count), then 100.
    EXPECT_EQ(progress.percents, (std::vector<uint32_t>{20, 40, 60, 100}));
}

TEST_F(Mp3Split, OverlappingPiecesStartEvery100Seconds) {
    uint32_t count = 0;
    ASSERT_EQ(ORVKTSplitMP3File(tagged_.c_str(), out_.dir().c_str(), "p%d.mp3", 120, 20, 3, &count, nullptr, 0),
              0u);
    EXPECT_EQ(count, 3u);
    const long starts[] = {0, frames_before(100), frames_before(200)};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const std::string piece = out_.path("p" + std::to_string(i + 1) + ".mp3");
        const Bytes frames = frames_of(piece);
        EXPECT_EQ(first_frame(frames), starts[i]);
        if (i < 2) {
            EXPECT_EQ(static_cast<long>(frames.size() / kFrameBytes), frames_before(starts[i] * 0.072 + 120) - starts[i]);
            EXPECT_EQ(length_ms(image_of(piece)), 120000u);
        }
    }
    // The last piece takes the rest.
    EXPECT_EQ(first_frame(frames_of(out_.path("p3.mp3"))) + static_cast<long>(frames_of(out_.path("p3.mp3")).size() / kFrameBytes),
              static_cast<long>(source_frames_.size() / kFrameBytes));
}

TEST_F(Mp3Split, AMarkerAcrossTheSplitPointIsCutIntoBothPieces) {
    ASSERT_EQ(ORVKTSplitMP3File(tagged_.c_str(), out_.dir().c_str(), "p%d.mp3", 60, 0, 2, nullptr, nullptr, 0), 0u);
    EXPECT_EQ(markers_of(image_of(out_.path("p1.mp3")).data()), (Markers{{50000, 60000}}));
    EXPECT_EQ(markers_of(image_of(out_.path("p2.mp3")).data()),
              (Markers{{0, 10000}, {190000, 190500}, {530000, 539000}}));
    EXPECT_EQ(length_ms(image_of(out_.path("p1.mp3"))), 60000u);
}

TEST_F(Mp3Split, ASourceWithoutTagGivesPiecesWithoutTag) {
    xkrvlog::Capture trace;
    uint32_t count = 0;
    ASSERT_EQ(ORVKTSplitMP3File(plain_.c_str(), out_.dir().c_str(), "p%d.mp3", 300, 0, 9, &count, nullptr, 0), 0u);
    EXPECT_EQ(count, 3u) << "0, 300 and the two frames that start at 600 s";
    const Bytes one = frames_of(out_.path("p1.mp3"), false);
    ASSERT_GE(one.size(), 2u);
    EXPECT_EQ(one[0], 0xFF);
    EXPECT_EQ(one[1] & 0xE0, 0xE0);
    EXPECT_EQ(first_frame(one), 0);
    EXPECT_EQ(first_frame(frames_of(out_.path("p3.mp3"), false)), frames_before(600));
    EXPECT_TRUE(trace.contains("ORVKTReadSpokenInstructionMarkers failed in RecalculateSpokenInstructions"));
    EXPECT_TRUE(trace.contains("ReadZRM2HeaderDataToMemory failed in UpdateLength"));
}

TEST_F(Mp3Split, ACancelRemovesThePieceBeingWritten) {
    ProgressLog progress;
    progress.cancel_at = 2;
    uint32_t count = 99;
    EXPECT_EQ(ORVKTSplitMP3File(tagged_.c_str(), out_.dir().c_str(), "p%d.mp3", 240, 0, 3, &count,
                                &ProgressLog::callback, progress.user()),
              2u);
    EXPECT_EQ(out_.entries(), std::vector<std::string>{"p1.mp3"}) << "the finished piece stays";
    EXPECT_EQ(count, 1u);
}

TEST_F(Mp3Split, AFullDiskKeepsTheFinishedPieces) {
    uint32_t count = 0;
    // The first piece is about 242 KB, tag included.
    const uint32_t rc = with_disk_full_after(300000, [&] {
        return ORVKTSplitMP3File(tagged_.c_str(), out_.dir().c_str(), "p%d.mp3", 240, 0, 3, &count, nullptr, 0);
    });
    EXPECT_EQ(rc, 15u);
    EXPECT_EQ(out_.entries(), std::vector<std::string>{"p1.mp3"});
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(first_frame(frames_of(out_.path("p1.mp3"))), 0);
}

TEST_F(Mp3Split, BadArgumentsAreRefusedBeforeAnythingIsWritten) {
    const char* dir = out_.dir().c_str();
    const char* src = tagged_.c_str();
    EXPECT_EQ(ORVKTSplitMP3File(src, dir, "p%d.mp3", 60, 60, 2, nullptr, nullptr, 0), 10u);
    EXPECT_EQ(ORVKTSplitMP3File(src, dir, "p%s.mp3", 60, 0, 2, nullptr, nullptr, 0), 10u);
    EXPECT_EQ(ORVKTSplitMP3File(src, dir, "p%d_%d.mp3", 60, 0, 2, nullptr, nullptr, 0), 10u);
    EXPECT_EQ(ORVKTSplitMP3File(out_.path("missing.mp3").c_str(), dir, "p%d.mp3", 60, 0, 2, nullptr, nullptr, 0),
              14u);
    // Nothing to do: no piece.
    uint32_t count = 7;
    EXPECT_EQ(ORVKTSplitMP3File(src, dir, "p%d.mp3", 60, 0, 0, &count, nullptr, 0), 0u);
    EXPECT_EQ(count, 7u);
    EXPECT_TRUE(out_.entries().empty());

    {
        xkrvlog::Capture trace;
        EXPECT_EQ(ORVKTSplitMP3File(src, out_.path("no/such/folder").c_str(), "p%d.mp3", 60, 0, 2, nullptr, nullptr, 0),
                  14u);
        EXPECT_TRUE(trace.contains("cannot create output file"));
    }
    // A mask that names the source: the source is not touched.
    const Bytes before = read_bytes(tagged_);
    EXPECT_EQ(ORVKTSplitMP3File(src, dir_->dir().c_str(), "tagged.mp3", 60, 0, 2, nullptr, nullptr, 0), 10u);
    EXPECT_EQ(read_bytes(tagged_), before);
    // Not a recording at all.
    write_bytes(out_.path("text.mp3"), Bytes(3000, 'x'));
    EXPECT_EQ(ORVKTSplitMP3File(out_.path("text.mp3").c_str(), dir, "p%d.mp3", 60, 0, 2, nullptr, nullptr, 0), 14u);
    EXPECT_EQ(out_.entries(), std::vector<std::string>{"text.mp3"});
}

// MPEG-2 layer III frames (16000 or 22050/s, 576 samples each) of a file,
// walked by the lengths their headers give, behind an ID3v2 tag and an
// encoder's information frame, which hold no audio.
struct Mpeg2Frames {
    Bytes audio;                // the frames back to back
    std::vector<size_t> start;  // offset of each frame in `audio`, and the end
    uint32_t rate = 0;
};
Mpeg2Frames mpeg2_frames(const Bytes& file) {
    static const uint32_t kKbps[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
    Mpeg2Frames f;
    size_t at = file.size() >= 10 && std::memcmp(file.data(), "ID3", 3) == 0
                    ? 10 + (size_t{file[6]} << 21 | size_t{file[7]} << 14 | size_t{file[8]} << 7 | file[9])
                    : 0;
    bool first = true;
    while (file.size() - at >= 4 && file[at] == 0xFF && (file[at + 1] & 0xF6) == 0xF2) {
        f.rate = ((file[at + 2] >> 2) & 3) == 0 ? 22050 : 16000;
        const size_t length = 72000 * kKbps[file[at + 2] >> 4] / f.rate + ((file[at + 2] >> 1) & 1);
        if (length < 4 || file.size() - at < length) break;
        const Bytes head(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + std::min<size_t>(length, 48)));
        const bool info = first && (contains(head, "Xing") || contains(head, "Info"));
        if (!info) {
            f.start.push_back(f.audio.size());
            f.audio.insert(f.audio.end(), file.begin() + static_cast<long>(at),
                           file.begin() + static_cast<long>(at + length));
        }
        first = false;
        at += length;
    }
    f.start.push_back(f.audio.size());
    return f;
}

// The bytes of a piece behind its copy of the source's ID3v2 tag.
Bytes without_tag(const Bytes& piece, size_t tag_size) {
    return piece.size() < tag_size ? Bytes() : Bytes(piece.begin() + static_cast<long>(tag_size), piece.end());
}

TEST(Mp3SplitFrames, EveryFrameLandsInThePiecesWhoseRangeItStartsIn) {
    // Constant bit rate at 22050/s, where the padding bit changes from frame
    // to frame, and variable-bit-rate speech with LAME's information frame,
    // where every frame may have another bit rate. A frame goes into each
    // piece its start time falls in; no frame is dropped at a piece's start.
    ORVKT_REQUIRE_PROGRAM("ffmpeg");
    ORVKT_REQUIRE_PROGRAM("espeak-ng");
    TempDir tmp;
    const std::string cbr = ffmpeg_make(tmp, "cbr.mp3",
                                        "-f lavfi -i anoisesrc=color=pink:amplitude=0.3:seed=5:sample_rate=22050:"
                                        "duration=20 -ac 1 -c:a libmp3lame -b:a 32k -write_xing 0 -id3v2_version 0");
    ASSERT_FALSE(cbr.empty());
    const auto speech = speech_samples(conv_test::kSpeechText, 16000);
    ASSERT_FALSE(speech.empty());
    conv_test::write_pcm16_wav(tmp.path("speech.wav"), speech, 16000);
    const std::string vbr =
        ffmpeg_make(tmp, "vbr.mp3", "-i " + shell_quote(tmp.path("speech.wav")) + " -c:a libmp3lame -q:a 6");
    ASSERT_FALSE(vbr.empty());

    struct Case {
        const char* name;
        std::string source;
        uint32_t length, overlap, count;
    };
    const Case cases[] = {
        {"constant bit rate", cbr, 5, 0, 4},
        {"variable bit rate", vbr, 2, 0, 9},
        {"variable bit rate, overlapping", vbr, 3, 2, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes source = read_bytes(c.source);
        const Mpeg2Frames frames = mpeg2_frames(source);
        const size_t total = frames.start.size() - 1;
        ASSERT_GT(total, 100u);
        TempDir out;
        uint32_t count = 0;
        ASSERT_EQ(ORVKTSplitMP3File(c.source.c_str(), out.dir().c_str(), "p%d.mp3", c.length, c.overlap, c.count,
                                    &count, nullptr, 0),
                  0u);
        ASSERT_EQ(out.entries().size(), count);
        size_t tag_size = 0;
        if (source[0] == 'I') tag_size = 10 + (size_t{source[6]} << 21 | size_t{source[7]} << 14 | size_t{source[8]} << 7 | source[9]);
        Bytes joined;
        for (uint32_t n = 1; n <= count; ++n) {
            SCOPED_TRACE(n);
            // Frames whose start lies in [start, start + length) seconds; the
            // last piece to the end.
            const uint64_t start = uint64_t{n - 1} * (c.length - c.overlap) * frames.rate;
            const size_t first = static_cast<size_t>((start + 575) / 576);
            const uint64_t stop = start + uint64_t{c.length} * frames.rate;
            const size_t end = n == count ? total : std::min<size_t>(total, static_cast<size_t>((stop + 575) / 576));
            ASSERT_LT(first, end) << "a piece without audio";
            const Bytes piece = without_tag(read_bytes(out.path("p" + std::to_string(n) + ".mp3")), tag_size);
            EXPECT_EQ(piece.size(), frames.start[end] - frames.start[first]);
            EXPECT_TRUE(piece == Bytes(frames.audio.begin() + static_cast<long>(frames.start[first]),
                                       frames.audio.begin() + static_cast<long>(frames.start[end])));
            if (c.overlap == 0) joined.insert(joined.end(), piece.begin(), piece.end());
        }
        if (c.overlap == 0) {
            EXPECT_TRUE(joined == frames.audio) << "the pieces together are the source's frames";
        }
    }
}

TEST(Mp3PieceHeader, MarkersAreCutToTheRangeAndCountedFromItsStart) {
    TempDir tmp;
    const std::string file = tmp.path("m.mp3");
    write_bytes(file, read_bytes(data_path("speech_header.mp3")));
    const Bytes before = read_bytes(file);
    // The fixture's markers: 1000-2500 and 5000-6000 ms.
    CMP3Splitter::RecalculateSpokenInstructions(file.c_str(), 2000, 5500);
    Bytes after = read_bytes(file);
    ASSERT_EQ(after.size(), before.size());
    const size_t at = image_offset(after);
    ASSERT_GT(at, 0u);
    EXPECT_EQ(markers_of(after.data() + at), (Markers{{0, 500}, {3000, 3500}}));
    // Unused entries are all 0xFF.
    for (size_t i = at + 1024 + 16; i < at + 1024 + 256; ++i) ASSERT_EQ(after[i], 0xFF) << i;
    // Only header 3 changed: the audio and headers 1 and 2 are as they were.
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + static_cast<long>(at + 1024), after.begin()));
    EXPECT_TRUE(std::equal(before.begin() + static_cast<long>(at + kImage), before.end(),
                           after.begin() + static_cast<long>(at + kImage)));

    // A marker ending exactly at the start is kept with length 0; a range
    // that touches no marker leaves none.
    CMP3Splitter::RecalculateSpokenInstructions(file.c_str(), 500, 3500);
    after = read_bytes(file);
    EXPECT_EQ(markers_of(after.data() + at), (Markers{{0, 0}, {2500, 3000}}));
    CMP3Splitter::RecalculateSpokenInstructions(file.c_str(), 10, 20);
    after = read_bytes(file);
    EXPECT_TRUE(markers_of(after.data() + at).empty());
}

TEST(Mp3PieceHeader, UpdateLengthWritesHeader2Only) {
    TempDir tmp;
    const std::string file = tmp.path("m.mp3");
    write_bytes(file, read_bytes(data_path("speech_header.mp3")));
    const Bytes before = read_bytes(file);
    CMP3Splitter::UpdateLength(file.c_str(), 0x01020304);
    const Bytes after = read_bytes(file);
    ASSERT_EQ(after.size(), before.size());
    const size_t at = image_offset(after);
    ASSERT_GT(at, 0u);
    EXPECT_EQ(after[at + 530], 0x04);
    EXPECT_EQ(after[at + 531], 0x03);
    EXPECT_EQ(after[at + 532], 0x02);
    EXPECT_EQ(after[at + 533], 0x01);
    size_t changed = 0;
    for (size_t i = 0; i < after.size(); ++i) changed += after[i] != before[i];
    EXPECT_LE(changed, 4u);
    EXPECT_EQ(std::string(after.begin() + static_cast<long>(at + 62), after.begin() + static_cast<long>(at + 68)),
              "000130")
        << "the six-character length of header 1 is not changed";

    // A file without our frame only gets a warning.
    write_bytes(tmp.path("plain.mp3"), read_bytes(data_path("speech_mono.mp3")));
    xkrvlog::Capture trace;
    CMP3Splitter::UpdateLength(tmp.path("plain.mp3").c_str(), 5);
    EXPECT_TRUE(trace.contains("ReadZRM2HeaderDataToMemory failed in UpdateLength"));
    EXPECT_EQ(read_bytes(tmp.path("plain.mp3")), read_bytes(data_path("speech_mono.mp3")));
}

TEST(Mp3FrameReference, SyncVersionLayerAndRateMustAgree) {
    // MPEG-2 layer III, no CRC, 32 kbit/s, 16000/s, no padding, mono.
    const uint8_t ref[4] = {0xFF, 0xF3, 0x48, 0xC4};
    ASSERT_TRUE(CMP3Splitter::IsReferenceFrameHeader(ref));
    const uint32_t word = 0xFFF348C4u;  // the header in stream byte order
    auto with = [](std::initializer_list<uint8_t> b) { return std::vector<uint8_t>(b); };
    EXPECT_TRUE(CMP3Splitter::MatchesReferenceFrameHeader(ref, word));
    EXPECT_TRUE(CMP3Splitter::MatchesReferenceFrameHeader(with({0xFF, 0xF2, 0x48, 0xC4}).data(), word)) << "CRC bit";
    EXPECT_TRUE(CMP3Splitter::MatchesReferenceFrameHeader(with({0xFF, 0xF3, 0x49, 0xC4}).data(), word)) << "private bit";
    EXPECT_TRUE(CMP3Splitter::MatchesReferenceFrameHeader(with({0xFF, 0xF3, 0x4A, 0xC4}).data(), word)) << "padding";
    EXPECT_TRUE(CMP3Splitter::MatchesReferenceFrameHeader(with({0xFF, 0xF3, 0x98, 0xC4}).data(), word)) << "bit rate";
    EXPECT_TRUE(CMP3Splitter::MatchesReferenceFrameHeader(with({0xFF, 0xF3, 0x48, 0x44}).data(), word)) << "mode";
    EXPECT_FALSE(CMP3Splitter::MatchesReferenceFrameHeader(with({0xFF, 0xF3, 0x44, 0xC4}).data(), word)) << "rate";
    EXPECT_FALSE(CMP3Splitter::MatchesReferenceFrameHeader(with({0xFF, 0xFB, 0x48, 0xC4}).data(), word)) << "version";
    EXPECT_FALSE(CMP3Splitter::MatchesReferenceFrameHeader(with({0xFF, 0xE3, 0x48, 0xC4}).data(), word)) << "MPEG 2.5";
    EXPECT_FALSE(CMP3Splitter::MatchesReferenceFrameHeader(with({0xFF, 0xF5, 0x48, 0xC4}).data(), word)) << "layer";
    EXPECT_FALSE(CMP3Splitter::MatchesReferenceFrameHeader(with({0xFE, 0xF3, 0x48, 0xC4}).data(), word)) << "sync";

    EXPECT_FALSE(CMP3Splitter::IsReferenceFrameHeader(with({0xFF, 0xEB, 0x48, 0xC4}).data())) << "reserved version";
    EXPECT_FALSE(CMP3Splitter::IsReferenceFrameHeader(with({0xFF, 0xF1, 0x48, 0xC4}).data())) << "reserved layer";
    EXPECT_FALSE(CMP3Splitter::IsReferenceFrameHeader(with({0xFF, 0xF3, 0x08, 0xC4}).data())) << "free bit rate";
    EXPECT_FALSE(CMP3Splitter::IsReferenceFrameHeader(with({0xFF, 0xF3, 0xF8, 0xC4}).data())) << "bit rate 15";
    EXPECT_FALSE(CMP3Splitter::IsReferenceFrameHeader(with({0xFF, 0xF3, 0x4C, 0xC4}).data())) << "rate index 3";
    EXPECT_FALSE(CMP3Splitter::IsReferenceFrameHeader(with({0xFE, 0xF3, 0x48, 0xC4}).data())) << "sync";
}
