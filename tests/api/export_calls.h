// Fixture recordings of every kind the exports take, and the table of exports
// that write a file.
#pragma once

#include <unistd.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"
#include "support/dss_bytes.h"
#include "support/test_support.h"
#include "support/riff_bytes.h"

namespace api_test {

using Bytes = std::vector<uint8_t>;

inline constexpr const char* kPassword = "Secret-1";

inline WAVEFORMATEX pcm16(uint32_t rate) { return {WAVE_FORMAT_PCM, 1, rate, rate * 2, 2, 16, 0}; }

inline const WAVEFORMATEX kPcm = pcm16(8000);
inline const WAVEFORMATEX kSp = {WAVE_FORMAT_DSS_SP, 1, 12000, 1750, 42, 0, 0};

// Scratch results the calls of the tables may write into.
inline WAVEFORMATEX g_format;
inline uint32_t g_u32;
inline uint8_t g_buf[512];
inline const uint8_t kNoMarkers[256] = {};

inline ZRM2HeaderInfo* record(uint32_t size = ZRM2HEADERINFO_SIZE_FULL) {
    static ZRM2HeaderInfo h;
    h = {};
    h.dwSize = size;
    return &h;
}

// Standard play, our own family, 40 frames (about a second), one marker.
inline Bytes dss_recording(const char* self_id) {
    edit_test::Recording r;
    r.self_id = self_id;
    r.frames = edit_test::random_frames(40, 41, 7);
    r.markers = {{100, 300}};
    return edit_test::build(r);
}

// Half a second of 16-bit PCM with one spoken-instruction marker.
inline Bytes wav_recording(uint16_t channels, uint32_t rate) {
    using namespace riff_bytes;
    Bytes markers(256, 0xFF);
    const uint32_t marker[2] = {100, 300};
    std::memcpy(markers.data(), marker, sizeof marker);
    return wave(cat({chunk("fmt ", pcm_fmt(channels, rate, 16)), chunk("data", pattern(rate * channels)),
                     list("INFO", chunk("IKEY", cat({text("SpokenInstructionMarkers"), markers})))}));
}

// A fixture by name: s.dss, s.ds2, e.ds2 (encrypted), s.wav, st.wav (stereo), l.wav
// (3 s, no markers), s.mp3, st.mp3, s.wma; anything else is a few bytes of no kind.
inline const Bytes& fixture(const std::string& name) {
    static std::map<std::string, Bytes> made;
    auto found = made.find(name);
    if (found != made.end()) return found->second;
    Bytes bytes;
    if (name == "s.dss") bytes = dss_recording("dss");
    else if (name == "s.ds2") bytes = dss_recording("ds2");
    else if (name == "s.wav") bytes = wav_recording(1, 12000);
    else if (name == "st.wav") bytes = wav_recording(2, 8000);
    else if (name == "l.wav") {
        using namespace riff_bytes;
        bytes = wave(cat({chunk("fmt ", pcm_fmt(1, 22050, 16)), chunk("data", pattern(22050 * 2 * 3))}));
    }
    else if (name == "s.mp3") bytes = orvkt_test::read_bytes(orvkt_test::data_path("speech_mono.mp3"));
    else if (name == "st.mp3") bytes = orvkt_test::read_bytes(orvkt_test::data_path("speech_stereo.mp3"));
    else if (name == "s.wma") bytes = orvkt_test::read_bytes(orvkt_test::data_path("speech_mono.wma"));
    else if (name == "e.ds2") {
        orvkt_test::TempDir tmp;
        orvkt_test::write_bytes(tmp.path("p.ds2"), fixture("s.ds2"));
        if (ORVKTEncryptDSSFile(tmp.path("p.ds2").c_str(), tmp.path("e.ds2").c_str(), kPassword) == VKT_OK)
            bytes = orvkt_test::read_bytes(tmp.path("e.ds2"));
    } else {
        bytes = {'u', 's', 'e', 'r'};
    }
    return made.emplace(name, std::move(bytes)).first->second;
}

inline void put_fixture(const orvkt_test::TempDir& dir, const std::string& name, const std::string& as = "") {
    orvkt_test::write_bytes(dir.path(as.empty() ? name : as), fixture(name));
}

inline std::string folder_of(const std::string& path) { return path.substr(0, path.find_last_of('/')); }
inline std::string name_of(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// An export reading `kept` (its source, or an output it must not overwrite) and writing `target`.
using Call = std::function<uint32_t(const std::string& kept, const std::string& target)>;

struct ExportCall {
    const char* what;
    const char* kept;        // fixture
    const char* target_ext;  // extension of the written name
    Call call;
    uint32_t alias_code;              // target is kept by another name
    bool target_must_exist = false;   // the call updates an existing file
    bool same_name_replaces = false;  // the very same name asks to replace the source
};

#define K k.c_str()
#define T t.c_str()

inline const std::vector<ExportCall>& writing_calls() {
    static const std::vector<ExportCall> all = {
        {"DSSToWAV", "s.dss", ".wav", [](auto& k, auto& t) { return ORVKTDSSToWAV(K, T, &kPcm, nullptr, 0, nullptr); },
         VKT_ERR_OPEN_FILE},
        {"DSSToWAVEx", "s.dss", ".wav",
         [](auto& k, auto& t) { return ORVKTDSSToWAVEx(K, T, &kPcm, nullptr, 0, nullptr, nullptr, nullptr); },
         VKT_ERR_OPEN_FILE},
        {"WAVToDSS", "s.wav", ".dss", [](auto& k, auto& t) { return ORVKTWAVToDSS(K, T, &kSp, 3, nullptr, 0); },
         VKT_ERR_OPEN_FILE},
        {"DSSToDSS", "s.dss", ".dss", [](auto& k, auto& t) { return ORVKTDSSToDSS(K, T, &kSp, nullptr, 0, nullptr); },
         VKT_ERR_OPEN_FILE},
        {"WAVToWAV", "s.wav", ".wav", [](auto& k, auto& t) { return ORVKTWAVToWAV(K, T, &kPcm, nullptr, 0); },
         VKT_ERR_OPEN_FILE},
        {"MP3ToWAV", "s.mp3", ".wav", [](auto& k, auto& t) { return ORVKTMP3ToWAV(K, T, &kPcm, nullptr, 0); },
         VKT_ERR_OPEN_FILE},
        {"WMAToWAV", "s.wma", ".wav", [](auto& k, auto& t) { return ORVKTWMAToWAV(K, T, &kPcm, nullptr, 0); },
         VKT_ERR_OPEN_FILE},
        {"WMFConvertToWAV", "s.mp3", ".wav",
         [](auto& k, auto& t) { return ORVKTWMFConvertToWAV(K, T, nullptr, nullptr, 0); }, VKT_ERR_OPEN_FILE},
        {"CopyDSSHeaders", "s.dss", ".dss", [](auto& k, auto& t) { return ORVKTCopyDSSHeaders(K, T, 1, 1); }, VKT_ERR, true},
        {"ExtractSpokenInstructionMarkers", "s.dss", ".wav",
         [](auto& k, auto& t) { return ORVKTExtractSpokenInstructionMarkers(K, T); }, VKT_ERR},
        {"WAVSeperateSpokenInstructions", "s.wav", ".wav",
         [](auto& k, auto& t) { return ORVKTWAVSeperateSpokenInstructions(K, T, 1, 1, nullptr, 0); }, VKT_ERR,
         false, true},
        {"WAVSplitStereo, left output", "st.wav", ".wav",
         [](auto& k, auto& t) { return ORVKTWAVSplitStereo(K, T, (folder_of(t) + "/right.wav").c_str(), nullptr, 0); },
         VKT_ERR},
        {"WAVSplitStereo, right output", "st.wav", ".wav",
         [](auto& k, auto& t) { return ORVKTWAVSplitStereo(K, (folder_of(t) + "/left.wav").c_str(), T, nullptr, 0); },
         VKT_ERR},
        {"WAVSplitStereo, both outputs one file", "x.wav", ".wav",
         [](auto& k, auto& t) {
             const std::string source = folder_of(t) + "/src.wav";
             orvkt_test::write_bytes(source, fixture("st.wav"));
             const uint32_t rc = ORVKTWAVSplitStereo(source.c_str(), K, T, nullptr, 0);
             ::unlink(source.c_str());
             return rc;
         }, VKT_ERR},
        {"WAVMixStereo", "st.wav", ".wav", [](auto& k, auto& t) { return ORVKTWAVMixStereo(K, T, nullptr, 0); },
         VKT_ERR},
        {"SplitDSSFile", "s.dss", ".dss",
         [](auto& k, auto& t) {
             return ORVKTSplitDSSFile(K, folder_of(t).c_str(), name_of(t).c_str(), nullptr, 60, 0, 5, &g_u32, nullptr,
                                      0);
         }, VKT_ERR},
        {"SplitMP3File", "s.mp3", ".mp3",
         [](auto& k, auto& t) {
             return ORVKTSplitMP3File(K, folder_of(t).c_str(), name_of(t).c_str(), 600, 0, 5, &g_u32, nullptr, 0);
         }, VKT_ERR},
        {"JoinDSS", "s.dss", ".dss", [](auto& k, auto& t) { return ORVKTJoinDSS(K, T, nullptr, 0, 0, 100); }, VKT_ERR},
        {"RepairIndexMarkers", "s.dss", ".dss", [](auto& k, auto& t) { return ORVKTRepairIndexMarkers(K, T); },
         VKT_ERR},
        {"EncryptDSSFile", "s.ds2", ".ds2", [](auto& k, auto& t) { return ORVKTEncryptDSSFile(K, T, kPassword); },
         VKT_ERR},
        {"DecryptDSSFile", "e.ds2", ".ds2", [](auto& k, auto& t) { return ORVKTDecryptDSSFile(K, T, kPassword); },
         VKT_ERR},
        {"CopyFile", "s.dss", ".dss", [](auto& k, auto& t) { return ORVKTCopyFile(K, T, 0); }, VKT_ERR_DEST_EXISTS},
    };
    return all;
}

#undef K
#undef T

}  // namespace api_test
