// Bad arguments of all 32 exports: each gives its code before any file is touched.
// ReadDSSHeader without a buffer, CheckDSSFilePassword without a password and
// WAVMixStereo without a destination are no error and do nothing.
#include <set>

#include "api/export_calls.h"

using namespace orvkt_test;
using namespace api_test;

namespace {

struct Row {
    const char* what;
    uint32_t code;
    std::function<uint32_t(const TempDir&)> call;
};

// Fixtures in the folder: s.dss, s.ds2, e.ds2, s.wav, st.wav, s.mp3, s.wma.
#define N(name) t.path(name).c_str()
#define DIR t.dir().c_str()

const std::vector<Row>& rows() {
    static const std::vector<Row> all = {
        {"DSSToWAV: no source", 13, [](auto& t) { return ORVKTDSSToWAV(nullptr, N("o.wav"), &kPcm, nullptr, 0, nullptr); }},
        {"DSSToWAV: empty source", 14, [](auto& t) { return ORVKTDSSToWAV("", N("o.wav"), &kPcm, nullptr, 0, nullptr); }},
        {"DSSToWAV: no destination", 13,
         [](auto& t) { return ORVKTDSSToWAV(N("s.dss"), nullptr, &kPcm, nullptr, 0, nullptr); }},
        {"DSSToWAV: no format", 21,
         [](auto& t) { return ORVKTDSSToWAV(N("s.dss"), N("o.wav"), nullptr, nullptr, 0, nullptr); }},
        {"DSSToWAVEx: no source", 13,
         [](auto& t) { return ORVKTDSSToWAVEx(nullptr, N("o.wav"), &kPcm, nullptr, 0, nullptr, nullptr, nullptr); }},
        {"DSSToWAVEx: no format", 21,
         [](auto& t) { return ORVKTDSSToWAVEx(N("s.dss"), N("o.wav"), nullptr, nullptr, 0, nullptr, nullptr, nullptr); }},
        {"WAVToDSS: no source", 13, [](auto& t) { return ORVKTWAVToDSS(nullptr, N("o.dss"), &kSp, 3, nullptr, 0); }},
        {"WAVToDSS: no destination", 13, [](auto& t) { return ORVKTWAVToDSS(N("s.wav"), nullptr, &kSp, 3, nullptr, 0); }},
        {"WAVToDSS: no format", 21, [](auto& t) { return ORVKTWAVToDSS(N("s.wav"), N("o.dss"), nullptr, 3, nullptr, 0); }},
        {"WAVToDSS: PCM format", 21, [](auto& t) { return ORVKTWAVToDSS(N("s.wav"), N("o.dss"), &kPcm, 3, nullptr, 0); }},
        {"DSSToDSS: no source", 13, [](auto& t) { return ORVKTDSSToDSS(nullptr, N("o.dss"), &kSp, nullptr, 0, nullptr); }},
        {"DSSToDSS: no destination", 13, [](auto& t) { return ORVKTDSSToDSS(N("s.dss"), nullptr, &kSp, nullptr, 0, nullptr); }},
        {"DSSToDSS: no format", 21,
         [](auto& t) { return ORVKTDSSToDSS(N("s.dss"), N("o.dss"), nullptr, nullptr, 0, nullptr); }},
        {"DSSToDSS: PCM format", 21, [](auto& t) { return ORVKTDSSToDSS(N("s.dss"), N("o.dss"), &kPcm, nullptr, 0, nullptr); }},
        {"WAVToWAV: no source", 13, [](auto& t) { return ORVKTWAVToWAV(nullptr, N("o.wav"), &kPcm, nullptr, 0); }},
        {"WAVToWAV: no destination", 13, [](auto& t) { return ORVKTWAVToWAV(N("s.wav"), nullptr, &kPcm, nullptr, 0); }},
        {"WAVToWAV: no format", 21, [](auto& t) { return ORVKTWAVToWAV(N("s.wav"), N("o.wav"), nullptr, nullptr, 0); }},
        {"MP3ToWAV: no source", 13, [](auto& t) { return ORVKTMP3ToWAV(nullptr, N("o.wav"), &kPcm, nullptr, 0); }},
        {"MP3ToWAV: no destination", 13, [](auto& t) { return ORVKTMP3ToWAV(N("s.mp3"), nullptr, &kPcm, nullptr, 0); }},
        {"MP3ToWAV: no format", 21, [](auto& t) { return ORVKTMP3ToWAV(N("s.mp3"), N("o.wav"), nullptr, nullptr, 0); }},
        {"WMAToWAV: no source", 13, [](auto& t) { return ORVKTWMAToWAV(nullptr, N("o.wav"), &kPcm, nullptr, 0); }},
        {"WMAToWAV: no destination", 13, [](auto& t) { return ORVKTWMAToWAV(N("s.wma"), nullptr, &kPcm, nullptr, 0); }},
        {"WMAToWAV: no format", 21, [](auto& t) { return ORVKTWMAToWAV(N("s.wma"), N("o.wav"), nullptr, nullptr, 0); }},
        {"WMFConvertToWAV: no source", 13,
         [](auto& t) { return ORVKTWMFConvertToWAV(nullptr, N("o.wav"), nullptr, nullptr, 0); }},
        {"WMFConvertToWAV: no destination", 13,
         [](auto& t) { return ORVKTWMFConvertToWAV(N("s.mp3"), nullptr, nullptr, nullptr, 0); }},
        {"ReadWAVFormat: no name", 13, [](auto&) { return ORVKTReadWAVFormat(nullptr, &g_format, sizeof g_format); }},
        {"ReadWAVFormat: no record", 21, [](auto& t) { return ORVKTReadWAVFormat(N("s.wav"), nullptr, 18); }},
        {"ReadWAVFormat: record of 0 bytes", 22, [](auto& t) { return ORVKTReadWAVFormat(N("s.wav"), &g_format, 0); }},
        {"WAVGetSndDataLength: no name", 13, [](auto&) { return ORVKTWAVGetSndDataLength(nullptr, &g_u32); }},
        {"WAVGetSndDataLength: no result", 36, [](auto& t) { return ORVKTWAVGetSndDataLength(N("s.wav"), nullptr); }},
        {"ReadDSSHeader: no name", 13, [](auto&) { return ORVKTReadDSSHeader(nullptr, g_buf); }},
        {"ReadDSSHeader: empty name", 13, [](auto&) { return ORVKTReadDSSHeader("", g_buf); }},
        {"ReadDSSHeader: no buffer", 0, [](auto& t) { return ORVKTReadDSSHeader(N("s.dss"), nullptr); }},
        {"IsValidZRM2File: no name", 13, [](auto&) { return ORVKTIsValidZRM2File(nullptr, &g_u32); }},
        {"ReadZRM2Header: no name", 13, [](auto&) { return ORVKTReadZRM2Header(nullptr, record()); }},
        {"ReadZRM2Header: no record", 36, [](auto& t) { return ORVKTReadZRM2Header(N("s.ds2"), nullptr); }},
        {"ReadZRM2Header: record size 7", 36, [](auto& t) { return ORVKTReadZRM2Header(N("s.ds2"), record(7)); }},
        {"WriteZRM2Header: no name", 13, [](auto&) { return ORVKTWriteZRM2Header(nullptr, record()); }},
        {"WriteZRM2Header: no record", 36, [](auto& t) { return ORVKTWriteZRM2Header(N("s.ds2"), nullptr); }},
        {"WriteZRM2Header: record size 7", 36, [](auto& t) { return ORVKTWriteZRM2Header(N("s.ds2"), record(7)); }},
        {"CopyDSSHeaders: no source", 13, [](auto& t) { return ORVKTCopyDSSHeaders(nullptr, N("s.wav"), 1, 1); }},
        {"CopyDSSHeaders: no destination", 13, [](auto& t) { return ORVKTCopyDSSHeaders(N("s.dss"), nullptr, 1, 1); }},
        {"ReadSpokenInstructionMarkers: no name", 13, [](auto&) { return ORVKTReadSpokenInstructionMarkers(nullptr, g_buf); }},
        {"ReadSpokenInstructionMarkers: no buffer", 36,
         [](auto& t) { return ORVKTReadSpokenInstructionMarkers(N("s.dss"), nullptr); }},
        {"WriteSpokenInstructionMarkers: no name", 13,
         [](auto&) { return ORVKTWriteSpokenInstructionMarkers(nullptr, kNoMarkers); }},
        {"WriteSpokenInstructionMarkers: no markers", 36,
         [](auto& t) { return ORVKTWriteSpokenInstructionMarkers(N("s.dss"), nullptr); }},
        {"ExtractSpokenInstructionMarkers: no source", 13,
         [](auto& t) { return ORVKTExtractSpokenInstructionMarkers(nullptr, N("o.wav")); }},
        {"ExtractSpokenInstructionMarkers: no destination", 13,
         [](auto& t) { return ORVKTExtractSpokenInstructionMarkers(N("s.dss"), nullptr); }},
        {"WAVSeperateSpokenInstructions: no source", 13,
         [](auto& t) { return ORVKTWAVSeperateSpokenInstructions(nullptr, N("o.wav"), 1, 1, nullptr, 0); }},
        {"WAVSeperateSpokenInstructions: no destination", 13,
         [](auto& t) { return ORVKTWAVSeperateSpokenInstructions(N("s.wav"), nullptr, 1, 1, nullptr, 0); }},
        {"SplitDSSFile: no source", 13,
         [](auto& t) { return ORVKTSplitDSSFile(nullptr, DIR, "p%d.dss", nullptr, 60, 0, 5, &g_u32, nullptr, 0); }},
        {"SplitDSSFile: no folder", 13,
         [](auto& t) { return ORVKTSplitDSSFile(N("s.dss"), nullptr, "p%d.dss", nullptr, 60, 0, 5, &g_u32, nullptr, 0); }},
        {"SplitDSSFile: no mask", 13,
         [](auto& t) { return ORVKTSplitDSSFile(N("s.dss"), DIR, nullptr, nullptr, 60, 0, 5, &g_u32, nullptr, 0); }},
        {"SplitDSSFile: empty mask", 13,
         [](auto& t) { return ORVKTSplitDSSFile(N("s.dss"), DIR, "", nullptr, 60, 0, 5, &g_u32, nullptr, 0); }},
        {"SplitDSSFile: length 0", 10,
         [](auto& t) { return ORVKTSplitDSSFile(N("s.dss"), DIR, "p%d.dss", nullptr, 0, 0, 5, &g_u32, nullptr, 0); }},
        {"JoinDSS: no list", 13, [](auto& t) { return ORVKTJoinDSS(nullptr, N("o.dss"), nullptr, 0, 0, 100); }},
        {"JoinDSS: no destination", 13, [](auto& t) { return ORVKTJoinDSS(N("s.dss"), nullptr, nullptr, 0, 0, 100); }},
        {"JoinDSS: empty destination", 13, [](auto& t) { return ORVKTJoinDSS(N("s.dss"), "", nullptr, 0, 0, 100); }},
        {"RepairIndexMarkers: no source", 13, [](auto& t) { return ORVKTRepairIndexMarkers(nullptr, N("o.dss")); }},
        {"RepairIndexMarkers: no destination", 13, [](auto& t) { return ORVKTRepairIndexMarkers(N("s.dss"), nullptr); }},
        {"SplitMP3File: no source", 13,
         [](auto& t) { return ORVKTSplitMP3File(nullptr, DIR, "p%d.mp3", 600, 0, 5, &g_u32, nullptr, 0); }},
        {"SplitMP3File: no folder", 13,
         [](auto& t) { return ORVKTSplitMP3File(N("s.mp3"), nullptr, "p%d.mp3", 600, 0, 5, &g_u32, nullptr, 0); }},
        {"SplitMP3File: no mask", 13,
         [](auto& t) { return ORVKTSplitMP3File(N("s.mp3"), DIR, nullptr, 600, 0, 5, &g_u32, nullptr, 0); }},
        {"SplitMP3File: length 0", 10,
         [](auto& t) { return ORVKTSplitMP3File(N("s.mp3"), DIR, "p%d.mp3", 0, 0, 5, &g_u32, nullptr, 0); }},
        {"IsEncryptedDSSFile: no name", 13, [](auto&) { return ORVKTIsEncryptedDSSFile(nullptr, &g_u32); }},
        {"IsEncryptedDSSFile: no result", 10, [](auto& t) { return ORVKTIsEncryptedDSSFile(N("e.ds2"), nullptr); }},
        {"CheckDSSFilePassword: no name", 13, [](auto&) { return ORVKTCheckDSSFilePassword(nullptr, kPassword); }},
        {"CheckDSSFilePassword: no password", 0, [](auto& t) { return ORVKTCheckDSSFilePassword(N("e.ds2"), nullptr); }},
        {"DecryptDSSFile: no source", 13, [](auto& t) { return ORVKTDecryptDSSFile(nullptr, N("o.ds2"), kPassword); }},
        {"DecryptDSSFile: no destination", 13, [](auto& t) { return ORVKTDecryptDSSFile(N("e.ds2"), nullptr, kPassword); }},
        {"DecryptDSSFile: empty destination", 13, [](auto& t) { return ORVKTDecryptDSSFile(N("e.ds2"), "", kPassword); }},
        {"DecryptDSSFile: no password", 44, [](auto& t) { return ORVKTDecryptDSSFile(N("e.ds2"), N("o.ds2"), nullptr); }},
        {"EncryptDSSFile: no source", 13, [](auto& t) { return ORVKTEncryptDSSFile(nullptr, N("o.ds2"), kPassword); }},
        {"EncryptDSSFile: no destination", 13, [](auto& t) { return ORVKTEncryptDSSFile(N("s.ds2"), nullptr, kPassword); }},
        {"EncryptDSSFile: no password", 44, [](auto& t) { return ORVKTEncryptDSSFile(N("s.ds2"), N("o.ds2"), nullptr); }},
        {"CreateDSSTemplate: no name", 13, [](auto&) { return ORVKTCreateDSSTemplate(nullptr, nullptr, 6); }},
        {"CreateDSSTemplate: empty name", 13, [](auto&) { return ORVKTCreateDSSTemplate("", nullptr, 6); }},
        {"WAVSplitStereo: no source", 13,
         [](auto& t) { return ORVKTWAVSplitStereo(nullptr, N("l.wav"), N("r.wav"), nullptr, 0); }},
        {"WAVMixStereo: no source", 13, [](auto& t) { return ORVKTWAVMixStereo(nullptr, N("m.wav"), nullptr, 0); }},
        {"WAVMixStereo: no destination", 0, [](auto& t) { return ORVKTWAVMixStereo(N("st.wav"), nullptr, nullptr, 0); }},
        {"CopyFile: no source", 13, [](auto& t) { return ORVKTCopyFile(nullptr, N("o.dss"), 0); }},
        {"CopyFile: no destination", 13, [](auto& t) { return ORVKTCopyFile(N("s.dss"), nullptr, 0); }},
        {"DeleteFile: no name", 13, [](auto&) { return ORVKTDeleteFile(nullptr); }},
        {"DeleteFile: empty name", 13, [](auto&) { return ORVKTDeleteFile(""); }},
    };
    return all;
}

#undef N
#undef DIR

}  // namespace

TEST(BadArguments, EveryExportRefusesThemAndTouchesNoFile) {
    const std::vector<std::string> kFixtures = {"e.ds2", "s.ds2", "s.dss", "s.mp3", "s.wav", "s.wma", "st.wav"};
    std::set<std::string> exports;
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.what);
        exports.insert(std::string(row.what).substr(0, std::string(row.what).find(':')));
        TempDir tmp;
        for (const auto& f : kFixtures) put_fixture(tmp, f);
        EXPECT_EQ(row.call(tmp), row.code);
        EXPECT_EQ(tmp.entries(), kFixtures);
        for (const auto& f : kFixtures) EXPECT_EQ(read_bytes(tmp.path(f)), fixture(f)) << f;
    }
    EXPECT_EQ(exports.size(), 32u) << "every export has a row";
}
