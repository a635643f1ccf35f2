// Share modes: refused opens leave every byte and name, in this process and in
// another one using the library.
#include <sys/wait.h>
#include <unistd.h>

#include "platform/fileio.h"
#include "platform/mmio.h"
#include "support/test_support.h"

using namespace vkt::platform;
using namespace orvkt_test;

namespace {

constexpr uint32_t R = GENERIC_READ;
constexpr uint32_t W = GENERIC_WRITE;
constexpr uint32_t SR = FILE_SHARE_READ;
constexpr uint32_t SW = FILE_SHARE_WRITE;
constexpr uint32_t SD = FILE_SHARE_DELETE;

const std::vector<uint8_t> kBytes = {1, 2, 3, 4, 5, 6, 7, 8};

// A handle held by this process, or by a child process that opened the file
// with the library and waits until it is told to close it.
class Holder {
public:
    Holder(const std::string& path, uint32_t access, uint32_t share, bool other_process) {
        if (!other_process) {
            uint32_t err = 0;
            file_.reset(file_open(path.c_str(), access, share, OPEN_EXISTING, 0, &err));
            opened_ = file_ != nullptr;
            return;
        }
        if (::pipe(ready_) != 0 || ::pipe(done_) != 0) return;
        child_ = ::fork();
        if (child_ == 0) {
            uint32_t err = 0;
            File* f = file_open(path.c_str(), access, share, OPEN_EXISTING, 0, &err);
            const char state = f ? 'o' : 'x';
            (void)!::write(ready_[1], &state, 1);
            char go = 0;
            (void)!::read(done_[0], &go, 1);
            if (f) file_close(f);
            ::_exit(0);
        }
        char state = 0;
        opened_ = ::read(ready_[0], &state, 1) == 1 && state == 'o';
    }
    ~Holder() { release(); }

    bool opened() const { return opened_; }
    void release() {
        file_.reset();
        if (child_ > 0) {
            const char go = 'g';
            (void)!::write(done_[1], &go, 1);
            int status = 0;
            ::waitpid(child_, &status, 0);
            child_ = -1;
            for (int fd : {ready_[0], ready_[1], done_[0], done_[1]}) ::close(fd);
        }
    }

private:
    UniqueFile file_;
    pid_t child_ = -1;
    int ready_[2] = {-1, -1};
    int done_[2] = {-1, -1};
    bool opened_ = false;
};

uint32_t try_open(const std::string& path, uint32_t access, uint32_t share, uint32_t disposition = OPEN_EXISTING) {
    uint32_t err = 0;
    UniqueFile f(file_open(path.c_str(), access, share, disposition, 0, &err));
    return f ? ERROR_SUCCESS : err;
}

struct OpenCase {
    const char* what;
    uint32_t held_access, held_share;
    uint32_t access, share, disposition;
    bool allowed;
};

const OpenCase kOpenCases[] = {
    {"readers sharing reading", R, SR, R, SR, OPEN_EXISTING, true},
    {"writer against a reader that shares reading only", R, SR, W, SR | SW, OPEN_EXISTING, false},
    {"writer against a reader that shares writing", R, SR | SW, W, SR, OPEN_EXISTING, true},
    {"writer that shares nothing against a reader", R, SR | SW, W, 0, OPEN_EXISTING, false},
    {"reader that does not share writing against a writer", W, SR, R, SR, OPEN_EXISTING, false},
    {"reader that shares writing against a writer", W, SR, R, SR | SW, OPEN_EXISTING, true},
    {"two writers sharing both", R | W, SR | SW, R | W, SR | SW, OPEN_EXISTING, true},
    {"anything against a holder that shares nothing", R, 0, R, SR | SW, OPEN_EXISTING, false},
    {"truncation is writing", R, SR, R, SR, CREATE_ALWAYS, false},
    {"truncation of a file whose reader shares writing", R, SR | SW, W, SR | SW, TRUNCATE_EXISTING, true},
};

}  // namespace

TEST(ShareModes, SecondOpensAsThePlatformAnswersThemInAndAcrossProcesses) {
    for (bool other_process : {false, true}) {
        for (const OpenCase& c : kOpenCases) {
            SCOPED_TRACE(std::string(c.what) + (other_process ? " (other process)" : " (this process)"));
            TempDir tmp;
            const std::string path = tmp.path("a.wav");
            write_bytes(path, kBytes);
            Holder holder(path, c.held_access, c.held_share, other_process);
            ASSERT_TRUE(holder.opened());
            EXPECT_EQ(try_open(path, c.access, c.share, c.disposition),
                      c.allowed ? ERROR_SUCCESS : ERROR_SHARING_VIOLATION);
            if (!c.allowed) {
                EXPECT_EQ(read_bytes(path), kBytes) << "a refused open changes no byte";
            }
            holder.release();
            EXPECT_EQ(try_open(path, c.access, c.share, c.disposition), ERROR_SUCCESS)
                << "the claim ends with the handle";
        }
    }
}

TEST(ShareModes, DeleteAndRenameWaitForHandlesThatDoNotShareDeleting) {
    for (bool other_process : {false, true}) {
        SCOPED_TRACE(other_process ? "other process" : "this process");
        TempDir tmp;
        const std::string held = tmp.path("held.dss"), other = tmp.path("other.dss");
        write_bytes(held, kBytes);
        write_bytes(other, {9});
        {
            Holder holder(held, R, SR | SW, other_process);
            ASSERT_TRUE(holder.opened());
            EXPECT_EQ(delete_file(held.c_str()), ERROR_SHARING_VIOLATION);
            EXPECT_EQ(move_file(held.c_str(), tmp.path("moved.dss").c_str(), false), ERROR_SHARING_VIOLATION);
            EXPECT_EQ(move_file(other.c_str(), held.c_str(), true), ERROR_SHARING_VIOLATION) << "a move onto it";
            EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"held.dss", "other.dss"}));
            EXPECT_EQ(read_bytes(held), kBytes);
        }
        {
            Holder holder(held, R, SR | SW | SD, other_process);
            ASSERT_TRUE(holder.opened());
            EXPECT_EQ(move_file(other.c_str(), held.c_str(), true), ERROR_SUCCESS);
        }
        EXPECT_EQ(tmp.entries(), std::vector<std::string>{"held.dss"});
    }
}
