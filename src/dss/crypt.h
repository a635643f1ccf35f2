// The cipher of DSS Pro data blocks and the making of password keys.
//
// A data block is encrypted in 31 groups of 16 bytes (block offsets 6 to
// 501, in block order) with AES, the key changing from group to group: group
// 0 uses the file key, and each following key is taken from the last round
// key of the previous key's expansion. For a 16-byte key that is round key 10
// itself; for a 32-byte key with the four words L0..L3 of round key 14 it is
// L0 L1 L2 L3 L1 L0 L3 L2. Both directions use the same key sequence, so the
// 31 keys and their cipher contexts depend on the file key only: DssBlockCipher
// derives them once and then serves any number of blocks.
//
// Salts and block tails are random bytes taken from the OS random source and
// scaled like a 15-bit generator's values: r / 32767.0 * 255.0, truncated.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace vkt::dss {

inline constexpr uint32_t kCryptGroups = 31;
inline constexpr uint32_t kCryptFirstByte = 6;
inline constexpr uint32_t kCryptEndByte = kCryptFirstByte + 16 * kCryptGroups;  // 502
inline constexpr uint32_t kPasswordBlockSize = 16;

// AES key expansion (FIPS-197) of a 16- or 32-byte key into 11 or 15 round
// keys of 16 bytes, each word in the byte order of the standard. Returns the
// number of round-key bytes written (176 or 240), or 0 for another length.
std::size_t aes_expand_key(const uint8_t* key, std::size_t key_length, uint8_t* round_keys);

// The key that follows `key` in the group sequence (same length).
bool next_group_key(const uint8_t* key, std::size_t key_length, uint8_t* next);

// One AES block (16 bytes) with a 16- or 32-byte key, through the library's
// cipher engine. Returns false for another key length or an engine failure.
bool aes_block(const uint8_t* key, std::size_t key_length, const uint8_t* in, uint8_t* out, bool encrypt);

// Which engine runs the AES rounds: the processor's AES instructions when it
// has them (the round keys are ours), otherwise OpenSSL's cipher contexts.
// Both give the same bytes; tests switch between them.
bool hardware_aes_available();
void use_hardware_aes(bool enable);

// The 31 group keys of one file key, ready to encrypt or decrypt blocks.
class DssBlockCipher {
public:
    DssBlockCipher() = default;
    DssBlockCipher(const uint8_t* key, uint32_t key_length, bool encrypt) { init(key, key_length, encrypt); }
    ~DssBlockCipher();
    DssBlockCipher(const DssBlockCipher&) = delete;
    DssBlockCipher& operator=(const DssBlockCipher&) = delete;

    // Derives the key sequence; false (and not ready) for a key length other
    // than 16 or 32 or an engine failure.
    bool init(const uint8_t* key, uint32_t key_length, bool encrypt);
    void reset();
    bool ready() const { return ready_; }
    // True when the cipher was made from exactly this key and direction.
    bool made_from(const uint8_t* key, uint32_t key_length, bool encrypt) const;

    // Encrypts or decrypts bytes 6 to 501 of a 512-byte block in block order,
    // in place. On failure the block is unchanged and false is returned.
    bool crypt(uint8_t* block) const;

private:
    bool init_hardware(const uint8_t* keys);
    bool init_engine_contexts(const uint8_t* keys);

    // Processor path: the round keys of every group (decryption keys in the
    // order and form of the equivalent inverse cipher).
    alignas(16) uint8_t round_keys_[kCryptGroups][240] = {};
    uint32_t rounds_ = 0;
    bool hardware_ = false;
    // OpenSSL path: one cipher context per group.
    void* contexts_[kCryptGroups] = {};  // EVP_CIPHER_CTX*
    std::array<uint8_t, 32> key_{};
    uint32_t key_length_ = 0;
    bool encrypt_ = true;
    bool ready_ = false;
};

// Password block P: the password's first 16 characters, zero bytes after
// them, XORed with the 16-byte salt.
void make_password_block(const char* password, const uint8_t* salt, uint8_t* block);

// SHA-1 and SHA-384 (FIPS 180-4). On failure sha384 names the step that
// failed ("CryptAcquireContext", "CryptCreateHash", "CryptHashData",
// "CryptGetHashParam") and the engine's error.
bool sha1(const uint8_t* data, std::size_t length, uint8_t* digest20);
bool sha384(const uint8_t* data, std::size_t length, uint8_t* digest48, const char** failed_step,
            unsigned long* error);

// A value scaled from a 15-bit random number: r / 32767.0 * 255.0, truncated.
uint8_t random_scaled_byte();
void fill_random_scaled(uint8_t* out, std::size_t count);

}  // namespace vkt::dss

// Encrypts (bEncrypt true) or decrypts one 512-byte data block in block order,
// in place, with a 16- or 32-byte file key. Returns false, the block
// unchanged, for another key length or an engine failure. The key sequence of
// the last key used is kept per thread, so a run of blocks with one key
// derives it once.
bool crypt_block(uint32_t dwKeyLength, const uint8_t* pbyKey, uint8_t* pbyBlock, bool bEncrypt);

// Overwrites the unused end of a data block with random bytes: from
// max(nUsedLength, 502) to 511, when nUsedLength is below 512.
void fill_block_tail(uint8_t* pbyBlock, uint32_t nUsedLength);

// Turns header block 1 into that of an encrypted file: a fresh salt, the
// verification value of the password, self-identifier "enc", format words 2
// and 3, encryption version 1. The 16-byte file key goes to pbyKeyOut and
// *pdwKeyLength becomes 16. Raises 44 when *pdwKeyLength is below 16.
void AddEncryptionToHeader(uint8_t* pbyHeader1, const char* pcszPassword, uint8_t* pbyKeyOut,
                           uint32_t* pdwKeyLength);
