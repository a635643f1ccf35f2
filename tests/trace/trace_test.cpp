// The trace component and the library's trace macros.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "OrvaneVktapi.h"
#include "OrvaneVktapiUtil.h"
#include "platform/vkt_trace.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

VKT_TRACE_UNIT("trace_test");

// The log names each line's unit, and readers of old logs filter by those
// names: they stay whatever the source files are called. One scenario runs
// every family of operations; each row names a line it must write and the
// unit that line must carry.
TEST(TraceUnits, EachFamilyKeepsItsUnitName) {
    orvkt_test::TempDir tmp;
    const std::string wav = tmp.path("a.wav"), dss = tmp.path("b.dss"), ds2 = tmp.path("q.ds2");
    const std::string stereo = tmp.path("s.wav");
    xkrvlog::Capture capture;
    const WAVEFORMATEX sp = orvkt_format_dss_sp(), qp = orvkt_format_dss_qp();
    const WAVEFORMATEX pcm = {WAVE_FORMAT_PCM, 1, 16000, 32000, 2, 16, 0};
    ASSERT_EQ(ORVKTDSSToWAV(orvkt_test::data_path("speech_lp.dss").c_str(), wav.c_str(), &pcm, nullptr, 0, nullptr),
              VKT_OK);
    ASSERT_EQ(ORVKTWAVToDSS(wav.c_str(), dss.c_str(), &sp, 3, nullptr, 0), VKT_OK);
    ASSERT_EQ(ORVKTWAVToDSS(wav.c_str(), ds2.c_str(), &qp, 3, nullptr, 0), VKT_OK);
    ASSERT_EQ(ORVKTEncryptDSSFile(ds2.c_str(), tmp.path("e.ds2").c_str(), "secret-words"), VKT_OK);
    uint32_t pieces = 0, length = 0;
    ASSERT_EQ(ORVKTSplitDSSFile(dss.c_str(), tmp.path("").c_str(), "piece_%02d.dss", nullptr, 2, 0, 0xFFFFFFFFu, &pieces, nullptr, 0),
              VKT_OK);
    ASSERT_EQ(ORVKTJoinDSS((dss + "?" + dss).c_str(), tmp.path("j.dss").c_str(), nullptr, 0, 0, 100), VKT_OK);
    ASSERT_EQ(ORVKTRepairIndexMarkers(dss.c_str(), tmp.path("r.dss").c_str()), VKT_OK);
    uint8_t markers[VKT_SPOKEN_INSTRUCTION_ARRAY_SIZE] = {};
    ASSERT_EQ(ORVKTReadSpokenInstructionMarkers(dss.c_str(), markers), VKT_OK);
    ZRM2HeaderInfo info{};
    info.dwSize = ZRM2HEADERINFO_SIZE_FULL;
    ASSERT_EQ(ORVKTReadZRM2Header(dss.c_str(), &info), VKT_OK);
    ASSERT_EQ(ORVKTCopyDSSHeaders(dss.c_str(), wav.c_str(), 1, 1), VKT_OK);
    WAVEFORMATEX out{};
    ASSERT_EQ(ORVKTWMFConvertToWAV(orvkt_test::data_path("speech_stereo.mp3").c_str(), stereo.c_str(), &out, nullptr,
                                   0),
              VKT_OK);
    ASSERT_EQ(ORVKTWAVMixStereo(stereo.c_str(), tmp.path("m.wav").c_str(), nullptr, 0), VKT_OK);
    ASSERT_EQ(ORVKTWMAToWAV(orvkt_test::data_path("speech_mono.wma").c_str(), tmp.path("w.wav").c_str(), &pcm,
                            nullptr, 0),
              VKT_OK);
    ASSERT_EQ(ORVKTSplitMP3File(orvkt_test::data_path("speech_header.mp3").c_str(), tmp.path("").c_str(), "mp3piece_%02d.mp3",
                                2, 0, 0xFFFFFFFFu, &pieces, nullptr, 0),
              VKT_OK);
    ASSERT_EQ(ORVKTWAVGetSndDataLength(orvkt_test::data_path("speech_mono.mp3").c_str(), &length), VKT_OK);
    ASSERT_EQ(ORVKTCopyFile(dss.c_str(), tmp.path("c.dss").c_str(), 0), VKT_OK);
    ASSERT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.ds2").c_str(), nullptr, 6), VKT_OK);
    // Failures write the lines of the units that stay silent on success.
    EXPECT_EQ(ORVKTDecryptDSSFile(tmp.path("e.ds2").c_str(), tmp.path("d.ds2").c_str(), "wrong-words"), VKT_ERR_PASSWORD);
    EXPECT_NE(ORVKTRepairIndexMarkers(wav.c_str(), tmp.path("r2.dss").c_str()), VKT_OK);
    EXPECT_NE(ORVKTCopyDSSHeaders(wav.c_str(), tmp.path("none.dss").c_str(), 1, 1), VKT_OK);

    const struct {
        const char* text;
        const char* unit;
    } rows[] = {
        {"+ORVKTDSSToWAV", "vktconv"},
        {"-----CDssConvert::CDssConvert()", "CDSSCONV"},
        {"-----CDssFile::CDssFile(void)", "CDSSFILE"},
        {"-----KRVDSS_open_file(...)", "INTERNAL"},
        {"-----CWavFile::CWavFile(void)", "CWAVFILE"},
        {"-----CWavConvert::CWavConvert()", "Cwavconv"},
        {"-----process_single_stream(...)", "Intconv"},
        {" -- AddEncryptionToHeader", "crypt"},
        {"+ORVKTSplitDSSFile", "NewInternal"},
        {"+ORVKTCopyDSSHeaders", "NewInternal"},
        {"CDSSSplitter::CDSSSplitter", "DSSSplitter"},
        {"-----ReadSpokenInstructionMarkersToArray(...)", "spoken_instructions"},
        {"-----ReadZRM2HeaderDataToMemoryEx(...)", "header_transport"},
        {"-----MapZRM2HeaderDataToZRM2HeaderStruct(...)", "header_image"},
        {"+ORVKTWMFConvertToWAV", "WMFoperations"},
        {"-----CWMFAudioFile::open(...)", "WMFAudioFile"},
        {"-----CWmaConvert::init(...)", "CWmaConv"},
        {"-----CWmaFile::create_file(...)", "CWmaFile"},
        {"CMP3Splitter::CMP3Splitter", "MP3Splitter"},
        {"-----CMP3Splitter::LoadID3v2Header(...)", "MP3Splitter"},
        {"-----CMP3Helper::ReadDSSHeaders(...)", "MP3Helper"},
        {"-----CMp3File::CMp3File()", "CMp3File"},
        {"+ORVKTWAVMixStereo", "Stereo"},
        {"SecureFileManagement::CopyFile()", "SecureFileManagement"},
        {"+ORVKTCreateDSSTemplateWithEncryptionType", "DssTemplate"},
        {"-----VKTWAVGetSndDataLength(...)", "conv_entry"},
    };
    const auto lines = capture.lines();
    for (const auto& row : rows) {
        auto line = std::find_if(lines.begin(), lines.end(), [&](const xkrvlog::Line& l) { return l.text == row.text; });
        ASSERT_NE(line, lines.end()) << row.text << " was not written";
        EXPECT_EQ(line->file, row.unit) << row.text;
    }
    // No unit comes or goes unnoticed.
    std::set<std::string> units;
    for (const auto& l : lines) units.insert(l.file);
    const std::set<std::string> expected = {
        "CDSSCONV",   "CDSSFILE",       "CMp3File",        "CWAVFILE",         "CWmaConv",      "CWmaFile",
        "Cwavconv",   "DSSIndexRepair", "DSSJoiner",       "DSSSplitter",      "DssEncryption", "DssTemplate",
        "INTERNAL",   "Intconv",        "MP3Helper",       "MP3Splitter",      "NewInternal",   "SecureFileManagement",
        "Stereo",     "WMFAudioFile",   "WMFoperations",   "chunk_utilities",  "conv_entry",    "crypt",
        "dss_header_io", "header_image", "header_transport", "spoken_instructions", "vktconv"};
    EXPECT_EQ(units, expected);
}

TEST(TraceOutput, FileGetsOneLinePerCallAndStopsWhenClosed) {
    orvkt_test::TempDir tmp;
    std::string log = tmp.path("trace.log");
    ASSERT_TRUE(xkrvlog::set_output_file(log));
    VKT_TRACE_TEXT("+ORVKTDSSToWAV");
    VKT_TRACE_ERROR(14, "VKT_ERR_OPEN_FILE invalid Self-Id");
    ASSERT_TRUE(xkrvlog::set_output_file(""));
    VKT_TRACE_TEXT("not written");
    const auto bytes = orvkt_test::read_bytes(log);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("TEXT trace_test:"), std::string::npos) << text;
    EXPECT_NE(text.find("+ORVKTDSSToWAV"), std::string::npos);
    EXPECT_NE(text.find("ERROR trace_test:"), std::string::npos);
    EXPECT_NE(text.find("[14] VKT_ERR_OPEN_FILE invalid Self-Id"), std::string::npos);
    EXPECT_EQ(text.find("not written"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}
