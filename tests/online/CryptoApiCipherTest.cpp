// The older RC4 form through the platform's CryptoAPI, against bytes computed
// apart from it (tests/online/make_cipher_vectors.py: MD5 and RC4 in Python,
// the key being the hash's first five bytes and eleven zero bytes of salt).
#include <gtest/gtest.h>
#include <string>
#include "online/CryptoApiCipher.h"
#include "support/TestSupport.h"
#include "TempFolder.h"

namespace {

using namespace testing_support;

std::string FromHex(const char* hex)
{
    std::string out;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
        out.push_back((char)std::stoi(std::string(hex + i, 2), nullptr, 16));
    }
    return out;
}

const char kXmlLine[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const char kXmlLineUnderJelszo[] =
    "7b3f8defb49846faa4b0db9064850d762520eae689391fea857bdd7e0c12d9af7477f8be65cb";

class CryptoApiCipherTest : public ::testing::Test
{
protected:
    CTempFolder folder{L"rc4_test"};
};

TEST_F(CryptoApiCipherTest, KeyIsDerivedWithoutTheUsersKeyContainer)
{
    // A fresh profile has no default key container; the cipher needs none.
    CCryptoApiCipher rc4(L"jelszó");
    EXPECT_TRUE(rc4.HasKey());
}

TEST_F(CryptoApiCipherTest, OlderBackupFileDecryptsToItsKnownPlaintext)
{
    CString source = folder / L"régi_mentés.enc";
    CString destination = folder / L"régi_mentés.xml";
    ASSERT_TRUE(WriteFileBytes(source, FromHex(kXmlLineUnderJelszo)));
    CCryptoApiCipher rc4(L"jelszó", CALG_RC4);
    ASSERT_TRUE(rc4.DecryptFile(source, destination));
    EXPECT_EQ(ReadFileBytes(destination), kXmlLine);
}

TEST_F(CryptoApiCipherTest, BufferEncryptionMatchesTheVectorAndKeepsTheLength)
{
    std::string data = kXmlLine;
    DWORD length = (DWORD)data.size();
    CCryptoApiCipher rc4(L"jelszó");
    ASSERT_TRUE(rc4.Encrypt((BYTE*)&data[0], length, length));
    EXPECT_EQ(length, data.size());
    EXPECT_EQ(data, FromHex(kXmlLineUnderJelszo));
    // Every operation is a whole message: the key stream starts afresh.
    ASSERT_TRUE(rc4.Decrypt((BYTE*)&data[0], length));
    EXPECT_EQ(data, kXmlLine);
}

TEST_F(CryptoApiCipherTest, FilesRoundTripIncludingAnEmptyOne)
{
    CString source = folder / L"adat_ő.xml";
    CString encrypted = folder / L"adat_ő.enc";
    CString decrypted = folder / L"adat_ű.xml";
    for (size_t size : {0u, 1u, 17u, 300001u}) {
        SCOPED_TRACE(size);
        std::string data(size, '\0');
        for (size_t i = 0; i < size; ++i) {
            data[i] = (char)(i * 31 + 7);
        }
        ASSERT_TRUE(WriteFileBytes(source, data));
        CCryptoApiCipher writer(L"Árvíztűrő");
        ASSERT_TRUE(writer.EncryptFile(source, encrypted));
        std::string cipher = ReadFileBytes(encrypted);
        EXPECT_EQ(cipher.size(), size);
        if (size > 0) {
            EXPECT_NE(cipher, data);
        }
        CCryptoApiCipher reader(L"Árvíztűrő");
        ASSERT_TRUE(reader.DecryptFile(encrypted, decrypted));
        EXPECT_EQ(ReadFileBytes(decrypted), data);
    }
}

TEST_F(CryptoApiCipherTest, WrongPasswordGivesOtherBytes)
{
    CString source = folder / L"régi.enc";
    CString destination = folder / L"régi.xml";
    ASSERT_TRUE(WriteFileBytes(source, FromHex(kXmlLineUnderJelszo)));
    CCryptoApiCipher rc4(L"jelszo");
    ASSERT_TRUE(rc4.DecryptFile(source, destination));
    std::string plain = ReadFileBytes(destination);
    EXPECT_EQ(plain.size(), sizeof(kXmlLine) - 1);
    EXPECT_NE(plain, kXmlLine);
}

TEST_F(CryptoApiCipherTest, MissingSourceFailsWithoutDestination)
{
    CString destination = folder / L"nincs.xml";
    CCryptoApiCipher rc4(L"jelszó");
    EXPECT_FALSE(rc4.DecryptFile(folder / L"nincs.enc", destination));
    EXPECT_FALSE(FileExists(destination));
}

TEST_F(CryptoApiCipherTest, WithoutAKeyEveryOperationFails)
{
    CString source = folder / L"adat.bin";
    ASSERT_TRUE(WriteFileBytes(source, "abc"));
    CCryptoApiCipher bad(L"jelszó", CALG_MD5); // a hash is no session key
    ASSERT_FALSE(bad.HasKey());
    EXPECT_FALSE(bad.DecryptFile(source, folder / L"ki.bin"));
    EXPECT_FALSE(bad.EncryptFile(source, folder / L"ki.bin"));
    EXPECT_FALSE(FileExists(folder / L"ki.bin"));
    EXPECT_EQ(bad.EncryptString(L"szöveg"), L"");
}

TEST(CryptoApiCipherStringTest, LetterFormUsesLowerCaseAndMatchesTheVector)
{
    CCryptoApiCipher rc4(L"Árvíztűrő");
    CString letters = rc4.EncryptString(L"Titkos szöveg");
    EXPECT_EQ(letters, L"aimlnfjelmieifdkocjeenoccbblalcoodcmfhljanfmbkpfnolj");
    EXPECT_EQ(rc4.DecryptString(letters), L"Titkos szöveg");
    EXPECT_EQ(rc4.EncryptString(L""), L"");
    EXPECT_EQ(rc4.DecryptString(L""), L"");
}

} // namespace
