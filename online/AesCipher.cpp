#include "online/AesCipher.h"
#include <string.h>
#include <new>
#include <memory>
#include <vector>
#include "online/Aes256.h"
#include "online/WholeFile.h"

namespace {

const DWORD kHeaderBytes = 4;
const DWORD kBlockBytes = CAes256::BLOCK_BYTES;
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

} // namespace

CAesCipher::CAesCipher(const char* keyText)
    : m_output(NULL), m_outputLength(0), m_plainLength(0)
{
    SetKeyText(keyText, keyText ? strlen(keyText) : 0);
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
    m_plainLength = n;
    StoreLength(m_output, n);
    if (n == 0) {
        return m_output;
    }
    // Whole pieces go straight from the data into the output; the last,
    // partial one is filled up with zero bytes first.
    const BYTE* in = (const BYTE*)data;
    BYTE* out = m_output + kHeaderBytes;
    size_t whole = n / kBlockBytes;
    DWORD rest = n % kBlockBytes;
    CAes256 aes(m_key);
    aes.EncryptBlocks(in, out, whole);
    if (rest != 0) {
        BYTE last[kBlockBytes] = {0};
        memcpy(last, in + whole * kBlockBytes, rest);
        aes.EncryptBlocks(last, out + whole * kBlockBytes, 1);
        SecureZeroMemory(last, sizeof(last));
    }
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
    CAes256 aes(m_key);
    aes.DecryptBlocks(container + kHeaderBytes, m_output, m_outputLength / kBlockBytes);
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
    CAes256 aes(m_key);
    aes.EncryptBlocks(blocks, blocks, (length - kHeaderBytes) / kBlockBytes);
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
    // Each block lands 4 bytes before where it was read, over the length field.
    DWORD body = (DWORD)size - kHeaderBytes;
    CAes256 aes(m_key);
    aes.DecryptBlocks(buffer.get() + kHeaderBytes, buffer.get(), body / kBlockBytes);
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
