// What a cancel leaves behind. A cancel while the work runs leaves no
// output, whichever operation wrote it (a file with unpatched sizes would
// pass for an empty recording). A cancel answered to the report of 100 %
// comes when the output is complete: every conversion into WAV then keeps
// it and returns 0.
#include <cstring>
#include <functional>

#include "OrvaneVktapi.h"
#include "support/test_support.h"
#include "support/riff_bytes.h"

using namespace orvkt_test;
using namespace riff_bytes;

namespace {

// A 16-bit PCM WAV file at 8000/s of `frames` frames, with an INFO list
// whose IKEY holds the marker array: one instruction, 250 to 600 ms.
Bytes recording(uint16_t channels, uint32_t frames) {
    Bytes markers(256, 0xFF);
    const uint32_t range[2] = {250, 600};
    std::memcpy(markers.data(), range, sizeof range);
    return wave(cat({chunk("fmt ", pcm_fmt(channels, 8000, 16)), chunk("data", pattern(2u * channels * frames)),
                     list("INFO", chunk("IKEY", cat({text("SpokenInstructionMarkers"), markers})))}));
}

// Answers 2 to the report numbered `cancel_at` (1-based; 0: never), or to
// the first report of `cancel_percent`.
struct Canceller {
    size_t cancel_at = 0;
    uint32_t cancel_percent = 1000;
    std::vector<uint32_t> seen;
    static int32_t callback(intptr_t user, uint32_t, uint32_t percent) {
        auto* c = reinterpret_cast<Canceller*>(user);
        c->seen.push_back(percent);
        return c->seen.size() == c->cancel_at || percent == c->cancel_percent ? VKT_PROGRESS_CANCEL : 0;
    }
    intptr_t user() { return reinterpret_cast<intptr_t>(this); }
};

WAVEFORMATEX pcm16(uint32_t rate) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 2;
    f.nAvgBytesPerSec = 2 * rate;
    return f;
}

}  // namespace

// Splitting and mixing stereo files and cutting a recording along its
// markers, cancelled at their first report: only the source remains.
TEST(Cancellation, ACancelledToolLeavesNoOutput) {
    struct Case {
        const char* name;
        uint16_t channels;
        std::function<uint32_t(const TempDir&, ProgressCallback, intptr_t)> run;
    };
    const Case cases[] = {
        {"split stereo", 2,
         [](const TempDir& t, ProgressCallback cb, intptr_t user) {
             return ORVKTWAVSplitStereo(t.path("src.wav").c_str(), t.path("l.wav").c_str(), t.path("r.wav").c_str(),
                                        cb, user);
         }},
        {"mix stereo", 2,
         [](const TempDir& t, ProgressCallback cb, intptr_t user) {
             return ORVKTWAVMixStereo(t.path("src.wav").c_str(), t.path("m.wav").c_str(), cb, user);
         }},
        {"separate instructions", 1,
         [](const TempDir& t, ProgressCallback cb, intptr_t user) {
             return ORVKTWAVSeperateSpokenInstructions(t.path("src.wav").c_str(), t.path("d.wav").c_str(), 1, 1, cb,
                                                       user);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        const Bytes source = recording(c.channels, 16000);
        write_bytes(tmp.path("src.wav"), source);
        Canceller first;
        first.cancel_at = 1;
        EXPECT_EQ(c.run(tmp, &Canceller::callback, first.user()), VKT_CANCELLED);
        EXPECT_EQ(tmp.entries(), std::vector<std::string>{"src.wav"});
        EXPECT_EQ(read_bytes(tmp.path("src.wav")), source);
    }
}

// DSS to WAV and MP3/WMA to WAV, once where the decoded file already has the
// wanted format (it is only moved into place) and once through a change of
// rate: a cancel at 100 % keeps the destination, whole, and returns 0.
TEST(Cancellation, ACancelAtOneHundredPercentKeepsTheFinishedConversion) {
    struct Case {
        const char* name;
        std::string source;
        uint32_t rate;  // of the wanted format
        std::function<uint32_t(const std::string&, const std::string&, const WAVEFORMATEX*, ProgressCallback,
                               intptr_t)>
            run;
    };
    auto dss = [](const std::string& s, const std::string& d, const WAVEFORMATEX* f, ProgressCallback cb,
                  intptr_t user) { return ORVKTDSSToWAV(s.c_str(), d.c_str(), f, cb, user, nullptr); };
    auto mp3 = [](const std::string& s, const std::string& d, const WAVEFORMATEX* f, ProgressCallback cb,
                  intptr_t user) { return ORVKTMP3ToWAV(s.c_str(), d.c_str(), f, cb, user); };
    auto wma = [](const std::string& s, const std::string& d, const WAVEFORMATEX* f, ProgressCallback cb,
                  intptr_t user) { return ORVKTWMAToWAV(s.c_str(), d.c_str(), f, cb, user); };
    const Case cases[] = {
        {"DSS, moved", data_path("speech_lp.dss"), 8000, dss},
        {"DSS, rate changed", data_path("speech_lp.dss"), 16000, dss},
        {"MP3, moved", data_path("speech_mono.mp3"), 16000, mp3},
        {"MP3, rate changed", data_path("speech_mono.mp3"), 8000, mp3},
        {"WMA, moved", data_path("speech_mono.wma"), 16000, wma},
        {"WMA, rate changed", data_path("speech_mono.wma"), 8000, wma},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir tmp;
        const WAVEFORMATEX want = pcm16(c.rate);
        ASSERT_EQ(c.run(c.source, tmp.path("whole.wav"), &want, nullptr, 0), VKT_OK);
        Canceller late;
        late.cancel_percent = 100;
        EXPECT_EQ(c.run(c.source, tmp.path("kept.wav"), &want, &Canceller::callback, late.user()), VKT_OK);
        ASSERT_FALSE(late.seen.empty());
        EXPECT_EQ(late.seen.back(), 100u);
        EXPECT_EQ(read_bytes(tmp.path("kept.wav")), read_bytes(tmp.path("whole.wav")));
        EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"kept.wav", "whole.wav"}));
    }
}
