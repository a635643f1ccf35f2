#include "metadata/spoken_instructions.h"

#include <cstring>

#include "OrvaneVktapi.h"
#include "metadata/mp3_dictation_header.h"
#include "metadata/dss_header_io.h"
#include "metadata/metadata_file_kind.h"
#include "platform/file_identity.h"
#include "platform/fileio.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "wav/wav_file.h"
#include "platform/byte_order.h"

VKT_TRACE_UNIT("spoken_instructions");

using vkt::get_le16;
using vkt::get_le32;
using vkt::put_le16;
using vkt::put_le32;

using namespace vkt::platform;

namespace {

constexpr uint32_t kImageSize = vkt::dss::image::kThreeHeaders;
constexpr uint32_t kHeader3 = vkt::dss::image::kHeader3;


}  // namespace

SpokenInstructionMarker MarkerAt(const uint8_t* markers, uint32_t index) {
    const uint8_t* entry = markers + vkt::dss::kMarkerEntrySize * index;
    return {get_le32(entry), get_le32(entry + 4)};
}

void SetMarker(uint8_t* markers, uint32_t index, SpokenInstructionMarker m) {
    uint8_t* entry = markers + vkt::dss::kMarkerEntrySize * index;
    put_le32(entry, m.start);
    put_le32(entry + 4, m.end);
}

uint32_t ReadSpokenInstructionMarkersToArray(const char* name, uint8_t* markers) {
    VKT_TRACE_TEXT("-----ReadSpokenInstructionMarkersToArray(...)");
    VKT_TRACE_PARAM("name", "%s", name);
    switch (KindOfMetadataFile(name)) {
        case MetadataFileKind::Dss: return ReadDssMarkers(name, markers);
        case MetadataFileKind::Mp3: {
            uint8_t image[kImageSize];
            if (uint32_t r = CMP3Helper::ReadDSSHeaders(name, image, kImageSize)) return r;
            std::memcpy(markers, image + kHeader3, kMarkerArraySize);
            return VKT_OK;
        }
        case MetadataFileKind::Wav: break;
    }
    CWavFile wav;
    try {
        wav.open_file(name, MMIO_READ | MMIO_DENYWRITE);
    } catch (...) {
        uint32_t code = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__,
                                         "catched in ReadSpokenInstructionMarkersToArray at WavFile.open_file");
        wav.close_file();
        return code;
    }
    uint8_t key[CWavFile::kKeyChunkSize] = {};
    uint32_t got = 0;
    try {
        wav.read_listinfo_subchunk(key, &got);
    } catch (...) {
        VKT_TRACE_WARNING("Wav file does not have a key chunk");
        return VKT_ERR_CHUNK_NOT_FOUND;
    }
    if (got != CWavFile::kKeyChunkSize || std::memcmp(key, kSpokenInstructionKey, kSpokenInstructionKeyLength) != 0) {
        VKT_TRACE_MESSAGE("Not valid Spoken instructions key chunk");
        return VKT_ERR_CHUNK_NOT_FOUND;
    }
    std::memcpy(markers, key + kSpokenInstructionKeyLength, kMarkerArraySize);
    return VKT_OK;
}

uint32_t WriteSpokenInstructionMarkersToFile(const char* name, const uint8_t* markers) {
    VKT_TRACE_TEXT("-----WriteSpokenInstructionMarkersToFile(...)");
    VKT_TRACE_PARAM("name", "%s", name);
    switch (KindOfMetadataFile(name)) {
        case MetadataFileKind::Dss: return WriteDssMarkers(name, markers);
        case MetadataFileKind::Mp3: {
            uint8_t image[kImageSize];
            if (uint32_t r = CMP3Helper::ReadDSSHeaders(name, image, kImageSize)) return r;
            std::memset(image + kHeader3, 0xFF, kImageSize - kHeader3);
            std::memcpy(image + kHeader3, markers, kMarkerArraySize);
            return CMP3Helper::WriteDSSHeader(name, image, kImageSize);
        }
        case MetadataFileKind::Wav: break;
    }
    uint8_t key[CWavFile::kKeyChunkSize];
    std::memcpy(key, kSpokenInstructionKey, kSpokenInstructionKeyLength);
    std::memcpy(key + kSpokenInstructionKeyLength, markers, kMarkerArraySize);
    CWavFile wav;
    uint32_t result = VKT_OK;
    try {
        wav.open_file(name, MMIO_READWRITE | MMIO_DENYWRITE);
        wav.write_listinfo_subchunk(key);
    } catch (...) {
        result = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in WriteSpokenInstructionMarkersToFile");
    }
    if (uint32_t closed = wav.close_file(); closed && result == VKT_OK) result = closed;
    return result;
}

uint32_t ExtractSpokenInstructionMarkers(const char* src, const char* dst) {
    if (!src || !dst) return VKT_ERR_FILE_NAME;
    if (same_file(src, dst)) {
        VKT_TRACE_ERROR(VKT_ERR, "destination is the source file");
        return VKT_ERR;
    }
    uint8_t markers[kMarkerArraySize];
    if (uint32_t r = ReadSpokenInstructionMarkersToArray(src, markers)) return r;

    uint32_t err = 0;
    File* probe = file_open(dst, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0, &err);
    bool carrier_made = false;
    if (probe) {
        file_close(probe);
    } else if (KindOfMetadataFile(dst) == MetadataFileKind::Wav) {
        // Only a WAV file can be made to carry the markers: a missing DSS,
        // DS2 or MP3 destination is reported by the writer below, and no
        // RIFF file is left under its name.
        // An empty WAV file that only carries the markers.
        WAVEFORMATEX fmt{};
        fmt.wFormatTag = WAVE_FORMAT_DSS_SP;
        fmt.nChannels = 1;
        fmt.nSamplesPerSec = 16000;
        fmt.nAvgBytesPerSec = 32000;
        fmt.nBlockAlign = 2;
        fmt.wBitsPerSample = 16;
        fmt.cbSize = 0;
        CWavFile carrier;
        try {
            carrier.create_new_wave_file(dst, MMIO_CREATE | MMIO_READWRITE, &fmt);
            carrier_made = true;
            carrier.closing_work();
        } catch (...) {
            const uint32_t code =
                vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in ORVKTExtractSpokenInstructionMarkers");
            carrier.close_file();
            if (carrier_made) delete_file(dst);
            return code;
        }
    }
    const uint32_t result = WriteSpokenInstructionMarkersToFile(dst, markers);
    // A carrier that did not receive the markers is no use to anyone.
    if (result != VKT_OK && carrier_made) delete_file(dst);
    return result;
}
