// Encryption: AES against the FIPS-197 vectors, group keys, passwords, encrypted
// files of both versions, and the encryption and template exports.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <algorithm>
#include <functional>
#include <random>

#include "OrvaneVktapi.h"
#include "dss/crypt.h"
#include "dss/dss_file.h"
#include "platform/vkt_error.h"
#include "support/disk_full.h"
#include "support/dss_bytes.h"
#include "support/test_support.h"
#include "trace/xkrvlog_capture.h"

using namespace dss_test;
using namespace vkt::platform;
using edit_test::part;
using orvkt_test::TempDir;
using orvkt_test::file_exists;
using orvkt_test::read_bytes;
using orvkt_test::with_disk_full_after;
using orvkt_test::write_bytes;

namespace {

Bytes hex(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    return out;
}

// AES-ECB of one block through OpenSSL, independent of the code under test.
Bytes openssl_aes(const Bytes& key, const Bytes& in) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, key.size() == 16 ? EVP_aes_128_ecb() : EVP_aes_256_ecb(), nullptr, key.data(), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    Bytes out(16);
    int n = 0;
    EVP_EncryptUpdate(ctx, out.data(), &n, in.data(), 16);
    EVP_CIPHER_CTX_free(ctx);
    return out;
}

Bytes digest(const EVP_MD* md, const Bytes& data) {
    Bytes out(static_cast<size_t>(EVP_MD_size(md)));
    unsigned n = 0;
    EVP_Digest(data.data(), data.size(), out.data(), &n, md, nullptr);
    return out;
}

// Password block P computed by hand: password bytes, zeros, XOR salt.
Bytes password_block(const std::string& password, const Bytes& salt) {
    Bytes p(16, 0);
    std::copy_n(password.begin(), std::min<size_t>(password.size(), 16), p.begin());
    for (size_t i = 0; i < 16; ++i) p[i] ^= salt[i];
    return p;
}

const Bytes kKeyA1 = hex("2b7e151628aed2a6abf7158809cf4f3c");
const Bytes kKeyA3 = hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");

Bytes sample_block() {
    Bytes b(512);
    for (size_t i = 0; i < b.size(); ++i) b[i] = static_cast<uint8_t>(i * 13 + 5);
    return b;
}

// The cipher tests run with the processor's AES instructions and with OpenSSL's.
class Engine : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { vkt::dss::use_hardware_aes(GetParam()); }
    void TearDown() override { vkt::dss::use_hardware_aes(true); }
};

INSTANTIATE_TEST_SUITE_P(Aes, Engine, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Processor" : "OpenSSL";
                         });

// An encrypted file made by hand: version 1 (SHA-1) or 2 (SHA-384), two data blocks.
std::string make_encrypted(const TempDir& tmp, uint16_t version, const std::string& password,
                           std::vector<Bytes>* frames) {
    Bytes h1 = header1(2, "enc");
    put16(h1, 326, version);
    Bytes salt(16);
    for (int i = 0; i < 16; ++i) salt[i] = static_cast<uint8_t>(i * 17 + version);
    place(h1, 328, salt);
    const Bytes d = digest(version == 1 ? EVP_sha1() : EVP_sha384(), password_block(password, salt));
    const size_t key_length = version == 1 ? 16 : 32;
    place(h1, 344, part(d, key_length, key_length + 4));
    Bytes file = concat({h1, header2(0)});
    for (unsigned n = 0; n < 2; ++n) {
        Bytes b = block(0x030F, 12, 0);
        for (unsigned i = 0; i < 12; ++i) {
            frames->push_back(frame(n * 12 + i));
            place(b, 6 + 41 * i, frames->back());
        }
        EXPECT_TRUE(crypt_block(static_cast<uint32_t>(key_length), d.data(), b.data(), true));
        file = concat({file, stored(b)});
    }
    const std::string path = tmp.path("v" + std::to_string(version) + ".ds2");
    write_bytes(path, file);
    return path;
}

std::vector<Bytes> read_frames(const std::string& path, const char* password, uint32_t* open_result) {
    std::vector<Bytes> out;
    CDssFile dss;
    dss.SetPassword(password);
    *open_result = dss.create_file(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, true);
    if (*open_result != 0) return out;
    EXPECT_EQ(dss.m_dwTotalNrOfFrames, 24u);
    uint8_t buffer[DSS_MAX_CODEC_BLOCK];
    uint32_t size = 0, frame_bytes = 0;
    uint8_t id = 0;
    while (dss.transfer_from_file_to_buffer(buffer, &size, &frame_bytes, &id) == 0)
        out.emplace_back(buffer, buffer + frame_bytes);
    return out;
}

// A recording of random frames as the writer makes it.
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

TEST_P(Engine, BlockOperationOfTheStandardExamples) {
    const Bytes plain = hex("00112233445566778899aabbccddeeff");
    const struct {
        Bytes key, cipher;
    } vectors[] = {
        {hex("000102030405060708090a0b0c0d0e0f"), hex("69c4e0d86a7b0430d8cdb78070b4c55a")},
        {hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"),
         hex("8ea2b7ca516745bfeafc49904b496089")},
    };
    for (const auto& v : vectors) {
        uint8_t out[16], back[16];
        ASSERT_TRUE(vkt::dss::aes_block(v.key.data(), v.key.size(), plain.data(), out, true));
        EXPECT_EQ(Bytes(out, out + 16), v.cipher);
        ASSERT_TRUE(vkt::dss::aes_block(v.key.data(), v.key.size(), out, back, false));
        EXPECT_EQ(Bytes(back, back + 16), plain);
        EXPECT_FALSE(vkt::dss::aes_block(v.key.data(), 20, plain.data(), out, true));
    }
    Bytes block = sample_block();
    EXPECT_FALSE(crypt_block(24, kKeyA3.data(), block.data(), true)) << "only 16- and 32-byte file keys";
    EXPECT_EQ(block, sample_block());
    EXPECT_FALSE(vkt::dss::DssBlockCipher(kKeyA1.data(), 8, true).ready());
}

TEST_P(Engine, GroupKeysOfA128BitFileKey) {
    // Group 0 uses the example key itself (the standard's cipher example),
    // group 1 that key's round key 10, group 2 the round key 10 of that one.
    Bytes block = sample_block();
    place(block, 6, hex("3243f6a8885a308d313198a2e0370734"));
    const Bytes original = block;
    ASSERT_TRUE(crypt_block(16, kKeyA1.data(), block.data(), true));
    EXPECT_EQ(part(block, 6, 22), hex("3925841d02dc09fbdc118597196a0b32"));
    const Bytes key1 = hex("d014f9a8c9ee2589e13f0cc8b6630ca6");
    EXPECT_EQ(part(block, 22, 38), openssl_aes(key1, part(original, 22, 38)));
    uint8_t schedule[176];
    vkt::dss::aes_expand_key(key1.data(), 16, schedule);
    EXPECT_EQ(part(block, 38, 54), openssl_aes(Bytes(schedule + 160, schedule + 176), part(original, 38, 54)));
    EXPECT_EQ(part(block, 0, 6), part(original, 0, 6)) << "the block header stays plain";
}

TEST_P(Engine, GroupKeysOfA256BitFileKey) {
    // With L0..L3 the words of round key 14, the next key is L0 L1 L2 L3 L1 L0 L3 L2.
    const Bytes key1 = hex("fe4890d1e6188d0b046df344706c631ee6188d0bfe4890d1706c631e046df344");
    Bytes block = sample_block();
    ASSERT_TRUE(crypt_block(32, kKeyA3.data(), block.data(), true));
    EXPECT_EQ(part(block, 6, 22), openssl_aes(kKeyA3, part(sample_block(), 6, 22)));
    EXPECT_EQ(part(block, 22, 38), openssl_aes(key1, part(sample_block(), 22, 38)));
    uint8_t next[32];
    ASSERT_TRUE(vkt::dss::next_group_key(kKeyA3.data(), 32, next));
    EXPECT_EQ(Bytes(next, next + 32), key1);
}

TEST(Passwords, LengthAndStateRules) {
    xkrvlog::Capture capture;
    CDssFile dss;
    const std::pair<const char*, uint32_t> calls[] = {
        {"abc", 44}, {"0123456789abcdefg", 44}, {nullptr, 0}, {"0123456789abcdef", 0}, {"abcd", 44}};
    for (auto [password, rc] : calls) EXPECT_EQ(dss.SetPassword(password), rc) << (password ? password : "null");
    EXPECT_TRUE(capture.contains_error(44, "invalid password length"));
    EXPECT_TRUE(capture.contains_error(44, "password already set"));
    CDssFile skip;
    skip.m_bSkipDecryption = true;
    EXPECT_EQ(skip.SetPassword("abcd"), 44u);
    EXPECT_TRUE(capture.contains_error(44, "m_bSkipDecryption set"));
}

TEST(Passwords, EncryptionHeaderOfANewFile) {
    Bytes header = header1(3, "ds2");
    const Bytes before = header;
    uint8_t key[32] = {};
    uint32_t length = 32;
    AddEncryptionToHeader(header.data(), "secret42", key, &length);
    EXPECT_EQ(length, 16u);
    EXPECT_EQ(std::string(header.begin() + 1, header.begin() + 4), "enc");
    EXPECT_EQ(get16(header, 4), 2);
    EXPECT_EQ(get16(header, 6), 3);
    EXPECT_EQ(get16(header, 326), 1);
    const Bytes salt = part(header, 328, 344);
    const Bytes sha = digest(EVP_sha1(), password_block("secret42", salt));
    EXPECT_EQ(Bytes(key, key + 16), part(sha, 0, 16));
    EXPECT_EQ(part(header, 344, 348), part(sha, 16, 20));
    EXPECT_EQ(part(header, 8, 326), part(before, 8, 326)) << "nothing else changes";
    EXPECT_EQ(part(header, 348, 512), part(before, 348, 512));

    Bytes other = header1(3, "ds2");
    AddEncryptionToHeader(other.data(), "secret42", key, &length);
    EXPECT_NE(part(other, 328, 344), salt) << "every header gets a fresh salt";
    uint32_t small = 15;
    xkrvlog::Capture capture;
    EXPECT_THROW(AddEncryptionToHeader(other.data(), "secret42", key, &small), vkt::VktError);
    EXPECT_TRUE(capture.contains_error(44, "VKT_ERR_PASSWORD outEncryptionKeyLength < DCL_DSS_ENCRYPTION_KEY_LENGTH"));
}

TEST_P(Engine, BothVersionsOfEncryptedFilesOpenWithTheRightPasswordOnly) {
    TempDir tmp;
    for (uint16_t version : {1, 2}) {
        SCOPED_TRACE(version);
        std::vector<Bytes> frames;
        const std::string path = make_encrypted(tmp, version, "Dictation#7", &frames);
        uint32_t rc = 99;
        EXPECT_EQ(read_frames(path, "Dictation#7", &rc), frames);
        EXPECT_EQ(rc, 0u);
        // Without a password the header passes and the first data block fails.
        const std::pair<const char*, const char*> wrong[] = {
            {"dictation#7", "VKT_ERR_PASSWORD verification value does not match"},
            {nullptr, "No password specified for encrypted file"}};
        for (auto [password, error] : wrong) {
            xkrvlog::Capture capture;
            read_frames(path, password, &rc);
            EXPECT_EQ(rc, 44u);
            EXPECT_TRUE(capture.contains_error(44, error));
        }
    }
}

TEST_F(EncryptionOps, RefusalsAndAnswers) {
    make_recording(p("plain.ds2"), 20);
    make_recording(p("qp.ds2"), 50, 6);
    ASSERT_EQ(ORVKTEncryptDSSFile(p("plain.ds2").c_str(), p("e.ds2").c_str(), "abcd"), VKT_OK);
    ASSERT_EQ(ORVKTEncryptDSSFile(p("qp.ds2").c_str(), p("qpe.ds2").c_str(), "abcd"), VKT_OK);
    // An Olympus file (licensee 2) is not ours to encrypt; a header count
    // beyond the file's blocks (6 claimed, 5 there) is a damaged file.
    Bytes olympus = read_bytes(p("plain.ds2"));
    put32(olympus, 8, 2);
    write_bytes(p("olympus.ds2"), olympus);
    for (const char* name : {"plain.ds2", "e.ds2"}) {
        Bytes bytes = read_bytes(p(name));
        ASSERT_EQ(bytes.size(), 5u * 512);
        bytes[0] = 6;
        write_bytes(p(std::string("six_") + name), bytes);
    }
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
        {[&] { return enc("six_plain.ds2", "x.ds2", "abcd"); }, VKT_ERR_OPEN_FILE, nullptr},
        {[&] { return dec("six_e.ds2", "x.ds2", "abcd"); }, VKT_ERR_OPEN_FILE, nullptr},
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
    EXPECT_EQ(tmp.entries(), (std::vector<std::string>{"e.ds2", "olympus.ds2", "plain.ds2", "qp.ds2", "qpe.ds2",
                                                        "six_e.ds2", "six_plain.ds2"}))
        << "no refused call leaves a destination";
    EXPECT_EQ(dec("qpe.ds2", "qp2.ds2", "abcd"), VKT_OK);

    uint32_t flag = 7;
    EXPECT_EQ(ORVKTIsEncryptedDSSFile(p("missing.ds2").c_str(), &flag), VKT_ERR_OPEN_FILE);
    EXPECT_EQ(flag, 7u) << "untouched after a failure";
    EXPECT_EQ(ORVKTIsEncryptedDSSFile(p("plain.ds2").c_str(), &flag), VKT_OK);
    EXPECT_EQ(flag, 0u);
}

// A disk that fills up while the data blocks are written: 15, and what was
// written stays (neither operation removes its destination), the source
// untouched.
TEST_F(EncryptionOps, FullDiskKeepsThePartlyWrittenDestination) {
    make_recording(p("plain.ds2"), 4000);
    const Bytes plain = read_bytes(p("plain.ds2"));
    ASSERT_EQ(ORVKTEncryptDSSFile(p("plain.ds2").c_str(), p("whole.ds2").c_str(), "abcd"), VKT_OK);
    const Bytes whole = read_bytes(p("whole.ds2"));
    const std::pair<std::string, std::function<uint32_t()>> runs[] = {
        {"enc", [&] { return ORVKTEncryptDSSFile(p("plain.ds2").c_str(), p("enc.ds2").c_str(), "abcd"); }},
        {"ds2", [&] { return ORVKTDecryptDSSFile(p("whole.ds2").c_str(), p("ds2.ds2").c_str(), "abcd"); }},
    };
    for (const auto& [self_id, run] : runs) {
        SCOPED_TRACE(self_id);
        EXPECT_EQ(with_disk_full_after(100 * 512, run), VKT_ERR_WRITE_FILE);
        const Bytes partial = read_bytes(p(self_id + ".ds2"));
        ASSERT_GE(partial.size(), 1536u) << "a failed run keeps its destination";
        EXPECT_LT(partial.size(), plain.size());
        EXPECT_EQ(std::string(partial.begin() + 1, partial.begin() + 4), self_id);
    }
    EXPECT_EQ(read_bytes(p("plain.ds2")), plain);
    EXPECT_EQ(read_bytes(p("whole.ds2")), whole);
}

TEST_F(EncryptionOps, ForeignSourcesBecomeOurOwnWithThreeHeaderBlocks) {
    // A Grundig file (licensee 1) of one header block: a patched copy of ours.
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

TEST(Templates, Refusals) {
    TempDir tmp;
    xkrvlog::Capture capture;
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.dss").c_str(), "abcd", 0), VKT_ERR_INVALID_PARAM);
    EXPECT_TRUE(capture.contains_error(36, "encrytion requires DSS Pro"));
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.ds2").c_str(), "abc", 0), VKT_ERR_PASSWORD);
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.ds2").c_str(), "0123456789abcdefg", 0), VKT_ERR_PASSWORD);
    EXPECT_TRUE(capture.contains_error(44, "invalid password length"));
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("t.wav").c_str(), nullptr, 0), VKT_ERR_OPEN_FILE);
    EXPECT_EQ(ORVKTCreateDSSTemplate(tmp.path("missing/t.dss").c_str(), nullptr, 0), VKT_ERR_OPEN_FILE);
    EXPECT_TRUE(tmp.entries().empty());
}
