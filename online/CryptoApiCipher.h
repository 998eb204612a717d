// The older backup cipher, through CryptoAPI: the key is derived from the
// MD5 hash of the password's UTF-16LE bytes by "Microsoft Base Cryptographic
// Provider v1.0" with a 40-bit length (the provider adds eleven zero bytes of
// salt). Backups of that form are RC4 over the whole file, so the file is
// exactly as long as its plaintext, with no header.
//
// The provider is acquired without a key container (CRYPT_VERIFYCONTEXT):
// hashing and deriving a session key need none, and the key is the same, so
// the cipher works for users who have no default key container.
#pragma once
#include <windows.h>
#include <wincrypt.h>
#include "afxstr.h"

class CCryptoApiCipher
{
public:
    // algorithm: a CryptoAPI session-key algorithm; the backups use CALG_RC4.
    CCryptoApiCipher(LPCWSTR password, ALG_ID algorithm = CALG_RC4);
    ~CCryptoApiCipher();

    // False when the key could not be derived; every operation then fails.
    bool HasKey() const { return m_key != 0; }

    // One whole message, in place. `length` is the number of data bytes in,
    // the number of result bytes out; `capacity` is the room in the buffer
    // (a block algorithm adds padding on encryption).
    bool Encrypt(BYTE* data, DWORD& length, DWORD capacity);
    bool Decrypt(BYTE* data, DWORD& length);

    // Whole files: the source read in full, the result written to the
    // destination (replaced when it exists); true when every byte was written.
    bool EncryptFile(LPCWSTR source, LPCWSTR destination);
    bool DecryptFile(LPCWSTR source, LPCWSTR destination);

    // Letter form of a text's UTF-16LE bytes: each byte as "a" plus its low
    // four bits, then "a" plus its high four bits. Empty in, empty out.
    CString EncryptString(LPCWSTR text);
    CString DecryptString(LPCWSTR letters);

private:
    CCryptoApiCipher(const CCryptoApiCipher&) = delete;
    CCryptoApiCipher& operator=(const CCryptoApiCipher&) = delete;

    HCRYPTPROV m_provider;
    HCRYPTKEY m_key;
};
