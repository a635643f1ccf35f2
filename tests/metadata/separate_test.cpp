// Cutting a WAV recording into dictation and instruction files along its markers.
#include <cstring>

#include "OrvaneVktapi.h"
#include "support/dss_bytes.h"
#include "support/test_support.h"
#include "support/riff_bytes.h"

using namespace orvkt_test;
using namespace riff_bytes;

namespace {

constexpr uint32_t kBytesPerMs = 16;  // 8000 Hz, 16 bit, mono

using edit_test::marker_array;

// One second of audio whose bytes tell their position, with the markers in
// a LIST behind the data (as the library writes them).
Bytes recording(const Bytes& markers, uint32_t ms = 1000) {
    Bytes audio(ms * kBytesPerMs);
    for (size_t i = 0; i < audio.size(); i += 2) {
        audio[i] = static_cast<uint8_t>(i / 2);
        audio[i + 1] = static_cast<uint8_t>(i / 512);
    }
    return wave(cat({chunk("fmt ", pcm_fmt(1, 8000, 16)), chunk("data", audio),
                     list("INFO", chunk("IKEY", cat({text("SpokenInstructionMarkers"), markers})))}));
}

Bytes range_ms(const Bytes& audio, uint32_t from, uint32_t to) {
    return Bytes(audio.begin() + from * kBytesPerMs, audio.begin() + std::min<size_t>(to * kBytesPerMs, audio.size()));
}

struct Calls {
    std::vector<uint32_t> percents;
    int cancel_at = -1;
};

int32_t record_progress(intptr_t user, uint32_t message, uint32_t percent) {
    auto* c = reinterpret_cast<Calls*>(user);
    EXPECT_EQ(message, 224u);
    c->percents.push_back(percent);
    return static_cast<int>(c->percents.size()) - 1 == c->cancel_at ? 2 : 0;
}

}  // namespace

TEST(SeparateInstructions, SectionsFollowTheMarkers) {
    using Ranges = std::vector<std::pair<uint32_t, uint32_t>>;  // ms
    const struct {
        const char* what;
        std::vector<edit_test::Marker> markers;
        uint32_t ms;
        Ranges dictation, instructions;
        std::vector<uint32_t> percents;  // empty: not checked
    } rows[] = {
        {"instruction first when the first marker starts at 0", {{0, 100}, {300, 400}}, 1000,
         {{100, 300}, {400, 1000}}, {{0, 100}, {300, 400}}, {10, 30, 40, 100}},
        {"without markers everything is dictation", {}, 1000, {{0, 1000}}, {}, {100}},
        // The second instruction starts after the end of the audio.
        {"data ending inside a section stops the walk", {{100, 200}, {800, 900}}, 600, {{0, 100}, {200, 600}},
         {{100, 200}}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir tmp;
        const Bytes src = recording(marker_array(row.markers), row.ms);
        write_bytes(tmp.path("rec.wav"), src);
        const Bytes audio = audio_of(src);
        const auto join = [&](const Ranges& ranges) {
            Bytes out;
            for (auto [from, to] : ranges) append(out, range_ms(audio, from, to));
            return out;
        };
        Calls calls;
        ASSERT_EQ(ORVKTWAVSeperateSpokenInstructions(tmp.path("rec.wav").c_str(), tmp.path("out.wav").c_str(), 1, 1,
                                                     record_progress, reinterpret_cast<intptr_t>(&calls)),
                  0u);
        EXPECT_EQ(audio_of(read_bytes(tmp.path("out.wav"))), join(row.dictation))
            << "the list behind the data does not leak into the audio";
        EXPECT_EQ(audio_of(read_bytes(tmp.path("out_i.wav"))), join(row.instructions));
        if (!row.percents.empty()) {
            EXPECT_EQ(calls.percents, row.percents);
        }
        EXPECT_EQ(read_bytes(tmp.path("rec.wav")), src) << "the source is left alone";
    }
}

TEST(SeparateInstructions, EqualNamesReplaceTheSource) {
    TempDir tmp;
    const Bytes src = recording(marker_array({{200, 500}}));
    const Bytes audio = audio_of(src);
    write_bytes(tmp.path("rec.wav"), src);
    ASSERT_EQ(ORVKTWAVSeperateSpokenInstructions(tmp.path("rec.wav").c_str(), tmp.path("rec.wav").c_str(), 1, 1,
                                                 nullptr, 0),
              0u);
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"rec.wav", "rec_i.wav"}));
    EXPECT_EQ(audio_of(read_bytes(tmp.path("rec.wav"))), cat({range_ms(audio, 0, 200), range_ms(audio, 500, 1000)}));
    EXPECT_EQ(audio_of(read_bytes(tmp.path("rec_i.wav"))), range_ms(audio, 200, 500));

    // Only the instruction file asked for: the source must survive.
    write_bytes(tmp.path("b.wav"), src);
    ASSERT_EQ(ORVKTWAVSeperateSpokenInstructions(tmp.path("b.wav").c_str(), tmp.path("b.wav").c_str(), 0, 1, nullptr, 0), 0u);
    EXPECT_EQ(read_bytes(tmp.path("b.wav")), src);
    EXPECT_EQ(audio_of(read_bytes(tmp.path("b_i.wav"))), range_ms(audio, 200, 500));
}

TEST(SeparateInstructions, CancelAndFailures) {
    TempDir tmp;
    write_bytes(tmp.path("rec.wav"), recording(marker_array({{0, 100}, {300, 400}})));
    Calls calls;
    calls.cancel_at = 1;
    EXPECT_EQ(ORVKTWAVSeperateSpokenInstructions(tmp.path("rec.wav").c_str(), tmp.path("rec.wav").c_str(), 1, 1,
                                                 record_progress, reinterpret_cast<intptr_t>(&calls)),
              2u);
    EXPECT_EQ(tmp.entries(), std::vector<std::string>{"rec.wav"}) << "temporary files are removed";

    write_bytes(tmp.path("plain.wav"), wave(cat({chunk("fmt ", pcm_fmt(1, 8000, 16)), chunk("data", pattern(32))})));
    EXPECT_EQ(ORVKTWAVSeperateSpokenInstructions(tmp.path("plain.wav").c_str(), tmp.path("o.wav").c_str(), 1, 1,
                                                 nullptr, 0),
              26u) << "no marker chunk";
}
