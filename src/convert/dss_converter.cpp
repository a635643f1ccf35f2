#include "convert/dss_converter.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "codecs/codec_formats.h"
#include "codecs/qp_driver.h"
#include "convert/conv_entry.h"
#include "dss/dss_layout.h"
#include "metadata/header_image.h"
#include "metadata/header_transport.h"
#include "metadata/instruction_tables.h"
#include "metadata/spoken_instructions.h"
#include "platform/fileio.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "platform/byte_order.h"
#include "dss/frame_sizing.h"

VKT_TRACE_UNIT("CDSSCONV");

using vkt::get_le16;
using vkt::get_le32;
using vkt::put_le16;
using vkt::put_le32;

using vkt::raise;
using namespace vkt::platform;

namespace {

constexpr uint32_t kHeaderBlock = DSS_BLOCK_SIZE;
namespace h1 = vkt::dss::h1;

// Names longer than the buffer were refused when the destination was made;
// a longer source name is cut (it only names the file in messages).
void copy_path(char (&to)[260], const char* from) {
    const std::size_t n = std::min(std::strlen(from), sizeof to - 1);
    std::memcpy(to, from, n);
    to[n] = '\0';
}

}  // namespace

CDssConvert::CDssConvert() { VKT_TRACE_TEXT("-----CDssConvert::CDssConvert()"); }

CDssConvert::~CDssConvert() {
    VKT_TRACE_TEXT("-----CDssConvert::~CDssConvert()");
    cleanup();
}

void CDssConvert::cleanup() {
    VKT_TRACE_TEXT("-----CDssConvert::cleanup()");
    if (m_hAcmStream) {
        acmStreamClose(m_hAcmStream, 0);
        m_hAcmStream = nullptr;
    }
    m_pDssFile.reset();
    m_pWavFile.reset();
}

void CDssConvert::init_format_data(uint8_t byCompressionId_p) {
    VKT_TRACE_TEXT("-----CDssConvert::init_format_data(.)");
    VKT_TRACE_PARAM("byCompressionId_p", "%u", byCompressionId_p);
    const auto formats = vkt::codecs::dictation_format(byCompressionId_p, m_dwSampleRate);
    if (!formats) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "VKT_ERR_INVALID_COMPRESSIONID byCompressionId_p");
        raise(VKT_ERR_INVALID_COMPRESSIONID);
    }
    m_wfxSrc = formats->codec;
    m_wfxDst = formats->pcm;
    m_dwPcmBlockSize = formats->pcm_block_bytes;
    if (m_dwPcmBlockSize == 0 || m_dwPcmBlockSize > sizeof m_abyPcm) {
        // A PCM rate whose frame would not fit the frame buffer (above 16000
        // for standard play) has no codec stream.
        VKT_TRACE_ERROR(VKT_ERR_COMPRESSIONID_NOT_SUPPORTED, "PCM block size of the requested rate not supported");
        raise(VKT_ERR_COMPRESSIONID_NOT_SUPPORTED);
    }
    VKT_TRACE_VALUE("m_dwPcmBlockSize", "%lu", m_dwPcmBlockSize);
}

void CDssConvert::open_acm_stream() {
    VKT_TRACE_TEXT("-----CDssConvert::open_acm_stream()");
    const MMRESULT mmr =
        acmStreamOpen(&m_hAcmStream, nullptr, &m_wfxSrc, &m_wfxDst, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME);
    if (mmr != MMSYSERR_NOERROR) {
        m_hAcmStream = nullptr;
        VKT_TRACE_ERROR(mmr, "by acmStreamOpen() -> VKT_ERR_MEMORY_ALLOCATION");
        VKT_TRACE_ERROR(VKT_ERR_COMPRESSIONID_NOT_SUPPORTED, "by open_acm_stream()");
        raise(VKT_ERR_COMPRESSIONID_NOT_SUPPORTED);
    }
}

uint32_t CDssConvert::init(const char* pcszDSSFileName_p, const char* pcszWAVFileName_p,
                           ProgressCallback pfnCallback_p, intptr_t lCallback_p, uint32_t dwSampleRate_p,
                           const char* pcszPassword_p) {
    VKT_TRACE_TEXT("-----CDssConvert::init(...)");
    VKT_TRACE_PARAM("pcszDSSFileName_p", "%s", pcszDSSFileName_p);
    VKT_TRACE_PARAM("pcszWAVFileName_p", "%s", pcszWAVFileName_p);
    VKT_TRACE_PARAM("dwSampleRate_p", "%lu", dwSampleRate_p);
    try {
        m_progress = vkt::Progress{pfnCallback_p, lCallback_p, 0, 50, vkt::Rounding::ShareFirst, vkt::kCancelByMemberCallback};
        m_dwSampleRate = dwSampleRate_p;

        char dest[VKT_MAX_PATH] = {};
        if (uint32_t rc = CreateDestinationFilePath(pcszDSSFileName_p, pcszWAVFileName_p, dest, ".Wav")) {
            VKT_TRACE_ERROR(rc, "CreateDestinationFilePath in CDssConvert::init");
            raise(rc);
        }
        m_pDssFile = std::make_unique<CDssFile>(false);
        if (uint32_t rc = m_pDssFile->SetPassword(pcszPassword_p)) {
            VKT_TRACE_ERROR(rc, "by m_pDssFile->SetPassword(.)");
            raise(rc);
        }
        if (uint32_t rc = m_pDssFile->create_file(pcszDSSFileName_p, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                  OPEN_EXISTING, true)) {
            VKT_TRACE_ERROR(rc, "by m_pDssFile->create_file(.)");
            raise(rc);
        }
        m_strSrcPath = pcszDSSFileName_p;
        init_format_data(m_pDssFile->m_byCompressionId);

        m_pWavFile = std::make_unique<CWavFile>();
        copy_path(m_szDestPath, dest);
        m_pWavFile->create_new_wave_file(dest, MMIO_CREATE | MMIO_READWRITE | MMIO_EXCLUSIVE, &m_wfxDst);
        open_acm_stream();
        return VKT_OK;
    }
    VKT_CATCH_RETURN("catched in CDssConvert::init()")
}

uint32_t CDssConvert::decode_frame(uint32_t dwFrameBytes_p, bool bEnd_p) {
    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof header;
    header.pbSrc = m_abyFrame;
    header.cbSrcLength = dwFrameBytes_p;
    header.pbDst = m_abyPcm;
    header.cbDstLength = m_dwPcmBlockSize;
    MMRESULT mmr = acmStreamPrepareHeader(m_hAcmStream, &header, 0);
    if (mmr != MMSYSERR_NOERROR) {
        VKT_TRACE_ERROR(mmr, "by acmStreamPrepareHeader(...)");
        raise(VKT_ERR_CONVERSION);
    }
    mmr = acmStreamConvert(m_hAcmStream, &header, bEnd_p ? ACM_STREAMCONVERTF_END : 0);
    if (mmr != MMSYSERR_NOERROR) {
        VKT_TRACE_ERROR(mmr, "by acmStreamConvert(...)");
        acmStreamUnprepareHeader(m_hAcmStream, &header, 0);
        // Quality play of a recorder: its frames fail our codec's check.
        if (mmr == vkt::codecs::kQpForeignFrames && vkt::codecs::is_qp_format(m_wfxSrc)) {
            VKT_TRACE_ERROR(VKT_ERR_COMPRESSIONID_NOT_SUPPORTED,
                            "quality play recorded by a device: not decodable by this library");
            raise(VKT_ERR_COMPRESSIONID_NOT_SUPPORTED);
        }
        raise(VKT_ERR_CONVERSION);
    }
    mmr = acmStreamUnprepareHeader(m_hAcmStream, &header, 0);
    if (mmr != MMSYSERR_NOERROR) {
        VKT_TRACE_ERROR(mmr, "by acmStreamUnprepareHeader(..)");
        raise(VKT_ERR_CONVERSION);
    }
    return std::min(header.cbDstLengthUsed, m_dwPcmBlockSize);
}

uint32_t CDssConvert::conversion() {
    VKT_TRACE_TEXT("-----CDssConvert::conversion()");
    try {
        if (!m_pDssFile || !m_pWavFile || !m_hAcmStream) raise(VKT_ERR);
        const uint32_t total = m_pDssFile->m_dwTotalNrOfFrames;
        VKT_TRACE_VALUE("m_dwTotalNrOfFrames", "%lu", total);
        for (m_dwFrameCounter = 0; m_dwFrameCounter < total;) {
            uint32_t block_size = 0, frame_size = 0;
            uint8_t id = 0;
            std::memset(m_abyFrame, 0, sizeof m_abyFrame);
            // The end of the readable frames ends the output: what was
            // decoded so far is the recording.
            if (m_pDssFile->transfer_from_file_to_buffer(m_abyFrame, &block_size, &frame_size, &id) != 0) break;
            if (uint32_t rc = m_pDssFile->check_compressionId(id)) {
                VKT_TRACE_ERROR(rc, "by m_pDssFile->check_compressionId()");
                raise(rc);
            }
            // What the codec gives: a whole frame of PCM, or less while a
            // codec with a filter delay fills up (the end gives the rest).
            if (const uint32_t pcm = decode_frame(block_size)) m_pWavFile->write_data(m_abyPcm, pcm);
            ++m_dwFrameCounter;
            if (VKT_PROGRESS_STEP(m_progress, m_dwFrameCounter, total)) raise(VKT_CANCELLED);
        }
        VKT_TRACE_VALUE("m_dwFrameCounter", "%lu", m_dwFrameCounter);
        // The samples the codec held back: the frames' output is complete
        // and starts at the recording's time zero.
        if (m_dwFrameCounter > 0)
            if (const uint32_t pcm = decode_frame(0, true)) m_pWavFile->write_data(m_abyPcm, pcm);
        m_pWavFile->closing_work();
        carry_markers();
        return VKT_OK;
    }
    VKT_CATCH_RETURN("catched in CDssConvert::conversion()")
}

// The markers of the source go into the WAV file: our own files keep the
// array in header 3; Olympus and Grundig tables are converted first.
void CDssConvert::carry_markers() {
    const uint32_t licensee = m_pDssFile->GetLicenseeId();
    const uint16_t headers = m_pDssFile->m_wNrOfHeaders;
    VKT_TRACE_VALUE("dwLicenseeId", "%lu", licensee);
    if (licensee == DSS_LICENSEEID_VALMERO && headers > 2 && m_pDssFile->m_pDssFileHeader_3) {
        if (uint32_t rc = WriteSpokenInstructionMarkersToFile(m_szDestPath, m_pDssFile->m_pDssFileHeader_3.get())) {
            VKT_TRACE_ERROR(rc, "WriteSpokenInstructionMarkersToFile failed");
            raise(rc);
        }
        return;
    }
    const bool olympus = licensee == DSS_LICENSEEID_OLYMPUS && m_pDssFile->IsDssPro() && headers >= 3;
    const bool grundig = licensee == DSS_LICENSEEID_GRUNDIG;
    if (!olympus && !grundig) return;
    uint8_t markers[kMarkerArraySize];
    std::memset(markers, 0xFF, sizeof markers);
    // A table that cannot be converted costs the markers, not the audio.
    if (olympus) {
        if (uint32_t rc = ConvertOlympusSpokenInstructions(*m_pDssFile, markers)) {
            VKT_TRACE_ERROR(rc, "ConvertOlympusSpokenInstructions in ORVKTDSSToWAVEx");
            return;
        }
    } else if (uint32_t rc = ConvertGrundigSpokenInstructions(*m_pDssFile, markers)) {
        VKT_TRACE_ERROR(rc, "ConvertGrundigSpokenInstructions in ORVKTDSSToWAVEx");
        return;
    }
    if (uint32_t rc = WriteSpokenInstructionMarkersToFile(m_szDestPath, markers)) {
        VKT_TRACE_ERROR(rc, "WriteSpokenInstructionMarkersToFile failed");
        raise(rc);
    }
}

uint32_t VKTDSSToWAVInternal(const char* pcszDSSFileName, const char* pcszWAVFileName, ProgressCallback pfnCallback,
                             intptr_t lCallback, uint32_t dwSampleRate, const char* pcszPassword) {
    VKT_TRACE_TEXT("-----VKTDSSToWAVInternal(...)");
    VKT_TRACE_PARAM("pcszDSSFileName", "%s", pcszDSSFileName);
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    VKT_TRACE_PARAM("dwSampleRate", "%lu", dwSampleRate);
    if (!pcszDSSFileName || !pcszWAVFileName) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, one of the filenames is NULL");
        return VKT_ERR_FILE_NAME;
    }
    VKT_clear_frame_size_reports();
    uint32_t result = VKT_OK;
    char dest[VKT_MAX_PATH] = {};
    try {
        CDssConvert dssConvert;
        result = dssConvert.init(pcszDSSFileName, pcszWAVFileName, pfnCallback, lCallback, dwSampleRate,
                                 pcszPassword);
        if (result != VKT_OK)
            VKT_TRACE_ERROR(result, "by dssConvert.init()");
        else
            result = dssConvert.conversion();
        std::memcpy(dest, dssConvert.destination(), sizeof dest);
        dssConvert.cleanup();
    } catch (...) {
        result = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in VKTDSSToWAVInternal");
    }
    if (result != VKT_OK) {
        // No half-written output. A failure before the WAV file was created
        // leaves the caller's name alone.
        if (dest[0]) delete_file(dest);
    }
    return result;
}

// ---- packing ------------------------------------------------------------------

uint32_t CDssConvert::write_header_block(int nNrOfFileheader_p) {
    // write_fileheader traces "GetLastError() after SetFilePointer()" or
    // "by KRVDSS_write_file() file header" itself; the conversion goes on.
    return m_pDssFile->write_fileheader(nNrOfFileheader_p);
}

void CDssConvert::take_over_wav_header(int16_t sHeaders_p) {
    std::vector<uint8_t> image(2 * kHeaderBlock, 0);
    uint32_t size = static_cast<uint32_t>(image.size());
    if (ReadZRM2HeaderDataToMemoryEx(m_strSrcPath.c_str(), image.data(), &size, false) != VKT_OK) {
        // No readable header: the DSS file keeps its own default header and
        // no markers are looked for.
        VKT_TRACE_MESSAGE("no dictation header in the WAV file");
        return;
    }
    if (IsZRM2DictOrInsImage(image.data(), size)) {
        uint8_t* const header1 = m_pDssFile->m_pDssFileHeader.get();
        // Self-id, version words and encryption fields are the new file's own.
        uint8_t own_ids[h1::kFormatIdSize];
        uint8_t own_crypt[h1::kEncryptionEnd - h1::kEncryptionVersion];
        std::memcpy(own_ids, header1 + h1::kSelfId, sizeof own_ids);
        std::memcpy(own_crypt, header1 + h1::kEncryptionVersion, sizeof own_crypt);
        std::memcpy(header1, image.data(), kHeaderBlock);
        header1[h1::kHeaderCount] = static_cast<uint8_t>(sHeaders_p);
        std::memcpy(header1 + h1::kSelfId, own_ids, sizeof own_ids);
        std::memcpy(header1 + h1::kEncryptionVersion, own_crypt, sizeof own_crypt);
        write_header_block(1);
        if (sHeaders_p > 1 && size >= 2 * kHeaderBlock && m_pDssFile->m_pDssFileHeader_2) {
            uint8_t* const header2 = m_pDssFile->m_pDssFileHeader_2.get();
            std::memcpy(header2, image.data() + kHeaderBlock, kHeaderBlock);
            header2[vkt::dss::h2::kCompressionId] = m_pDssFile->m_byCompressionId;
            header2[vkt::dss::h2::kCompressionId + 1] = 0;
            write_header_block(2);
        }
    } else {
        VKT_TRACE_MESSAGE("WAV header is no DSS header of our own: default header kept");
    }
    take_over_wav_markers(sHeaders_p);
}

void CDssConvert::take_over_wav_markers(int16_t sHeaders_p) {
    if (sHeaders_p < 3 || !m_pDssFile->m_pDssFileHeader_3) return;
    uint8_t markers[kMarkerArraySize];
    if (ReadSpokenInstructionMarkersToArray(m_strSrcPath.c_str(), markers) != VKT_OK) return;
    std::memcpy(m_pDssFile->m_pDssFileHeader_3.get(), markers, kMarkerArraySize);
    write_header_block(3);
}

uint32_t CDssConvert::initEncryption(const char* pcszWAVFileName_p, const char* pcszDSSFileName_p,
                                     int16_t sHeaders_p, ProgressCallback pfnCallback_p, intptr_t lCallback_p) {
    VKT_TRACE_TEXT("-----CDssConvert::initEncryption(...)");
    VKT_TRACE_PARAM("pcszWAVFileName_p", "%s", pcszWAVFileName_p);
    VKT_TRACE_PARAM("pcszDSSFileName_p", "%s", pcszDSSFileName_p);
    VKT_TRACE_PARAM("sHeaders_p", "%d", sHeaders_p);
    try {
        m_progress = vkt::Progress{pfnCallback_p, lCallback_p, 50, 100, vkt::Rounding::ShareFirst, vkt::kCancelByMemberCallback};
        char dest[VKT_MAX_PATH] = {};
        if (uint32_t rc = CreateDestinationFilePath(pcszWAVFileName_p, pcszDSSFileName_p, dest, ".Dss")) {
            VKT_TRACE_ERROR(rc, "CreateDestinationFilePath in CDssConvert::initEncryption");
            raise(rc);
        }
        m_strSrcPath = pcszWAVFileName_p;

        m_pWavFile = std::make_unique<CWavFile>();
        m_pWavFile->open_file(pcszWAVFileName_p, MMIO_READ | MMIO_DENYWRITE);
        uint32_t fmt_size = 0;
        m_pWavFile->get_sizeof_format(&fmt_size);
        // The packed formats are 18-byte records; a longer fmt chunk keeps
        // only its first 18 bytes here.
        std::vector<uint8_t> fmt(std::max<uint32_t>(fmt_size, sizeof(WAVEFORMATEX)), 0);
        if (uint32_t rc = m_pWavFile->read_format(fmt.data(), fmt_size)) {
            VKT_TRACE_ERROR(rc, "by read_format(.)");
            raise(rc);
        }
        std::memcpy(&m_wfxSrc, fmt.data(), sizeof m_wfxSrc);
        m_wfxDst = m_wfxSrc;

        m_pDssFile = std::make_unique<CDssFile>(false);
        const int id = vkt::dss::compression_id_for_format(m_wfxSrc.wFormatTag, m_wfxSrc.nSamplesPerSec);
        if (id < 0) {
            VKT_TRACE_ERROR(VKT_ERR_COMPRESSIONID_NOT_SUPPORTED, "invalid compression id");
            raise(VKT_ERR_COMPRESSIONID_NOT_SUPPORTED);
        }
        m_pDssFile->m_byCompressionId = static_cast<uint8_t>(id);
        m_pDssFile->m_wNrOfHeaders = static_cast<uint16_t>(sHeaders_p);
        if (uint32_t rc = m_pDssFile->create_file(dest, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, false)) {
            VKT_TRACE_ERROR(rc, "by m_pDssFile->create_file(.)");
            raise(rc);
        }
        copy_path(m_szDestPath, dest);
        take_over_wav_header(sHeaders_p);
        return VKT_OK;
    }
    VKT_CATCH_RETURN("catched in CDssConvert::init()")
}

uint32_t CDssConvert::encryption() {
    VKT_TRACE_TEXT("-----CDssConvert::encryption()");
    try {
        if (!m_pDssFile || !m_pWavFile) raise(VKT_ERR);
        uint32_t data_size = 0;
        m_pWavFile->get_sizeof_data(&data_size);
        // The file's identifier was chosen from this format when it was made.
        const auto* row = vkt::dss::compression_format(m_pDssFile->m_byCompressionId);
        if (!row) raise(VKT_ERR_INVALID_COMPRESSIONID);
        const uint32_t codec_block = row->block_align;
        // About one second of whole codec blocks per read.
        const uint32_t buffer_size = std::max(codec_block, m_wfxSrc.nAvgBytesPerSec / codec_block * codec_block);
        std::vector<uint8_t> buffer;
        try {
            buffer.assign(buffer_size, 0);
        } catch (const std::bad_alloc&) {
            VKT_TRACE_ERROR(VKT_ERR_OUT_OF_MEMORY, "GetLastError() after HeapAlloc() source data buffer");
            raise(VKT_ERR_OUT_OF_MEMORY);
        }
        uint32_t done = 0;
        while (done < data_size) {
            const uint32_t want = std::min(buffer_size, data_size - done);
            const uint32_t got = m_pWavFile->read_data(buffer.data(), want);
            if (got < want) {
                VKT_TRACE_MESSAGE("Bytes read is less than expected -> cancel operation !");
                if (got > 0) m_pDssFile->transfer_from_buffer_to_file(buffer.data(), got);
                break;
            }
            m_pDssFile->transfer_from_buffer_to_file(buffer.data(), got);
            done += got;
            if (VKT_PROGRESS_STEP(m_progress, done, data_size)) raise(VKT_CANCELLED);
        }
        // The last, partly filled block goes out as well.
        m_pDssFile->flush_out_block();
        const uint32_t closing = m_pDssFile->closing_work();
        // The block writer only traces a write that failed (a full disk):
        // the file must be whole, and closed, before the packing succeeds.
        const uint32_t write_error = m_pDssFile->GetWriteError();
        if (closing != 0 || write_error != 0 || m_pDssFile->cleanup() != 0) {
            VKT_TRACE_ERROR(write_error ? write_error : VKT_ERR_WRITE_FILE, "by m_pDssFile: DSS file not completely written");
            raise(VKT_ERR_WRITE_FILE);
        }
        return VKT_OK;
    }
    VKT_CATCH_RETURN("catched in CDssConvert::encryption()")
}

uint32_t VKTWavToDssInternal(const char* pcszWAVFileName, const char* pcszDSSFileName, int16_t sHeaders,
                             ProgressCallback pfnCallback, intptr_t lCallback) {
    VKT_TRACE_TEXT("-----VKTWavToDssInternal(...)");
    VKT_TRACE_PARAM("pcszWAVFileName", "%s", pcszWAVFileName);
    VKT_TRACE_PARAM("pcszDSSFileName", "%s", pcszDSSFileName);
    VKT_TRACE_PARAM("sHeaders", "%d", sHeaders);
    if (!pcszWAVFileName || !pcszDSSFileName) {
        VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, one of the filenames is NULL");
        return VKT_ERR_FILE_NAME;
    }
    VKT_clear_frame_size_reports();
    uint32_t result = VKT_OK;
    try {
        CDssConvert dssConvert;
        result = dssConvert.initEncryption(pcszWAVFileName, pcszDSSFileName, sHeaders, pfnCallback, lCallback);
        if (result != VKT_OK)
            VKT_TRACE_ERROR(result, "by dssConvert.init()");
        else
            result = dssConvert.encryption();
        dssConvert.cleanup();
    } catch (...) {
        result = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "catched in VKTWavToDssInternal");
    }
    // The input is always a temporary file of the caller's making.
    if (result != VKT_OK) delete_file(pcszWAVFileName);
    return result;
}
