// The encryption exports: is a file encrypted, is a password right, decrypt,
// encrypt, and new empty DSS templates.
#include "OrvaneVktapi.h"
#include "api/export_checks.h"
#include "dss/dss_encryption.h"
#include "dss/dss_template.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("NewInternal");


extern "C" {

ORVKT_API VKTRESULT ORVKTIsEncryptedDSSFile(const char* lpszFilepath_p, uint32_t* pbEncrypted) {
    VKT_TRACE_TEXT("+ORVKTIsEncryptedDSSFile");
    VKT_TRACE_PARAM("lpszFilepath_p", "%s", lpszFilepath_p);
    if (!lpszFilepath_p || !*lpszFilepath_p) return file_name_missing();
    return VKTIsEncryptedDSSFile(lpszFilepath_p, pbEncrypted);
}

ORVKT_API VKTRESULT ORVKTCheckDSSFilePassword(const char* lpszFilepath_p, const char* pcszPassword) {
    VKT_TRACE_TEXT("+ORVKTCheckDSSFilePassword");
    VKT_TRACE_PARAM("lpszFilepath_p", "%s", lpszFilepath_p);
    if (!lpszFilepath_p || !*lpszFilepath_p) return file_name_missing();
    return VKTCheckDSSFilePassword(lpszFilepath_p, pcszPassword);
}

ORVKT_API VKTRESULT ORVKTDecryptDSSFile(const char* pcszSrcFileName_p, const char* pcszDstFileName_p, const char* pcszPassword) {
    VKT_TRACE_TEXT("+ORVKTDecryptDSSFile");
    VKT_TRACE_PARAM("pcszSrcFileName_p", "%s", pcszSrcFileName_p);
    VKT_TRACE_PARAM("pcszDstFileName_p", "%s", pcszDstFileName_p);
    if (!pcszSrcFileName_p || !*pcszSrcFileName_p || !pcszDstFileName_p || !*pcszDstFileName_p)
        return file_name_missing();
    return VKTDecryptDSSFile(pcszSrcFileName_p, pcszDstFileName_p, pcszPassword);
}

ORVKT_API VKTRESULT ORVKTEncryptDSSFile(const char* pcszSrcFileName_p, const char* pcszDstFileName_p, const char* pcszPassword) {
    VKT_TRACE_TEXT("+ORVKTEncryptDSSFile");
    VKT_TRACE_PARAM("pcszSrcFileName_p", "%s", pcszSrcFileName_p);
    VKT_TRACE_PARAM("pcszDstFileName_p", "%s", pcszDstFileName_p);
    if (!pcszSrcFileName_p || !*pcszSrcFileName_p || !pcszDstFileName_p || !*pcszDstFileName_p)
        return file_name_missing();
    return VKTEncryptDSSFile(pcszSrcFileName_p, pcszDstFileName_p, pcszPassword);
}

ORVKT_API VKTRESULT ORVKTCreateDSSTemplate(const char* pcszFileName, const char* pcszPassword, uint8_t byCompressionId) {
    VKT_TRACE_TEXT("+ORVKTCreateDSSTemplate");
    return VKTCreateDSSTemplateWithEncryptionType(pcszFileName, pcszPassword, byCompressionId);
}

}  // extern "C"
