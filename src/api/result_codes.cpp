#include "api/result_codes.h"

#include "OrvaneVktapi.h"

namespace vkt {

namespace {

struct Entry {
    uint32_t code;
    const char* name;
    const char* message;
};

constexpr Entry kTable[] = {
    {VKT_OK, "VKT_OK", "success"},
    {VKT_CANCELLED, "VKT_CANCELLED", "cancelled"},
    {VKT_ERR, "VKT_ERR", "general failure"},
    {VKT_ERR_CODEC, "VKT_ERR_CODEC", "codec stream could not be opened"},
    {VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME", "file name missing, or file or path not found"},
    {VKT_ERR_OPEN_FILE, "VKT_ERR_OPEN_FILE", "file cannot be opened or is not a valid file of its kind"},
    {VKT_ERR_WRITE_FILE, "VKT_ERR_WRITE_FILE", "writing the file failed"},
    {VKT_ERR_READ_FILE, "VKT_ERR_READ_FILE", "reading the file failed"},
    {VKT_ERR_INVALID_COMPRESSIONID, "VKT_ERR_INVALID_COMPRESSIONID", "invalid compression id"},
    {VKT_ERR_COMPRESSIONID_NOT_SUPPORTED, "VKT_ERR_COMPRESSIONID_NOT_SUPPORTED",
     "compression id not supported"},
    {VKT_ERR_OUT_OF_MEMORY, "VKT_ERR_OUT_OF_MEMORY", "out of memory"},
    {VKT_ERR_INVALID_WAVFMT, "VKT_ERR_INVALID_WAVFMT", "wave format missing or invalid"},
    {VKT_ERR_WAVFMT_TOO_SMALL, "VKT_ERR_WAVFMT_TOO_SMALL", "wave format buffer too small"},
    {VKT_ERR_SAME_WAVFMT, "VKT_ERR_SAME_WAVFMT", "source and destination formats are identical"},
    {VKT_ERR_INVALID_CHUNKINFO, "VKT_ERR_INVALID_CHUNKINFO", "chunk record missing"},
    {VKT_ERR_BUFFER_TOO_SMALL, "VKT_ERR_BUFFER_TOO_SMALL", "buffer too small or no header information"},
    {VKT_ERR_CHUNK_NOT_FOUND, "VKT_ERR_CHUNK_NOT_FOUND", "wanted chunk or header block not present"},
    {VKT_ERR_CONVERSION, "VKT_ERR_CONVERSION", "a conversion step failed"},
    {VKT_ERR_NULL_CUEPOINT, "VKT_ERR_NULL_CUEPOINT", "cue point record missing"},
    {VKT_ERR_INVALID_PARAM, "VKT_ERR_INVALID_PARAM", "invalid parameter"},
    {VKT_ERR_DEST_EXISTS, "VKT_ERR_DEST_EXISTS", "destination file exists already"},
    {VKT_ERR_INVALID_CONTENT, "VKT_ERR_INVALID_CONTENT", "file content not usable for this operation"},
    {VKT_ERR_FILE_READONLY, "VKT_ERR_FILE_READONLY", "file is read-only"},
    {VKT_ERR_COPY_FAILED, "VKT_ERR_COPY_FAILED", "copying failed"},
    {VKT_ERR_DELETE_FAILED, "VKT_ERR_DELETE_FAILED", "deleting failed"},
    {VKT_ERR_VERIFY, "VKT_ERR_VERIFY", "verification failed: copy differs from source"},
    {VKT_ERR_OUT_OF_DISKSPACE, "VKT_ERR_OUT_OF_DISKSPACE", "out of disk space"},
    {VKT_ERR_PASSWORD, "VKT_ERR_PASSWORD", "wrong or missing password"},
    {VKT_ERR_NOT_STEREO, "VKT_ERR_NOT_STEREO", "source is not a 16-bit stereo PCM file"},
    {VKT_ERR_MEDIA_READER, "VKT_ERR_MEDIA_READER", "media reader failed"},
    {VKT_ERR_NO_ID3_HEADER, "VKT_ERR_NO_ID3_HEADER", "no ID3v2 tag or dictation header in the MP3 file"},
    {VKT_ERR_LICENSEE, "VKT_ERR_LICENSEE", "licensee id does not allow encryption"},
};

const Entry* find(uint32_t code) {
    for (const auto& e : kTable)
        if (e.code == code) return &e;
    return nullptr;
}

}  // namespace

const char* result_message(uint32_t code) {
    const Entry* e = find(code);
    return e ? e->message : "unknown result code";
}

const char* result_name(uint32_t code) {
    const Entry* e = find(code);
    return e ? e->name : nullptr;
}

}  // namespace vkt
