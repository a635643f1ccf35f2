// The stand-in for the Windows Media synchronous reader, over libavformat,
// libavcodec and libswresample: opens an MP3/WMA (any media file), selects
// its first audio stream and hands out its samples in presentation order,
// either decoded to 16-bit interleaved PCM at the stream's own rate and
// channel count, or compressed as stored in the file. Times and durations
// are in 100-ns units. Results are HRESULT-style numbers like the reader's.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "OrvaneVktapi.h"

namespace vkt::media {

inline constexpr uint32_t S_OK = 0;
inline constexpr uint32_t E_FAIL = 0x80004005u;
inline constexpr uint32_t E_INVALIDARG = 0x80070057u;
inline constexpr uint32_t NS_E_FILE_OPEN_FAILED = 0xC00D001Du;  // cannot be opened
inline constexpr uint32_t NS_E_INVALID_INPUT_FORMAT = 0xC00D0BB8u;  // not a media file
inline constexpr uint32_t NS_E_NO_AUDIO_STREAM = 0xC00D1035u;  // media file without an audio stream
inline constexpr uint32_t NS_E_NOT_OPENED = 0xC00D001Cu;
inline constexpr uint32_t NS_E_NO_MORE_SAMPLES = 0xC00D0BCFu;
inline constexpr uint32_t NS_E_DECODE_FAILED = 0xC00D0BC4u;
inline constexpr uint32_t ASF_E_NOTFOUND = 0xC00D07F0u;

inline constexpr int64_t kUnitsPerSecond = 10'000'000;  // 100-ns units

struct Sample {
    std::vector<uint8_t> data;
    int64_t time = 0;      // presentation time, 100-ns units
    int64_t duration = 0;  // 100-ns units
};

class MediaReader {
public:
    MediaReader();
    ~MediaReader();
    MediaReader(const MediaReader&) = delete;
    MediaReader& operator=(const MediaReader&) = delete;

    // Opens the file and selects its first audio stream.
    uint32_t Open(const std::string& path);
    void Close();
    bool IsOpen() const;

    // 1-based number of the selected stream in the file (as the reader counts).
    uint16_t StreamNumber() const;
    // The output: 16-bit interleaved PCM at the stream's rate and channels,
    // or, in compressed mode, the stored format (tag 0x0055 for MPEG layer 3).
    WAVEFORMATEX OutputFormat() const;
    // The file's duration (0 when unknown).
    int64_t Duration() const;

    // Compressed mode hands out the stored packets (MP3 frames) unchanged.
    uint32_t SetReadStreamSamples(bool compressed);
    // Restarts reading at start for duration (0 = to the end). Decoded
    // samples are cut to the range exactly; compressed packets are handed
    // out when their start lies inside it.
    uint32_t SetRange(int64_t start, int64_t duration);
    // The next sample, or NS_E_NO_MORE_SAMPLES at the end.
    uint32_t GetNextSample(Sample* sample);

    // Values of a header attribute. "Duration" gives the 8-byte duration;
    // "ID3/PRIV" the contents of the ID3v2 tag's private frames (owner
    // identifier, its terminator, then the frame's data).
    std::vector<std::vector<uint8_t>> GetAttribute(const std::string& name) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vkt::media
