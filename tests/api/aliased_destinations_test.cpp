// Every writing export given its source (or another file it must keep) under
// another name: it fails, keeps the file and adds nothing. Each row first
// succeeds with a fresh destination: it is the alias that stops it.
#include "api/export_calls.h"

using namespace orvkt_test;
using namespace api_test;

namespace {

enum Spelling { SameName, SymbolicLink, DotSegment, HardLink };
const char* const kLabels[] = {"same name", "symbolic link", "dir/./name", "hard link"};

}  // namespace

TEST(AliasedDestinations, EveryWritingExportRefusesAndKeepsTheFile) {
    for (const ExportCall& row : writing_calls()) {
        SCOPED_TRACE(row.what);
        ASSERT_FALSE(fixture(row.kept).empty());
        {
            TempDir tmp;
            put_fixture(tmp, row.kept);
            const std::string fresh = tmp.path(std::string("fresh") + row.target_ext);
            if (row.target_must_exist) put_fixture(tmp, row.kept, name_of(fresh));
            ASSERT_EQ(row.call(tmp.path(row.kept), fresh), VKT_OK) << "with a destination of its own";
        }
        for (Spelling spelling : {SameName, SymbolicLink, DotSegment, HardLink}) {
            if (spelling == SameName && row.same_name_replaces) continue;
            SCOPED_TRACE(kLabels[spelling]);
            TempDir tmp;
            put_fixture(tmp, row.kept);
            const std::string kept = tmp.path(row.kept);
            std::string target = kept;
            const std::string link_name = std::string("alias") + row.target_ext;
            if (spelling == SymbolicLink) {
                ASSERT_EQ(::symlink(row.kept, tmp.path(link_name).c_str()), 0);
                target = tmp.path(link_name);
            } else if (spelling == HardLink) {
                ASSERT_EQ(::link(kept.c_str(), tmp.path(link_name).c_str()), 0);
                target = tmp.path(link_name);
            } else if (spelling == DotSegment) {
                target = tmp.dir() + "/./" + row.kept;
            }
            const std::vector<std::string> before = tmp.entries();

            EXPECT_EQ(row.call(kept, target), row.alias_code);
            EXPECT_TRUE(read_bytes(kept) == fixture(row.kept)) << "the file is byte for byte as it was";
            EXPECT_EQ(tmp.entries(), before) << "nothing new is left in the folder";
            if (spelling == SymbolicLink) {
                char pointed[64] = {};
                EXPECT_GT(::readlink(target.c_str(), pointed, sizeof pointed - 1), 0) << "the link is still a link";
                EXPECT_STREQ(pointed, row.kept);
            }
        }
    }
}
