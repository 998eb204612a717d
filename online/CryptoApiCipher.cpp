#include "online/CryptoApiCipher.h"
#include <string.h>
#include <new>
#include <memory>
#include "online/WholeFile.h"

namespace {

// A 40-bit key in the upper 16 bits of the flags, exportable.
const DWORD kDeriveFlags = (40u << 16) | CRYPT_EXPORTABLE;
// Room for the padding a block algorithm adds on encryption.
const DWORD kPaddingRoom = 32;

} // namespace

CCryptoApiCipher::CCryptoApiCipher(LPCWSTR password, ALG_ID algorithm)
    : m_provider(0), m_key(0)
{
    if (!CryptAcquireContextW(&m_provider, NULL, MS_DEF_PROV_W, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
        m_provider = 0;
        return;
    }
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(m_provider, CALG_MD5, 0, 0, &hash)) {
        return;
    }
    LPCWSTR text = password ? password : L"";
    if (CryptHashData(hash, (const BYTE*)text, (DWORD)(wcslen(text) * sizeof(wchar_t)), 0)) {
        if (!CryptDeriveKey(m_provider, algorithm, hash, kDeriveFlags, &m_key)) {
            m_key = 0;
        }
    }
    CryptDestroyHash(hash);
}

CCryptoApiCipher::~CCryptoApiCipher()
{
    if (m_key) {
        CryptDestroyKey(m_key);
    }
    if (m_provider) {
        CryptReleaseContext(m_provider, 0);
    }
}

bool CCryptoApiCipher::Encrypt(BYTE* data, DWORD& length, DWORD capacity)
{
    if (!m_key || (!data && capacity != 0) || length > capacity) {
        return false;
    }
    return CryptEncrypt(m_key, 0, TRUE, 0, data, &length, capacity) != FALSE;
}

bool CCryptoApiCipher::Decrypt(BYTE* data, DWORD& length)
{
    if (!m_key || (!data && length != 0)) {
        return false;
    }
    return CryptDecrypt(m_key, 0, TRUE, 0, data, &length) != FALSE;
}

bool CCryptoApiCipher::EncryptFile(LPCWSTR source, LPCWSTR destination)
{
    std::unique_ptr<BYTE[]> data;
    size_t size = 0;
    if (!m_key || !ReadWholeFile(source, data, size, 0, kPaddingRoom, 0xFFFFFFFFu - kPaddingRoom)) {
        return false;
    }
    DWORD length = (DWORD)size;
    if (!Encrypt(data.get(), length, (DWORD)size + kPaddingRoom)) {
        return false;
    }
    return WriteWholeFile(destination, data.get(), length);
}

bool CCryptoApiCipher::DecryptFile(LPCWSTR source, LPCWSTR destination)
{
    std::unique_ptr<BYTE[]> data;
    size_t size = 0;
    if (!m_key || !ReadWholeFile(source, data, size, 0, 0, 0xFFFFFFFFu)) {
        return false;
    }
    DWORD length = (DWORD)size;
    if (!Decrypt(data.get(), length)) {
        return false;
    }
    return WriteWholeFile(destination, data.get(), length);
}

CString CCryptoApiCipher::EncryptString(LPCWSTR text)
{
    CString letters;
    size_t chars = text ? wcslen(text) : 0;
    if (chars == 0 || chars > (0x7FFFFFFFu - kPaddingRoom) / 4) {
        return letters;
    }
    DWORD length = (DWORD)(chars * sizeof(wchar_t));
    DWORD capacity = length + kPaddingRoom;
    std::unique_ptr<BYTE[]> bytes(new (std::nothrow) BYTE[capacity]);
    if (!bytes) {
        return letters;
    }
    memcpy(bytes.get(), text, length);
    if (!Encrypt(bytes.get(), length, capacity)) {
        return letters;
    }
    LPWSTR p = letters.GetBufferSetLength((int)(2 * length));
    for (DWORD i = 0; i < length; ++i) {
        p[2 * i] = (wchar_t)(L'a' + (bytes[i] & 0x0F));
        p[2 * i + 1] = (wchar_t)(L'a' + (bytes[i] >> 4));
    }
    letters.ReleaseBuffer((int)(2 * length));
    return letters;
}

CString CCryptoApiCipher::DecryptString(LPCWSTR letters)
{
    CString text;
    size_t count = letters ? wcslen(letters) / 2 : 0;
    if (count == 0) {
        return text;
    }
    std::unique_ptr<BYTE[]> bytes(new (std::nothrow) BYTE[count]);
    if (!bytes) {
        return text;
    }
    for (size_t i = 0; i < count; ++i) {
        unsigned low = (unsigned)(letters[2 * i] - L'a');
        unsigned high = (unsigned)(letters[2 * i + 1] - L'a');
        bytes[i] = (BYTE)(high * 16 + low);
    }
    DWORD length = (DWORD)count;
    if (!Decrypt(bytes.get(), length)) {
        return text;
    }
    int chars = (int)(length / sizeof(wchar_t));
    if (chars > 0) {
        memcpy(text.GetBufferSetLength(chars), bytes.get(), chars * sizeof(wchar_t));
        text.ReleaseBuffer(chars);
    }
    return text;
}
