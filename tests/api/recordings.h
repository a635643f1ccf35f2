// Small recordings of every kind the exports take: DSS and DS2 files built by
// the editing tests' byte builder, WAV files by the RIFF byte builder, MP3 and
// WMA files from the test data, an encrypted DS2 made once by the library.
// Each is written into a folder under a fixed name.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "OrvaneVktapi.h"
#include "edit/edit_files.h"
#include "support/test_support.h"
#include "wav/riff_bytes.h"

namespace api_test {

using Bytes = std::vector<uint8_t>;

inline constexpr const char* kPassword = "Secret-1";

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

// The bytes of a fixture by its name: s.dss, s.ds2, e.ds2 (s.ds2 encrypted
// with kPassword), s.wav (mono, 12000/s), st.wav (stereo, 8000/s), s.mp3,
// st.mp3 (stereo), s.wma; anything else is a few bytes of no kind.
inline const Bytes& fixture(const std::string& name) {
    static std::map<std::string, Bytes> made;
    auto found = made.find(name);
    if (found != made.end()) return found->second;
    Bytes bytes;
    if (name == "s.dss") bytes = dss_recording("dss");
    else if (name == "s.ds2") bytes = dss_recording("ds2");
    else if (name == "s.wav") bytes = wav_recording(1, 12000);
    else if (name == "st.wav") bytes = wav_recording(2, 8000);
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

// Runs a call in a child process and gives its result, or -1 when it has not
// returned within the time: a call that waits on a fifo or reads a device
// without end must not hang the test run.
inline int result_within(const std::function<uint32_t()>& call, std::chrono::seconds limit) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(static_cast<int>(call() & 0xFF));
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace api_test
