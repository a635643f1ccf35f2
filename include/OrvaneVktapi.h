/*
 * OrvaneVktapi: the C interface of the dictation-file library.
 *
 * Every function takes narrow (byte-string) file names, returns a 32-bit
 * result code (VKT_OK = 0 on success) and never lets an exception escape.
 * The header compiles as C99 and as C++.
 */
#ifndef ORVANE_VKTAPI_H
#define ORVANE_VKTAPI_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define ORVKT_API __declspec(dllexport)
#else
#define ORVKT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- result codes ------------------------------------------------------ */

typedef uint32_t VKTRESULT;

#define VKT_OK 0u                              /* success */
#define VKT_CANCELLED 2u                       /* the progress callback returned 2 */
#define VKT_ERR 10u                            /* general failure */
#define VKT_ERR_CODEC 12u                      /* codec stream could not be opened or sized */
#define VKT_ERR_FILE_NAME 13u                  /* file name null/empty, file or path not found */
#define VKT_ERR_OPEN_FILE 14u                  /* file cannot be opened or created, wrong self-id */
#define VKT_ERR_WRITE_FILE 15u                 /* header or data block could not be written */
#define VKT_ERR_READ_FILE 16u                  /* read or positioning failure, chunk not found */
#define VKT_ERR_INVALID_COMPRESSIONID 18u      /* compression id unknown, frame buffer too small */
#define VKT_ERR_COMPRESSIONID_NOT_SUPPORTED 19u /* block id incompatible, no codec for it */
#define VKT_ERR_OUT_OF_MEMORY 20u              /* memory could not be allocated */
#define VKT_ERR_INVALID_WAVFMT 21u             /* wave format missing or invalid */
#define VKT_ERR_WAVFMT_TOO_SMALL 22u           /* caller's wave format buffer too small */
#define VKT_ERR_SAME_WAVFMT 23u                /* source and destination formats identical */
#define VKT_ERR_INVALID_CHUNKINFO 24u          /* a chunk record (cue point) is missing */
#define VKT_ERR_BUFFER_TOO_SMALL 25u           /* caller's buffer too small; no header present */
#define VKT_ERR_CHUNK_NOT_FOUND 26u            /* wanted chunk or DSS header block 3 absent */
#define VKT_ERR_CONVERSION 27u                 /* a codec or PCM conversion step failed */
#define VKT_ERR_NULL_CUEPOINT 32u              /* cue-point record pointer is null */
#define VKT_ERR_INVALID_PARAM 36u              /* record size invalid; encryption for non-.ds2 */
#define VKT_ERR_DEST_EXISTS 37u                /* copy: destination exists already */
#define VKT_ERR_INVALID_CONTENT 38u            /* file content is not what the operation needs */
#define VKT_ERR_FILE_READONLY 39u              /* delete: the file is read-only */
#define VKT_ERR_COPY_FAILED 40u                /* copy: writing or size check failed */
#define VKT_ERR_DELETE_FAILED 41u              /* delete: file vanished, drive unusable */
#define VKT_ERR_VERIFY 42u                     /* copy: CRC-32 differs; data error */
#define VKT_ERR_OUT_OF_DISKSPACE 43u           /* a multimedia-file write failed */
#define VKT_ERR_PASSWORD 44u                   /* password missing, invalid or wrong */
#define VKT_ERR_NOT_STEREO 45u                 /* source is not a 16-bit stereo PCM file */
#define VKT_ERR_MEDIA_READER 46u               /* the media reader failed */
#define VKT_ERR_NO_ID3_HEADER 47u              /* MP3: no ID3v2 tag or no dictation header */
#define VKT_ERR_LICENSEE 48u                   /* encryption: licensee id is not 3 */

/* Licensee identifiers (DSS header 1, bytes 8 to 11). */
#define DSS_LICENSEEID_GRUNDIG 1u
#define DSS_LICENSEEID_OLYMPUS 2u
#define DSS_LICENSEEID_VALMERO 3u

/* ---- progress ---------------------------------------------------------- */

/* Message code of every progress call. */
#define VKT_PROGRESS_MESSAGE 224u
/* Return this from a progress callback to cancel the operation. */
#define VKT_PROGRESS_CANCEL 2

/* (caller's value, VKT_PROGRESS_MESSAGE, percentage) -> 2 cancels. */
typedef int32_t (*ProgressCallback)(intptr_t lCallback, uint32_t uMessage, uint32_t uPercent);

/* ---- wave format record ------------------------------------------------ */

#ifndef _WAVEFORMATEX_
#define _WAVEFORMATEX_
#pragma pack(push, 1)
typedef struct tWAVEFORMATEX {
    uint16_t wFormatTag;      /* 1 = PCM, 0x0121 / 0xFFFC = DSS codecs, ... */
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;          /* number of extra bytes that follow the record */
} WAVEFORMATEX;
#pragma pack(pop)
#endif

#define WAVE_FORMAT_PCM 0x0001u
#define WAVE_FORMAT_MPEGLAYER3 0x0055u
#define WAVE_FORMAT_DSS_SP 0x0121u
#define WAVE_FORMAT_DSS_LP 0xFFFCu

/* ---- dictation header record ------------------------------------------- */

#define ZRM2HEADERINFO_SIZE_SHORT 428u /* without achTextExt1 / achTextExt2 */
#define ZRM2HEADERINFO_SIZE_FULL 488u

/* Fields of DSS header blocks 1 and 2 as the caller sees them. Text fields
 * are byte arrays in the ANSI code page, not terminated. */
typedef struct tZRM2HeaderInfo {
    uint32_t dwSize;             /* ZRM2HEADERINFO_SIZE_SHORT or _FULL, set by the caller */
    uint32_t dwLicenseeId;       /* header 1 bytes 8-11 */
    char achH1Text[16];          /* header 1 bytes 12-27 */
    uint32_t dwH1Value;          /* header 1 bytes 28-31 */
    uint8_t bMoreHeaderBlocks;   /* header 1 word at 32 is not 0xFFFD */
    uint8_t bFlag36Clear;        /* bit 3 of header 1 word at 36 is clear */
    char achRecStartDate[6];     /* YYMMDD */
    char achRecStartTime[6];     /* HHMMSS */
    char achRecEndDate[6];
    char achRecEndTime[6];
    char achLength[6];           /* HHMMSS */
    uint8_t byH1Byte69;
    uint16_t wH2Version;         /* header 2 bytes 0-1 */
    uint16_t wH2Word2;           /* header 2 bytes 2-3 */
    uint8_t achH2Bytes4[8];      /* header 2 bytes 4-11 */
    uint8_t achH2Bytes12[4];     /* header 2 bytes 12-15, read only */
    uint16_t wCompressionId;     /* header 2 bytes 16-17 */
    uint32_t dwLengthMs;         /* header 2 bytes 18-21 */
    char achH2Field22[6];        /* download date YYMMDD */
    char achH2Field28[6];        /* download time HHMMSS */
    char aachText[11][30];       /* header 2 bytes 34-363 */
    char achTextExt1[30];        /* header 2 bytes 364-393, full form only */
    char achTextExt2[30];        /* header 2 bytes 394-423, full form only */
} ZRM2HeaderInfo;

/* Results of ORVKTIsValidZRM2File are documented with that function. */

/* ---- marker array ------------------------------------------------------ */

#define VKT_SPOKEN_INSTRUCTION_MARKERS 32u
#define VKT_SPOKEN_INSTRUCTION_ARRAY_SIZE 256u

/* ---- conversion -------------------------------------------------------- */

ORVKT_API VKTRESULT ORVKTDSSToWAV(const char *pcszDSSFileName, const char *pcszWAVFileName,
                                  const WAVEFORMATEX *pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback, const char *pcszPassword);
ORVKT_API VKTRESULT ORVKTDSSToWAVEx(const char *pcszDSSFileName, const char *pcszWAVFileName,
                                    const WAVEFORMATEX *pwfxDst, ProgressCallback pfnCallback,
                                    int32_t lCallback, void *pReserved1, void *pReserved2,
                                    const char *pcszPassword);
ORVKT_API VKTRESULT ORVKTWAVToDSS(const char *pcszWAVFileName, const char *pcszDSSFileName,
                                  const WAVEFORMATEX *pwfxDst, int16_t sHeaders,
                                  ProgressCallback pfnCallback, intptr_t lCallback);
ORVKT_API VKTRESULT ORVKTDSSToDSS(const char *pcszSrcFileName, const char *pcszDstFileName,
                                  const WAVEFORMATEX *pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback, const char *pcszPassword);
ORVKT_API VKTRESULT ORVKTWAVToWAV(const char *pcszWAVSrcFileName, const char *pcszWAVDstFileName,
                                  const WAVEFORMATEX *pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback);
ORVKT_API VKTRESULT ORVKTMP3ToWAV(const char *pcszMP3FileName, const char *pcszWAVFileName,
                                  const WAVEFORMATEX *pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback);
ORVKT_API VKTRESULT ORVKTWMAToWAV(const char *pcszWMAFileName, const char *pcszWAVFileName,
                                  const WAVEFORMATEX *pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback);
ORVKT_API VKTRESULT ORVKTWMFConvertToWAV(const char *pcszSrcFileName, const char *pcszDstFileName,
                                         WAVEFORMATEX *pwfxResult, ProgressCallback pfnCallback,
                                         intptr_t lCallback);
ORVKT_API VKTRESULT ORVKTReadWAVFormat(const char *pcszWAVFileName, WAVEFORMATEX *pWAVFormat,
                                       uint32_t lWAVFormatSize);
ORVKT_API VKTRESULT ORVKTWAVGetSndDataLength(const char *pcszWAVFileName, uint32_t *lDataLengthMs);

/* ---- dictation header and spoken-instruction markers ------------------- */

/* Copies header block 1 (512 bytes, as stored) into pbyHeader. */
ORVKT_API VKTRESULT ORVKTReadDSSHeader(const char *pcszDSSFileName, uint8_t *pbyHeader);
ORVKT_API VKTRESULT ORVKTIsValidZRM2File(const char *pcszZRM2FileName, uint32_t *pdwResult);
ORVKT_API VKTRESULT ORVKTReadZRM2Header(const char *pcszZRM2FileName, ZRM2HeaderInfo *pHeader);
ORVKT_API VKTRESULT ORVKTWriteZRM2Header(const char *pcszZRM2FileName, const ZRM2HeaderInfo *pHeader);
ORVKT_API VKTRESULT ORVKTCopyDSSHeaders(const char *pcszSrcFileName, const char *pcszDstFileName,
                                        int32_t bH1H2, int32_t bH3);
/* pbyMarkers: 32 markers of (start, end) milliseconds, 256 bytes. */
ORVKT_API VKTRESULT ORVKTReadSpokenInstructionMarkers(const char *pcszFileName, uint8_t *pbyMarkers);
ORVKT_API VKTRESULT ORVKTWriteSpokenInstructionMarkers(const char *pcszFileName,
                                                       const uint8_t *pbyMarkers);
ORVKT_API VKTRESULT ORVKTExtractSpokenInstructionMarkers(const char *pcszSrcFileName,
                                                         const char *pcszDstFileName);
ORVKT_API VKTRESULT ORVKTWAVSeperateSpokenInstructions(const char *pcszWAVSrcFileName,
                                                       const char *pcszWAVDstFileName,
                                                       int32_t bCreateDictation,
                                                       int32_t bCreateInstruction,
                                                       ProgressCallback pfnCallback,
                                                       intptr_t lCallback);

/* ---- DSS editing ------------------------------------------------------- */

ORVKT_API VKTRESULT ORVKTSplitDSSFile(const char *pcszSrcFileName, const char *pcszDestinationFolder,
                                      const char *pcszDestinationFileMask, const char *pcszPassword,
                                      uint32_t splitLength, uint32_t overlapLength,
                                      uint32_t splitCount, uint32_t *pdwCreatedCount,
                                      ProgressCallback pfnCallback, intptr_t lCallback);
/* pcszSourceFileNameList: names separated by '?'. */
ORVKT_API VKTRESULT ORVKTJoinDSS(const char *pcszSourceFileNameList,
                                 const char *pcszDestinationFileName, ProgressCallback pfnCallback,
                                 intptr_t lCallback, int32_t lCallbackProgStart,
                                 int32_t lCallbackProgEnd);
ORVKT_API VKTRESULT ORVKTRepairIndexMarkers(const char *sourceDSSFileName,
                                            const char *destDSSFileName);
ORVKT_API VKTRESULT ORVKTSplitMP3File(const char *pcszSrcFileName, const char *pcszDestinationFolder,
                                      const char *pcszDestinationFileMask, uint32_t splitLength,
                                      uint32_t overlapLength, uint32_t splitCount,
                                      uint32_t *pdwLastPiece, ProgressCallback pfnCallback,
                                      intptr_t lCallback);

/* ---- encryption and templates ------------------------------------------ */

ORVKT_API VKTRESULT ORVKTIsEncryptedDSSFile(const char *lpszFilepath_p, uint32_t *pbEncrypted);
ORVKT_API VKTRESULT ORVKTCheckDSSFilePassword(const char *lpszFilepath_p, const char *pcszPassword);
ORVKT_API VKTRESULT ORVKTDecryptDSSFile(const char *pcszSrcFileName_p, const char *pcszDstFileName_p,
                                        const char *pcszPassword);
ORVKT_API VKTRESULT ORVKTEncryptDSSFile(const char *pcszSrcFileName_p, const char *pcszDstFileName_p,
                                        const char *pcszPassword);
ORVKT_API VKTRESULT ORVKTCreateDSSTemplate(const char *pcszFileName, const char *pcszPassword,
                                           uint8_t byCompressionId);

/* ---- other tools ------------------------------------------------------- */

ORVKT_API VKTRESULT ORVKTWAVSplitStereo(const char *pcszWAVSrcFileName,
                                        const char *pcszWAVDstLeftFileName,
                                        const char *pcszWAVDstRightFileName,
                                        ProgressCallback pfnCallback, intptr_t lCallback);
ORVKT_API VKTRESULT ORVKTWAVMixStereo(const char *pcszWAVSrcFileName, const char *pcszWAVDstFileName,
                                      ProgressCallback pfnCallback, intptr_t lCallback);
ORVKT_API VKTRESULT ORVKTCopyFile(const char *lpcstrSourceFile, const char *lpcstrDestFile,
                                  int32_t bWriteThrough);
ORVKT_API VKTRESULT ORVKTDeleteFile(const char *lpcstrFile);

/* ---- layout checks ----------------------------------------------------- */

#ifdef __cplusplus
#define ORVKT_STATIC_ASSERT static_assert
#else
#define ORVKT_STATIC_ASSERT _Static_assert
#endif

ORVKT_STATIC_ASSERT(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes");
ORVKT_STATIC_ASSERT(offsetof(WAVEFORMATEX, nChannels) == 2, "nChannels");
ORVKT_STATIC_ASSERT(offsetof(WAVEFORMATEX, nSamplesPerSec) == 4, "nSamplesPerSec");
ORVKT_STATIC_ASSERT(offsetof(WAVEFORMATEX, nAvgBytesPerSec) == 8, "nAvgBytesPerSec");
ORVKT_STATIC_ASSERT(offsetof(WAVEFORMATEX, nBlockAlign) == 12, "nBlockAlign");
ORVKT_STATIC_ASSERT(offsetof(WAVEFORMATEX, wBitsPerSample) == 14, "wBitsPerSample");
ORVKT_STATIC_ASSERT(offsetof(WAVEFORMATEX, cbSize) == 16, "cbSize");

ORVKT_STATIC_ASSERT(sizeof(ZRM2HeaderInfo) == ZRM2HEADERINFO_SIZE_FULL, "ZRM2HeaderInfo is 488 bytes");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, dwLicenseeId) == 4, "dwLicenseeId");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, achH1Text) == 8, "achH1Text");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, dwH1Value) == 24, "dwH1Value");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, bMoreHeaderBlocks) == 28, "bMoreHeaderBlocks");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, bFlag36Clear) == 29, "bFlag36Clear");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, achRecStartDate) == 30, "achRecStartDate");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, achRecStartTime) == 36, "achRecStartTime");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, achRecEndDate) == 42, "achRecEndDate");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, achRecEndTime) == 48, "achRecEndTime");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, achLength) == 54, "achLength");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, byH1Byte69) == 60, "byH1Byte69");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, wH2Version) == 62, "wH2Version");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, wH2Word2) == 64, "wH2Word2");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, achH2Bytes4) == 66, "achH2Bytes4");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, achH2Bytes12) == 74, "achH2Bytes12");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, wCompressionId) == 78, "wCompressionId");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, dwLengthMs) == 80, "dwLengthMs");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, achH2Field22) == 84, "achH2Field22");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, achH2Field28) == 90, "achH2Field28");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, aachText) == 96, "aachText");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, achTextExt1) == 426, "achTextExt1");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, achTextExt2) == 456, "achTextExt2");
ORVKT_STATIC_ASSERT(offsetof(ZRM2HeaderInfo, achTextExt1) + 2 == ZRM2HEADERINFO_SIZE_SHORT,
                    "short form ends after aachText plus the alignment tail");

#undef ORVKT_STATIC_ASSERT

#ifdef __cplusplus
}
#endif

#endif /* ORVANE_VKTAPI_H */
