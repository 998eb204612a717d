#include "online/AesCipher.h"
#include <string.h>
#include <new>
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
    memset(m_output, 0, length);
    m_outputLength = (DWORD)length;
    return true;
}

const BYTE* CAesCipher::Encrypt(const void* data, DWORD n)
{
    Reset();
    if ((!data && n != 0) || n > kMaxPlain || !AllocateOutput(ContainerLength(n))) {
        return NULL;
    }
    m_plainLength = n;
    m_output[0] = (BYTE)n;
    m_output[1] = (BYTE)(n >> 8);
    m_output[2] = (BYTE)(n >> 16);
    m_output[3] = (BYTE)(n >> 24);
    if (n == 0) {
        return m_output;
    }
    // The data goes into the zero-filled blocks, which are then enciphered
    // where they are: the last block keeps its zero fill.
    BYTE* blocks = m_output + kHeaderBytes;
    memcpy(blocks, data, n);
    CAes256 aes(m_key);
    aes.EncryptBlocks(blocks, blocks, (m_outputLength - kHeaderBytes) / kBlockBytes);
    return m_output;
}

const BYTE* CAesCipher::Decrypt(const void* data, DWORD size)
{
    Reset();
    if (!data || size < kHeaderBytes + 1) {
        return NULL;
    }
    const BYTE* bytes = (const BYTE*)data;
    DWORD n = (DWORD)bytes[0] | ((DWORD)bytes[1] << 8) | ((DWORD)bytes[2] << 16) | ((DWORD)bytes[3] << 24);
    DWORD body = size - kHeaderBytes;
    // The length field must fit in what follows it, and only whole blocks
    // are read: a partial last block is refused, never read past.
    if (n > body || body % kBlockBytes != 0 || !AllocateOutput(body)) {
        return NULL;
    }
    CAes256 aes(m_key);
    aes.DecryptBlocks(bytes + kHeaderBytes, m_output, body / kBlockBytes);
    m_plainLength = n;
    return m_output;
}

bool CAesCipher::EncryptFile(LPCWSTR source, LPCWSTR destination)
{
    std::unique_ptr<BYTE[]> data;
    size_t size = 0;
    if (!ReadWholeFile(source, data, size, 0, kMaxPlain)) {
        return false;
    }
    const BYTE* output = Encrypt(data.get(), (DWORD)size);
    data.reset();
    if (!output) {
        return false;
    }
    return WriteWholeFile(destination, output, m_outputLength);
}

bool CAesCipher::DecryptFile(LPCWSTR source, LPCWSTR destination)
{
    std::unique_ptr<BYTE[]> data;
    size_t size = 0;
    if (!ReadWholeFile(source, data, size, 0, 0xFFFFFFFFu)) {
        return false;
    }
    const BYTE* output = Decrypt(data.get(), (DWORD)size);
    data.reset();
    if (!output) {
        return false;
    }
    return WriteWholeFile(destination, output, m_plainLength);
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
