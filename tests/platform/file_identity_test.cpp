// Which names are one file.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_identity.h"
#include "platform/temp_file.h"
#include "platform/fileio.h"
#include "support/test_support.h"

using namespace vkt::platform;
using namespace orvkt_test;

TEST(SameFile, NamesAreComparedByIdentity) {
    TempDir tmp;
    const std::string dir = tmp.dir();
    ASSERT_EQ(::mkdir(tmp.path("sub").c_str(), 0755), 0);
    write_bytes(tmp.path("Case.wav"), {1});
    write_bytes(tmp.path("other.wav"), {1});
    ASSERT_EQ(::symlink("Case.wav", tmp.path("link.wav").c_str()), 0);
    ASSERT_EQ(::link(tmp.path("Case.wav").c_str(), tmp.path("hard.wav").c_str()), 0);
    ASSERT_EQ(::symlink("missing.wav", tmp.path("dangling.wav").c_str()), 0);

    struct Case {
        std::string a, b;
        bool same;
    };
    const Case cases[] = {
        {dir + "/Case.wav", dir + "/Case.wav", true},
        {dir + "/Case.wav", dir + "/link.wav", true},
        {dir + "/Case.wav", dir + "/./Case.wav", true},
        {dir + "/Case.wav", dir + "/sub/../Case.wav", true},
        {dir + "/Case.wav", dir + "/hard.wav", true},
        {dir + "/Case.wav", dir + "/case.wav", false},  // two files on Linux, the second not there yet
        {dir + "/Case.wav", dir + "/other.wav", false},  // equal content, another file
        // Names not there yet: one when they lead to one entry of one folder.
        {dir + "/new.wav", dir + "/./new.wav", true},
        {dir + "/new.wav", dir + "/sub/../new.wav", true},
        {dir + "/new.wav", dir + "/New.wav", false},
        {dir + "/dangling.wav", dir + "/missing.wav", true},  // a create through the link makes that file
        {dir + "/sub/new.wav", dir + "/new.wav", false},
        {dir + "/nodir/x.wav", dir + "/nodir/x.wav", true},
        {dir + "/nodir/x.wav", dir + "/nodir/./x.wav", false},  // no folder to compare: as text
    };
    for (const Case& c : cases) {
        EXPECT_EQ(same_file(c.a, c.b), c.same) << c.a << " / " << c.b;
        EXPECT_EQ(same_file(c.b, c.a), c.same) << c.b << " / " << c.a;
    }
}
