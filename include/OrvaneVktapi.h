/**
 * @file OrvaneVktapi.h
 * @brief The C interface of the dictation-file library (libOrvaneVktapi.so.1).
 *
 * Every function takes narrow (byte-string) file names, returns a 32-bit
 * result code (VKT_OK = 0 on success; the codes below) and never lets an
 * exception escape. Nothing is printed; the trace log (XKRVLOG_FILE=path)
 * tells more about a failure.
 *
 * Thread safety: the library keeps no state between calls except its trace
 * log, so calls on different files may run at the same time on different
 * threads. Two calls that use the same file at the same time (one writing)
 * may not; the library's advisory share modes refuse most such pairs with
 * the failed open's code.
 *
 * OrvaneVktapiUtil.h adds inline helpers: a text for every result code and
 * ready wave format records for the three DSS modes.
 *
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

/* Called as (lCallback, VKT_PROGRESS_MESSAGE, percentage 0..100) on the
 * thread that made the call; returning VKT_PROGRESS_CANCEL stops the
 * operation, which then removes what it wrote and returns VKT_CANCELLED.
 * Any other return value goes on. */
typedef int32_t (*ProgressCallback)(intptr_t lCallback, uint32_t uMessage, uint32_t uPercent);

/* ---- wave format record ------------------------------------------------ */

#ifndef _WAVEFORMATEX_
#define _WAVEFORMATEX_
#pragma pack(push, 1)
/* The wave format record of WAV files (18 bytes, packed). The records the
 * conversions take are listed with the conversions below. */
typedef struct tWAVEFORMATEX {
    uint16_t wFormatTag;      /* WAVE_FORMAT_PCM, WAVE_FORMAT_DSS_SP, ... */
    uint16_t nChannels;       /* 1 mono, 2 stereo */
    uint32_t nSamplesPerSec;  /* PCM: sampling rate; DSS codecs: the mode's clock */
    uint32_t nAvgBytesPerSec; /* PCM: rate * block; DSS codecs: the fixed values below */
    uint16_t nBlockAlign;     /* PCM: channels * bytes per sample; DSS codecs: 42 or 57 */
    uint16_t wBitsPerSample;  /* PCM: 8 or 16; DSS codecs: 0 */
    uint16_t cbSize;          /* number of extra bytes that follow the record (0) */
} WAVEFORMATEX;
#pragma pack(pop)
#endif

#define WAVE_FORMAT_PCM 0x0001u
#define WAVE_FORMAT_MPEGLAYER3 0x0055u
#define WAVE_FORMAT_DSS_SP 0x0121u
/* The G.723.1 long-play codec of recordings with compression ids 2 and 3:
 * ORVKTReadWAVFormat reports {0xFFFC, 1, 8000, 834, 25, 0, 0} for them,
 * ORVKTWAVToWAV writes it into a WAV file, and ORVKTWAVToDSS and
 * ORVKTDSSToDSS write DSS/DS2 files of compression id 2 in it
 * (orvkt_format_dss_g723() of OrvaneVktapiUtil.h). */
#define WAVE_FORMAT_DSS_LP 0xFFFCu

/* ---- dictation header record ------------------------------------------- */

#define ZRM2HEADERINFO_SIZE_SHORT 428u /* without achTextExt1 / achTextExt2 */
#define ZRM2HEADERINFO_SIZE_FULL 488u

/* The dictation header: who recorded what, when, and the practice's text
 * fields, as DSS header blocks 1 and 2 hold it (WAV and MP3 files carry the
 * same record). Text fields are byte arrays in Windows-1252, zero-padded,
 * not terminated. Date and time fields are six ASCII digits; a field never
 * set holds 0xFF bytes. */
typedef struct tZRM2HeaderInfo {
    uint32_t dwSize;             /* set by the caller: ZRM2HEADERINFO_SIZE_SHORT or _FULL */
    uint32_t dwLicenseeId;       /* the maker family of the file: DSS_LICENSEEID_*; only 3 is writable (header 1 bytes 8-11) */
    char achH1Text[16];          /* free text of header 1, usually the author or device name (bytes 12-27) */
    uint32_t dwH1Value;          /* a device-specific number (header 1 bytes 28-31) */
    uint8_t bMoreHeaderBlocks;   /* 1 when header blocks follow block 1 (its word at 32 is not 0xFFFD) */
    uint8_t bFlag36Clear;        /* 1 when bit 3 of header 1's word at 36 is clear */
    char achRecStartDate[6];     /* recording started: YYMMDD */
    char achRecStartTime[6];     /* recording started: HHMMSS */
    char achRecEndDate[6];       /* recording ended: YYMMDD */
    char achRecEndTime[6];       /* recording ended: HHMMSS */
    char achLength[6];           /* recording length: HHMMSS */
    uint8_t byH1Byte69;          /* header 1 byte 69, kept as it is */
    uint16_t wH2Version;         /* layout version of header 2 (1 or 2 in our own family) */
    uint16_t wH2Word2;           /* header 2 bytes 2-3, kept as they are */
    uint8_t achH2Bytes4[8];      /* header 2 bytes 4-11, kept as they are */
    uint8_t achH2Bytes12[4];     /* header 2 bytes 12-15, read only */
    uint16_t wCompressionId;     /* recording mode: 0/1 standard play, 2/3 long play (G.723.1), 4 long play, 6/7 quality play */
    uint32_t dwLengthMs;         /* recording length in milliseconds */
    char achH2Field22[6];        /* date the file was downloaded from the recorder: YYMMDD */
    char achH2Field28[6];        /* time of the download: HHMMSS */
    char aachText[11][30];       /* text fields 1-11 (work type, comments, patient or case data; header 2 bytes 34-363) */
    char achTextExt1[30];        /* text field 12 (header 2 bytes 364-393), full form only */
    char achTextExt2[30];        /* text field 13 (header 2 bytes 394-423), full form only */
} ZRM2HeaderInfo;

/* The classes ORVKTIsValidZRM2File reports are documented with that function. */

/* ---- marker array ------------------------------------------------------ */

#define VKT_SPOKEN_INSTRUCTION_MARKERS 32u
#define VKT_SPOKEN_INSTRUCTION_ARRAY_SIZE 256u

/* ---- conversion -------------------------------------------------------- */

/*
 * Common to the conversions:
 * - File names are byte strings passed through as they are; NULL gives
 *   VKT_ERR_FILE_NAME (13), as does a source or destination folder that
 *   does not exist. A destination that exists is replaced; a destination
 *   that is the source itself is refused (VKT_ERR, 10).
 * - The result is written under a temporary name ("~NAME.vkt" or "~NAME1"
 *   beside the destination) and moved into place at the end; a failed or
 *   cancelled call removes it (see the README for the two documented
 *   exceptions).
 * - pfnCallback may be NULL. Otherwise it is called with (lCallback,
 *   VKT_PROGRESS_MESSAGE, 0..100) on the calling thread; returning
 *   VKT_PROGRESS_CANCEL stops the work and the call returns VKT_CANCELLED (2).
 * - pwfxDst is never NULL (VKT_ERR_INVALID_WAVFMT, 21). DSS/DS2 destinations
 *   take exactly one of the four records of OrvaneVktapiUtil.h:
 *     standard play  {0x0121, 1, 12000, 1750, 42, 0, 0}  .dss or .ds2
 *     long play      {0x0121, 1,  8000, 1167, 42, 0, 0}  .dss or .ds2
 *     quality play   {0x0121, 1, 16000, 3563, 57, 0, 0}  .ds2 only (else 10)
 *     G.723.1        {0xFFFC, 1,  8000,  834, 25, 0, 0}  .dss or .ds2
 *   any other record gives 21. WAV destinations take mono or stereo PCM of
 *   8 or 16 bits at the rates the README lists (cbSize 0; block size and
 *   bytes per second consistent, else 21), or one of the codec records above
 *   (the codec inside a WAV file).
 * - Thread safety: calls on different files may run at the same time on
 *   different threads; two calls on the same file may not.
 */

/**
 * @brief Decodes a DSS or DS2 recording into a WAV file.
 * @param pcszDSSFileName source (.dss/.ds2; an encrypted DS2 needs pcszPassword)
 * @param pcszWAVFileName destination WAV file
 * @param pwfxDst wanted PCM format, usually {1, 1, rate, rate*2, 2, 16, 0}
 * @param pcszPassword password of an encrypted source (4-16 characters), or NULL
 * @return 0; 13 a name is NULL or a folder is missing; 14 the source is no
 *   DSS/DS2 file; 16 reading failed; 18/19 the source's compression mode
 *   cannot be decoded; 21 pwfxDst is NULL or not PCM; 44 the source is
 *   encrypted and the password is missing or wrong; 2 cancelled; 15/43
 *   writing failed or the disk is full.
 */
ORVKT_API VKTRESULT ORVKTDSSToWAV(const char *pcszDSSFileName, const char *pcszWAVFileName,
                                  const WAVEFORMATEX *pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback, const char *pcszPassword);
/**
 * @brief ORVKTDSSToWAV with a 32-bit callback value; the reserved pointers
 * are ignored and may be NULL.
 */
ORVKT_API VKTRESULT ORVKTDSSToWAVEx(const char *pcszDSSFileName, const char *pcszWAVFileName,
                                    const WAVEFORMATEX *pwfxDst, ProgressCallback pfnCallback,
                                    int32_t lCallback, void *pReserved1, void *pReserved2,
                                    const char *pcszPassword);
/**
 * @brief Encodes a WAV file (PCM, or a codec the library reads) into a new
 * DSS or DS2 recording.
 * @param pwfxDst one of the three DSS records above (else 21)
 * @param sHeaders header blocks of the new file, 1 to 3 (else 36)
 * @return 0; 10 quality play into a .dss name; 13; 14 the source is no WAV
 *   file; 21 wrong pwfxDst; 36 wrong sHeaders; 2 cancelled; 15/43 writing.
 *   The recording's start and end times come from the WAV file's times.
 */
ORVKT_API VKTRESULT ORVKTWAVToDSS(const char *pcszWAVFileName, const char *pcszDSSFileName,
                                  const WAVEFORMATEX *pwfxDst, int16_t sHeaders,
                                  ProgressCallback pfnCallback, intptr_t lCallback);
/**
 * @brief Re-encodes a DSS/DS2 recording in another mode (decode, then
 * encode; the dictation header and markers follow).
 * @param pwfxDst one of the three DSS records above (else 21)
 * @param pcszPassword password of an encrypted source, or NULL; the result
 *   is never encrypted
 * @return as ORVKTDSSToWAV and ORVKTWAVToDSS. Progress runs 0-50 for the
 *   decoding and again for the encoding.
 */
ORVKT_API VKTRESULT ORVKTDSSToDSS(const char *pcszSrcFileName, const char *pcszDstFileName,
                                  const WAVEFORMATEX *pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback, const char *pcszPassword);
/**
 * @brief Converts a WAV file into another format: sample width, rate,
 * channels, or a codec (DSS codecs, G.723.1 {0xFFFC, 1, 8000, 834, 25}).
 * @return 0; 13; 14 the source is no WAV file; 21 pwfxDst NULL or not
 *   reachable from the source; 23 pwfxDst equals the source's format
 *   (nothing to do); 27 a conversion step failed; 2 cancelled; 15/43.
 */
ORVKT_API VKTRESULT ORVKTWAVToWAV(const char *pcszWAVSrcFileName, const char *pcszWAVDstFileName,
                                  const WAVEFORMATEX *pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback);
/**
 * @brief Decodes an MP3 recording (first audio stream, mixed to mono) into a
 * PCM WAV file; the dictation header and markers of its ID3v2 tag follow.
 * @param pwfxDst wanted PCM format (mono)
 * @return 0; 13; 14 the source cannot be opened; 21; 46 the media reader
 *   failed; 2 cancelled; 15/43.
 */
ORVKT_API VKTRESULT ORVKTMP3ToWAV(const char *pcszMP3FileName, const char *pcszWAVFileName,
                                  const WAVEFORMATEX *pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback);
/** @brief As ORVKTMP3ToWAV for a WMA recording (no dictation header). */
ORVKT_API VKTRESULT ORVKTWMAToWAV(const char *pcszWMAFileName, const char *pcszWAVFileName,
                                  const WAVEFORMATEX *pwfxDst, ProgressCallback pfnCallback,
                                  intptr_t lCallback);
/**
 * @brief Decodes an MP3 or WMA file into 16-bit PCM at its own rate and
 * channel count.
 * @param pwfxResult receives the format written (may be NULL)
 * @return as ORVKTMP3ToWAV.
 */
ORVKT_API VKTRESULT ORVKTWMFConvertToWAV(const char *pcszSrcFileName, const char *pcszDstFileName,
                                         WAVEFORMATEX *pwfxResult, ProgressCallback pfnCallback,
                                         intptr_t lCallback);
/**
 * @brief The wave format of a file: a WAV file's fmt record; a DSS/DS2
 * file's codec record (standard play {0x0121,1,12000,1750,42}, long play
 * {0x0121,1,8000,1167,42}, quality play {0x0121,1,16000,3563,57}, G.723.1
 * long play {0xFFFC,1,8000,834,25}); for MP3 {0x0055, ...}; for WMA the
 * 16-bit mono PCM it converts to.
 * @param pWAVFormat receives up to lWAVFormatSize bytes (not NULL: 36)
 * @param lWAVFormatSize size of the caller's buffer; 18 takes the record
 *   without extra bytes; smaller than the file's record gives 22
 * @return 0; 13; 14; 21 the file's record is damaged; 22; 26 no fmt chunk.
 */
ORVKT_API VKTRESULT ORVKTReadWAVFormat(const char *pcszWAVFileName, WAVEFORMATEX *pWAVFormat,
                                       uint32_t lWAVFormatSize);
/**
 * @brief The length of the audio of a WAV, MP3 or WMA file in milliseconds
 * (for DSS/DS2 use ORVKTReadZRM2Header's dwLengthMs).
 * @param lDataLengthMs receives the length (not NULL)
 * @return 0; 13; 14; 16; 21.
 */
ORVKT_API VKTRESULT ORVKTWAVGetSndDataLength(const char *pcszWAVFileName, uint32_t *lDataLengthMs);

/* ---- dictation header and spoken-instruction markers ------------------- */

/*
 * The dictation header is the record ZRM2HeaderInfo (above). It lives in
 * header blocks 1 and 2 of a DSS/DS2 file, in the ICMT/IKEY chunks of a WAV
 * file, and in an ID3v2 private frame of an MP3 file. Markers are the
 * spoken instructions: up to 32 pairs of (start, end) milliseconds, 256
 * bytes, little-endian uint32 each, unused pairs 0xFFFFFFFF.
 * Thread safety as for the conversions: one call per file at a time.
 */

/**
 * @brief Copies header block 1 (512 bytes, as stored) into pbyHeader.
 * @param pbyHeader 512 bytes; filled (0xFF) also after a failure
 * @return 0; 13 name NULL or file missing; 14 no DSS/DS2 file; 16.
 */
ORVKT_API VKTRESULT ORVKTReadDSSHeader(const char *pcszDSSFileName, uint8_t *pbyHeader);
/**
 * @brief Tells what dictation header a file carries.
 * @param pdwResult receives the class (may be NULL):
 *   0 no dictation header (a WAV/MP3 file without one, or foreign data);
 *   1 a header of another maker, or of an unknown version: it can be read
 *     as far as the layouts agree but not written;
 *   2 a full header of our own family (licensee 3, header 2 version 1 or
 *     2): ORVKTWriteZRM2Header can change it;
 *   3 header block 1 of our own family alone (the file says no more blocks
 *     follow).
 * @return 0; 13; 14; 25/26 the file has no header data at all.
 */
ORVKT_API VKTRESULT ORVKTIsValidZRM2File(const char *pcszZRM2FileName, uint32_t *pdwResult);
/**
 * @brief Reads the dictation header of a DSS, DS2, WAV or MP3 file.
 * @param pHeader the record; the caller sets dwSize to
 *   ZRM2HEADERINFO_SIZE_SHORT or ZRM2HEADERINFO_SIZE_FULL (else 36)
 * @return 0; 13; 14; 36; 38 the file carries no dictation header; 47 an MP3
 *   file without our ID3v2 frame.
 */
ORVKT_API VKTRESULT ORVKTReadZRM2Header(const char *pcszZRM2FileName, ZRM2HeaderInfo *pHeader);
/**
 * @brief Writes the dictation header into a file of our own family (class 2),
 * keeping everything the record does not carry.
 * @return 0; 13; 14; 15; 36 dwSize wrong or pHeader NULL; 38 the file's
 *   header is not of our own family; 47 an MP3 file without our ID3v2 frame.
 */
ORVKT_API VKTRESULT ORVKTWriteZRM2Header(const char *pcszZRM2FileName, const ZRM2HeaderInfo *pHeader);
/**
 * @brief Copies the dictation header (bH1H2 != 0) and/or the markers
 * (bH3 != 0) from one file into another existing file (DSS/DS2, WAV, MP3).
 * @return 0; 13; 14 a file cannot be opened; 38 the source has no header;
 *   47 an MP3 destination without our ID3v2 frame.
 */
ORVKT_API VKTRESULT ORVKTCopyDSSHeaders(const char *pcszSrcFileName, const char *pcszDstFileName,
                                        int32_t bH1H2, int32_t bH3);
/**
 * @brief Reads the markers.
 * @param pbyMarkers 256 bytes (not NULL: 36)
 * @return 0; 13; 14; 26 the file has no markers (DSS without header 3).
 */
ORVKT_API VKTRESULT ORVKTReadSpokenInstructionMarkers(const char *pcszFileName, uint8_t *pbyMarkers);
/**
 * @brief Replaces the markers (256 bytes; not NULL: 36). The library does
 * not compare them with the recording's length.
 * @return 0; 13; 14; 15; 26; 36.
 */
ORVKT_API VKTRESULT ORVKTWriteSpokenInstructionMarkers(const char *pcszFileName,
                                                       const uint8_t *pbyMarkers);
/**
 * @brief Copies the markers of the source into the destination; a missing
 * WAV destination is created as an empty carrier, a missing DSS/DS2/MP3
 * destination gives 14.
 * @return 0; 13; 14; 15; 26.
 */
ORVKT_API VKTRESULT ORVKTExtractSpokenInstructionMarkers(const char *pcszSrcFileName,
                                                         const char *pcszDstFileName);
/**
 * @brief Cuts a PCM WAV recording along its markers into the dictation
 * (pcszWAVDstFileName) and the instructions (the same name with "_i" before
 * the extension). A destination equal to the source replaces the source.
 * @param bCreateDictation, bCreateInstruction which files to write
 * @return 0; 10 the destination is another name of the source; 13; 14; 2
 *   cancelled (the files it created are removed); 15/43.
 */
ORVKT_API VKTRESULT ORVKTWAVSeperateSpokenInstructions(const char *pcszWAVSrcFileName,
                                                       const char *pcszWAVDstFileName,
                                                       int32_t bCreateDictation,
                                                       int32_t bCreateInstruction,
                                                       ProgressCallback pfnCallback,
                                                       intptr_t lCallback);

/* ---- DSS editing ------------------------------------------------------- */

/**
 * @brief Cuts a DSS/DS2 recording of our own family into pieces.
 * @param pcszDestinationFolder folder of the pieces (must exist; 13)
 * @param pcszDestinationFileMask printf-style name with one integer
 *   placeholder numbered from 1 ("memo_%03d.dss"); other placeholders: 10
 * @param pcszPassword password of an encrypted source (the pieces are
 *   encrypted with it), or NULL
 * @param splitLength seconds per piece (> 0)
 * @param overlapLength seconds by which pieces overlap (< splitLength, else 10)
 * @param splitCount largest number of pieces (0xFFFFFFFF: no limit); the last
 *   one takes the rest
 * @param pdwCreatedCount receives the number of pieces written (may be NULL)
 * @return 0; 10; 13; 14 no DSS/DS2 source; 44; 2 cancelled; 15/43.
 *   Existing pieces are replaced.
 */
ORVKT_API VKTRESULT ORVKTSplitDSSFile(const char *pcszSrcFileName, const char *pcszDestinationFolder,
                                      const char *pcszDestinationFileMask, const char *pcszPassword,
                                      uint32_t splitLength, uint32_t overlapLength,
                                      uint32_t splitCount, uint32_t *pdwCreatedCount,
                                      ProgressCallback pfnCallback, intptr_t lCallback);
/**
 * @brief Joins DSS/DS2 recordings of one compression mode into one file.
 * @param pcszSourceFileNameList the sources in order, separated by '?'
 * @param lCallbackProgStart, lCallbackProgEnd the range the percentages are
 *   mapped into (0 and 100 for a call of its own)
 * @return 0; 13; 14; 18 the sources use different modes; 2 cancelled; 15/43.
 *   Headers come from the first source, the end time from the last.
 */
ORVKT_API VKTRESULT ORVKTJoinDSS(const char *pcszSourceFileNameList,
                                 const char *pcszDestinationFileName, ProgressCallback pfnCallback,
                                 intptr_t lCallback, int32_t lCallbackProgStart,
                                 int32_t lCallbackProgEnd);
/**
 * @brief Writes a copy whose index tables are rebuilt from the markers (the
 * long index only into a .ds2 destination).
 * @return 0; 10 the destination is no .dss/.ds2 name; 13; 14; 38 not of our
 *   own family; 15/43.
 */
ORVKT_API VKTRESULT ORVKTRepairIndexMarkers(const char *sourceDSSFileName,
                                            const char *destDSSFileName);
/**
 * @brief Cuts an MP3 recording into pieces; frames are copied as stored.
 * Parameters as ORVKTSplitDSSFile (no password).
 * @param pdwLastPiece receives the number of the last piece (may be NULL)
 * @return 0; 10; 13; 14; 2 cancelled; 15/43.
 */
ORVKT_API VKTRESULT ORVKTSplitMP3File(const char *pcszSrcFileName, const char *pcszDestinationFolder,
                                      const char *pcszDestinationFileMask, uint32_t splitLength,
                                      uint32_t overlapLength, uint32_t splitCount,
                                      uint32_t *pdwLastPiece, ProgressCallback pfnCallback,
                                      intptr_t lCallback);

/* ---- encryption and templates ------------------------------------------ */

/*
 * Passwords are 4 to 16 bytes (a shorter or longer one gives 44). Only DS2
 * files carry encryption; only recordings of our own family (licensee 3)
 * can be encrypted.
 */

/**
 * @brief Tells whether a DSS/DS2 file is password-protected.
 * @param pbEncrypted receives 1 or 0 (not NULL: 36)
 * @return 0; 13; 14.
 */
ORVKT_API VKTRESULT ORVKTIsEncryptedDSSFile(const char *lpszFilepath_p, uint32_t *pbEncrypted);
/** @brief Checks a password against an encrypted DS2 file: 0 right, 44 wrong or missing; 13; 14. */
ORVKT_API VKTRESULT ORVKTCheckDSSFilePassword(const char *lpszFilepath_p, const char *pcszPassword);
/**
 * @brief Writes a plain copy of an encrypted DS2 file (.ds2, or .dss unless
 * quality play).
 * @return 0; 10 the destination is the source; 13; 14; 44; 15/43.
 */
ORVKT_API VKTRESULT ORVKTDecryptDSSFile(const char *pcszSrcFileName_p, const char *pcszDstFileName_p,
                                        const char *pcszPassword);
/**
 * @brief Writes a password-protected copy of a plain DSS/DS2 recording.
 * @return 0; 10 the destination is the source; 13; 14; 36 the destination
 *   is no .ds2 name; 44 the password is missing or not 4 to 16 bytes; 48
 *   the source is not of our own family; 15/43.
 */
ORVKT_API VKTRESULT ORVKTEncryptDSSFile(const char *pcszSrcFileName_p, const char *pcszDstFileName_p,
                                        const char *pcszPassword);
/**
 * @brief Creates an empty DSS/DS2 file with three header blocks.
 * @param pcszPassword NULL for a plain template; else it is protected (.ds2
 *   only, else 36)
 * @param byCompressionId the recording mode named in header 2: 0 standard
 *   play, 4 long play, 6 quality play; stored unchecked
 * @return 0; 13; 14 the name is no .dss/.ds2 name; 36; 44; 15.
 */
ORVKT_API VKTRESULT ORVKTCreateDSSTemplate(const char *pcszFileName, const char *pcszPassword,
                                           uint8_t byCompressionId);

/* ---- other tools ------------------------------------------------------- */

/**
 * @brief Writes each channel of a stereo PCM WAV file into a mono file
 * (the left file gets the frame's second channel).
 * @return 0; 13; 14; 45 the source is not stereo PCM; 2 cancelled (the
 *   outputs are removed); 15/43.
 */
ORVKT_API VKTRESULT ORVKTWAVSplitStereo(const char *pcszWAVSrcFileName,
                                        const char *pcszWAVDstLeftFileName,
                                        const char *pcszWAVDstRightFileName,
                                        ProgressCallback pfnCallback, intptr_t lCallback);
/**
 * @brief Mixes a 16-bit stereo PCM WAV file into mono (L/2 + R/2).
 * @return 0; 13; 14; 45 the source is not 16-bit stereo PCM; 2; 15/43.
 */
ORVKT_API VKTRESULT ORVKTWAVMixStereo(const char *pcszWAVSrcFileName, const char *pcszWAVDstFileName,
                                      ProgressCallback pfnCallback, intptr_t lCallback);
/**
 * @brief Copies a file: free-space check, corrupt-block filter for our own
 * DSS files, CRC-32 verification. Never replaces a file.
 * @param bWriteThrough non-zero: straight to the disk, and no download time
 *   is stamped into the copy's header
 * @return 0; 13; 14; 37 the destination exists; 40 copying failed; 42 the
 *   copy differs from the source; 43 not enough free space.
 */
ORVKT_API VKTRESULT ORVKTCopyFile(const char *lpcstrSourceFile, const char *lpcstrDestFile,
                                  int32_t bWriteThrough);
/**
 * @brief Deletes a file through a free temporary name, flushed first.
 * @return 0; 13; 39 the file is read-only (kept); 41 deleting failed.
 */
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
