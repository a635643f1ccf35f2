// ID3v2 tags and the MP3 header image, against mutagen's tags
// (tests/data/make_metadata_fixtures.sh) and hand-made broken ones.
#include <algorithm>
#include <cstring>

#include "metadata/mp3_dictation_header.h"
#include "media/mp3_splitter.h"
#include "platform/id3v2.h"
#include "support/id3_bytes.h"
#include "support/test_support.h"

using namespace orvkt_test;
using namespace vkt::platform;
using Bytes = std::vector<uint8_t>;

namespace {

// Tag size of a file's ID3v2 header (10 + the 7-bit groups).
size_t tag_length(const Bytes& file) {
    return 10 + ((file[6] & 0x7F) << 21 | (file[7] & 0x7F) << 14 | (file[8] & 0x7F) << 7 | (file[9] & 0x7F));
}

// Our private frame's start: owner and version 0 of a 1536-byte image.
Bytes our_frame_start() { return id3_bytes::priv_frame(kDssPrivOwner, Bytes{0}, 1 + 1536); }

// The data of our private frame as mutagen reads it from the file.
Bytes mutagen_priv(const std::string& path) {
    const std::string script =
        "import sys\nfrom mutagen.id3 import ID3\n"
        "sys.stdout.buffer.write(b''.join(f.data for f in ID3(sys.argv[1]).getall('PRIV') if f.owner == sys.argv[2]))\n";
    auto r = run_command("/usr/bin/python3 -c " + shell_quote(script) + " " + shell_quote(path) + " " +
                             shell_quote(kDssPrivOwner),
                         false);
    EXPECT_EQ(r.status, 0);
    return Bytes(r.output.begin(), r.output.end());
}

bool have_mutagen() { return run_command("/usr/bin/python3 -c 'import mutagen'").status == 0; }

}  // namespace

TEST(Id3v2Reader, UnsynchronisedFramesAndBrokenSizes) {
    // 2.4 frame with its own unsynchronisation flag: FF 00 becomes FF.
    Bytes frame = {'T', 'E', 'S', 'T', 0, 0, 0, 5, 0, 0x02, 0xFF, 0x00, 0xE0, 'x', 'y'};
    Bytes tag = id3_bytes::tag(4, frame);
    Id3v2Tag t;
    ASSERT_EQ(parse_id3v2_tag(tag.data(), tag.size(), &t), Id3v2Status::Ok);
    ASSERT_EQ(t.frames.size(), 1u);
    EXPECT_EQ(t.frames[0].data, (Bytes{0xFF, 0xE0, 'x', 'y'}));

    Bytes top_bit = tag;
    top_bit[9] |= 0x80;
    EXPECT_EQ(parse_id3v2_tag(top_bit.data(), top_bit.size(), &t), Id3v2Status::NoTag);

    // A frame that claims more than the tag holds ends the list.
    Bytes big = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 20, 'T', 'I', 'T', '2', 0, 0, 1, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_EQ(parse_id3v2_tag(big.data(), big.size(), &t), Id3v2Status::Ok);
    EXPECT_TRUE(t.truncated);
    EXPECT_TRUE(t.frames.empty());
}

TEST(Mp3HeaderImage, ReadsTheImageMutagenWrote) {
    const Bytes image = read_bytes(data_path("dictation_header.bin"));
    ASSERT_EQ(image.size(), 1536u);
    for (const char* name : {"dictation_v23.mp3", "dictation_v24.mp3"}) {
        Bytes got(1536, 0xEE);
        ASSERT_EQ(CMP3Helper::ReadDSSHeaders(data_path(name).c_str(), got.data(), 1536), 0u) << name;
        EXPECT_EQ(got, image) << name;
        Bytes part(1024, 0xEE);
        ASSERT_EQ(CMP3Helper::ReadDSSHeaders(data_path(name).c_str(), part.data(), 1024), 0u);
        EXPECT_TRUE(std::equal(part.begin(), part.end(), image.begin()));
    }
    Bytes b(512);
    EXPECT_EQ(CMP3Helper::ReadDSSHeaders(data_path("dictation_v23.mp3").c_str(), b.data(), 500), 25u);
    EXPECT_EQ(CMP3Helper::ReadDSSHeaders(data_path("no_priv.mp3").c_str(), b.data(), 512), 47u);
    EXPECT_EQ(CMP3Helper::ReadDSSHeaders(data_path("ffmpeg_comment.wav").c_str(), b.data(), 512), 47u);
    EXPECT_EQ(CMP3Helper::ReadDSSHeaders("/nonexistent/x.mp3", b.data(), 512), 14u);
}

TEST(Mp3HeaderImage, RewriteInPlaceKeepsTheAudioAndMutagenAgrees) {
    if (!have_mutagen()) GTEST_SKIP() << "python3-mutagen missing";
    TempDir tmp;
    for (const char* name : {"dictation_v23.mp3", "dictation_v24.mp3"}) {
        const std::string path = tmp.path(name);
        write_bytes(path, read_bytes(data_path(name)));
        const Bytes before = read_bytes(path);
        Bytes image(1536);
        for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13 + 1);
        ASSERT_EQ(CMP3Helper::WriteDSSHeader(path.c_str(), image.data(), 1536), 0u) << name;
        const Bytes after = read_bytes(path);
        ASSERT_EQ(after.size(), before.size());
        const size_t tag_end = tag_length(before);
        EXPECT_TRUE(std::equal(before.begin() + tag_end, before.end(), after.begin() + tag_end))
            << "the audio behind the tag did not move";
        Bytes expect = image;
        expect.insert(expect.begin(), 0);  // version 0 before the image
        EXPECT_TRUE(mutagen_priv(path) == expect) << name;

        // A smaller image changes only the first blocks.
        Bytes first(512, 0x5A);
        ASSERT_EQ(CMP3Helper::WriteDSSHeader(path.c_str(), first.data(), 512), 0u);
        std::fill(expect.begin() + 1, expect.begin() + 513, 0x5A);
        EXPECT_TRUE(mutagen_priv(path) == expect) << name;
    }
}

TEST(Mp3HeaderImage, FilesWithoutAUsableFrameStayUnchanged) {
    TempDir tmp;
    // Our frame cut 100 bytes into its image; a tag larger than the file; a size
    // byte with its top bit set (no tag); an unsynchronised tag (other bytes than
    // the frame means).
    Bytes cut = our_frame_start(), whole = our_frame_start();
    cut.resize(cut.size() + 100, 0x44);
    whole.resize(whole.size() + 1536, 0x44);
    Bytes cut_file = id3_bytes::tag(3, cut);
    cut_file.resize(cut_file.size() + 64, 0xF0);  // stands for the audio
    Bytes top = id3_bytes::tag(3, whole), unsync = top;
    top[8] |= 0x80;
    unsync[5] = 0x80;
    const Bytes files[] = {read_bytes(data_path("no_priv.mp3")), cut_file,
                           id3_bytes::tag(3, whole, static_cast<uint32_t>(whole.size() + 4000)), top, unsync};
    const Bytes image(1536, 0x33);
    for (size_t i = 0; i < std::size(files); ++i) {
        const std::string path = tmp.path(std::to_string(i) + ".mp3");
        write_bytes(path, files[i]);
        EXPECT_EQ(CMP3Helper::WriteDSSHeader(path.c_str(), image.data(), 1536), 47u) << i;
        EXPECT_EQ(read_bytes(path), files[i]) << i;
    }
}
