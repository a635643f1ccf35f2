// Every export that writes a file, given a destination that is its source (or
// another file it must keep) under another name: the same name, a symbolic
// link, a "dir/./x" spelling and a hard link. Each call must fail with its
// code, leave the file byte for byte as it was and leave nothing new in the
// folder. Each row first shows, with a fresh destination, that the call
// succeeds: it is the alias that stops it.
#include <sys/stat.h>

#include <cstdio>

#include "api/recordings.h"

using namespace orvkt_test;
using api_test::fixture;
using api_test::kPassword;
using api_test::put_fixture;

namespace {

std::string folder_of(const std::string& path) { return path.substr(0, path.find_last_of('/')); }
std::string name_of(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

WAVEFORMATEX pcm16(uint32_t rate) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 2;
    f.nAvgBytesPerSec = rate * 2;
    return f;
}

WAVEFORMATEX standard_play() {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_DSS_SP;
    f.nChannels = 1;
    f.nSamplesPerSec = 12000;
    f.nAvgBytesPerSec = 1750;
    f.nBlockAlign = 42;
    return f;
}

const WAVEFORMATEX kPcm = pcm16(8000);
const WAVEFORMATEX kSp = standard_play();

// kept: the file that must survive (the source, or for the stereo split the
// existing file both outputs name); target: the name the call writes to.
using Call = std::function<uint32_t(const std::string& kept, const std::string& target)>;

struct Row {
    const char* what;
    const char* kept;        // fixture written under its own name
    const char* target_ext;  // extension of the link names and of the fresh name
    uint32_t code;
    Call call;
    bool fresh_target_exists = false;  // the call updates an existing file
    bool same_name_replaces = false;   // the very same name is a documented request to replace
};

const std::vector<Row>& rows() {
    static const std::vector<Row> all = {
        {"DSSToWAV", "s.dss", ".wav", VKT_ERR_OPEN_FILE,
         [](auto& k, auto& t) { return ORVKTDSSToWAV(k.c_str(), t.c_str(), &kPcm, nullptr, 0, nullptr); }},
        {"DSSToWAVEx", "s.dss", ".wav", VKT_ERR_OPEN_FILE,
         [](auto& k, auto& t) {
             return ORVKTDSSToWAVEx(k.c_str(), t.c_str(), &kPcm, nullptr, 0, nullptr, nullptr, nullptr);
         }},
        {"WAVToDSS", "s.wav", ".dss", VKT_ERR_OPEN_FILE,
         [](auto& k, auto& t) { return ORVKTWAVToDSS(k.c_str(), t.c_str(), &kSp, 3, nullptr, 0); }},
        {"DSSToDSS", "s.dss", ".dss", VKT_ERR_OPEN_FILE,
         [](auto& k, auto& t) { return ORVKTDSSToDSS(k.c_str(), t.c_str(), &kSp, nullptr, 0, nullptr); }},
        {"WAVToWAV", "s.wav", ".wav", VKT_ERR_OPEN_FILE,
         [](auto& k, auto& t) { return ORVKTWAVToWAV(k.c_str(), t.c_str(), &kPcm, nullptr, 0); }},
        {"MP3ToWAV", "s.mp3", ".wav", VKT_ERR_OPEN_FILE,
         [](auto& k, auto& t) { return ORVKTMP3ToWAV(k.c_str(), t.c_str(), &kPcm, nullptr, 0); }},
        {"WMAToWAV", "s.wma", ".wav", VKT_ERR_OPEN_FILE,
         [](auto& k, auto& t) { return ORVKTWMAToWAV(k.c_str(), t.c_str(), &kPcm, nullptr, 0); }},
        {"WMFConvertToWAV", "s.mp3", ".wav", VKT_ERR_OPEN_FILE,
         [](auto& k, auto& t) { return ORVKTWMFConvertToWAV(k.c_str(), t.c_str(), nullptr, nullptr, 0); }},
        {"CopyDSSHeaders", "s.dss", ".dss", VKT_ERR,
         [](auto& k, auto& t) { return ORVKTCopyDSSHeaders(k.c_str(), t.c_str(), 1, 1); }, true},
        {"ExtractSpokenInstructionMarkers", "s.dss", ".wav", VKT_ERR,
         [](auto& k, auto& t) { return ORVKTExtractSpokenInstructionMarkers(k.c_str(), t.c_str()); }},
        {"WAVSeperateSpokenInstructions", "s.wav", ".wav", VKT_ERR,
         [](auto& k, auto& t) { return ORVKTWAVSeperateSpokenInstructions(k.c_str(), t.c_str(), 1, 1, nullptr, 0); },
         false, true},
        {"WAVSplitStereo, left output", "st.wav", ".wav", VKT_ERR,
         [](auto& k, auto& t) {
             const std::string right = folder_of(t) + "/right.wav";
             return ORVKTWAVSplitStereo(k.c_str(), t.c_str(), right.c_str(), nullptr, 0);
         }},
        {"WAVSplitStereo, right output", "st.wav", ".wav", VKT_ERR,
         [](auto& k, auto& t) {
             const std::string left = folder_of(t) + "/left.wav";
             return ORVKTWAVSplitStereo(k.c_str(), left.c_str(), t.c_str(), nullptr, 0);
         }},
        {"WAVSplitStereo, both outputs one file", "x.wav", ".wav", VKT_ERR,
         [](auto& k, auto& t) {
             const std::string source = folder_of(t) + "/src.wav";
             write_bytes(source, fixture("st.wav"));
             const uint32_t rc = ORVKTWAVSplitStereo(source.c_str(), k.c_str(), t.c_str(), nullptr, 0);
             std::remove(source.c_str());
             return rc;
         }},
        {"WAVMixStereo", "st.wav", ".wav", VKT_ERR,
         [](auto& k, auto& t) { return ORVKTWAVMixStereo(k.c_str(), t.c_str(), nullptr, 0); }},
        {"SplitDSSFile", "s.dss", ".dss", VKT_ERR,
         [](auto& k, auto& t) {
             uint32_t count = 0;
             return ORVKTSplitDSSFile(k.c_str(), folder_of(t).c_str(), name_of(t).c_str(), nullptr, 60, 0, 5,
                                      &count, nullptr, 0);
         }},
        {"SplitMP3File", "s.mp3", ".mp3", VKT_ERR,
         [](auto& k, auto& t) {
             uint32_t last = 0;
             return ORVKTSplitMP3File(k.c_str(), folder_of(t).c_str(), name_of(t).c_str(), 600, 0, 5, &last,
                                      nullptr, 0);
         }},
        {"JoinDSS", "s.dss", ".dss", VKT_ERR,
         [](auto& k, auto& t) { return ORVKTJoinDSS(k.c_str(), t.c_str(), nullptr, 0, 0, 100); }},
        {"RepairIndexMarkers", "s.dss", ".dss", VKT_ERR,
         [](auto& k, auto& t) { return ORVKTRepairIndexMarkers(k.c_str(), t.c_str()); }},
        {"EncryptDSSFile", "s.ds2", ".ds2", VKT_ERR,
         [](auto& k, auto& t) { return ORVKTEncryptDSSFile(k.c_str(), t.c_str(), kPassword); }},
        {"DecryptDSSFile", "e.ds2", ".ds2", VKT_ERR,
         [](auto& k, auto& t) { return ORVKTDecryptDSSFile(k.c_str(), t.c_str(), kPassword); }},
        {"CopyFile", "s.dss", ".dss", VKT_ERR_DEST_EXISTS,
         [](auto& k, auto& t) { return ORVKTCopyFile(k.c_str(), t.c_str(), 0); }},
    };
    return all;
}

enum class Spelling { SameName, SymbolicLink, DotSegment, HardLink };
constexpr Spelling kSpellings[] = {Spelling::SameName, Spelling::SymbolicLink, Spelling::DotSegment,
                                   Spelling::HardLink};
const char* label(Spelling s) {
    switch (s) {
        case Spelling::SameName: return "same name";
        case Spelling::SymbolicLink: return "symbolic link";
        case Spelling::DotSegment: return "dir/./name";
        case Spelling::HardLink: return "hard link";
    }
    return "";
}

}  // namespace

TEST(AliasedDestinations, EveryWritingExportRefusesAndKeepsTheFile) {
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.what);
        ASSERT_FALSE(fixture(row.kept).empty());
        {
            TempDir tmp;
            put_fixture(tmp, row.kept);
            const std::string fresh = tmp.path(std::string("fresh") + row.target_ext);
            if (row.fresh_target_exists) put_fixture(tmp, row.kept, name_of(fresh));
            ASSERT_EQ(row.call(tmp.path(row.kept), fresh), VKT_OK) << "with a destination of its own";
        }
        for (Spelling spelling : kSpellings) {
            if (spelling == Spelling::SameName && row.same_name_replaces) continue;
            SCOPED_TRACE(label(spelling));
            TempDir tmp;
            put_fixture(tmp, row.kept);
            const std::string kept = tmp.path(row.kept);
            std::string target = kept;
            const std::string link_name = std::string("alias") + row.target_ext;
            if (spelling == Spelling::SymbolicLink) {
                ASSERT_EQ(::symlink(row.kept, tmp.path(link_name).c_str()), 0);
                target = tmp.path(link_name);
            } else if (spelling == Spelling::HardLink) {
                ASSERT_EQ(::link(kept.c_str(), tmp.path(link_name).c_str()), 0);
                target = tmp.path(link_name);
            } else if (spelling == Spelling::DotSegment) {
                target = tmp.dir() + "/./" + row.kept;
            }
            const std::vector<std::string> before = tmp.entries();

            EXPECT_EQ(row.call(kept, target), row.code);
            EXPECT_TRUE(read_bytes(kept) == fixture(row.kept)) << "the file is byte for byte as it was";
            EXPECT_EQ(tmp.entries(), before) << "nothing new is left in the folder";
            if (spelling == Spelling::SymbolicLink) {
                char pointed[64] = {};
                EXPECT_GT(::readlink(target.c_str(), pointed, sizeof pointed - 1), 0) << "the link is still a link";
                EXPECT_STREQ(pointed, row.kept);
            }
        }
    }
}

// Names that differ only in case are two files on Linux: the call works on
// the one it was given and leaves the other alone.
TEST(AliasedDestinations, NamesThatDifferInCaseAreTwoFiles) {
    TempDir tmp;
    write_bytes(tmp.path("Case.wav"), fixture("s.wav"));
    ASSERT_EQ(ORVKTWAVSeperateSpokenInstructions(tmp.path("Case.wav").c_str(), tmp.path("case.wav").c_str(), 1, 1,
                                                 nullptr, 0),
              VKT_OK);
    EXPECT_EQ(read_bytes(tmp.path("Case.wav")), fixture("s.wav"));
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"Case.wav", "case.wav", "case_i.wav"}));

    // An existing file of the other case is the destination the caller named.
    write_bytes(tmp.path("mix.wav"), fixture("st.wav"));
    write_bytes(tmp.path("Mix.wav"), {1, 2, 3});
    ASSERT_EQ(ORVKTWAVMixStereo(tmp.path("mix.wav").c_str(), tmp.path("Mix.wav").c_str(), nullptr, 0), VKT_OK);
    EXPECT_EQ(read_bytes(tmp.path("mix.wav")), fixture("st.wav"));
    EXPECT_GT(read_bytes(tmp.path("Mix.wav")).size(), 44u);
}
