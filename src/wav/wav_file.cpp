#include "wav/wav_file.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "wav/riff_edit.h"

VKT_TRACE_UNIT("CWAVFILE");

using vkt::raise;

namespace {

const FOURCC kWave = mmioFOURCC('W', 'A', 'V', 'E');
const FOURCC kFmt = mmioFOURCC('f', 'm', 't', ' ');
const FOURCC kFact = mmioFOURCC('f', 'a', 'c', 't');
const FOURCC kData = mmioFOURCC('d', 'a', 't', 'a');
const FOURCC kIcmt = mmioFOURCC('I', 'C', 'M', 'T');
const FOURCC kIkey = mmioFOURCC('I', 'K', 'E', 'Y');
const FOURCC kCue = mmioFOURCC('c', 'u', 'e', ' ');

constexpr uint32_t kMaxFormatSize = 18 + 0xFFFF;
constexpr uint16_t kTagDictation120 = 0x0120;
constexpr uint16_t kTagDictation98 = 0x0098;

// Throws the mapped code of a platform error after logging it.
[[noreturn]] void map_and_throw(MMRESULT mmr, const char* message) {
    VKT_TRACE_ERROR(mmr, message);
    const uint32_t code = VKT_map_mmio_to_vkt_error(mmr);
    raise(code != VKT_OK ? code : VKT_ERR);  // 0 is a failure without a number here
}

// Messages that name the failing step of a chunk replacement.
struct EditMessages {
    const char* create;
    const char* write;
    uint32_t write_code;
    const char* ascend;
};

[[noreturn]] void throw_edit_failure(const vkt::wav::EditResult& r, const EditMessages& m) {
    using vkt::wav::EditStep;
    switch (r.step) {
        case EditStep::Seek:
            VKT_TRACE_ERROR(r.mmr, "by mmioSeek(). Seek to End error");
            raise(VKT_ERR);
        case EditStep::Create: map_and_throw(r.mmr, m.create);
        case EditStep::Write:
            VKT_TRACE_ERROR(m.write_code, m.write);
            raise(m.write_code);
        case EditStep::AscendChunk:
        case EditStep::Truncate: map_and_throw(r.mmr, m.ascend);
        case EditStep::AscendRiff: map_and_throw(r.mmr, "by mmioAscend() out of RIFF chunk");
        case EditStep::Layout:
        case EditStep::None: break;
    }
    // A layout the edit refuses to touch (a chunk that runs past the end of
    // the file, bytes behind the RIFF form): nothing was written.
    map_and_throw(r.mmr, "chunk layout does not allow the update");
}

}  // namespace

uint32_t VKT_map_mmio_to_vkt_error(MMRESULT mmr) {
    uint32_t result = VKT_ERR;
    const char* message = nullptr;
    switch (mmr) {
        case 0:
            VKT_TRACE_WARNING("MMSYSERR_NOERROR -> no error will be thrown");
            return VKT_OK;
        case MMIOERR_FILENOTFOUND: result = VKT_ERR_FILE_NAME; message = "MMIOERR_FILENOTFOUND -> VKT_ERR_FILE_NAME"; break;
        case MMIOERR_OUTOFMEMORY: message = "MMIOERR_OUTOFMEMORY -> VKT_ERR"; break;
        case MMIOERR_CANNOTOPEN: message = "MMIOERR_CANNOTOPEN -> VKT_ERR"; break;
        case MMIOERR_CANNOTCLOSE: message = "MMIOERR_CANNOTCLOSE -> VKT_ERR"; break;
        case MMIOERR_CANNOTREAD: message = "MMIOERR_CANNOTREAD -> VKT_ERR"; break;
        case MMIOERR_CANNOTWRITE: result = VKT_ERR_OUT_OF_DISKSPACE; message = "MMIOERR_CANNOTWRITE -> VKT_ERR"; break;
        case MMIOERR_CANNOTSEEK: message = "MMIOERR_CANNOTSEEK -> VKT_ERR"; break;
        case MMIOERR_CANNOTEXPAND: message = "MMIOERR_CANNOTEXPAND -> VKT_ERR"; break;
        case MMIOERR_CHUNKNOTFOUND: result = VKT_ERR_READ_FILE; message = "MMIOERR_CHUNKNOTFOUND -> VKT_ERR_READ_FILE"; break;
        case MMIOERR_UNBUFFERED: message = "MMIOERR_UNBUFFERED -> VKT_ERR"; break;
        case MMIOERR_PATHNOTFOUND: result = VKT_ERR_FILE_NAME; message = "MMIOERR_PATHNOTFOUND -> VKT_ERR_FILE_NAME"; break;
        case MMIOERR_ACCESSDENIED: result = VKT_ERR_OPEN_FILE; message = "MMIOERR_ACCESSDENIED -> VKT_ERR_OPEN_FILE"; break;
        case MMIOERR_SHARINGVIOLATION: message = "MMIOERR_SHARINGVIOLATION -> VKT_ERR"; break;
        case MMIOERR_NETWORKERROR: message = "MMIOERR_NETWORKERROR -> VKT_ERR"; break;
        case MMIOERR_TOOMANYOPENFILES: message = "MMIOERR_TOOMANYOPENFILES -> VKT_ERR"; break;
        case MMIOERR_INVALIDFILE: result = VKT_ERR_OPEN_FILE; message = "MMIOERR_INVALIDFILE -> VKT_ERR_OPEN_FILE"; break;
        default: message = "case default: no MMIOERR_ matched -> VKT_ERR"; break;
    }
    VKT_TRACE_ERROR(mmr, message);
    return result;
}

// The log names this step as it always has.
MMRESULT CWavFile::descend_from_start(WantedChunk nWantedChunk_p, MMCKINFO* pMmckRiff_p, MMCKINFO* pMmckWanted_p) {
    VKT_TRACE_TEXT("-----CKrvwav::KRVWAVE_descend_into_wanted_chunk(...)");
    VKT_TRACE_PARAM("nWantedChunk_p", "%d", static_cast<int>(nWantedChunk_p));
    if (mmioSeek(m_hMmio, 0, MMIO_SEEK_SET) != 0)
        VKT_TRACE_MESSAGE("by mmioSeek() SEEK_SET, 0; no error, if before already on 0)");
    *pMmckRiff_p = MMCKINFO{};
    pMmckRiff_p->fccType = kWave;
    if (MMRESULT mmr = mmioDescend(m_hMmio, pMmckRiff_p, nullptr, MMIO_FINDRIFF)) {
        VKT_TRACE_ERROR(mmr, "by mmioDescend() MMIO_FINDRIFF");
        return mmr;
    }
    VKT_TRACE_VALUE("pMmckRiff_p->cksize", "%lu", pMmckRiff_p->cksize);
    if (nWantedChunk_p == kRiffOnly) return 0;
    *pMmckWanted_p = MMCKINFO{};
    pMmckWanted_p->ckid = kFact;
    MMRESULT mmr = mmioDescend(m_hMmio, pMmckWanted_p, pMmckRiff_p, MMIO_FINDCHUNK);
    if (mmr) VKT_TRACE_ERROR(mmr, "by mmioDescend() into wanted chunk");
    else VKT_TRACE_VALUE("pMmckWanted_p->cksize", "%lu", pMmckWanted_p->cksize);
    return mmr;
}

void CWavFile::descend_into_riff(MMCKINFO* pMmckRiff_p) {
    if (MMRESULT mmr = descend_from_start(kRiffOnly, pMmckRiff_p, nullptr))
        map_and_throw(mmr, "by KRVWAVE_descend_into_wanted_chunk() RIFF chunk");
}

CWavFile::CWavFile() { VKT_TRACE_TEXT("-----CWavFile::CWavFile(void)"); }

CWavFile::~CWavFile() {
    VKT_TRACE_TEXT("-----CWavFile::~CWavFile(void)");
    cleanup();
}

void CWavFile::cleanup() {
    VKT_TRACE_TEXT("-----CWavFile::cleanup(void)");
    // A close error is only logged here: the destructor has no one to tell.
    if (close_file() != 0 && m_hMmio) close_file();
}

void CWavFile::create_new_wave_file(const char* lpszFilepath_p, uint32_t dwOpenFlags_p, const WAVEFORMATEX* pwfx_p) {
    VKT_TRACE_TEXT("-----CWavFile::create_new_wave_file(...)");
    VKT_TRACE_PARAM("lpszFilepath_p", "%s", lpszFilepath_p);
    VKT_TRACE_PARAM("dwOpenFlags_p", "%8x", dwOpenFlags_p);
    if (!pwfx_p) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "create_new_wave_file - no wave format");
        raise(VKT_ERR_INVALID_WAVFMT);
    }
    if (m_hMmio) close_file();
    m_mmckInfoRiff = MMCKINFO{};
    std::memcpy(&m_pcmWaveFormat, pwfx_p, 16);
    m_pcmWaveFormat.cbSize = 0;

    // fmt content: the 18-byte record and cbSize extra bytes. The extra
    // bytes of the 0x0120 and 0x0098 codecs are written as zeros.
    const uint32_t fmt_size = 18u + pwfx_p->cbSize;
    std::vector<uint8_t> fmt(fmt_size, 0);
    std::memcpy(fmt.data(), pwfx_p, 18);
    if (pwfx_p->wFormatTag != kTagDictation120 && pwfx_p->wFormatTag != kTagDictation98 && pwfx_p->cbSize)
        std::memcpy(fmt.data() + 18, reinterpret_cast<const uint8_t*>(pwfx_p) + 18, pwfx_p->cbSize);

    MMIOINFO info;
    m_hMmio = mmioOpenA(lpszFilepath_p, &info, dwOpenFlags_p);
    if (!m_hMmio) map_and_throw(info.wErrorRet, "by mmioOpen() create new wave file");

    m_mmckInfoRiff.fccType = kWave;
    if (MMRESULT mmr = mmioCreateChunk(m_hMmio, &m_mmckInfoRiff, MMIO_CREATERIFF))
        map_and_throw(mmr, "by mmioCreateChunk() MMIO_CREATERIFF");

    MMCKINFO ck;
    ck.ckid = kFmt;
    ck.cksize = fmt_size;
    if (MMRESULT mmr = mmioCreateChunk(m_hMmio, &ck, 0)) map_and_throw(mmr, "by mmioCreateChunk() fmt chunk");
    if (mmioWrite(m_hMmio, fmt.data(), static_cast<int32_t>(fmt_size)) == -1) {
        VKT_TRACE_ERROR(errno, "by mmioWrite() waveFormatEx -> VKT_ERR_OUT_OF_DISKSPACE");
        raise(VKT_ERR_OUT_OF_DISKSPACE);
    }
    if (MMRESULT mmr = mmioAscend(m_hMmio, &ck, 0)) map_and_throw(mmr, "mmioAscend() out of fmt chunk");

    ck = MMCKINFO{};
    ck.ckid = kFact;
    ck.cksize = 4;
    if (MMRESULT mmr = mmioCreateChunk(m_hMmio, &ck, 0)) map_and_throw(mmr, "by mmioCreateChunk() fact chunk");
    const uint32_t dwSampleLength = 0;
    if (mmioWrite(m_hMmio, &dwSampleLength, 4) == -1) {
        VKT_TRACE_ERROR(errno, "by mmioWrite() dwSampleLength -> VKT_ERR_OUT_OF_DISKSPACE");
        raise(VKT_ERR_OUT_OF_DISKSPACE);
    }
    if (MMRESULT mmr = mmioAscend(m_hMmio, &ck, 0)) map_and_throw(mmr, "by mmioAscend(...) out of fact chunk");

    m_mmckInfoData = MMCKINFO{};
    m_mmckInfoData.ckid = kData;
    if (MMRESULT mmr = mmioCreateChunk(m_hMmio, &m_mmckInfoData, 0))
        map_and_throw(mmr, "by mmioCreateChunk(...) data chunk");
    m_mmckInfoData.dwFlags |= MMIO_DIRTY;
}

uint32_t CWavFile::write_data(const void* pvBuffer_p, uint32_t dwBufferSize_p) {
    int32_t written = mmioWrite(m_hMmio, pvBuffer_p, static_cast<int32_t>(dwBufferSize_p));
    if (written == -1) {
        VKT_TRACE_ERROR(errno, "by mmioWrite() write data -> VKT_ERR_OUT_OF_DISKSPACE");
        raise(VKT_ERR_OUT_OF_DISKSPACE);
    }
    return static_cast<uint32_t>(written);
}

void CWavFile::closing_work() {
    VKT_TRACE_TEXT("-----CWavFile::closing_work(void)");
    if (MMRESULT mmr = mmioAscend(m_hMmio, &m_mmckInfoData, 0)) map_and_throw(mmr, "by mmioAscend() out of data chunk");
    m_mmckInfoRiff.dwFlags |= MMIO_DIRTY;
    if (MMRESULT mmr = mmioAscend(m_hMmio, &m_mmckInfoRiff, 0)) map_and_throw(mmr, "by mmioAscend() out of RIFF chunk");
    VKT_TRACE_VALUE("m_mmckInfoData.cksize", "%lu", m_mmckInfoData.cksize);
    VKT_TRACE_VALUE("m_mmckInfoRiff.cksize", "%lu", m_mmckInfoRiff.cksize);

    // Samples per channel are not what counts here: 16-bit data gives half
    // the byte count and 8-bit data the byte count, whatever the channels.
    const uint32_t size = m_mmckInfoData.cksize;
    uint32_t dwSampleLength = 0;
    if (m_pcmWaveFormat.wBitsPerSample == 16) {
        dwSampleLength = size >> 1;
    } else if (m_pcmWaveFormat.wBitsPerSample == 8) {
        dwSampleLength = size;
    } else if (m_pcmWaveFormat.nAvgBytesPerSec != 0) {
        dwSampleLength = static_cast<uint32_t>(static_cast<double>(m_pcmWaveFormat.nSamplesPerSec) * size /
                                               m_pcmWaveFormat.nAvgBytesPerSec);
    }
    VKT_TRACE_VALUE("dwSampleLength", "%lu", dwSampleLength);
    update_fact_chunk(dwSampleLength);

    if (uint32_t r = close_file()) {
        VKT_TRACE_ERROR(r, "by close_file()");
        raise(r);
    }
}

void CWavFile::update_fact_chunk(uint32_t dwSampleLength_p) {
    VKT_TRACE_TEXT("-----CWavFile::update_fact_chunk(...)");
    VKT_TRACE_PARAM("dwSampleLength_p", "%lu", dwSampleLength_p);
    uint32_t result = VKT_OK;
    MMCKINFO fact;
    if (descend_from_start(kFactChunk, &m_mmckInfoRiff, &fact) != 0) {
        VKT_TRACE_ERROR(VKT_ERR, "by KRVWAVE_descend_into_wanted_chunk() fact chunk -> VKT_ERR");
        result = VKT_ERR;
    } else if (mmioWrite(m_hMmio, &dwSampleLength_p, 4) <= 0) {
        VKT_TRACE_ERROR(VKT_ERR_OUT_OF_DISKSPACE,
                        "by mmioWrite(...) dwSampleLength into fact chunk -> VKT_ERR_OUT_OF_DISKSPACE");
        result = VKT_ERR_OUT_OF_DISKSPACE;
    }
    if (result != VKT_OK) {
        VKT_TRACE_ERROR(result, "by update_fact_chunk()");
        raise(result);
    }
}

void CWavFile::open_file(const char* lpszFilepath_p, uint32_t dwOpenFlags_p) {
    VKT_TRACE_TEXT("-----CWavFile::open_file(...)");
    VKT_TRACE_PARAM("lpszFilepath_p", "%s", lpszFilepath_p);
    VKT_TRACE_PARAM("dwOpenFlags_p", "%8x", dwOpenFlags_p);
    if (m_hMmio) close_file();
    m_mmckInfoParent = MMCKINFO{};
    MMIOINFO info;
    m_hMmio = mmioOpenA(lpszFilepath_p, &info, dwOpenFlags_p);
    if (!m_hMmio) map_and_throw(info.wErrorRet, "by mmioOpen() open existing wave file");
    m_mmckInfoParent.fccType = kWave;
    if (MMRESULT mmr = mmioDescend(m_hMmio, &m_mmckInfoParent, nullptr, MMIO_FINDRIFF))
        map_and_throw(mmr, "by mmioDescend() MMIO_FINDRIFF (no riff wave file)");
}

void CWavFile::get_sizeof_format(uint32_t* pdwSizeWavFmt) {
    VKT_TRACE_TEXT("-----CWavFile::get_sizeof_format(...)");
    if (!m_hMmio) {
        VKT_TRACE_ERROR(VKT_ERR, "get_sizeof_format - file not open");
        raise(VKT_ERR);
    }
    mmioSeek(m_hMmio, 0, MMIO_SEEK_SET);
    MMCKINFO riff;
    riff.fccType = kWave;
    if (MMRESULT mmr = mmioDescend(m_hMmio, &riff, nullptr, MMIO_FINDRIFF))
        map_and_throw(mmr, "by mmioDescend() MMIO_FINDRIFF (no riff wave file)");
    MMCKINFO fmt;
    fmt.ckid = kFmt;
    if (MMRESULT mmr = mmioDescend(m_hMmio, &fmt, &riff, MMIO_FINDCHUNK))
        map_and_throw(mmr, "by mmioDescend() fmt-chunk not found");
    VKT_TRACE_VALUE("dwFmtSize", "%lu", fmt.cksize);
    if (fmt.cksize < 16) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "FFD_INVALID_FORMAT Size of fmt chunk < sizeof(PCMWAVEFORMAT)");
        raise(VKT_ERR_INVALID_WAVFMT);
    }
    // The size is what callers allocate for the format: a chunk that claims
    // more than the file holds, or more than an 18-byte record and the
    // 65535 extra bytes its cbSize can announce, is damaged, not a format.
    if (fmt.cksize > kMaxFormatSize || fmt.cksize > bytes_behind(fmt.dwDataOffset)) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "fmt chunk longer than a format or than the file");
        raise(VKT_ERR_INVALID_WAVFMT);
    }
    if (pdwSizeWavFmt) *pdwSizeWavFmt = fmt.cksize;
}

uint32_t CWavFile::read_format(void* pwaveFormatEx_p, uint32_t dwSizeWavFmt) {
    VKT_TRACE_TEXT("-----CWavFile::read_format(...)");
    VKT_TRACE_PARAM("dwSizeWavFmt", "%lu", dwSizeWavFmt);
    if (!m_hMmio || dwSizeWavFmt > 0x7FFFFFFFu ||
        mmioRead(m_hMmio, pwaveFormatEx_p, static_cast<int32_t>(dwSizeWavFmt)) != static_cast<int32_t>(dwSizeWavFmt)) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_WAVFMT, "by mmioRead() fmt- chunk -> FILE_IO_ERROR");
        return VKT_ERR_INVALID_WAVFMT;
    }
    return VKT_OK;
}

void CWavFile::get_sizeof_data(uint32_t* pdwSizeData) {
    VKT_TRACE_TEXT("-----CWavFile::get_sizeof_data(...)");
    if (!m_hMmio) {
        VKT_TRACE_ERROR(VKT_ERR, "get_sizeof_data - file not open");
        raise(VKT_ERR);
    }
    if (mmioSeek(m_hMmio, 0, MMIO_SEEK_SET) != 0) VKT_TRACE_MESSAGE("by mmioSeek() SEEK_SET 0");
    MMCKINFO riff;
    riff.fccType = kWave;
    if (MMRESULT mmr = mmioDescend(m_hMmio, &riff, nullptr, MMIO_FINDRIFF))
        map_and_throw(mmr, "by mmioDescend() MMIO_FINDRIFF (no riff wave file)");
    MMCKINFO data;
    data.ckid = kData;
    if (MMRESULT mmr = mmioDescend(m_hMmio, &data, &riff, MMIO_FINDCHUNK))
        map_and_throw(mmr, "by mmioDescend() into data chunk");
    VKT_TRACE_VALUE("dwDataSize", "%lu", data.cksize);
    // Tolerated: a recording that was never finished (or whose size field
    // was never patched) claims more than the file holds. The samples that
    // are there are the data.
    const uint64_t held = bytes_behind(data.dwDataOffset);
    if (data.cksize > held) {
        VKT_TRACE_WARNING("data chunk runs past the end of the file: the bytes there are the data");
        VKT_TRACE_VALUE("dwDataSize (held)", "%lu", static_cast<uint32_t>(held));
    }
    if (pdwSizeData) *pdwSizeData = static_cast<uint32_t>(std::min<uint64_t>(data.cksize, held));
}

uint64_t CWavFile::bytes_behind(uint32_t dwOffset_p) const {
    const int64_t size = mmioFileSize(m_hMmio);
    return size < 0 || static_cast<uint64_t>(size) < dwOffset_p ? 0 : static_cast<uint64_t>(size) - dwOffset_p;
}

uint32_t CWavFile::read_data(void* pvBuffer_p, uint32_t dwBufferSize_p) {
    int32_t got = mmioRead(m_hMmio, pvBuffer_p, static_cast<int32_t>(dwBufferSize_p));
    if (got == -1) {
        VKT_TRACE_ERROR(VKT_ERR_READ_FILE, "by mmioRead() read data");
        raise(VKT_ERR_READ_FILE);
    }
    if (got == 0) VKT_TRACE_ERROR(0, "by mmioRead() read data -> end of file");
    return static_cast<uint32_t>(got);
}

uint32_t CWavFile::close_file() {
    VKT_TRACE_TEXT("-----CWavFile::close_file(void)");
    if (!m_hMmio) return VKT_OK;
    MMRESULT mmr = mmioClose(m_hMmio, 0);
    if (mmr == 0) {
        m_hMmio = nullptr;
        return VKT_OK;
    }
    VKT_TRACE_ERROR(mmr, "by mmioClose() ");
    return VKT_map_mmio_to_vkt_error(mmr);
}

// ---- LIST/INFO sub-chunks ------------------------------------------------

void CWavFile::read_info_subchunk(FOURCC id, uint8_t* buffer, uint32_t capacity, uint32_t* size_read) {
    const bool icmt = id == kIcmt;
    MMCKINFO riff, list, sub;
    descend_into_riff(&riff);
    list.fccType = mmioStringToFOURCCA("INFO", 0);
    if (MMRESULT mmr = mmioDescend(m_hMmio, &list, &riff, MMIO_FINDLIST)) {
        VKT_TRACE_ERROR(mmr, "by Descend into LIST chunk");
        mmioAscend(m_hMmio, &riff, 0);
        raise(VKT_ERR_CHUNK_NOT_FOUND);
    }
    sub.ckid = id;
    if (MMRESULT mmr = mmioDescend(m_hMmio, &sub, &list, MMIO_FINDCHUNK)) {
        if (icmt) VKT_TRACE_WARNING("Warning by Descend into ICMT chunk: Chunk not existing");
        else VKT_TRACE_ERROR(mmr, "by Descend into I... chunk");
        mmioAscend(m_hMmio, &list, 0);
        mmioAscend(m_hMmio, &riff, 0);
        raise(VKT_ERR_CHUNK_NOT_FOUND);
    }
    if (sub.cksize > capacity) {
        VKT_TRACE_ERROR(sub.cksize, "Buffer size too small");
        mmioAscend(m_hMmio, &sub, 0);
        mmioAscend(m_hMmio, &list, 0);
        mmioAscend(m_hMmio, &riff, 0);
        raise(VKT_ERR_BUFFER_TOO_SMALL);
    }
    int32_t got = mmioRead(m_hMmio, buffer, static_cast<int32_t>(sub.cksize));
    if (got == -1) {
        VKT_TRACE_ERROR(VKT_ERR_READ_FILE, icmt ? "by mmioRead(...) ICMT chunk info" : "by mmioRead(...) I... chunk info");
        mmioAscend(m_hMmio, &sub, 0);
        mmioAscend(m_hMmio, &list, 0);
        mmioAscend(m_hMmio, &riff, 0);
        raise(VKT_ERR_READ_FILE);
    }
    // A chunk cut short by the end of the file gives what is there.
    if (size_read) *size_read = static_cast<uint32_t>(got);
    if (mmioAscend(m_hMmio, &sub, 0))
        VKT_TRACE_ERROR(0, icmt ? "by mmioAscend(...) icmt chunk" : "by mmioAscend(...) I... chunk");
    if (mmioAscend(m_hMmio, &list, 0)) VKT_TRACE_ERROR(0, "by mmioAscend(...) list chunk");
    if (mmioAscend(m_hMmio, &riff, 0)) VKT_TRACE_ERROR(0, "by mmioAscend(...) riff chunk");
}

void CWavFile::write_info_subchunk(FOURCC id, const uint8_t* data, uint32_t length) {
    const bool icmt = id == kIcmt;
    MMCKINFO riff;
    descend_into_riff(&riff);
    auto r = vkt::wav::replace_list_subchunk(m_hMmio, &riff, mmioStringToFOURCCA("INFO", 0), id, data, length);
    if (!r.ok()) {
        throw_edit_failure(r, EditMessages{"by mmioCreateChunk() LIST + INFO",
                                           icmt ? "by mmioWrite(...) Icmt chunk info" : "by mmioWrite(...) I... chunk info",
                                           VKT_ERR_WRITE_FILE, "by mmioAscend() out of LIST chunk"});
    }
}

void CWavFile::read_icmt_chunk(char* lpszIcmtChunkInfo_p, uint32_t dwBufferSize_p, uint32_t* pdwSizeRead_p) {
    VKT_TRACE_TEXT("-----CWavFile::read_icmt_chunk(...)");
    VKT_TRACE_PARAM("dwBufferSize_p", "%lu", dwBufferSize_p);
    read_info_subchunk(kIcmt, reinterpret_cast<uint8_t*>(lpszIcmtChunkInfo_p), dwBufferSize_p, pdwSizeRead_p);
}

void CWavFile::write_icmt_chunk(const char* lpszIcmtChunkInfo_p, uint32_t dwLength_p) {
    VKT_TRACE_TEXT("-----CWavFile::write_icmt_chunk(...)");
    VKT_TRACE_PARAM("dwLength_p", "%lu", dwLength_p);
    write_info_subchunk(kIcmt, reinterpret_cast<const uint8_t*>(lpszIcmtChunkInfo_p), dwLength_p);
}

void CWavFile::read_listinfo_subchunk(uint8_t* pbyBuffer_p, uint32_t* pdwSizeRead_p) {
    VKT_TRACE_TEXT("-----CWavFile::read_listinfo_subchunk(...)");
    read_info_subchunk(kIkey, pbyBuffer_p, kKeyChunkSize, pdwSizeRead_p);
}

void CWavFile::write_listinfo_subchunk(const uint8_t* pbyBuffer_p) {
    VKT_TRACE_TEXT("-----CWavFile::write_listinfo_subchunk(...)");
    write_info_subchunk(kIkey, pbyBuffer_p, kKeyChunkSize);
}

// ---- the whole LIST --------------------------------------------------------

uint32_t CWavFile::get_sizeof_list(uint32_t* pdwSizeList) {
    VKT_TRACE_TEXT("-----CWavFile::get_sizeof_list(...)");
    if (!m_hMmio) return VKT_ERR;
    if (mmioSeek(m_hMmio, 0, MMIO_SEEK_SET) != 0) VKT_TRACE_MESSAGE("by mmioSeek() SEEK_SET 0");
    MMCKINFO riff;
    riff.fccType = kWave;
    if (MMRESULT mmr = mmioDescend(m_hMmio, &riff, nullptr, MMIO_FINDRIFF)) {
        VKT_TRACE_ERROR(mmr, "by mmioDescend() MMIO_FINDRIFF (no riff wave file)");
        return VKT_map_mmio_to_vkt_error(mmr);
    }
    // The LIST of type INFO, wherever it is: other lists (an "adtl" list of
    // labels, say) may come first.
    MMCKINFO list;
    list.fccType = mmioStringToFOURCCA("INFO", 0);
    if (MMRESULT mmr = mmioDescend(m_hMmio, &list, &riff, MMIO_FINDLIST)) {
        VKT_TRACE_ERROR(mmr, "by mmioDescend() into data chunk");
        return VKT_map_mmio_to_vkt_error(mmr);
    }
    VKT_TRACE_VALUE("dwSizeList", "%lu", list.cksize);
    if (pdwSizeList) *pdwSizeList = list.cksize;
    return VKT_OK;
}

void CWavFile::read_list_chunk(uint8_t* lpszListChunkInfo_p, uint32_t dwBufferSize_p) {
    VKT_TRACE_TEXT("-----CWavFile::read_list_chunk(...)");
    VKT_TRACE_PARAM("dwBufferSize_p", "%lu", dwBufferSize_p);
    MMCKINFO riff, list;
    descend_into_riff(&riff);
    list.fccType = mmioStringToFOURCCA("INFO", 0);
    if (MMRESULT mmr = mmioDescend(m_hMmio, &list, &riff, MMIO_FINDLIST)) {
        VKT_TRACE_ERROR(mmr, "by Descend into LIST chunk");
        mmioAscend(m_hMmio, &riff, 0);
        raise(VKT_ERR_CHUNK_NOT_FOUND);
    }
    if (list.cksize > dwBufferSize_p) {
        VKT_TRACE_ERROR(list.cksize, "Buffer size too small");
        mmioAscend(m_hMmio, &list, 0);
        mmioAscend(m_hMmio, &riff, 0);
        raise(VKT_ERR_BUFFER_TOO_SMALL);
    }
    // As many bytes as the list size counts, from behind the list type:
    // the last four lie behind the list (or stay zero at the end of the file).
    if (mmioRead(m_hMmio, lpszListChunkInfo_p, static_cast<int32_t>(list.cksize)) == -1) {
        VKT_TRACE_ERROR(VKT_ERR_READ_FILE, "by mmioRead(...) LIST chunk info");
        mmioAscend(m_hMmio, &list, 0);
        mmioAscend(m_hMmio, &riff, 0);
        raise(VKT_ERR_READ_FILE);
    }
    if (mmioAscend(m_hMmio, &list, 0)) VKT_TRACE_ERROR(0, "by mmioAscend(...) list chunk");
    if (mmioAscend(m_hMmio, &riff, 0)) VKT_TRACE_ERROR(0, "by mmioAscend(...) riff chunk");
}

void CWavFile::write_list_chunk(const uint8_t* lpszListChunkInfo_p, uint32_t dwLength_p) {
    VKT_TRACE_TEXT("-----CWavFile::write_list_chunk(...)");
    VKT_TRACE_PARAM("dwLength_p", "%lu", dwLength_p);
    MMCKINFO riff;
    descend_into_riff(&riff);
    auto r = vkt::wav::replace_chunk(m_hMmio, &riff, FOURCC_LIST, mmioStringToFOURCCA("INFO", 0), lpszListChunkInfo_p,
                                     dwLength_p);
    if (!r.ok())
        throw_edit_failure(r, EditMessages{"by mmioCreateChunk() LIST + INFO", "by mmioWrite(...) LIST: chunk info",
                                           VKT_ERR_WRITE_FILE, "by mmioAscend() out of LIST chunk"});
}

// ---- cue point -------------------------------------------------------------

uint32_t CWavFile::read_cue_chunk(CuePoint* pCuePoint_p) {
    VKT_TRACE_TEXT("-----CWavFile::read_cue_chunk(...)");
    VKT_TRACE_PARAM("pCuePoint_p", "%p", pCuePoint_p);
    if (!pCuePoint_p) return VKT_ERR_NULL_CUEPOINT;
    MMCKINFO riff, cue;
    if (MMRESULT mmr = descend_from_start(kRiffOnly, &riff, nullptr)) return VKT_map_mmio_to_vkt_error(mmr);
    *pCuePoint_p = CuePoint{};
    cue.ckid = kCue;
    if (MMRESULT mmr = mmioDescend(m_hMmio, &cue, &riff, MMIO_FINDCHUNK)) {
        VKT_TRACE_ERROR(mmr, "by Descend into Cue chunk");
        return VKT_ERR_CHUNK_NOT_FOUND;
    }
    if (cue.cksize >= 29) {
        VKT_TRACE_ERROR(cue.cksize, "Buffer size too small");
        return VKT_ERR_BUFFER_TOO_SMALL;
    }
    uint8_t bytes[kCueChunkSize] = {};
    if (mmioRead(m_hMmio, bytes, static_cast<int32_t>(cue.cksize)) == -1) {
        VKT_TRACE_ERROR(VKT_ERR_READ_FILE, "by mmioRead(...) cue chunk info");
        return VKT_ERR_READ_FILE;
    }
    bool ascended = true;
    if (mmioAscend(m_hMmio, &cue, 0)) {
        VKT_TRACE_ERROR(0, "by mmioAscend(...) cue chunk");
        ascended = false;
    }
    if (mmioAscend(m_hMmio, &riff, 0)) {
        VKT_TRACE_ERROR(0, "by mmioAscend(...) riff chunk");
        ascended = false;
    }
    // Bytes 0-3 count the cue points; the first record follows.
    if (ascended) std::memcpy(pCuePoint_p, bytes + 4, sizeof(CuePoint));
    return VKT_OK;
}

uint32_t CWavFile::write_cue_chunk(const CuePoint* pCuePoint_p) {
    VKT_TRACE_TEXT("-----CWavFile::write_cue_chunk(...)");
    VKT_TRACE_PARAM("pCuePoint_p", "%p", pCuePoint_p);
    if (!pCuePoint_p) return VKT_ERR_NULL_CUEPOINT;
    MMCKINFO riff;
    if (MMRESULT mmr = descend_from_start(kRiffOnly, &riff, nullptr)) return VKT_map_mmio_to_vkt_error(mmr);
    uint8_t bytes[kCueChunkSize];
    const uint32_t count = 1;
    std::memcpy(bytes, &count, 4);
    std::memcpy(bytes + 4, pCuePoint_p, sizeof(CuePoint));
    auto r = vkt::wav::replace_chunk(m_hMmio, &riff, kCue, 0, bytes, kCueChunkSize);
    using vkt::wav::EditStep;
    switch (r.step) {
        case EditStep::None: return VKT_OK;
        case EditStep::Seek:
            VKT_TRACE_ERROR(r.mmr, "by mmioSeek(). Seek to End error");
            return VKT_ERR;
        case EditStep::Create:
            VKT_TRACE_ERROR(r.mmr, "by mmioCreateChunk() cue chunk");
            return VKT_ERR;
        case EditStep::Write:
            VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "by mmioWrite(...) cue chunk info");
            return VKT_ERR_WRITE_FILE;
        case EditStep::AscendChunk:
        case EditStep::Truncate:
            VKT_TRACE_ERROR(r.mmr, "by mmioAscend() out of ISRC chunk");
            return VKT_ERR;
        case EditStep::AscendRiff:
            VKT_TRACE_ERROR(r.mmr, "by mmioAscend() out of RIFF chunk");
            return VKT_map_mmio_to_vkt_error(r.mmr);
        case EditStep::Layout: break;
    }
    VKT_TRACE_ERROR(r.mmr, "chunk layout does not allow the update");
    return VKT_map_mmio_to_vkt_error(r.mmr);
}
