#include "dss/crypt.h"

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <sys/random.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>

#include "dss/dss_layout.h"
#include "platform/byte_order.h"
#include "platform/vkt_error.h"
#include "platform/vkt_trace.h"

VKT_TRACE_UNIT("crypt");

namespace vkt::dss {

namespace {

// ---- AES key expansion --------------------------------------------------------

constexpr uint8_t kSbox[256] = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76,
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0,
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15,
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75,
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84,
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf,
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8,
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2,
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73,
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb,
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79,
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08,
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a,
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e,
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf,
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16,
};

const EVP_CIPHER* cipher_for(std::size_t key_length) {
    if (key_length == 16) return EVP_aes_128_ecb();
    if (key_length == 32) return EVP_aes_256_ecb();
    return nullptr;
}

EVP_CIPHER_CTX* make_context(const uint8_t* key, std::size_t key_length, bool encrypt) {
    const EVP_CIPHER* cipher = cipher_for(key_length);
    if (!cipher) return nullptr;
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    if (!ctx) return nullptr;
    if (EVP_CipherInit_ex(ctx, cipher, nullptr, key, nullptr, encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx, 0) != 1) {
        EVP_CIPHER_CTX_free(ctx);
        return nullptr;
    }
    return ctx;
}

bool run_context(void* ctx, const uint8_t* in, uint8_t* out) {
    int produced = 0;
    return EVP_CipherUpdate(static_cast<EVP_CIPHER_CTX*>(ctx), out, &produced, in, 16) == 1 && produced == 16;
}

// ---- random source ------------------------------------------------------------

// Random bytes are drawn from the kernel in batches, so that filling the
// tails of many blocks costs one system call per few hundred blocks.
class RandomPool {
public:
    uint16_t next15() {
        if (pos_ + 2 > sizeof buffer_) refill();
        uint16_t v = static_cast<uint16_t>(buffer_[pos_] | (buffer_[pos_ + 1] << 8));
        pos_ += 2;
        return static_cast<uint16_t>(v & 0x7FFF);
    }

private:
    void refill() {
        std::size_t got = 0;
        while (got < sizeof buffer_) {
            ssize_t n = ::getrandom(buffer_ + got, sizeof buffer_ - got, 0);
            if (n < 0) {
                if (errno == EINTR) continue;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        if (got < sizeof buffer_) {
            // No kernel source (very old kernel, seccomp): the C++ library's one.
            std::random_device device;
            for (std::size_t i = got; i < sizeof buffer_; ++i) buffer_[i] = static_cast<uint8_t>(device());
        }
        pos_ = 0;
    }

    uint8_t buffer_[4096];
    std::size_t pos_ = sizeof buffer_;
};

RandomPool& random_pool() {
    thread_local RandomPool pool;
    return pool;
}

}  // namespace

std::size_t aes_expand_key(const uint8_t* key, std::size_t key_length, uint8_t* round_keys) {
    if (key_length != 16 && key_length != 32) return 0;
    const std::size_t nk = key_length / 4;
    const std::size_t rounds = nk + 6;
    const std::size_t words = 4 * (rounds + 1);
    std::memcpy(round_keys, key, key_length);
    uint8_t rcon = 0x01;
    for (std::size_t i = nk; i < words; ++i) {
        uint8_t t[4];
        std::memcpy(t, round_keys + 4 * (i - 1), 4);
        if (i % nk == 0) {
            // RotWord, SubWord, then the round constant on the first byte.
            uint8_t first = t[0];
            t[0] = static_cast<uint8_t>(kSbox[t[1]] ^ rcon);
            t[1] = kSbox[t[2]];
            t[2] = kSbox[t[3]];
            t[3] = kSbox[first];
            rcon = static_cast<uint8_t>((rcon << 1) ^ ((rcon & 0x80) ? 0x1B : 0x00));
        } else if (nk > 6 && i % nk == 4) {
            for (auto& b : t) b = kSbox[b];
        }
        for (std::size_t j = 0; j < 4; ++j)
            round_keys[4 * i + j] = static_cast<uint8_t>(round_keys[4 * (i - nk) + j] ^ t[j]);
    }
    return 4 * words;
}

bool next_group_key(const uint8_t* key, std::size_t key_length, uint8_t* next) {
    uint8_t schedule[240];
    std::size_t n = aes_expand_key(key, key_length, schedule);
    if (n == 0) return false;
    const uint8_t* last = schedule + n - 16;  // the last round key
    if (key_length == 16) {
        std::memcpy(next, last, 16);
    } else {
        // L0 L1 L2 L3 L1 L0 L3 L2
        static constexpr int order[8] = {0, 1, 2, 3, 1, 0, 3, 2};
        for (int w = 0; w < 8; ++w) std::memcpy(next + 4 * w, last + 4 * order[w], 4);
    }
    OPENSSL_cleanse(schedule, sizeof schedule);
    return true;
}

// ---- processor AES -------------------------------------------------------------

namespace {

std::atomic<bool> g_hardware_allowed{true};

#if defined(__x86_64__) || defined(__i386__)
bool cpu_has_aes() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse4.1");
}

// Decryption round keys for aesdec: the encryption keys in reverse order,
// the inner ones through InvMixColumns.
__attribute__((target("aes,sse4.1"))) void make_decryption_keys(uint8_t* keys, uint32_t rounds) {
    __m128i enc[15];
    for (uint32_t r = 0; r <= rounds; ++r) enc[r] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + 16 * r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(keys), enc[rounds]);
    for (uint32_t r = 1; r < rounds; ++r)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(keys + 16 * r), _mm_aesimc_si128(enc[rounds - r]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(keys + 16 * rounds), enc[0]);
}

// The 31 groups at data, each with its own round keys. The groups are
// independent, so the processor overlaps their rounds.
__attribute__((target("aes,sse4.1"))) void run_groups(const uint8_t (*keys)[240], uint32_t rounds, uint8_t* data,
                                                      bool encrypt, uint32_t groups) {
    for (uint32_t g = 0; g < groups; ++g) {
        const auto* k = reinterpret_cast<const __m128i*>(keys[g]);
        __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * g)), k[0]);
        if (encrypt) {
            for (uint32_t r = 1; r < rounds; ++r) x = _mm_aesenc_si128(x, k[r]);
            x = _mm_aesenclast_si128(x, k[rounds]);
        } else {
            for (uint32_t r = 1; r < rounds; ++r) x = _mm_aesdec_si128(x, k[r]);
            x = _mm_aesdeclast_si128(x, k[rounds]);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(data + 16 * g), x);
    }
}
#else
bool cpu_has_aes() { return false; }
void make_decryption_keys(uint8_t*, uint32_t) {}
void run_groups(const uint8_t (*)[240], uint32_t, uint8_t*, bool, uint32_t) {}
#endif

}  // namespace

bool hardware_aes_available() {
    static const bool available = cpu_has_aes();
    return available;
}

void use_hardware_aes(bool enable) { g_hardware_allowed.store(enable); }

bool aes_block(const uint8_t* key, std::size_t key_length, const uint8_t* in, uint8_t* out, bool encrypt) {
    if (hardware_aes_available() && g_hardware_allowed.load()) {
        alignas(16) uint8_t schedule[1][240];
        if (aes_expand_key(key, key_length, schedule[0]) == 0) return false;
        const uint32_t rounds = static_cast<uint32_t>(key_length / 4 + 6);
        if (!encrypt) make_decryption_keys(schedule[0], rounds);
        std::memcpy(out, in, 16);
        run_groups(schedule, rounds, out, encrypt, 1);
        OPENSSL_cleanse(schedule, sizeof schedule);
        return true;
    }
    EVP_CIPHER_CTX* ctx = make_context(key, key_length, encrypt);
    if (!ctx) return false;
    bool ok = run_context(ctx, in, out);
    EVP_CIPHER_CTX_free(ctx);
    return ok;
}


// ---- DssBlockCipher ---------------------------------------------------------------

DssBlockCipher::~DssBlockCipher() { reset(); }

void DssBlockCipher::reset() {
    for (auto& ctx : contexts_) {
        EVP_CIPHER_CTX_free(static_cast<EVP_CIPHER_CTX*>(ctx));
        ctx = nullptr;
    }
    if (hardware_) OPENSSL_cleanse(round_keys_, sizeof round_keys_);
    OPENSSL_cleanse(key_.data(), key_.size());
    key_length_ = 0;
    rounds_ = 0;
    hardware_ = false;
    ready_ = false;
}

bool DssBlockCipher::init(const uint8_t* key, uint32_t key_length, bool encrypt) {
    reset();
    if (key_length != 16 && key_length != 32) return false;
    // The key sequence: group g + 1 takes its key from group g's expansion.
    uint8_t keys[kCryptGroups][32];
    std::memcpy(keys[0], key, key_length);
    bool ok = true;
    for (uint32_t g = 1; g < kCryptGroups && ok; ++g) ok = next_group_key(keys[g - 1], key_length, keys[g]);
    key_length_ = key_length;
    encrypt_ = encrypt;
    if (ok) ok = hardware_aes_available() && g_hardware_allowed.load() ? init_hardware(&keys[0][0])
                                                                       : init_engine_contexts(&keys[0][0]);
    OPENSSL_cleanse(keys, sizeof keys);
    if (!ok) {
        reset();
        return false;
    }
    std::memcpy(key_.data(), key, key_length);
    ready_ = true;
    return true;
}

bool DssBlockCipher::init_hardware(const uint8_t* keys) {
    rounds_ = key_length_ / 4 + 6;
    for (uint32_t g = 0; g < kCryptGroups; ++g) {
        if (aes_expand_key(keys + 32 * g, key_length_, round_keys_[g]) == 0) return false;
        if (!encrypt_) make_decryption_keys(round_keys_[g], rounds_);
    }
    hardware_ = true;
    return true;
}

bool DssBlockCipher::init_engine_contexts(const uint8_t* keys) {
    for (uint32_t g = 0; g < kCryptGroups; ++g) {
        contexts_[g] = make_context(keys + 32 * g, key_length_, encrypt_);
        if (!contexts_[g]) return false;
    }
    return true;
}

bool DssBlockCipher::made_from(const uint8_t* key, uint32_t key_length, bool encrypt) const {
    const bool hardware_wanted = hardware_aes_available() && g_hardware_allowed.load(std::memory_order_relaxed);
    return ready_ && key_length == key_length_ && encrypt == encrypt_ && hardware_ == hardware_wanted &&
           CRYPTO_memcmp(key, key_.data(), key_length) == 0;
}

bool DssBlockCipher::crypt(uint8_t* block) const {
    if (!ready_) return false;
    if (hardware_) {
        run_groups(round_keys_, rounds_, block + kCryptFirstByte, encrypt_, kCryptGroups);
        return true;
    }
    uint8_t out[16 * kCryptGroups];
    for (uint32_t g = 0; g < kCryptGroups; ++g)
        if (!run_context(contexts_[g], block + kCryptFirstByte + 16 * g, out + 16 * g)) return false;
    std::memcpy(block + kCryptFirstByte, out, sizeof out);
    return true;
}

// ---- keys from passwords -------------------------------------------------------

void make_password_block(const char* password, const uint8_t* salt, uint8_t* block) {
    std::memset(block, 0, kPasswordBlockSize);
    if (password) {
        std::size_t n = strnlen(password, kPasswordBlockSize);
        std::memcpy(block, password, n);
    }
    for (std::size_t i = 0; i < kPasswordBlockSize; ++i) block[i] ^= salt[i];
}

bool sha1(const uint8_t* data, std::size_t length, uint8_t* digest20) {
    unsigned int size = 0;
    return EVP_Digest(data, length, digest20, &size, EVP_sha1(), nullptr) == 1 && size == 20;
}

bool sha384(const uint8_t* data, std::size_t length, uint8_t* digest48, const char** failed_step,
            unsigned long* error) {
    *failed_step = nullptr;
    *error = 0;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    const char* step = nullptr;
    unsigned int size = 0;
    if (!ctx) step = "CryptAcquireContext";
    else if (EVP_DigestInit_ex(ctx, EVP_sha384(), nullptr) != 1) step = "CryptCreateHash";
    else if (EVP_DigestUpdate(ctx, data, length) != 1) step = "CryptHashData";
    else if (EVP_DigestFinal_ex(ctx, digest48, &size) != 1 || size != 48) step = "CryptGetHashParam";
    EVP_MD_CTX_free(ctx);
    if (step) {
        *failed_step = step;
        *error = ERR_get_error();
        return false;
    }
    return true;
}

uint8_t random_scaled_byte() {
    int r = random_pool().next15();
    return static_cast<uint8_t>(static_cast<int>(r / 32767.0 * 255.0));
}

void fill_random_scaled(uint8_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = random_scaled_byte();
}

}  // namespace vkt::dss

using namespace vkt::dss;

bool crypt_block(uint32_t dwKeyLength, const uint8_t* pbyKey, uint8_t* pbyBlock, bool bEncrypt) {
    if (dwKeyLength != 16 && dwKeyLength != 32) return false;
    // One cached key sequence per direction and thread.
    thread_local DssBlockCipher ciphers[2];
    DssBlockCipher& cipher = ciphers[bEncrypt ? 1 : 0];
    if (!cipher.made_from(pbyKey, dwKeyLength, bEncrypt) && !cipher.init(pbyKey, dwKeyLength, bEncrypt))
        return false;
    return cipher.crypt(pbyBlock);
}

void fill_block_tail(uint8_t* pbyBlock, uint32_t nUsedLength) {
    if (nUsedLength >= 512) return;
    uint32_t from = nUsedLength < kCryptEndByte ? kCryptEndByte : nUsedLength;
    fill_random_scaled(pbyBlock + from, 512 - from);
}

void AddEncryptionToHeader(uint8_t* pbyHeader1, const char* pcszPassword, uint8_t* pbyKeyOut,
                           uint32_t* pdwKeyLength) {
    VKT_TRACE_TEXT(" -- AddEncryptionToHeader");
    uint8_t salt[16];
    fill_random_scaled(salt, sizeof salt);
    uint8_t block[kPasswordBlockSize];
    make_password_block(pcszPassword, salt, block);
    if (*pdwKeyLength < 16) {
        OPENSSL_cleanse(block, sizeof block);
        VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "VKT_ERR_PASSWORD outEncryptionKeyLength < DCL_DSS_ENCRYPTION_KEY_LENGTH");
        vkt::raise(VKT_ERR_PASSWORD);
    }
    *pdwKeyLength = 16;
    uint8_t digest[20];
    bool hashed = sha1(block, sizeof block, digest);
    OPENSSL_cleanse(block, sizeof block);
    if (!hashed) {
        VKT_TRACE_ERROR(VKT_ERR_PASSWORD, "VKT_ERR_PASSWORD EncryptionKeyGen failed");
        vkt::raise(VKT_ERR_PASSWORD);
    }
    std::memcpy(pbyKeyOut, digest, 16);
    namespace h1 = vkt::dss::h1;
    h1::put_format_id(pbyHeader1, true);
    std::memcpy(pbyHeader1 + h1::kSelfId, "enc", h1::kSelfIdSize);
    vkt::put_le16(pbyHeader1 + h1::kEncryptionVersion, 1);
    std::memcpy(pbyHeader1 + h1::kSalt, salt, h1::kSaltSize);
    std::memcpy(pbyHeader1 + h1::kCheckValue, digest + 16, h1::kCheckValueSize);
    OPENSSL_cleanse(digest, sizeof digest);
}
