#include "api/export_checks.h"

#include "OrvaneVktapi.h"

#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("NewInternal");

uint32_t file_name_missing() {
    VKT_TRACE_ERROR(VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME, one of the filenames is NULL");
    return VKT_ERR_FILE_NAME;
}
