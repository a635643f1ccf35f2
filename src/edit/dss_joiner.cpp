#include "edit/dss_joiner.h"

#include <cmath>
#include <cstring>

#include "dss/dss_file.h"
#include "dss/dss_layout.h"
#include "edit/dss_edit_common.h"
#include "platform/progress.h"
#include "platform/file_identity.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("DSSJoiner");

using namespace vkt::platform;
using namespace vkt::edit;
using vkt::raise;

namespace {

constexpr char kSeparator = '?';

// Frames of the variable-size identifiers 1 and 3 cannot be packed by the
// writer, which stores every frame at full size.
bool joinable_compression_id(uint8_t id) { return stored_frame_size(id) != 0; }

// Opens the first source's counterpart: the destination, with header 1 (index
// tables cleared) and header 2 of the source. Header 3 keeps the 0xFF bytes
// of a new file: the joined file carries no markers.
void create_destination(CDssFile& destinationFile, CDssFile& source, const std::string& name) {
    VKT_TRACE_WARNING("creating destination file");
    VKT_TRACE_PARAM("pcszDestinationFileName", "%s", name.c_str());
    uint8_t header1[DSS_BLOCK_SIZE];
    std::memcpy(header1, source.get_dss_file_header(), DSS_BLOCK_SIZE);
    std::memset(header1 + kIndexTablesStart, 0xFF, kIndexTablesEnd - kIndexTablesStart);
    if (uint32_t rc = fit_header_to_name(header1, name, vkt::dss::needs_dss_pro(source.m_byCompressionId))) raise(rc);

    destinationFile.m_byCompressionId = source.m_byCompressionId;
    destinationFile.m_wNrOfHeaders = source.m_wNrOfHeaders;
    if (uint32_t rc = destinationFile.create_file(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS,
                                                  false)) {
        VKT_TRACE_ERROR(rc, "destinationFile.create_file");
        raise(rc);
    }
    std::memcpy(destinationFile.get_dss_file_header(), header1, DSS_BLOCK_SIZE);
    if (destinationFile.write_fileheader(1) != 0) {
        VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "destinationFile.write_fileheader (1)");
        raise(VKT_ERR_WRITE_FILE);
    }
    if (source.m_wNrOfHeaders >= 2) {
        std::memcpy(destinationFile.m_pDssFileHeader_2.get(), source.m_pDssFileHeader_2.get(), DSS_BLOCK_SIZE);
        if (destinationFile.write_fileheader(2) != 0) {
            VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "destinationFile.write_fileheader (2)");
            raise(VKT_ERR_WRITE_FILE);
        }
    }
}

// Copies every frame of the source to the destination; returns the count.
uint64_t copy_frames(CDssFile& sourceFile, CDssFile& destinationFile) {
    uint8_t frame[DSS_MAX_CODEC_BLOCK];
    uint64_t copied = 0;
    while (copied < sourceFile.m_dwTotalNrOfFrames) {
        uint32_t buffer_size = 0, frame_size = 0;
        uint8_t id = 0;
        try {
            if (sourceFile.transfer_from_file_to_buffer(frame, &buffer_size, &frame_size, &id) != 0) break;
        } catch (const vkt::VktError&) {
            break;  // a frame that cannot be read ends this source
        }
        if (id != sourceFile.m_byCompressionId) {
            VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "compression id changed");
            raise(VKT_ERR_INVALID_COMPRESSIONID);
        }
        destinationFile.transfer_from_buffer_to_file(frame, buffer_size);
        ++copied;
    }
    return copied;
}

}  // namespace

std::vector<std::string> SplitSourceFileNameList(const char* pcszSourceFileNameList) {
    std::vector<std::string> names;
    if (!pcszSourceFileNameList) return names;
    const std::string list = pcszSourceFileNameList;  // the caller's text stays as it is
    std::size_t begin = 0;
    while (begin <= list.size()) {
        std::size_t end = list.find(kSeparator, begin);
        if (end == std::string::npos) end = list.size();
        if (end > begin) names.push_back(list.substr(begin, end - begin));
        begin = end + 1;
    }
    return names;
}

uint32_t VKTJoinDSS(const char* pcszSourceFileNameList, const char* pcszDestinationFileName,
                    ProgressCallback pfnCallback, intptr_t lCallback) {
    CDssFile destinationFile(false);
    bool destination_open = false;
    if (!pcszDestinationFileName) return VKT_ERR_FILE_NAME;
    try {
        const std::string destination = pcszDestinationFileName;
        VKT_TRACE_WARNING("counting source files");
        const std::vector<std::string> names = SplitSourceFileNameList(pcszSourceFileNameList);
        for (const std::string& name : names) {
            VKT_TRACE_PARAM("source file", "%s", name.c_str());
            // Creating the destination would empty that source before it is read.
            if (same_file(name, destination)) {
                VKT_TRACE_ERROR(VKT_ERR, "source and destination are the same file");
                raise(VKT_ERR);
            }
        }
        const uint32_t count = static_cast<uint32_t>(names.size());

        VKT_TRACE_WARNING("joining files");
        uint64_t frames_written = 0;
        for (uint32_t i = 1; i <= count; ++i) {
            CDssFile currentSourceFile(false);
            if (uint32_t rc = currentSourceFile.create_file(names[i - 1].c_str(), GENERIC_READ,
                                                            FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, true)) {
                VKT_TRACE_ERROR(rc, "currentSourceFile.create_file");
                raise(rc);
            }
            if (currentSourceFile.GetLicenseeId() != DSS_LICENSEEID_VALMERO) {
                VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "dwLicenseeId != DSS_LICENSEEID_VALMERO");
                raise(VKT_ERR_INVALID_CONTENT);
            }
            if (currentSourceFile.m_wNrOfHeaders == 0) {
                VKT_TRACE_ERROR(VKT_ERR_INVALID_CONTENT, "no header block");
                raise(VKT_ERR_INVALID_CONTENT);
            }
            if (i == 1) {
                if (!joinable_compression_id(currentSourceFile.m_byCompressionId)) {
                    VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "not supported compression id");
                    raise(VKT_ERR_INVALID_COMPRESSIONID);
                }
                create_destination(destinationFile, currentSourceFile, destination);
                destination_open = true;
            } else {
                if (currentSourceFile.m_byCompressionId != destinationFile.m_byCompressionId) {
                    VKT_TRACE_ERROR(VKT_ERR_INVALID_COMPRESSIONID, "Different compression id");
                    raise(VKT_ERR_INVALID_COMPRESSIONID);
                }
                if (i == count)
                    std::memcpy(destinationFile.get_dss_file_header() + kRecordingEndStart,
                                currentSourceFile.get_dss_file_header() + kRecordingEndStart, kRecordingEndLength);
            }
            frames_written += copy_frames(currentSourceFile, destinationFile);

            const vkt::Progress progress{pfnCallback, lCallback, 0, 100, vkt::Rounding::ScaleFirst};
            if (VKT_PROGRESS_PERCENT(progress, progress.percent_of(i, count))) raise(VKT_CANCELLED);
        }
        if (!destination_open) return 0;  // an empty list makes no file

        finish_packed_file(destinationFile, "destinationFile");
        destination_open = false;
        const uint64_t expected = packed_file_size(destinationFile.m_wNrOfHeaders, frames_written,
                                                   stored_frame_size(destinationFile.m_byCompressionId));
        close_and_check_size(destinationFile, destination, expected, "destinationFile");
        return 0;
    } catch (...) {
        const uint32_t code = vkt::caught_code(VKT_TRACE_UNIT_NAME, __LINE__, "error occured in ORVKTJoinDSS");
        // The destination stays; it is completed so that it holds the frames
        // copied so far with lengths that fit them.
        if (destination_open) {
            destinationFile.flush_out_block();
            destinationFile.closing_work();
        }
        return code;
    }
}
