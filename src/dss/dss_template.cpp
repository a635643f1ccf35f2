#include "dss/dss_template.h"

#include <cstring>

#include "dss/dss_file.h"
#include "dss/dss_layout.h"
#include "platform/byte_order.h"
#include "platform/path.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("DssTemplate");

using namespace vkt::platform;

uint32_t VKTCreateDSSTemplateWithEncryptionType(const char* pcszFileName, const char* pcszPassword,
                                                uint8_t compressionId) {
    VKT_TRACE_TEXT("+ORVKTCreateDSSTemplateWithEncryptionType");
    VKT_TRACE_PARAM("pcszFileName", "%s", pcszFileName);
    VKT_TRACE_PARAM("DSSPro256Enabled", "%d", 0);  // templates always get a 128-bit key
    VKT_TRACE_PARAM("compressionId", "%u", compressionId);
    try {
        if (!pcszFileName || !*pcszFileName) {
            VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, filename is NULL");
            return VKT_ERR_FILE_NAME;
        }
        if (pcszPassword) {
            const std::size_t length = std::strlen(pcszPassword);
            if (length < 4 || length > 16) {
                VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "invalid password length");
                return VKT_ERR_PASSWORD;
            }
            if (!extension_starts_with(extension_of(pcszFileName), ".ds2", 4)) {
                VKT_TRACE_ERROR(VKT_ERR_INVALID_PARAM, "encrytion requires DSS Pro");
                return VKT_ERR_INVALID_PARAM;
            }
        }

        CDssFile dssFile(false);
        dssFile.m_wNrOfHeaders = 3;
        dssFile.SetPassword(pcszPassword);  // a refusal is traced by SetPassword
        dssFile.m_byCompressionId = compressionId;
        if (uint32_t rc = dssFile.create_file(pcszFileName, GENERIC_WRITE, 0, CREATE_ALWAYS, false)) {
            VKT_TRACE_ERROR(rc, "creating DSS file failed");
            return rc;
        }
        uint8_t* header1 = dssFile.get_dss_file_header();
        if (pcszPassword) {
            uint8_t key[32] = {};
            uint32_t key_length = sizeof key;
            AddEncryptionToHeader(header1, pcszPassword, key, &key_length);
            std::memset(key, 0, sizeof key);  // a template needs the header only
        }
        // Flag words 34 and 36 of a template: 0xFFFF and 0xFFFB.
        vkt::put_le16(header1 + vkt::dss::h1::kFlags34, 0xFFFF);
        vkt::put_le16(header1 + vkt::dss::h1::kFlags36, 0xFFFB);
        // The blocks pass through the file's buffer: a full disk shows at the close.
        if (dssFile.write_fileheader(1) != 0 || dssFile.GetWriteError() != 0 || dssFile.cleanup() != 0) {
            VKT_TRACE_ERROR(VKT_ERR_WRITE_FILE, "writing DSS header failed");
            return VKT_ERR_WRITE_FILE;
        }
        return 0;
    }
    VKT_CATCH_RETURN("catched in ORVKTCreateDSSTemplate")
}
