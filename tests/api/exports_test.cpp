// The library as a user links it: exported names, header layout, load and unload.
#include <dlfcn.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "OrvaneVktapi.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"
#include "convert/format_queries.h"

extern "C" size_t orvkt_c_layout(size_t* out, size_t capacity);

using namespace orvkt_test;

namespace {

const std::set<std::string> kExports = {
    "ORVKTDSSToWAV", "ORVKTDSSToWAVEx", "ORVKTWAVToDSS", "ORVKTDSSToDSS", "ORVKTWAVToWAV",
    "ORVKTMP3ToWAV", "ORVKTWMAToWAV", "ORVKTWMFConvertToWAV", "ORVKTReadWAVFormat",
    "ORVKTWAVGetSndDataLength", "ORVKTReadDSSHeader", "ORVKTIsValidZRM2File", "ORVKTReadZRM2Header",
    "ORVKTWriteZRM2Header", "ORVKTCopyDSSHeaders", "ORVKTReadSpokenInstructionMarkers",
    "ORVKTWriteSpokenInstructionMarkers", "ORVKTExtractSpokenInstructionMarkers",
    "ORVKTWAVSeperateSpokenInstructions", "ORVKTSplitDSSFile", "ORVKTJoinDSS",
    "ORVKTRepairIndexMarkers", "ORVKTSplitMP3File", "ORVKTIsEncryptedDSSFile",
    "ORVKTCheckDSSFilePassword", "ORVKTDecryptDSSFile", "ORVKTEncryptDSSFile",
    "ORVKTCreateDSSTemplate", "ORVKTWAVSplitStereo", "ORVKTWAVMixStereo", "ORVKTCopyFile",
    "ORVKTDeleteFile"};

}  // namespace

TEST(SharedLibrary, ExportsExactlyThe32Functions) {
    ASSERT_EQ(kExports.size(), 32u);
    auto r = run_command("nm -D --defined-only " + shell_quote(ORVKT_SHARED_LIBRARY), false);
    ASSERT_EQ(r.status, 0) << r.output;
    std::set<std::string> defined;
    std::istringstream symbols(r.output);
    std::string addr, type, name;
    while (symbols >> addr >> type >> name)
        if (type != "A") defined.insert(name.substr(0, name.find('@')));  // A: the version node
    EXPECT_EQ(defined, kExports);
}

TEST(SharedLibrary, SonameIsMajorVersionOne) {
    auto r = run_command("objdump -p " + shell_quote(ORVKT_SHARED_LIBRARY) + " | grep SONAME", false);
    EXPECT_NE(r.output.find("libOrvaneVktapi.so.1"), std::string::npos) << r.output;
}

TEST(SharedLibrary, UnloadWritesTheDetachWarning) {
    xkrvlog::Capture capture;
    void* lib = dlopen(ORVKT_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto lines = capture.lines();
    auto start = std::find_if(lines.begin(), lines.end(),
                              [](const xkrvlog::Line& l) { return l.level == xkrvlog::Level::Start; });
    ASSERT_NE(start, lines.end()) << "load calls TraceStart";
    EXPECT_EQ(start->module, "ORVANEVKTAPI.DLL");
    EXPECT_EQ(start->file, "MAIN");
    EXPECT_EQ(start->line, 80);
    EXPECT_EQ(start->code, 0u);

    capture.clear();
    ASSERT_EQ(dlclose(lib), 0);
    auto after = capture.lines();
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.back().level, xkrvlog::Level::Warning);
    EXPECT_EQ(after.back().text, "VKTAPI DllMain DLL_PROCESS_DETACH");
}

TEST(PublicHeader, CAndCppSeeTheSameLayout) {
    size_t c[32] = {};
    size_t n = orvkt_c_layout(c, 32);
    const size_t cpp[] = {
        sizeof(WAVEFORMATEX), 4, 8, 12, 14, 16, sizeof(ZRM2HeaderInfo), 8, 24, 28, 60, 62, 78, 80, 96, 426, 456,
    };
    ASSERT_EQ(n, std::size(cpp));
    for (size_t i = 0; i < n; ++i) EXPECT_EQ(c[i], cpp[i]) << "value " << i;
    EXPECT_EQ(c[0], 18u);
    EXPECT_EQ(c[6], 488u);
}

TEST(ReadDSSHeader, TracesEntryNameAndInnerLineInOrder) {
    TempDir tmp;
    uint8_t header[512];
    xkrvlog::Capture capture;
    std::string name = tmp.path("missing.dss");
    ORVKTReadDSSHeader(name.c_str(), header);
    auto lines = capture.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].level, xkrvlog::Level::Text);
    EXPECT_EQ(lines[0].text, "+ORVKTReadDSSHeader");
    EXPECT_EQ(lines[0].module, "ORVANEVKTAPI.DLL");
    EXPECT_EQ(lines[0].file, "NewInternal");
    EXPECT_EQ(lines[1].level, xkrvlog::Level::Param);
    EXPECT_EQ(lines[1].name, "pcszDSSFileName");
    EXPECT_EQ(lines[1].text, name);
    EXPECT_EQ(lines[2].text, " -- VKTReadDSSHeader");
    EXPECT_TRUE(capture.contains_error(2, "GetLastError() after CreateFile()"));
}
