// WAV sources as users have them, not only as we write them: a recording
// whose data chunk was never patched, a cue that falls inside a rate
// change's unit and an INFO list behind a list of labels: nothing a source
// holds may be lost. (Hostile format fields: tests/cli/convert_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "OrvaneVktapi.h"
#include "conv_files.h"
#include "support/test_support.h"
#include "convert/format_queries.h"

using namespace conv_test;
using orvkt_test::read_bytes;
using orvkt_test::TempDir;
using orvkt_test::write_bytes;

namespace {

// A RIFF form with `chunk` appended behind everything it holds.
Bytes with_chunk(Bytes file, const char* id, const Bytes& body) {
    put_id(file, id);
    put32(file, static_cast<uint32_t>(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    if (body.size() % 2) file.push_back(0);
    const uint32_t riff = static_cast<uint32_t>(file.size() - 8);
    std::memcpy(file.data() + 4, &riff, 4);
    return file;
}

// The ids of the sub-chunks of a LIST content (behind its type).
std::vector<std::string> sub_chunk_ids(const Bytes& list) {
    std::vector<std::string> ids;
    for (size_t at = 0; list.size() - at >= 8;) {
        ids.emplace_back(list.begin() + static_cast<long>(at), list.begin() + static_cast<long>(at + 4));
        const uint32_t size = get32(list, at + 4);
        at += 8 + size + (size % 2);
        if (at > list.size()) break;
    }
    return ids;
}

}  // namespace

// A recording that was never finished: its data chunk claims 20 s, the
// file holds 12.2 s. Every conversion and the length query take what is
// there; the last step is no longer dropped.
TEST(WavSources, DataClaimingMoreThanTheFileHoldsIsConvertedAsFarAsItGoes) {
    TempDir tmp;
    const std::string src = tmp.path("unfinished.wav");
    Bytes file = wav_bytes(pcm_format(16000), samples_to_bytes(sine(300, 16000, 195200)));
    const uint32_t claim = 20 * 32000;
    std::memcpy(file.data() + 40, &claim, 4);  // the data size behind a 16-byte fmt chunk
    write_bytes(src, file);

    uint32_t ms = 0;
    ASSERT_EQ(ORVKTWAVGetSndDataLength(src.c_str(), &ms), VKT_OK);
    EXPECT_EQ(ms, 12200u);

    const WAVEFORMATEX pcm8k = pcm_format(8000);
    ASSERT_EQ(ORVKTWAVToWAV(src.c_str(), tmp.path("8k.wav").c_str(), &pcm8k, nullptr, 0), VKT_OK);
    const ParsedWav out = parse_wav(tmp.path("8k.wav"));
    ASSERT_TRUE(out.ok);
    EXPECT_NEAR(out.data.size() / 16.0, 12200.0, 1.0) << "ms at 8000 samples of 2 bytes";

    const WAVEFORMATEX qp = qp_format();
    ASSERT_EQ(ORVKTWAVToDSS(src.c_str(), tmp.path("q.ds2").c_str(), &qp, 3, nullptr, 0), VKT_OK);
    ZRM2HeaderInfo info{};
    info.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    ASSERT_EQ(ORVKTReadZRM2Header(tmp.path("q.ds2").c_str(), &info), VKT_OK);
    EXPECT_NEAR(info.dwLengthMs, 12200.0, 16.0) << "within a frame of 16 ms";
}

// 44100 to 8000/s converts in units of 441 samples. A cue that falls inside
// one loses nothing: the audio is that of the same file without the cue,
// and the new cue sits on the click the source has at its cue.
TEST(WavSources, ACuePointCostsNoSampleAndLandsOnItsTime) {
    TempDir tmp;
    const uint32_t cue_sample = 30001;  // inside the unit of samples 29988 to 30428
    std::vector<int16_t> samples(44100 * 2, 0);
    samples[cue_sample] = 30000;
    const WAVEFORMATEX want = pcm_format(8000);
    write_pcm16_wav(tmp.path("plain.wav"), samples, 44100);
    ASSERT_EQ(ORVKTWAVToWAV(tmp.path("plain.wav").c_str(), tmp.path("plain8k.wav").c_str(), &want, nullptr, 0),
              VKT_OK);
    Extras extras;
    extras.cue = true;
    extras.cue_byte = 2 * cue_sample;
    write_pcm16_wav(tmp.path("cue.wav"), samples, 44100, extras);
    ASSERT_EQ(ORVKTWAVToWAV(tmp.path("cue.wav").c_str(), tmp.path("cue8k.wav").c_str(), &want, nullptr, 0), VKT_OK);

    const ParsedWav plain = parse_wav(tmp.path("plain8k.wav"));
    const ParsedWav cued = parse_wav(tmp.path("cue8k.wav"));
    ASSERT_TRUE(plain.ok && cued.ok);
    EXPECT_TRUE(cued.data == plain.data) << cued.data.size() << " bytes against " << plain.data.size();
    ASSERT_TRUE(cued.has_cue);
    const double exact = cue_sample * 8000.0 / 44100.0;  // 5442.35
    EXPECT_NEAR(cued.cue_position, exact, 1.0);
    EXPECT_EQ(cued.cue_block_start, 2 * cued.cue_position);
    // The click itself comes out a little later: the rate change's filters
    // delay everything by about half a millisecond.
    const auto out = cued.samples();
    const auto peak = std::max_element(out.begin(), out.end()) - out.begin();
    EXPECT_NEAR(static_cast<double>(peak), exact, 8.0) << "the click, within 1 ms";
}

// Other programs put a list of labels ("adtl") before the INFO list that
// carries the dictation header (ICMT) and the markers (IKEY). The INFO list
// is the one carried into the destination, whatever the labels' size.
TEST(WavSources, TheInfoListBehindAListOfLabelsIsCarried) {
    for (const size_t labels : {size_t{6}, size_t{4000}}) {
        SCOPED_TRACE(labels);
        TempDir tmp;
        const std::string src = tmp.path("labelled.wav"), dst = tmp.path("out.wav");
        Bytes adtl;
        put_id(adtl, "adtl");
        put_id(adtl, "labl");
        put32(adtl, static_cast<uint32_t>(labels));
        adtl.insert(adtl.end(), labels, 'x');
        write_bytes(src, with_chunk(wav_bytes(pcm_format(16000), samples_to_bytes(sine(500, 16000, 16000))), "LIST",
                                    adtl));
        // Header and markers written by the library itself, into an INFO
        // list it adds behind the labels.
        ZRM2HeaderInfo info{};
        info.dwSize = ZRM2HEADERINFO_SIZE_FULL;
        ASSERT_EQ(ORVKTCreateDSSTemplate(tmp.path("carrier.ds2").c_str(), nullptr, 6), VKT_OK);
        ASSERT_EQ(ORVKTReadZRM2Header(tmp.path("carrier.ds2").c_str(), &info), VKT_OK);
        std::memcpy(info.achH1Text, "Author Name     ", 16);
        ASSERT_EQ(ORVKTWriteZRM2Header(tmp.path("carrier.ds2").c_str(), &info), VKT_OK);
        ASSERT_EQ(ORVKTCopyDSSHeaders(tmp.path("carrier.ds2").c_str(), src.c_str(), 1, 0), VKT_OK);
        uint8_t markers[256];
        std::memset(markers, 0xFF, sizeof markers);
        const uint32_t range[2] = {250, 900};
        std::memcpy(markers, range, sizeof range);
        ASSERT_EQ(ORVKTWriteSpokenInstructionMarkers(src.c_str(), markers), VKT_OK);

        const WAVEFORMATEX want = pcm_format(8000);
        ASSERT_EQ(ORVKTWAVToWAV(src.c_str(), dst.c_str(), &want, nullptr, 0), VKT_OK);
        ZRM2HeaderInfo back{};
        back.dwSize = ZRM2HEADERINFO_SIZE_FULL;
        ASSERT_EQ(ORVKTReadZRM2Header(dst.c_str(), &back), VKT_OK);
        EXPECT_EQ(std::string(back.achH1Text, 16), "Author Name     ");
        uint8_t read[256] = {};
        ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(dst.c_str(), read), VKT_OK);
        EXPECT_EQ(std::memcmp(read, markers, sizeof markers), 0);
        for (const std::string& id : sub_chunk_ids(parse_wav(dst).list))
            EXPECT_TRUE(id == "ICMT" || id == "IKEY" || id == "ISRF") << "sub-chunk " << id;
    }
}
