// Names a hostile folder puts in the way: planted temporary names, fifos and
// devices, and the decoded intermediate of an encrypted recording.
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <set>

#include "api/export_calls.h"
#include "support/disk_full.h"

using namespace orvkt_test;
using namespace api_test;

namespace {

using Names = std::vector<std::string>;

std::string link_target(const std::string& path) {
    char target[256] = {};
    return ::readlink(path.c_str(), target, sizeof target - 1) > 0 ? target : "";
}

bool is_fifo(const std::string& path) {
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

}  // namespace

// Whatever sits under the predictable temporary names (a link, a user's file) is
// neither written through, replaced nor removed, and the call still works.
TEST(PlantedTemporaryNames, AreNeitherFollowedNorReplacedNorRemoved) {
    struct Row {
        const char* what;
        const char* source;
        Names planted;
        Names added, removed;
        std::function<uint32_t(const std::string& dir)> call;
    };
#define D(name) (d + "/" name).c_str()
    const Row rows[] = {
        {"DSSToDSS", "s.dss", {"~out1", "~out.vkt"}, {"out.dss"}, {},
         [](auto& d) { return ORVKTDSSToDSS(D("s.dss"), D("out.dss"), &kSp, nullptr, 0, nullptr); }},
        {"DeleteFile", "s.dss", {"~del.tmp"}, {}, {"s.dss"}, [](auto& d) { return ORVKTDeleteFile(D("s.dss")); }},
    };
#undef D
    const Bytes victim = {'k', 'e', 'e', 'p'};
    for (const Row& row : rows) {
        for (bool links : {true, false}) {
            SCOPED_TRACE(std::string(row.what) + (links ? ": planted links" : ": files of the user's"));
            TempDir tmp;
            write_bytes(tmp.path("victim.bin"), victim);
            put_fixture(tmp, row.source);
            for (const std::string& name : row.planted) {
                if (links)
                    ASSERT_EQ(::symlink("victim.bin", tmp.path(name).c_str()), 0);
                else
                    write_bytes(tmp.path(name), victim);
            }
            std::set<std::string> expected;
            for (const auto& n : tmp.entries()) expected.insert(n);
            for (const auto& n : row.added) expected.insert(n);
            for (const auto& n : row.removed) expected.erase(n);

            EXPECT_EQ(row.call(tmp.dir()), VKT_OK);

            EXPECT_EQ(read_bytes(tmp.path("victim.bin")), victim);
            for (const std::string& name : row.planted) {
                if (links)
                    EXPECT_EQ(link_target(tmp.path(name)), "victim.bin") << name;
                else
                    EXPECT_EQ(read_bytes(tmp.path(name)), victim) << name;
            }
            EXPECT_EQ(tmp.entries(), Names(expected.begin(), expected.end())) << "no leftover";
        }
    }
}

TEST(SpecialFiles, AreNeverDeleted) {
    TempDir tmp;
    ASSERT_EQ(::mkfifo(tmp.path("pipe.dss").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/null", tmp.path("null.dss").c_str()), 0);
    ASSERT_EQ(::mkdir(tmp.path("folder.dss").c_str(), 0755), 0);
    EXPECT_EQ(ORVKTDeleteFile(tmp.path("pipe.dss").c_str()), VKT_ERR_OPEN_FILE);
    EXPECT_EQ(ORVKTDeleteFile(tmp.path("null.dss").c_str()), VKT_ERR_OPEN_FILE);
    EXPECT_EQ(ORVKTDeleteFile(tmp.path("folder.dss").c_str()), VKT_ERR_FILE_NAME);
    EXPECT_TRUE(is_fifo(tmp.path("pipe.dss")));
    EXPECT_EQ(link_target(tmp.path("null.dss")), "/dev/null");
    EXPECT_EQ(tmp.entries(), (Names{"folder.dss", "null.dss", "pipe.dss"}));
}

namespace {

// Watches the intermediate "~out1" of a DSS-to-DSS conversion (its mode), and once
// the encoding's "~out.vkt" is there cancels or fills the disk.
struct Watch {
    std::string intermediate, encoding_temp;
    bool cancel = false;
    bool encoding = false;
    mode_t mode = 0;
    std::optional<orvkt_test::DiskFullAfter> full;
};

int32_t watch_progress(intptr_t user, uint32_t, uint32_t) {
    auto* w = reinterpret_cast<Watch*>(user);
    struct stat st{};
    if (::lstat(w->intermediate.c_str(), &st) == 0) w->mode = st.st_mode & 0777;
    if (w->encoding || ::lstat(w->encoding_temp.c_str(), &st) != 0) return 0;
    w->encoding = true;
    if (w->cancel) return VKT_PROGRESS_CANCEL;
    w->full.emplace(0);
    return 0;
}

}  // namespace

// The decoded recording of an encrypted DS2 is plain audio: while it exists
// only its owner may read it, and it never outlives the call. A plain
// source's intermediate stays on a failure, so the encoding can be retried.
TEST(DssToDssIntermediate, OfAnEncryptedSourceIsPrivateAndRemovedOnEveryPath) {
    struct Case {
        const char* source;
        const char* password;
        bool cancel;
        uint32_t code;
        bool kept;
    };
    const Case cases[] = {
        {"e.ds2", kPassword, true, VKT_CANCELLED, false},
        {"e.ds2", kPassword, false, VKT_ERR_OUT_OF_DISKSPACE, false},
        {"s.ds2", nullptr, true, VKT_CANCELLED, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.source) + (c.cancel ? ", cancelled" : ", disk full"));
        TempDir tmp;
        put_fixture(tmp, c.source);
        Watch watch;
        watch.intermediate = tmp.path("~out1");
        watch.encoding_temp = tmp.path("~out.vkt");
        watch.cancel = c.cancel;
        const uint32_t rc = ORVKTDSSToDSS(tmp.path(c.source).c_str(), tmp.path("out.ds2").c_str(), &kSp,
                                          watch_progress, reinterpret_cast<intptr_t>(&watch), c.password);
        watch.full.reset();
        EXPECT_EQ(rc, c.code);
        ASSERT_TRUE(watch.encoding) << "the encoding step was reached";
        const mode_t umask_now = ::umask(0);
        ::umask(umask_now);
        EXPECT_EQ(watch.mode, c.password ? 0600u : (0666u & ~umask_now));
        EXPECT_EQ(file_exists(tmp.path("~out1")), c.kept);
    }
}
