#include "online/AesCipher.h"
#include <bcrypt.h>
#include <string.h>
#include <new>
#include <memory>
#include <vector>
#include "online/WholeFile.h"

namespace {

const DWORD kHeaderBytes = 4;
const DWORD kBlockBytes = 16;
// The largest plaintext whose container length still fits in 32 bits.
const DWORD kMaxPlain = 0xFFFFFFFFu - kHeaderBytes - (kBlockBytes - 1);

size_t ContainerLength(DWORD n)
{
    return kHeaderBytes + (size_t)kBlockBytes * (((size_t)n + kBlockBytes - 1) / kBlockBytes);
}

void StoreLength(BYTE* container, DWORD n)
{
    container[0] = (BYTE)n;
    container[1] = (BYTE)(n >> 8);
    container[2] = (BYTE)(n >> 16);
    container[3] = (BYTE)(n >> 24);
}

// The plaintext length of a container that can be read whole: at least one
// byte after the length field, a length field that fits in what follows it,
// and only whole blocks (a partial last block is refused, never read past).
bool ReadableLength(const BYTE* container, DWORD size, DWORD& n)
{
    if (!container || size < kHeaderBytes + 1) {
        return false;
    }
    n = (DWORD)container[0] | ((DWORD)container[1] << 8) | ((DWORD)container[2] << 16) |
        ((DWORD)container[3] << 24);
    DWORD body = size - kHeaderBytes;
    return n <= body && body % kBlockBytes == 0;
}

// AES-256 from Windows CNG in ECB mode: every 16-byte block on its own,
// one call over a whole run of blocks. The platform's implementation is
// maintained with the system, uses the processor's AES instructions and
// keeps its timing independent of the data.
class CPlatformAes
{
public:
    explicit CPlatformAes(const BYTE* key) : m_alg(NULL), m_key(NULL)
    {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&m_alg, BCRYPT_AES_ALGORITHM, NULL, 0))) {
            m_alg = NULL;
            return;
        }
        if (!BCRYPT_SUCCESS(BCryptSetProperty(m_alg, BCRYPT_CHAINING_MODE, (PUCHAR)BCRYPT_CHAIN_MODE_ECB,
                                              sizeof(BCRYPT_CHAIN_MODE_ECB), 0)) ||
            !BCRYPT_SUCCESS(BCryptGenerateSymmetricKey(m_alg, &m_key, NULL, 0, (PUCHAR)key, CAesCipher::KEY_BYTES, 0)))
            m_key = NULL;
    }
    ~CPlatformAes()
    {
        if (m_key)
            BCryptDestroyKey(m_key);
        if (m_alg)
            BCryptCloseAlgorithmProvider(m_alg, 0);
    }
    CPlatformAes(const CPlatformAes&) = delete;
    CPlatformAes& operator=(const CPlatformAes&) = delete;

    // `bytes` is a multiple of 16; out is in itself or apart from it.
    bool Encrypt(BYTE* in, BYTE* out, size_t bytes) { return Run(true, in, out, bytes); }
    bool Decrypt(BYTE* in, BYTE* out, size_t bytes) { return Run(false, in, out, bytes); }

private:
    bool Run(bool encrypt, BYTE* in, BYTE* out, size_t bytes)
    {
        if (!m_key || bytes > 0xFFFFFFFFu)
            return false;
        if (bytes == 0)
            return true;
        ULONG done = 0;
        NTSTATUS status = encrypt ? BCryptEncrypt(m_key, in, (ULONG)bytes, NULL, NULL, 0, out, (ULONG)bytes, &done, 0)
                                  : BCryptDecrypt(m_key, in, (ULONG)bytes, NULL, NULL, 0, out, (ULONG)bytes, &done, 0);
        return BCRYPT_SUCCESS(status) && done == bytes;
    }

    BCRYPT_ALG_HANDLE m_alg;
    BCRYPT_KEY_HANDLE m_key;
};

} // namespace

CAesCipher::CAesCipher(const char* keyText)
    : m_output(NULL), m_outputLength(0), m_plainLength(0)
{
    SetKeyText(keyText, keyText ? strlen(keyText) : 0);
}

CAesCipher::CAesCipher(const BYTE* key, size_t length)
    : m_output(NULL), m_outputLength(0), m_plainLength(0)
{
    SetKeyText((const char*)key, key ? length : 0);
}

CAesCipher::CAesCipher(LPCWSTR password)
    : m_output(NULL), m_outputLength(0), m_plainLength(0)
{
    std::vector<char> utf8;
    int wide = password ? (int)wcslen(password) : 0;
    int bytes = wide > 0 ? WideCharToMultiByte(CP_UTF8, 0, password, wide, NULL, 0, NULL, NULL) : 0;
    if (bytes > 0) {
        utf8.resize(bytes);
        bytes = WideCharToMultiByte(CP_UTF8, 0, password, wide, utf8.data(), bytes, NULL, NULL);
    }
    SetKeyText(utf8.data(), bytes > 0 ? (size_t)bytes : 0);
    SecureZeroMemory(utf8.data(), utf8.size());
}

CAesCipher::~CAesCipher()
{
    Reset();
    SecureZeroMemory(m_key, sizeof(m_key));
}

void CAesCipher::SetKeyText(const char* keyText, size_t length)
{
    // Only the first 32 bytes make the key, so nothing longer is copied.
    memset(m_key, 0, sizeof(m_key));
    if (keyText) {
        memcpy(m_key, keyText, length < sizeof(m_key) ? length : sizeof(m_key));
    }
}

void CAesCipher::Reset()
{
    delete[] m_output;
    m_output = NULL;
    m_outputLength = 0;
    m_plainLength = 0;
}

bool CAesCipher::AllocateOutput(size_t length)
{
    m_output = new (std::nothrow) BYTE[length > 0 ? length : 1];
    if (!m_output) {
        return false;
    }
    m_outputLength = (DWORD)length;
    return true;
}

const BYTE* CAesCipher::Encrypt(const void* data, DWORD n)
{
    // The previous output goes only once this one is built: data may be it.
    std::unique_ptr<BYTE[]> previous(m_output);
    m_output = NULL;
    Reset();
    if ((!data && n != 0) || n > kMaxPlain || !AllocateOutput(ContainerLength(n))) {
        return NULL;
    }
    // The plaintext, its last piece filled up with zero bytes, is
    // enciphered where it lies in the output.
    BYTE* blocks = m_output + kHeaderBytes;
    size_t body = m_outputLength - kHeaderBytes;
    if (n != 0) {
        memcpy(blocks, data, n);
    }
    memset(blocks + n, 0, body - n);
    StoreLength(m_output, n);
    CPlatformAes aes(m_key);
    if (!aes.Encrypt(blocks, blocks, body)) {
        SecureZeroMemory(blocks, body);
        Reset();
        return NULL;
    }
    m_plainLength = n;
    return m_output;
}

const BYTE* CAesCipher::Decrypt(const void* data, DWORD size)
{
    std::unique_ptr<BYTE[]> previous(m_output);
    m_output = NULL;
    Reset();
    const BYTE* container = (const BYTE*)data;
    DWORD n = 0;
    if (!ReadableLength(container, size, n) || !AllocateOutput(size - kHeaderBytes)) {
        return NULL;
    }
    CPlatformAes aes(m_key);
    if (!aes.Decrypt(const_cast<BYTE*>(container) + kHeaderBytes, m_output, m_outputLength)) {
        Reset();
        return NULL;
    }
    m_plainLength = n;
    return m_output;
}

// The files are worked on in the buffer they were read into, so a backup is
// held in memory once.
bool CAesCipher::EncryptFile(LPCWSTR source, LPCWSTR destination)
{
    Reset();
    std::unique_ptr<BYTE[]> buffer;
    size_t size = 0;
    if (!ReadWholeFile(source, buffer, size, kHeaderBytes, kBlockBytes, kMaxPlain)) {
        return false;
    }
    DWORD n = (DWORD)size;
    size_t length = ContainerLength(n);
    BYTE* blocks = buffer.get() + kHeaderBytes;
    memset(blocks + n, 0, length - kHeaderBytes - n);
    StoreLength(buffer.get(), n);
    CPlatformAes aes(m_key);
    if (!aes.Encrypt(blocks, blocks, length - kHeaderBytes)) {
        SecureZeroMemory(buffer.get(), length);
        return false;
    }
    m_output = buffer.release();
    m_outputLength = (DWORD)length;
    m_plainLength = n;
    return WriteWholeFile(destination, m_output, m_outputLength);
}

bool CAesCipher::DecryptFile(LPCWSTR source, LPCWSTR destination)
{
    Reset();
    std::unique_ptr<BYTE[]> buffer;
    size_t size = 0;
    DWORD n = 0;
    if (!ReadWholeFile(source, buffer, size, 0, 0, 0xFFFFFFFFu) || !ReadableLength(buffer.get(), (DWORD)size, n)) {
        return false;
    }
    // Deciphered where it lies, then moved over the length field.
    DWORD body = (DWORD)size - kHeaderBytes;
    CPlatformAes aes(m_key);
    if (!aes.Decrypt(buffer.get() + kHeaderBytes, buffer.get() + kHeaderBytes, body)) {
        return false;
    }
    memmove(buffer.get(), buffer.get() + kHeaderBytes, body);
    m_output = buffer.release();
    m_outputLength = body;
    m_plainLength = n;
    return WriteWholeFile(destination, m_output, m_plainLength);
}

CString CAesCipher::EncryptString(LPCWSTR text)
{
    CString letters;
    size_t chars = text ? wcslen(text) : 0;
    if (chars == 0 || chars > kMaxPlain / sizeof(wchar_t)) {
        return letters;
    }
    const BYTE* output = Encrypt(text, (DWORD)(chars * sizeof(wchar_t)));
    if (!output) {
        return letters;
    }
    LPWSTR p = letters.GetBufferSetLength((int)(2 * m_outputLength));
    for (DWORD i = 0; i < m_outputLength; ++i) {
        p[2 * i] = (wchar_t)(L'A' + (output[i] & 0x0F));
        p[2 * i + 1] = (wchar_t)(L'A' + (output[i] >> 4));
    }
    letters.ReleaseBuffer((int)(2 * m_outputLength));
    return letters;
}

CString CAesCipher::DecryptString(LPCWSTR letters)
{
    CString text;
    size_t count = letters ? wcslen(letters) / 2 : 0;
    if (count == 0 || count > 0xFFFFFFFFu) {
        return text;
    }
    std::unique_ptr<BYTE[]> bytes(new (std::nothrow) BYTE[count]);
    if (!bytes) {
        return text;
    }
    for (size_t i = 0; i < count; ++i) {
        unsigned low = (unsigned)(letters[2 * i] - L'A');
        unsigned high = (unsigned)(letters[2 * i + 1] - L'A');
        bytes[i] = (BYTE)(high * 16 + low);
    }
    const BYTE* output = Decrypt(bytes.get(), (DWORD)count);
    if (!output) {
        return text;
    }
    int chars = (int)(m_plainLength / sizeof(wchar_t));
    if (chars > 0) {
        memcpy(text.GetBufferSetLength(chars), output, chars * sizeof(wchar_t));
        text.ReleaseBuffer(chars);
    }
    return text;
}
