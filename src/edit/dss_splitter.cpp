#include "edit/dss_splitter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "dss/crypt.h"
#include "dss/dss_layout.h"
#include "edit/dss_edit_common.h"
#include "platform/progress.h"
#include "platform/file_identity.h"
#include "platform/path.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"
#include "dss/frame_sizing.h"

VKT_TRACE_UNIT("DSSSplitter");

using namespace vkt::platform;
using namespace vkt::edit;
using vkt::raise;

namespace {

constexpr std::size_t kMaxPath = 260;  // the name buffer, terminator included
constexpr uint32_t kFramesPerReport = 1000;

// One printf conversion of the mask: its place and its text.
struct MaskParts {
    std::string prefix, suffix;  // literal text, "%%" already turned into "%"
    std::string conversion;      // "%05d" with any length modifier removed; empty: none
};

bool parse_mask(const std::string& mask, MaskParts& parts) {
    std::string* literal = &parts.prefix;
    for (std::size_t i = 0; i < mask.size();) {
        if (mask[i] != '%') {
            literal->push_back(mask[i++]);
            continue;
        }
        if (i + 1 < mask.size() && mask[i + 1] == '%') {
            literal->push_back('%');
            i += 2;
            continue;
        }
        if (!parts.conversion.empty()) return false;  // a second placeholder
        std::size_t j = i + 1;
        std::string conversion = "%";
        while (j < mask.size() && std::strchr("-+ #0", mask[j])) conversion.push_back(mask[j++]);
        // Width and precision of at most three digits each: nothing longer
        // fits a file name anyway.
        std::size_t digits = 0;
        while (j < mask.size() && mask[j] >= '0' && mask[j] <= '9') conversion.push_back(mask[j++]), ++digits;
        if (digits > 3) return false;
        if (j < mask.size() && mask[j] == '.') {
            conversion.push_back(mask[j++]);
            digits = 0;
            while (j < mask.size() && mask[j] >= '0' && mask[j] <= '9') conversion.push_back(mask[j++]), ++digits;
            if (digits > 3) return false;
        }
        while (j < mask.size() && std::strchr("hljzt", mask[j])) ++j;  // length modifiers: the value is ours
        if (j >= mask.size() || !std::strchr("diuoxX", mask[j])) return false;
        conversion += "ll";
        conversion.push_back(mask[j]);
        parts.conversion = conversion;
        literal = &parts.suffix;
        i = j + 1;
    }
    return true;
}

}  // namespace

// ---- piece names ----------------------------------------------------------------------

bool CDSSSplitter::FormatPieceName(const std::string& mask, uint32_t n, std::string& name) {
    MaskParts parts;
    if (!parse_mask(mask, parts)) return false;
    std::string number;
    if (!parts.conversion.empty()) {
        char text[64];
        const char conv = parts.conversion.back();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        int length = conv == 'd' || conv == 'i'
                         ? std::snprintf(text, sizeof text, parts.conversion.c_str(), static_cast<long long>(n))
                         : std::snprintf(text, sizeof text, parts.conversion.c_str(), static_cast<unsigned long long>(n));
#pragma GCC diagnostic pop
        if (length < 0 || static_cast<std::size_t>(length) >= sizeof text) {
            // Wider than the buffer: longer than any file name may be.
            return false;
        }
        number = text;
    }
    name = parts.prefix + number + parts.suffix;
    // A piece lies in the destination folder: a separator in the mask would
    // send it elsewhere ("../x%d.dss").
    if (name.find('/') != std::string::npos) return false;
    return name.size() < kMaxPath;
}

bool CDSSSplitter::MaskHasPlaceholder(const std::string& mask) {
    MaskParts parts;
    return parse_mask(mask, parts) && !parts.conversion.empty();
}

// ---- construction ---------------------------------------------------------------------

void TraceSplitParameters(const char* unit, const char* pcszSrcFileName, const char* pcszDestinationFolder,
                          const char* pcszDestinationFileMask, uint32_t splitLength, uint32_t overlapLength,
                          uint32_t splitCount, ProgressCallback pfnCallback, intptr_t lCallback) {
    const char* const vkt_trace_unit = unit;
    VKT_TRACE_PARAM("pcszSrcFileName", "%s", pcszSrcFileName);
    VKT_TRACE_PARAM("pcszDestinationFolder", "%s", pcszDestinationFolder);
    VKT_TRACE_PARAM("pcszDestinationFileMask", "%s", pcszDestinationFileMask);
    VKT_TRACE_PARAM("splitLength", "%lu", splitLength);
    VKT_TRACE_PARAM("overlapLength", "%lu", overlapLength);
    VKT_TRACE_PARAM("splitCount", "%lu", splitCount);
    VKT_TRACE_PARAM("pfnCallback", "%p", reinterpret_cast<void*>(pfnCallback));
    VKT_TRACE_PARAM("lCallback", "%ld", lCallback);
}

CDSSSplitter::CDSSSplitter(const char* pcszSrcFileName, const char* pcszDestinationFolder,
                           const char* pcszDestinationFileMask, const char* pcszPassword, uint32_t splitLength,
                           uint32_t overlapLength, uint32_t splitCount, ProgressCallback pfnCallback,
                           intptr_t lCallback)
    : m_strSrcFileName(pcszSrcFileName ? pcszSrcFileName : ""),
      m_strDestinationFolder(pcszDestinationFolder ? pcszDestinationFolder : ""),
      m_strDestinationFileMask(pcszDestinationFileMask ? pcszDestinationFileMask : ""),
      m_strPassword(pcszPassword ? pcszPassword : ""),
      m_bPassword(pcszPassword != nullptr),
      m_dwSplitLength(splitLength),
      m_dwOverlapLength(overlapLength),
      m_dwSplitCount(splitCount),
      m_pfnCallback(pfnCallback),
      m_lCallback(lCallback),
      m_sourceFile(false) {
    VKT_TRACE_TEXT("CDSSSplitter::CDSSSplitter");
    TraceSplitParameters(VKT_TRACE_UNIT_NAME, pcszSrcFileName, pcszDestinationFolder, pcszDestinationFileMask,
                         splitLength, overlapLength, splitCount, pfnCallback, lCallback);
}

CDSSSplitter::~CDSSSplitter() {
    discard_open_pieces();
    std::fill(m_strPassword.begin(), m_strPassword.end(), '\0');
}

// ---- the split ------------------------------------------------------------------------------

uint32_t CDSSSplitter::split() {
    try {
        run();
        return 0;
    } catch (...) {
        const uint32_t code = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "error occured in ORVKTSplitDSSFile");
        discard_open_pieces();
        return code;
    }
}

void CDSSSplitter::check_parameters() const {
    // Length 0 would make a piece of every frame; an overlap as long as a
    // piece would start the next piece before the current one has begun.
    if (m_dwSplitLength == 0 || (m_dwOverlapLength != 0 && m_dwOverlapLength >= m_dwSplitLength)) {
        VKT_TRACE_ERROR(VKT_ERR, "invalid splitLength or overlapLength");
        raise(VKT_ERR);
    }
    std::string first;
    if (!FormatPieceName(m_strDestinationFileMask, 1, first)) {
        VKT_TRACE_ERROR(VKT_ERR, "invalid pcszDestinationFileMask");
        raise(VKT_ERR);
    }
    // Without a placeholder every piece has one name; the current piece and
    // an overlap piece would then be one file.
    if (m_dwOverlapLength != 0 && !MaskHasPlaceholder(m_strDestinationFileMask)) {
        VKT_TRACE_ERROR(VKT_ERR, "overlapping pieces need a numbered pcszDestinationFileMask");
        raise(VKT_ERR);
    }
}

void CDSSSplitter::run() {
    check_parameters();

    if (uint32_t rc = m_sourceFile.SetPassword(m_bPassword ? m_strPassword.c_str() : nullptr)) {
        VKT_TRACE_ERROR(rc, "sourceFile.SetPassword failed");
        raise(rc);
    }
    if (uint32_t rc = m_sourceFile.create_file(m_strSrcFileName.c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, true)) {
        VKT_TRACE_ERROR(rc, "by sourceDss.create_file(.)");
        raise(rc);
    }
    if (m_sourceFile.GetLicenseeId() != DSS_LICENSEEID_VALMERO) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "sourceFile.get_dss_file_header ()->dwLicenseeId != DSS_LICENSEEID_VALMERO");
        raise(VKT_ERR_INVALID_CONTENT);
    }
    if (m_sourceFile.m_wNrOfHeaders == 0) {
        // Its first data block would be header block 1 itself.
        VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "no header block");
        raise(VKT_ERR_INVALID_CONTENT);
    }

    m_qwTotalLengthMs = get_le32(m_sourceFile.m_pDssFileHeader_2.get() + vkt::dss::h2::kLengthMs);
    const uint8_t id = m_sourceFile.m_byCompressionId;
    if (!vkt::dss::has_fixed_frames(id)) {
        VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "not supported compression id");
        raise(VKT_ERR_INVALID_COMPRESSIONID);
    }
    m_dwFrameLength = VKT_get_frame_duration_ms(id);
    VKT_get_size_of_blockalign(id, &m_dwFrameSize);
    // Without a length in header 2 (one header block) progress is measured
    // against the frames counted.
    if (m_qwTotalLengthMs == 0)
        m_qwTotalLengthMs = static_cast<uint64_t>(m_sourceFile.m_dwTotalNrOfFrames) * m_dwFrameLength;

    const uint64_t split_ms = static_cast<uint64_t>(m_dwSplitLength) * 1000;
    const uint64_t overlap_ms = static_cast<uint64_t>(m_dwOverlapLength) * 1000;
    create_next_piece(m_current, 0);
    uint64_t split_point = split_ms;
    uint64_t overlap_point = overlap_ms != 0 ? split_point - overlap_ms : 0;
    uint64_t elapsed = 0;
    uint64_t frames_done = 0;
    const uint8_t source_id = m_sourceFile.m_byCompressionId;

    uint8_t frame[DSS_MAX_CODEC_BLOCK];
    while (frames_done < m_sourceFile.m_dwTotalNrOfFrames) {
        uint32_t buffer_size = 0, frame_size = 0;
        uint8_t id = 0;
        try {
            if (m_sourceFile.transfer_from_file_to_buffer(frame, &buffer_size, &frame_size, &id) != 0) break;
        } catch (const vkt::VktError&) {
            break;  // a frame that cannot be read ends the audio
        }
        if (id != source_id) {
            VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "compression id changed");
            raise(VKT_ERR_INVALID_COMPRESSIONID);
        }
        write_frame(frame);
        elapsed += m_dwFrameLength;
        ++frames_done;

        // After the last frame no piece is started (it would stay empty); the
        // open ones are finished below.
        const bool frames_left = frames_done < m_sourceFile.m_dwTotalNrOfFrames;
        if (frames_left && elapsed >= split_point && (m_dwPiecesCreated < m_dwSplitCount || m_overlap.file)) {
            complete_piece(m_current, static_cast<uint32_t>(elapsed));
            if (m_overlap.file)
                m_current = std::move(m_overlap);
            else
                create_next_piece(m_current, static_cast<uint32_t>(elapsed));
            if (overlap_ms == 0) {
                split_point += split_ms;
            } else {
                split_point = overlap_point + split_ms;
                overlap_point = split_point - overlap_ms;
            }
        }
        if (overlap_ms != 0 && !m_overlap.file && m_dwPiecesCreated < m_dwSplitCount && elapsed >= overlap_point &&
            frames_left)
            create_next_piece(m_overlap, static_cast<uint32_t>(elapsed));

        if (m_pfnCallback && frames_done % kFramesPerReport == 0 && report_progress(elapsed)) raise(VKT_CANCELLED);
    }

    complete_piece(m_current, static_cast<uint32_t>(elapsed));
    if (m_overlap.file) complete_piece(m_overlap, static_cast<uint32_t>(elapsed));
    vkt::Progress{m_pfnCallback, m_lCallback}.report_percent(100);
}

bool CDSSSplitter::report_progress(uint64_t elapsed_ms) {
    const uint64_t total = std::max<uint64_t>(m_qwTotalLengthMs, 1);
    const vkt::Progress progress{m_pfnCallback, m_lCallback, 0, 100, vkt::Rounding::ScaleFirst};
    return VKT_PROGRESS_PERCENT(progress, progress.percent_of(std::min(elapsed_ms, total), total));
}

void CDSSSplitter::write_frame(const uint8_t* pbyFrame) {
    m_current.file->transfer_from_buffer_to_file(pbyFrame, m_dwFrameSize);
    ++m_current.frames;
    if (m_overlap.file) {
        m_overlap.file->transfer_from_buffer_to_file(pbyFrame, m_dwFrameSize);
        ++m_overlap.frames;
    }
}

// ---- pieces ---------------------------------------------------------------------------

CDssFile& CDSSSplitter::create_next_piece(Piece& slot, uint32_t start_ms) {
    ++m_dwPiecesCreated;
    std::string name;
    if (!FormatPieceName(m_strDestinationFileMask, m_dwPiecesCreated, name)) {
        VKT_TRACE_ERROR(VKT_ERR, "invalid pcszDestinationFileMask");
        raise(VKT_ERR);
    }
    const std::string path = combine_path(m_strDestinationFolder, name);
    VKT_TRACE_PARAM("piece", "%s", path.c_str());

    // The header of the piece: the source's, fitted to the piece's name;
    // checked before the file is made, and never over the source itself.
    uint8_t header1[DSS_BLOCK_SIZE];
    std::memcpy(header1, m_sourceFile.get_dss_file_header(), DSS_BLOCK_SIZE);
    const bool needs_pro = vkt::dss::needs_dss_pro(m_sourceFile.m_byCompressionId) || m_sourceFile.IsEncrypted() || m_bPassword;
    if (uint32_t rc = fit_header_to_name(header1, path, needs_pro)) raise(rc);
    if (same_file(path, m_strSrcFileName)) {
        VKT_TRACE_ERROR(VKT_ERR, "piece and source are the same file");
        raise(VKT_ERR);
    }

    const uint16_t headers = m_sourceFile.m_wNrOfHeaders;
    auto file = std::make_unique<CDssFile>(false);
    file->m_wNrOfHeaders = headers;
    file->m_byCompressionId = m_sourceFile.m_byCompressionId;
    if (uint32_t rc = file->create_file(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, false)) {
        VKT_TRACE_ERROR(rc, "by targetDss.create_file(.)");
        raise(rc);
    }
    // The piece is on disk now: from here on a failure removes it.
    slot.file = std::move(file);
    slot.name = path;
    slot.start_ms = start_ms;
    slot.frames = 0;
    CDssFile& targetDss = *slot.file;

    std::memcpy(targetDss.get_dss_file_header(), header1, DSS_BLOCK_SIZE);
    if (m_bPassword) {
        uint8_t key[32] = {};
        uint32_t key_length = sizeof key;
        AddEncryptionToHeader(targetDss.get_dss_file_header(), m_strPassword.c_str(), key, &key_length);
        const bool ready = targetDss.SetWriteKey(key, key_length);
        std::fill(std::begin(key), std::end(key), uint8_t{0});
        if (!ready) {
            VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "by targetDss.SetWriteKey(.)");
            raise(VKT_ERR_PASSWORD);
        }
    }
    if (uint32_t rc = targetDss.write_fileheader(1)) {
        VKT_TRACE_ERROR(rc, "by targetDss.write_fileheader (1)");
        raise(rc);
    }
    if (headers >= 2) {
        std::memcpy(targetDss.m_pDssFileHeader_2.get(), m_sourceFile.m_pDssFileHeader_2.get(), DSS_BLOCK_SIZE);
        if (targetDss.write_fileheader(2) != 0) {
            VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "by targetDss.write_fileheader (2)");
            raise(VKT_ERR_WRITE_FILE);
        }
    }
    if (headers >= 3) {
        std::memcpy(targetDss.m_pDssFileHeader_3.get(), m_sourceFile.m_pDssFileHeader_3.get(), DSS_BLOCK_SIZE);
        if (targetDss.write_fileheader(3) != 0) {
            VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "by targetDss.write_fileheader (3)");
            raise(VKT_ERR_WRITE_FILE);
        }
    }
    return targetDss;
}

void CDSSSplitter::finish_piece(Piece& piece, uint32_t start_ms, uint32_t end_ms) {
    CDssFile& target = *piece.file;
    uint8_t* const header1 = target.get_dss_file_header();
    // The index tables point into the source; in a piece they mean nothing.
    std::memset(header1 + kIndexTablesStart, 0xFF, kIndexTablesEnd - kIndexTablesStart);
    if (m_sourceFile.m_wNrOfHeaders < 3) return;  // no markers; the closing work writes header 1
    target.write_fileheader(1);

    // Markers that overlap [start, end], cut to it and moved to the piece's start.
    uint8_t markers[kMarkerArraySize];
    std::memset(markers, 0xFF, sizeof markers);
    const uint8_t* source = m_sourceFile.m_pDssFileHeader_3.get();
    uint32_t kept = 0;
    for (uint32_t i = 0; i < kMarkerCount; ++i) {
        const uint32_t start = get_le32(source + vkt::dss::kMarkerEntrySize * i);
        if (start == kNoMarker) break;
        const uint32_t end = get_le32(source + vkt::dss::kMarkerEntrySize * i + 4);
        if (end < start_ms || start > end_ms) continue;
        put_le32(markers + vkt::dss::kMarkerEntrySize * kept, std::max(start, start_ms) - start_ms);
        put_le32(markers + vkt::dss::kMarkerEntrySize * kept + 4, std::min(end, end_ms) - start_ms);
        ++kept;
    }
    uint8_t* const header3 = target.m_pDssFileHeader_3.get();
    std::memcpy(header3, markers, sizeof markers);
    std::memset(header3 + kMarkerArraySize, 0xFF, DSS_BLOCK_SIZE - kMarkerArraySize);
    target.write_fileheader(3);  // a failure is traced by the file object
}

void CDSSSplitter::complete_piece(Piece& piece, uint32_t end_ms) {
    if (!piece.file) return;
    finish_piece(piece, piece.start_ms, end_ms);
    finish_packed_file(*piece.file, "targetDss");
    const uint64_t expected =
        packed_file_size(m_sourceFile.m_wNrOfHeaders, piece.frames, stored_frame_size(m_sourceFile.m_byCompressionId));
    close_and_check_size(*piece.file, piece.name, expected, "targetDss");
    piece.file.reset();
}

void CDSSSplitter::discard_open_pieces() {
    for (Piece* piece : {&m_current, &m_overlap}) {
        if (!piece->file) continue;
        piece->file.reset();  // closes it
        delete_file(piece->name.c_str());
        VKT_TRACE_PARAM("removed incomplete piece", "%s", piece->name.c_str());
    }
}

// ---- the export's work --------------------------------------------------------------------

uint32_t VKTSplitDSSFile(const char* pcszSrcFileName, const char* pcszDestinationFolder,
                         const char* pcszDestinationFileMask, const char* pcszPassword, uint32_t splitLength,
                         uint32_t overlapLength, uint32_t splitCount, uint32_t* pdwCreatedCount,
                         ProgressCallback pfnCallback, intptr_t lCallback) {
    try {
        CDSSSplitter splitter(pcszSrcFileName, pcszDestinationFolder, pcszDestinationFileMask, pcszPassword,
                              splitLength, overlapLength, splitCount, pfnCallback, lCallback);
        const uint32_t rc = splitter.split();
        if (rc == 0 && pdwCreatedCount) *pdwCreatedCount = splitter.GetPiecesCreated();
        return rc;
    }
    VKT_CATCH_RETURN("error occured in ORVKTSplitDSSFile")
}
