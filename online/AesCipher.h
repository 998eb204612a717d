// The backup cipher and its container (all integers little-endian):
//   offset 0: plaintext length n, unsigned 32-bit
//   offset 4: the plaintext in 16-byte pieces, the last one filled up with
//             zero bytes, each piece enciphered on its own with AES-256;
//             no chaining, no initialisation vector, no checksum.
// The container is 4 + 16 * ceil(n / 16) bytes long. The key is the key
// text's first 32 bytes, zero-padded when the text is shorter: for backups
// the password in UTF-8, for the stored password the program's own key.
// The cipher itself is Windows CNG's AES-256 in ECB mode.
//
// A wrong key is not noticed here: it yields other bytes of the same length.
// Every failure is a false result or no output; nothing is logged.
#pragma once
#include <windows.h>
#include "afxstr.h"

class CAesCipher
{
public:
    enum { KEY_BYTES = 32 };

    // keyText: bytes up to an ending zero byte; only the first 32 count.
    explicit CAesCipher(const char* keyText);
    // The password's UTF-8 bytes are the key text.
    explicit CAesCipher(LPCWSTR password);
    // The key's own bytes, zero bytes included; only the first 32 count.
    CAesCipher(const BYTE* key, size_t length);
    ~CAesCipher();

    // Builds the container of n bytes of data; the output stays valid until
    // the next operation. Null only when memory runs out, n is too large
    // for a 32-bit container or the platform's cipher cannot be had.
    const BYTE* Encrypt(const void* data, DWORD n);
    // Deciphers a container of `size` bytes; the first GetPlainLength()
    // bytes of the output are the plaintext. Null (no output) when the
    // container is shorter than 5 bytes, its length field promises more
    // than it holds, or its last block is incomplete.
    const BYTE* Decrypt(const void* data, DWORD size);

    // Whole files: read the source, write the destination (replaced when it
    // exists). DecryptFile creates no destination for a refused container.
    bool EncryptFile(LPCWSTR source, LPCWSTR destination);
    bool DecryptFile(LPCWSTR source, LPCWSTR destination);

    // Letter form: the text's UTF-16LE bytes as a container, each byte
    // written as two capitals, "A" plus its low four bits, then "A" plus its
    // high four bits (only A to P occur). Empty in, empty out.
    CString EncryptString(LPCWSTR text);
    // The reverse. Letters are taken in pairs (an odd last letter is
    // ignored) without any check; a refused container gives the empty text.
    CString DecryptString(LPCWSTR letters);

    // Frees the output; both lengths become 0.
    void Reset();
    const BYTE* GetOutput() const { return m_output; }
    // Bytes in the output: the whole container after Encrypt, the
    // deciphered blocks after Decrypt.
    DWORD GetOutputLength() const { return m_outputLength; }
    // The plaintext length of the last operation.
    DWORD GetPlainLength() const { return m_plainLength; }

private:
    CAesCipher(const CAesCipher&) = delete;
    CAesCipher& operator=(const CAesCipher&) = delete;

    void SetKeyText(const char* keyText, size_t length);
    // An output of `length` bytes, not initialised; false when memory runs out.
    bool AllocateOutput(size_t length);

    BYTE m_key[KEY_BYTES];
    BYTE* m_output;
    DWORD m_outputLength;
    DWORD m_plainLength;
};
