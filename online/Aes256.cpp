#include "online/Aes256.h"

namespace {

// The S-box and the round tables are computed at compile time from the field
// arithmetic of GF(2^8) with the polynomial x^8 + x^4 + x^3 + x + 1.
constexpr uint8_t XTime(uint8_t x)
{
    return (uint8_t)((x << 1) ^ ((x & 0x80) ? 0x1b : 0));
}

constexpr uint8_t Mul(uint8_t a, uint8_t b)
{
    uint8_t r = 0;
    while (b) {
        if (b & 1) {
            r ^= a;
        }
        a = XTime(a);
        b >>= 1;
    }
    return r;
}

constexpr uint8_t Rotl8(uint8_t x, int n)
{
    return (uint8_t)((x << n) | (x >> (8 - n)));
}

constexpr uint32_t Rotr32(uint32_t x, int n)
{
    return n == 0 ? x : (x >> n) | (x << (32 - n));
}

struct Tables
{
    uint8_t sbox[256];
    uint8_t inv[256];
    // te[k][x]: SubBytes then MixColumns of byte x in row k, as one column;
    // td[k][x]: the same for InvSubBytes and InvMixColumns.
    uint32_t te[4][256];
    uint32_t td[4][256];
};

constexpr Tables MakeTables()
{
    Tables t{};
    for (int x = 0; x < 256; ++x) {
        // The multiplicative inverse is x^254 (0 maps to 0).
        uint8_t inverse = 0;
        if (x != 0) {
            uint8_t power = 1;
            uint8_t base = (uint8_t)x;
            for (int e = 254; e != 0; e >>= 1) {
                if (e & 1) {
                    power = Mul(power, base);
                }
                base = Mul(base, base);
            }
            inverse = power;
        }
        uint8_t s = (uint8_t)(inverse ^ Rotl8(inverse, 1) ^ Rotl8(inverse, 2) ^ Rotl8(inverse, 3) ^
                              Rotl8(inverse, 4) ^ 0x63);
        t.sbox[x] = s;
        t.inv[s] = (uint8_t)x;
    }
    for (int x = 0; x < 256; ++x) {
        uint8_t s = t.sbox[x];
        uint32_t e = ((uint32_t)Mul(s, 2) << 24) | ((uint32_t)s << 16) | ((uint32_t)s << 8) | Mul(s, 3);
        uint8_t i = t.inv[x];
        uint32_t d = ((uint32_t)Mul(i, 14) << 24) | ((uint32_t)Mul(i, 9) << 16) | ((uint32_t)Mul(i, 13) << 8) |
                     Mul(i, 11);
        for (int k = 0; k < 4; ++k) {
            t.te[k][x] = Rotr32(e, 8 * k);
            t.td[k][x] = Rotr32(d, 8 * k);
        }
    }
    return t;
}

constexpr Tables kTables = MakeTables();

inline uint32_t Load(const BYTE* p)
{
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

inline void Store(BYTE* p, uint32_t v)
{
    p[0] = (BYTE)(v >> 24);
    p[1] = (BYTE)(v >> 16);
    p[2] = (BYTE)(v >> 8);
    p[3] = (BYTE)v;
}

inline uint32_t SubWord(uint32_t w)
{
    const uint8_t* s = kTables.sbox;
    return ((uint32_t)s[w >> 24] << 24) | ((uint32_t)s[(w >> 16) & 0xff] << 16) |
           ((uint32_t)s[(w >> 8) & 0xff] << 8) | s[w & 0xff];
}

} // namespace

CAes256::CAes256(const BYTE* key)
{
    // Key expansion with Nk = 8 words.
    for (int i = 0; i < 8; ++i) {
        m_enc[i] = Load(key + 4 * i);
    }
    uint32_t rcon = 0x01000000;
    for (int i = 8; i < SCHEDULE_WORDS; ++i) {
        uint32_t w = m_enc[i - 1];
        if (i % 8 == 0) {
            w = SubWord(Rotr32(w, 24)) ^ rcon;
            rcon = (uint32_t)XTime((uint8_t)(rcon >> 24)) << 24;
        } else if (i % 8 == 4) {
            w = SubWord(w);
        }
        m_enc[i] = m_enc[i - 8] ^ w;
    }

    // The equivalent inverse cipher: round keys in reverse order, the inner
    // ones passed through InvMixColumns.
    for (int r = 0; r <= ROUNDS; ++r) {
        for (int c = 0; c < 4; ++c) {
            uint32_t w = m_enc[4 * (ROUNDS - r) + c];
            if (r != 0 && r != ROUNDS) {
                const uint8_t* s = kTables.sbox;
                w = kTables.td[0][s[w >> 24]] ^ kTables.td[1][s[(w >> 16) & 0xff]] ^
                    kTables.td[2][s[(w >> 8) & 0xff]] ^ kTables.td[3][s[w & 0xff]];
            }
            m_dec[4 * r + c] = w;
        }
    }
}

CAes256::~CAes256()
{
    SecureZeroMemory(m_enc, sizeof(m_enc));
    SecureZeroMemory(m_dec, sizeof(m_dec));
}

void CAes256::EncryptBlocks(const BYTE* in, BYTE* out, size_t blocks) const
{
    const uint32_t(*te)[256] = kTables.te;
    const uint8_t* sbox = kTables.sbox;
    for (size_t b = 0; b < blocks; ++b, in += BLOCK_BYTES, out += BLOCK_BYTES) {
        const uint32_t* rk = m_enc;
        uint32_t s0 = Load(in) ^ rk[0];
        uint32_t s1 = Load(in + 4) ^ rk[1];
        uint32_t s2 = Load(in + 8) ^ rk[2];
        uint32_t s3 = Load(in + 12) ^ rk[3];
        for (int r = 1; r < ROUNDS; ++r) {
            rk += 4;
            uint32_t t0 = te[0][s0 >> 24] ^ te[1][(s1 >> 16) & 0xff] ^ te[2][(s2 >> 8) & 0xff] ^ te[3][s3 & 0xff] ^ rk[0];
            uint32_t t1 = te[0][s1 >> 24] ^ te[1][(s2 >> 16) & 0xff] ^ te[2][(s3 >> 8) & 0xff] ^ te[3][s0 & 0xff] ^ rk[1];
            uint32_t t2 = te[0][s2 >> 24] ^ te[1][(s3 >> 16) & 0xff] ^ te[2][(s0 >> 8) & 0xff] ^ te[3][s1 & 0xff] ^ rk[2];
            uint32_t t3 = te[0][s3 >> 24] ^ te[1][(s0 >> 16) & 0xff] ^ te[2][(s1 >> 8) & 0xff] ^ te[3][s2 & 0xff] ^ rk[3];
            s0 = t0;
            s1 = t1;
            s2 = t2;
            s3 = t3;
        }
        // The last round has no MixColumns.
        rk += 4;
        uint32_t o0 = ((uint32_t)sbox[s0 >> 24] << 24) | ((uint32_t)sbox[(s1 >> 16) & 0xff] << 16) |
                      ((uint32_t)sbox[(s2 >> 8) & 0xff] << 8) | sbox[s3 & 0xff];
        uint32_t o1 = ((uint32_t)sbox[s1 >> 24] << 24) | ((uint32_t)sbox[(s2 >> 16) & 0xff] << 16) |
                      ((uint32_t)sbox[(s3 >> 8) & 0xff] << 8) | sbox[s0 & 0xff];
        uint32_t o2 = ((uint32_t)sbox[s2 >> 24] << 24) | ((uint32_t)sbox[(s3 >> 16) & 0xff] << 16) |
                      ((uint32_t)sbox[(s0 >> 8) & 0xff] << 8) | sbox[s1 & 0xff];
        uint32_t o3 = ((uint32_t)sbox[s3 >> 24] << 24) | ((uint32_t)sbox[(s0 >> 16) & 0xff] << 16) |
                      ((uint32_t)sbox[(s1 >> 8) & 0xff] << 8) | sbox[s2 & 0xff];
        Store(out, o0 ^ rk[0]);
        Store(out + 4, o1 ^ rk[1]);
        Store(out + 8, o2 ^ rk[2]);
        Store(out + 12, o3 ^ rk[3]);
    }
}

void CAes256::DecryptBlocks(const BYTE* in, BYTE* out, size_t blocks) const
{
    const uint32_t(*td)[256] = kTables.td;
    const uint8_t* inv = kTables.inv;
    for (size_t b = 0; b < blocks; ++b, in += BLOCK_BYTES, out += BLOCK_BYTES) {
        const uint32_t* rk = m_dec;
        uint32_t s0 = Load(in) ^ rk[0];
        uint32_t s1 = Load(in + 4) ^ rk[1];
        uint32_t s2 = Load(in + 8) ^ rk[2];
        uint32_t s3 = Load(in + 12) ^ rk[3];
        for (int r = 1; r < ROUNDS; ++r) {
            rk += 4;
            uint32_t t0 = td[0][s0 >> 24] ^ td[1][(s3 >> 16) & 0xff] ^ td[2][(s2 >> 8) & 0xff] ^ td[3][s1 & 0xff] ^ rk[0];
            uint32_t t1 = td[0][s1 >> 24] ^ td[1][(s0 >> 16) & 0xff] ^ td[2][(s3 >> 8) & 0xff] ^ td[3][s2 & 0xff] ^ rk[1];
            uint32_t t2 = td[0][s2 >> 24] ^ td[1][(s1 >> 16) & 0xff] ^ td[2][(s0 >> 8) & 0xff] ^ td[3][s3 & 0xff] ^ rk[2];
            uint32_t t3 = td[0][s3 >> 24] ^ td[1][(s2 >> 16) & 0xff] ^ td[2][(s1 >> 8) & 0xff] ^ td[3][s0 & 0xff] ^ rk[3];
            s0 = t0;
            s1 = t1;
            s2 = t2;
            s3 = t3;
        }
        rk += 4;
        uint32_t o0 = ((uint32_t)inv[s0 >> 24] << 24) | ((uint32_t)inv[(s3 >> 16) & 0xff] << 16) |
                      ((uint32_t)inv[(s2 >> 8) & 0xff] << 8) | inv[s1 & 0xff];
        uint32_t o1 = ((uint32_t)inv[s1 >> 24] << 24) | ((uint32_t)inv[(s0 >> 16) & 0xff] << 16) |
                      ((uint32_t)inv[(s3 >> 8) & 0xff] << 8) | inv[s2 & 0xff];
        uint32_t o2 = ((uint32_t)inv[s2 >> 24] << 24) | ((uint32_t)inv[(s1 >> 16) & 0xff] << 16) |
                      ((uint32_t)inv[(s0 >> 8) & 0xff] << 8) | inv[s3 & 0xff];
        uint32_t o3 = ((uint32_t)inv[s3 >> 24] << 24) | ((uint32_t)inv[(s2 >> 16) & 0xff] << 16) |
                      ((uint32_t)inv[(s1 >> 8) & 0xff] << 8) | inv[s0 & 0xff];
        Store(out, o0 ^ rk[0]);
        Store(out + 4, o1 ^ rk[1]);
        Store(out + 8, o2 ^ rk[2]);
        Store(out + 12, o3 ^ rk[3]);
    }
}
