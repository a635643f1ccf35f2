// The encryption exports and the template export as a caller uses them:
// ask, check, decrypt, encrypt, create a template.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <random>

#include "OrvaneVktapi.h"
#include "dss/dss_file.h"
#include "support/dss_bytes.h"
#include "support/disk_full.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

using namespace dss_test;
using namespace vkt::platform;
using orvkt_test::file_exists;
using edit_test::part;
using orvkt_test::read_bytes;
using orvkt_test::with_disk_full_after;
using orvkt_test::TempDir;
using orvkt_test::write_bytes;

namespace {

// A recording as the writer makes it: random frames of the identifier,
// closed with its length.
void make_recording(const std::string& path, unsigned frames, uint8_t id = 0, uint16_t headers = 3) {
    const bool quality = id >= 6;
    const size_t codec = quality ? 57 : 42;
    Bytes input(frames * codec);
    std::mt19937 random(frames * 31 + id);
    for (auto& b : input) b = static_cast<uint8_t>(random());
    CDssFile dss;
    dss.m_wNrOfHeaders = headers;
    dss.m_byCompressionId = id;
    ASSERT_EQ(dss.create_file(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, false), 0u);
    dss.transfer_from_buffer_to_file(input.data(), static_cast<uint32_t>(input.size()));
    dss.flush_out_block();
    ASSERT_EQ(dss.closing_work(), 0u);
}

class EncryptionOps : public ::testing::Test {
protected:
    TempDir tmp;
    std::string p(const std::string& name) const { return tmp.path(name); }
};

}  // namespace

TEST_F(EncryptionOps, RefusalsAndAnswers) {
    make_recording(p("plain.ds2"), 20);
    make_recording(p("qp.ds2"), 50, 6);
    ASSERT_EQ(ORVKTEncryptDSSFile(p("plain.ds2").c_str(), p("e.ds2").c_str(), "abcd"), VKT_OK);
    ASSERT_EQ(ORVKTEncryptDSSFile(p("qp.ds2").c_str(), p("qpe.ds2").c_str(), "abcd"), VKT_OK);
    // An Olympus file (licensee 2) is not ours to encrypt.
    Bytes olympus = read_bytes(p("plain.ds2"));
    put32(olympus, 8, 2);
    write_bytes(p("olympus.ds2"), olympus);
    auto enc = [&](const char* src, const char* dst, const char* password) {
        return ORVKTEncryptDSSFile(p(src).c_str(), p(dst).c_str(), password);
    };
    auto dec = [&](const char* src, const char* dst, const char* password) {
        return ORVKTDecryptDSSFile(p(src).c_str(), p(dst).c_str(), password);
    };
    auto check = [&](const char* src, const char* password) {
        return ORVKTCheckDSSFilePassword(p(src).c_str(), password);
    };
    const struct {
        std::function<uint32_t()> call;
        uint32_t rc;
        const char* trace;  // traced with the code, if any
    } rows[] = {
        // The destination's extension is checked before any file is opened.
        {[&] { return enc("missing.ds2", "x.dss", "abcd"); }, VKT_ERR, "encrytion requires DSS Pro"},
        {[&] { return enc("plain.ds2", "x.ds2", nullptr); }, VKT_ERR_PASSWORD, "no password specified"},
        {[&] { return enc("plain.ds2", "x.ds2", "abc"); }, VKT_ERR_PASSWORD, nullptr},
        {[&] { return enc("plain.ds2", "x.ds2", "0123456789abcdefg"); }, VKT_ERR_PASSWORD, nullptr},
        {[&] { return enc("missing.ds2", "x.ds2", "abcd"); }, VKT_ERR_OPEN_FILE, nullptr},
        {[&] { return enc("e.ds2", "ee.ds2", "abcd"); }, VKT_ERR, "by sourceDss.IsEncrypted ()"},
        {[&] { return enc("olympus.ds2", "o.ds2", "abcd"); }, VKT_ERR_LICENSEE, "LicenseeId != DSS_LICENSEEID_VALMERO"},
        {[&] { return enc("plain.ds2", "no/dir/x.ds2", "abcd"); }, VKT_ERR_OPEN_FILE, nullptr},
        {[&] { return dec("plain.ds2", "d.ds2", "abcd"); }, VKT_ERR_PASSWORD, nullptr},
        {[&] { return dec("plain.ds2", "d.ds2", nullptr); }, VKT_ERR, "by !sourceDss.IsEncrypted ()"},
        {[&] { return dec("e.ds2", "d.ds2", "abce"); }, VKT_ERR_PASSWORD, nullptr},
        {[&] { return dec("e.ds2", "d.ds2", nullptr); }, VKT_ERR_PASSWORD, nullptr},
        {[&] { return dec("e.ds2", "d.ds2", "ab"); }, VKT_ERR_PASSWORD, "by sourceDss.SetPassword(.)"},
        // Quality play needs a DSS Pro destination.
        {[&] { return dec("qpe.ds2", "qp.dss", "abcd"); }, VKT_ERR, "QP/encryption requires DSS Pro"},
        {[&] { return dec("qpe.ds2", "qp.wav", "abcd"); }, VKT_ERR, nullptr},
        // A 3-character password is refused before the file is opened.
        {[&] { return check("missing.ds2", "abc"); }, VKT_ERR_PASSWORD, "by dssFile.SetPassword(.)"},
        {[&] { return check("e.ds2", nullptr); }, VKT_OK, nullptr},
        {[&] { return check("plain.ds2", nullptr); }, VKT_ERR_PASSWORD, nullptr},
        {[&] { return check("plain.ds2", "abcd"); }, VKT_ERR_PASSWORD, nullptr},
        {[&] { return check("missing.ds2", "abcd"); }, VKT_ERR_OPEN_FILE, nullptr},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(i);
        xkrvlog::Capture capture;
        EXPECT_EQ(rows[i].call(), rows[i].rc);
        if (rows[i].trace) {
            EXPECT_TRUE(capture.contains_error(rows[i].rc == VKT_ERR ? 10 : rows[i].rc, rows[i].trace));
        }
    }
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"e.ds2", "olympus.ds2", "plain.ds2", "qp.ds2", "qpe.ds2"}))
        << "no refused call leaves a destination";
    EXPECT_EQ(dec("qpe.ds2", "qp2.ds2", "abcd"), VKT_OK);
    // Decrypted to a DSS file: its self-id, and no long index table or
    // encryption fields.
    ASSERT_EQ(dec("e.ds2", "out.DSS", "abcd"), VKT_OK);
    const Bytes out = read_bytes(p("out.DSS"));
    EXPECT_EQ(std::string(out.begin() + 1, out.begin() + 4), "dss");
    EXPECT_EQ(part(out, 134, 348), Bytes(214, 0xFF));

    uint32_t flag = 7;
    EXPECT_EQ(ORVKTIsEncryptedDSSFile(p("missing.ds2").c_str(), &flag), VKT_ERR_OPEN_FILE);
    EXPECT_EQ(flag, 7u) << "untouched after a failure";
    EXPECT_EQ(ORVKTIsEncryptedDSSFile(p("plain.ds2").c_str(), &flag), VKT_OK);
    EXPECT_EQ(flag, 0u);
}

// A header count beyond the file's blocks (6 header blocks claimed, 5
// there) is a damaged file: the reader's code for one (14), and no
// destination, for both directions.
TEST_F(EncryptionOps, AHeaderCountBeyondTheBlocksIsADamagedFile) {
    make_recording(p("plain.ds2"), 20);
    ASSERT_EQ(ORVKTEncryptDSSFile(p("plain.ds2").c_str(), p("e.ds2").c_str(), "abcd"), VKT_OK);
    for (const char* name : {"plain.ds2", "e.ds2"}) {
        Bytes bytes = read_bytes(p(name));
        ASSERT_EQ(bytes.size(), 5u * 512);
        bytes[0] = 6;
        write_bytes(p(name), bytes);
    }
    EXPECT_EQ(ORVKTEncryptDSSFile(p("plain.ds2").c_str(), p("out1.ds2").c_str(), "abcd"), VKT_ERR_OPEN_FILE);
    EXPECT_EQ(ORVKTDecryptDSSFile(p("e.ds2").c_str(), p("out2.ds2").c_str(), "abcd"), VKT_ERR_OPEN_FILE);
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"e.ds2", "plain.ds2"}));
}

// A disk that fills up while the data blocks are written: 15, and what was
// written stays (neither operation removes its destination), the source
// untouched.
TEST_F(EncryptionOps, FullDiskKeepsThePartlyWrittenDestination) {
    make_recording(p("plain.ds2"), 4000);
    const Bytes plain = read_bytes(p("plain.ds2"));
    ASSERT_EQ(ORVKTEncryptDSSFile(p("plain.ds2").c_str(), p("whole.ds2").c_str(), "abcd"), VKT_OK);
    const Bytes whole = read_bytes(p("whole.ds2"));

    struct Case {
        const char* name;
        std::function<uint32_t()> run;
        std::string dst;
        const char* self_id;
    };
    const Case cases[] = {
        {"encrypt", [&] { return ORVKTEncryptDSSFile(p("plain.ds2").c_str(), p("e.ds2").c_str(), "abcd"); }, p("e.ds2"),
         "enc"},
        {"decrypt", [&] { return ORVKTDecryptDSSFile(p("whole.ds2").c_str(), p("d.ds2").c_str(), "abcd"); }, p("d.ds2"),
         "ds2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t rc = with_disk_full_after(100 * 512, c.run);
        EXPECT_EQ(rc, VKT_ERR_WRITE_FILE);
        ASSERT_TRUE(file_exists(c.dst)) << "a failed run keeps its destination";
        const Bytes partial = read_bytes(c.dst);
        EXPECT_GE(partial.size(), 1536u);
        EXPECT_LT(partial.size(), plain.size());
        EXPECT_EQ(std::string(partial.begin() + 1, partial.begin() + 4), c.self_id);
    }
    EXPECT_EQ(read_bytes(p("plain.ds2")), plain);
    EXPECT_EQ(read_bytes(p("whole.ds2")), whole);
}

TEST_F(EncryptionOps, ForeignSourcesBecomeOurOwnWithThreeHeaderBlocks) {
    // A Grundig file (licensee 1) with one header block, encrypted by hand
    // through a patched copy of ours.
    make_recording(p("ours.ds2"), 40, 0, 1);
    ASSERT_EQ(ORVKTEncryptDSSFile(p("ours.ds2").c_str(), p("e.ds2").c_str(), "abcd"), VKT_OK);
    Bytes enc = read_bytes(p("e.ds2"));
    put32(enc, 8, 1);
    write_bytes(p("grundig.ds2"), enc);
    ASSERT_EQ(ORVKTDecryptDSSFile(p("grundig.ds2").c_str(), p("g.ds2").c_str(), "abcd"), VKT_OK);
    const Bytes out = read_bytes(p("g.ds2"));
    ASSERT_EQ(out.size(), enc.size() + 1024);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(get32(out, 8), 3u);
    EXPECT_EQ(get16(out, 512), 1) << "a fresh header block 2";
    EXPECT_EQ(part(out, 1024, 1536), Bytes(512, 0xFF));
    CDssFile dss;
    ASSERT_EQ(dss.create_file(p("g.ds2").c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, true), 0u);
    EXPECT_EQ(dss.m_dwTotalNrOfFrames, 40u);
}

TEST_F(EncryptionOps, EntryTraces) {
    xkrvlog::Capture capture;
    uint32_t flag = 0;
    ORVKTIsEncryptedDSSFile(p("a.ds2").c_str(), &flag);
    ORVKTEncryptDSSFile(p("a.ds2").c_str(), p("b.ds2").c_str(), "abcd");
    auto lines = capture.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "+ORVKTIsEncryptedDSSFile");
    EXPECT_EQ(lines[1].name, "lpszFilepath_p");
    EXPECT_EQ(lines[1].text, p("a.ds2"));
    EXPECT_TRUE(capture.contains("+ORVKTEncryptDSSFile"));
    EXPECT_TRUE(capture.contains("pcszDstFileName_p"));
}
