// The file layer: Win32 semantics over POSIX and its error numbers.
#include "platform/fileio.h"

#include <sys/stat.h>

#include "dss/traced_file_io.h"
#include "support/riff_bytes.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

using namespace vkt::platform;
using namespace orvkt_test;
using riff_bytes::pattern;

TEST(FileWrappers, ReadAtEndOfFileSucceedsWithZeroBytes) {
    TempDir tmp;
    write_bytes(tmp.path("a.dss"), pattern(700));
    uint32_t err = 99;
    KRVHANDLE h = KRVDSS_open_file(tmp.path("a.dss").c_str(), &err, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(err, 0u);
    uint8_t buf[512];
    uint32_t got = 0;
    EXPECT_EQ(KRVDSS_read_file(h, buf, 512, &got), 0u);
    EXPECT_EQ(got, 512u);
    EXPECT_EQ(KRVDSS_read_file(h, buf, 512, &got), 0u);
    EXPECT_EQ(got, 188u) << "a short read is no failure";
    got = 77;
    EXPECT_EQ(KRVDSS_read_file(h, buf, 512, &got), 0u);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(KRVDSS_read_file(h, buf, 512, nullptr), 0u) << "the count pointer may be null";
    EXPECT_EQ(KRVDSS_close_file(&h), 0u);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(KRVDSS_close_file(&h), ERROR_INVALID_HANDLE) << "closing no handle fails";
}

TEST(FileWrappers, OpenFailuresMapToWin32Numbers) {
    TempDir tmp;
    xkrvlog::Capture capture;
    uint32_t err = 0;
    EXPECT_EQ(KRVDSS_open_file(tmp.path("none.dss").c_str(), &err, GENERIC_READ, 0, OPEN_EXISTING), nullptr);
    EXPECT_EQ(err, ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(capture.contains_error(ERROR_FILE_NOT_FOUND, "GetLastError() after CreateFile()"));

    EXPECT_EQ(KRVDSS_open_file(tmp.path("no/dir/x.dss").c_str(), &err, GENERIC_READ, 0, OPEN_EXISTING), nullptr);
    EXPECT_EQ(err, ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(KRVDSS_open_file(tmp.path("no/x.dss").c_str(), &err, GENERIC_WRITE, 0, CREATE_ALWAYS), nullptr);
    EXPECT_EQ(err, ERROR_PATH_NOT_FOUND);

    EXPECT_EQ(KRVDSS_open_file(tmp.dir().c_str(), &err, GENERIC_READ, 0, OPEN_EXISTING), nullptr);
    EXPECT_EQ(err, ERROR_ACCESS_DENIED) << "a directory is not a file";

    write_bytes(tmp.path("ro.dss"), pattern(10));
    ASSERT_EQ(::chmod(tmp.path("ro.dss").c_str(), 0444), 0);
    EXPECT_EQ(KRVDSS_open_file(tmp.path("ro.dss").c_str(), &err, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING),
              nullptr);
    EXPECT_EQ(err, ERROR_ACCESS_DENIED) << "read-only by its mode bits, also for root";
    KRVHANDLE h = KRVDSS_open_file(tmp.path("ro.dss").c_str(), &err, GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(h, nullptr) << "reading a read-only file is fine";
    KRVDSS_close_file(&h);

    EXPECT_EQ(file_open(tmp.path("ro.dss").c_str(), GENERIC_WRITE, 0, CREATE_NEW, 0, &err), nullptr);
    EXPECT_EQ(err, ERROR_FILE_EXISTS);
}

TEST(FileNames, ReadOnlyFilesMissingSourcesAndFolders) {
    TempDir tmp;
    const std::string b = tmp.path("b.txt");
    write_bytes(b, pattern(20));
    EXPECT_EQ(move_file(tmp.path("a.txt").c_str(), b.c_str(), true), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(set_file_attributes(b.c_str(), FILE_ATTRIBUTE_READONLY), 0u);
    uint32_t attrs = 0;
    ASSERT_EQ(get_file_attributes(b.c_str(), &attrs), 0u);
    EXPECT_NE(attrs & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_EQ(delete_file(b.c_str()), ERROR_ACCESS_DENIED) << "read-only files are kept";
    EXPECT_EQ(drive_type(tmp.path("new.dss").c_str()), DRIVE_FIXED);
    EXPECT_EQ(drive_type(tmp.path("nodir/new.dss").c_str()), DRIVE_NO_ROOT_DIR);
}

TEST(ErrnoMapping, DocumentedNumbers) {
    const std::pair<int, uint32_t> rows[] = {{ENOENT, 2}, {ENOTDIR, 3}, {EACCES, 5}, {EPERM, 5},
                                             {EROFS, 19}, {EIO, 23}, {EEXIST, 80}, {ENOSPC, 112}};
    for (auto [error, code] : rows) EXPECT_EQ(win32_error_from_errno(error), code) << error;
}
