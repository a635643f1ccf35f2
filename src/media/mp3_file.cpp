#include "media/mp3_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("CMp3File");

using namespace vkt::platform;

namespace {

// Bit rates in kbit/s by [MPEG-1?][layer 1..3][index].
constexpr uint16_t kBitrateV1[3][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
};
constexpr uint16_t kBitrateV2[3][16] = {
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};
// Sampling rates by version bits (0 = MPEG 2.5, 2 = MPEG 2, 3 = MPEG 1) and index.
constexpr uint32_t kRate[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

struct HeaderFields {
    int version;  // version bits: 0 = 2.5, 2 = 2, 3 = 1
    int layer;    // 1, 2 or 3
    int bitrate_index;
    int rate_index;
    bool padding;
    int mode;
};

HeaderFields fields_of(const uint8_t* h) {
    HeaderFields f{};
    f.version = (h[1] >> 3) & 3;
    f.layer = 4 - ((h[1] >> 1) & 3);
    f.bitrate_index = h[2] >> 4;
    f.rate_index = (h[2] >> 2) & 3;
    f.padding = (h[2] & 2) != 0;
    f.mode = h[3] >> 6;
    return f;
}

uint32_t bitrate_kbps(const HeaderFields& f) {
    const auto& table = f.version == 3 ? kBitrateV1 : kBitrateV2;
    return table[f.layer - 1][f.bitrate_index];
}

constexpr uint32_t kScanWindow = 2048;

// An encoder's information frame (LAME/Xing "Xing" or "Info", Fraunhofer
// "VBRI") is a valid frame without audio that states the frame count and
// the encoder delay; its bit rate is whatever made it big enough. The tag
// follows the side information, which is 17 or 32 bytes in MPEG-1 and 9 or
// 17 in MPEG-2 and 2.5 (mono or not), behind a CRC when there is one;
// "VBRI" always sits 32 bytes behind the header.
bool is_info_frame(const uint8_t* frame, uint32_t size) {
    const HeaderFields f = fields_of(frame);
    const bool mono = f.mode == 3;
    uint32_t at = 4 + (f.version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if ((frame[1] & 1) == 0) at += 2;  // protection bit clear: a CRC follows the header
    if (size >= at + 4 && (std::memcmp(frame + at, "Xing", 4) == 0 || std::memcmp(frame + at, "Info", 4) == 0))
        return true;
    return size >= 40 && std::memcmp(frame + 36, "VBRI", 4) == 0;
}

// Size of an ID3v2 tag at the start of the file, 0 when there is none.
uint32_t id3v2_size(const uint8_t* b, uint32_t n) {
    if (n < 10 || std::memcmp(b, "ID3", 3) != 0 || b[3] == 0xFF || b[4] == 0xFF) return 0;
    for (int i = 6; i < 10; ++i)
        if (b[i] & 0x80) return 0;
    uint32_t size = (uint32_t{b[6]} << 21) | (uint32_t{b[7]} << 14) | (uint32_t{b[8]} << 7) | b[9];
    uint32_t footer = (b[5] & 0x10) ? 10 : 0;
    return 10 + size + footer;
}

}  // namespace

CMp3File::CMp3File() { VKT_TRACE_TEXT("-----CMp3File::CMp3File()"); }

CMp3File::~CMp3File() {
    VKT_TRACE_TEXT("-----CMp3File::~CMp3File()");
    close_file();
}

void CMp3File::close_file() {
    if (m_hFile) KRVDSS_close_file(&m_hFile);
}

bool CMp3File::check_frame_header(const uint8_t* h) {
    const HeaderFields f = fields_of(h);
    const bool valid = h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 &&  // frame sync
                       f.version != 1 &&                          // reserved version
                       ((h[1] >> 1) & 3) != 0 &&                  // reserved layer
                       f.bitrate_index != 0 && f.bitrate_index != 15 && f.rate_index != 3;
    if (!valid) VKT_TRACE_TEXT("No framesync found");
    return valid;
}

uint32_t CMp3File::frame_length(const uint8_t* h) {
    if (!check_frame_header(h)) return 0;
    HeaderFields f = fields_of(h);
    uint32_t rate = kRate[f.version][f.rate_index];
    uint32_t factor = f.version == 3 ? 144000 : 72000;
    return bitrate_kbps(f) * factor / rate + (f.padding ? 1 : 0);
}

uint32_t CMp3File::create_file(const char* lpszFilepath_p) {
    VKT_TRACE_TEXT("-----CMp3File::create_file(...)");
    VKT_TRACE_PARAM("lpszFilepath_p", "%s", lpszFilepath_p);
    try {
        close_file();
        uint32_t err = 0;
        m_hFile = KRVDSS_open_file(lpszFilepath_p, &err, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        if (!m_hFile) {
            VKT_TRACE_ERROR(err, "GetLastError() after CreateFile()");
            vkt::raise(VKT_ERR_OPEN_FILE);
        }
        set_initial_info_from_file();
        skip_info_frame();
        set_codingtype_and_sampleinfo();
        ascertain_total_nr_of_frames();
        return 0;
    } catch (...) {
        uint32_t code = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in create_file(...)");
        close_file();
        return code;
    }
}

void CMp3File::set_initial_info_from_file() {
    VKT_TRACE_TEXT("-----CMp3File::set_initial_info_from_file()");
    uint8_t first[10] = {};
    uint32_t got = 0;
    KRVDSS_read_file(m_hFile, first, sizeof first, &got);
    if (got >= 4 && check_frame_header(first)) {
        std::memcpy(m_abyHeader, first, 4);
        m_dwFirstFrameOffset = 0;
        return;
    }
    // Scan from behind a leading ID3v2 tag in overlapping windows for a sync
    // byte pair that starts a valid header.
    uint32_t pos = id3v2_size(first, got);
    std::vector<uint8_t> window(kScanWindow);
    for (;;) {
        if (KRVDSS_set_position_file(m_hFile, pos, FILE_BEGIN) != 0) break;
        uint32_t n = 0;
        if (KRVDSS_read_file(m_hFile, window.data(), kScanWindow, &n) != 0 || n < 4) break;
        for (uint32_t i = 0; i + 4 <= n; ++i) {
            if (window[i] == 0xFF && (window[i + 1] & 0xE0) == 0xE0 && check_frame_header(&window[i])) {
                std::memcpy(m_abyHeader, &window[i], 4);
                m_dwFirstFrameOffset = pos + i;
                return;
            }
        }
        if (n < kScanWindow) break;
        pos += kScanWindow - 4;
    }
    VKT_TRACE_ERROR(VKT_ERR_OPEN_FILE, "no Frame found!!!");
    vkt::raise(VKT_ERR_OPEN_FILE);
}

void CMp3File::skip_info_frame() {
    const uint32_t length = frame_length(m_abyHeader);
    uint8_t frame[64] = {};
    uint32_t got = 0;
    if (length < 8 || KRVDSS_set_position_file(m_hFile, m_dwFirstFrameOffset, FILE_BEGIN) != 0 ||
        KRVDSS_read_file(m_hFile, frame, std::min<uint32_t>(length, sizeof frame), &got) != 0 ||
        !is_info_frame(frame, got))
        return;
    // The audio starts with the next frame; without one the information
    // frame is all there is and stays the first.
    uint8_t next[4] = {};
    if (m_dwFirstFrameOffset > 0xFFFFFFFFu - length ||
        KRVDSS_set_position_file(m_hFile, m_dwFirstFrameOffset + length, FILE_BEGIN) != 0 ||
        KRVDSS_read_file(m_hFile, next, sizeof next, &got) != 0 || got < 4 || !check_frame_header(next))
        return;
    m_dwFirstFrameOffset += length;
    std::memcpy(m_abyHeader, next, 4);
    VKT_TRACE_VALUE("m_dwFirstFrameOffset", "%lu", m_dwFirstFrameOffset);
}

void CMp3File::set_codingtype_and_sampleinfo() {
    HeaderFields f = fields_of(m_abyHeader);
    m_wChannels = f.mode == 3 ? 1 : 2;
    m_dwSamplingRate = kRate[f.version][f.rate_index];
    uint32_t kbps = bitrate_kbps(f);
    m_dwAvgBytesPerSec = kbps / 8 * 1000;
    m_wBitsPerSample = 0;
    m_wBlockAlign = 1;
    if (f.layer == 1) m_dwSamplesPerFrame = 384;
    else if (f.layer == 2) m_dwSamplesPerFrame = 1152;
    else m_dwSamplesPerFrame = f.version == 3 ? 1152 : 576;
    m_dwFrameDurationMs = m_dwSamplesPerFrame * 1000 / m_dwSamplingRate;
    VKT_TRACE_VALUE("m_dwSamplingRate", "%lu", m_dwSamplingRate);
    VKT_TRACE_VALUE("m_wChannels", "%u", m_wChannels);
}

void CMp3File::ascertain_total_nr_of_frames() {
    m_dwTotalNrOfFrames = 0;
    m_dwMinBitrate = m_dwMaxBitrate = 0;
    uint64_t pos = m_dwFirstFrameOffset;
    uint8_t h[4];
    for (;;) {
        if (pos > 0xFFFFFFFFu || KRVDSS_set_position_file(m_hFile, static_cast<uint32_t>(pos), FILE_BEGIN) != 0) break;
        uint32_t got = 0;
        if (KRVDSS_read_file(m_hFile, h, 4, &got) != 0 || got < 3) break;
        if (std::memcmp(h, "TAG", 3) == 0) break;  // an ID3v1 tag ends the audio
        if (got < 4 || !check_frame_header(h)) break;
        uint32_t kbps = bitrate_kbps(fields_of(h));
        if (m_dwTotalNrOfFrames == 0 || kbps < m_dwMinBitrate) m_dwMinBitrate = kbps;
        if (kbps > m_dwMaxBitrate) m_dwMaxBitrate = kbps;
        ++m_dwTotalNrOfFrames;
        pos += frame_length(h);
    }
    m_bVariableBitrate = m_dwMinBitrate != m_dwMaxBitrate;
    VKT_TRACE_VALUE("m_dwTotalNrOfFrames", "%lu", m_dwTotalNrOfFrames);
}

uint32_t CMp3File::read_format(WAVEFORMATEX* pwfx, uint32_t dwSize) {
    if (!pwfx || dwSize < sizeof(WAVEFORMATEX)) {
        VKT_TRACE_ERROR(VKT_ERR_WAVFMT_TOO_SMALL, "Error reading Mp3 format");
        return VKT_ERR_WAVFMT_TOO_SMALL;
    }
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    wfx.nChannels = m_wChannels;
    wfx.nSamplesPerSec = m_dwSamplingRate;
    wfx.nAvgBytesPerSec = m_dwAvgBytesPerSec;
    wfx.nBlockAlign = m_wBlockAlign;
    wfx.wBitsPerSample = m_wBitsPerSample;
    wfx.cbSize = 12;
    std::memcpy(pwfx, &wfx, sizeof wfx);  // only the 18 fixed bytes are written
    return 0;
}
