/**
 * @file OrvaneVktapiUtil.h
 * @brief Inline conveniences over the C interface of OrvaneVktapi.h.
 *
 * Everything here is `static inline`: nothing is exported by the library,
 * so the header can be used with any build of libOrvaneVktapi.so.1.
 *
 * - orvkt_result_message() and orvkt_result_name(): the text and the
 *   constant's name of every result code (the one table the library's trace
 *   and the orvkt tool use as well).
 * - orvkt_format_dss_sp(), orvkt_format_dss_lp(), orvkt_format_dss_qp(),
 *   orvkt_format_dss_g723(), orvkt_format_pcm(): the wave format records the conversions accept,
 *   ready to pass as `pwfxDst`.
 *
 * Compiles as C99 and as C++.
 */
#ifndef ORVANE_VKTAPI_UTIL_H
#define ORVANE_VKTAPI_UTIL_H

#include "OrvaneVktapi.h"

#ifdef __cplusplus
extern "C" {
#endif

/** @brief One row of the result-code table. */
typedef struct tOrvktResultText {
    VKTRESULT code;
    const char *name;    /**< the constant's name, "VKT_ERR_PASSWORD" */
    const char *message; /**< a short English sentence fragment */
} OrvktResultText;

/**
 * @brief The table of every result code the library returns, in code order.
 * @param count receives the number of rows (may be NULL).
 */
static inline const OrvktResultText *orvkt_result_table(size_t *count) {
    static const OrvktResultText table[] = {
        {VKT_OK, "VKT_OK", "success"},
        {VKT_CANCELLED, "VKT_CANCELLED", "cancelled"},
        {VKT_ERR, "VKT_ERR", "general failure"},
        {VKT_ERR_CODEC, "VKT_ERR_CODEC", "codec stream could not be opened"},
        {VKT_ERR_FILE_NAME, "VKT_ERR_FILE_NAME", "file name missing, or file or path not found"},
        {VKT_ERR_OPEN_FILE, "VKT_ERR_OPEN_FILE", "file cannot be opened or is not a valid file of its kind"},
        {VKT_ERR_WRITE_FILE, "VKT_ERR_WRITE_FILE", "writing the file failed"},
        {VKT_ERR_READ_FILE, "VKT_ERR_READ_FILE", "reading the file failed"},
        {VKT_ERR_INVALID_COMPRESSIONID, "VKT_ERR_INVALID_COMPRESSIONID", "invalid compression id"},
        {VKT_ERR_COMPRESSIONID_NOT_SUPPORTED, "VKT_ERR_COMPRESSIONID_NOT_SUPPORTED", "compression id not supported"},
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
    if (count) *count = sizeof table / sizeof table[0];
    return table;
}

/**
 * @brief A short English message for a result code ("wrong or missing
 * password"); "unknown result code" for a code outside the table. Never NULL.
 */
static inline const char *orvkt_result_message(VKTRESULT code) {
    size_t n = 0, i;
    const OrvktResultText *t = orvkt_result_table(&n);
    for (i = 0; i < n; ++i)
        if (t[i].code == code) return t[i].message;
    return "unknown result code";
}

/** @brief The constant's name of a result code ("VKT_ERR_PASSWORD"), or NULL for an unknown code. */
static inline const char *orvkt_result_name(VKTRESULT code) {
    size_t n = 0, i;
    const OrvktResultText *t = orvkt_result_table(&n);
    for (i = 0; i < n; ++i)
        if (t[i].code == code) return t[i].name;
    return NULL;
}

/** @brief A mono codec record; the rest of the fields are zero. */
static inline WAVEFORMATEX orvkt_format_codec_(uint16_t tag, uint32_t rate, uint32_t bytes, uint16_t block) {
    WAVEFORMATEX f;
    f.wFormatTag = tag;
    f.nChannels = 1;
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = bytes;
    f.nBlockAlign = block;
    f.wBitsPerSample = 0;
    f.cbSize = 0;
    return f;
}

/** @brief Standard play (compression id 0, .dss or .ds2): {0x0121, 1, 12000, 1750, 42, 0, 0}. */
static inline WAVEFORMATEX orvkt_format_dss_sp(void) {
    return orvkt_format_codec_(WAVE_FORMAT_DSS_SP, 12000, 1750, 42);
}

/**
 * @brief Long play, the standard-play codec at the 8000 clock (compression
 * id 4, .dss or .ds2): {0x0121, 1, 8000, 1167, 42, 0, 0}.
 */
static inline WAVEFORMATEX orvkt_format_dss_lp(void) {
    return orvkt_format_codec_(WAVE_FORMAT_DSS_SP, 8000, 1167, 42);
}

/**
 * @brief G.723.1 long play at 6.3 kbit/s (compression id 2, .dss or .ds2):
 * {0xFFFC, 1, 8000, 834, 25, 0, 0}.
 */
static inline WAVEFORMATEX orvkt_format_dss_g723(void) {
    return orvkt_format_codec_(WAVE_FORMAT_DSS_LP, 8000, 834, 25);
}

/** @brief Quality play (compression id 6, .ds2 only): {0x0121, 1, 16000, 3563, 57, 0, 0}. */
static inline WAVEFORMATEX orvkt_format_dss_qp(void) {
    return orvkt_format_codec_(WAVE_FORMAT_DSS_SP, 16000, 3563, 57);
}

/**
 * @brief Mono PCM: {1, 1, rate, rate * bits / 8, bits / 8, bits, 0}.
 * @param rate samples per second (e.g. 8000, 11025, 12000, 16000, 22050, 44100)
 * @param bits 8 or 16
 */
static inline WAVEFORMATEX orvkt_format_pcm(uint32_t rate, uint16_t bits) {
    WAVEFORMATEX f = orvkt_format_codec_(WAVE_FORMAT_PCM, rate, rate * (bits / 8u), (uint16_t)(bits / 8u));
    f.wBitsPerSample = bits;
    return f;
}

#ifdef __cplusplus
}
#endif

#endif /* ORVANE_VKTAPI_UTIL_H */
