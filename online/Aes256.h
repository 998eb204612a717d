// AES-256 (FIPS-197) on independent 16-byte blocks: no chaining, no
// initialisation vector. The backup container enciphers every block of its
// plaintext on its own, so this is all it needs.
//
// Written here rather than taken from Windows CNG: under Wine, CNG's ECB mode
// goes to its crypto back end once per 16-byte block and resets the chaining
// state after each, which caps it at tens of MB/s; this table-driven form runs
// several times faster and gives the same bytes (the tests compare the two).
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>

class CAes256
{
public:
    enum { KEY_BYTES = 32, BLOCK_BYTES = 16 };

    // Builds the encryption and decryption key schedules from 32 key bytes.
    explicit CAes256(const BYTE* key);
    ~CAes256();

    // Enciphers or deciphers `blocks` blocks of 16 bytes. out may be in, or
    // lie before it in the same buffer: each block is read whole before its
    // result is stored.
    void EncryptBlocks(const BYTE* in, BYTE* out, size_t blocks) const;
    void DecryptBlocks(const BYTE* in, BYTE* out, size_t blocks) const;

private:
    CAes256(const CAes256&) = delete;
    CAes256& operator=(const CAes256&) = delete;

    enum { ROUNDS = 14, SCHEDULE_WORDS = 4 * (ROUNDS + 1) };
    uint32_t m_enc[SCHEDULE_WORDS];
    uint32_t m_dec[SCHEDULE_WORDS];
};
