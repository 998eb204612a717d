// The backup container against the standards' AES-256 vectors and vectors
// computed apart from the program (tests/online/make_cipher_vectors.py:
// OpenSSL's AES-256-ECB on the host).
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "online/AesCipher.h"
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

std::string OutputOf(const CAesCipher& aes)
{
    return std::string((const char*)aes.GetOutput(), aes.GetOutputLength());
}

std::string PlainOf(const CAesCipher& aes)
{
    return std::string((const char*)aes.GetOutput(), aes.GetPlainLength());
}

// Filler that is not periodic, so equal blocks mean equal input.
std::string Bytes(size_t n, unsigned seed = 1)
{
    std::string out(n, '\0');
    unsigned x = seed;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = (char)(x >> 16);
    }
    return out;
}

const char kProgramKey[] = "Qm7#rT!x=Pz%Lw(8)kV+nB/dS&c2Yh-eF4j";

TEST(AesCipherTest, StandardsVectorsInTheContainerBothWays)
{
    struct {
        const char* name;
        const char* key;
        const char* plain;
        const char* cipher;
    } vectors[] = {
        {"FIPS-197 appendix C.3", "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
        {"SP 800-38A F.1.5, ECB-AES256, four blocks",
         "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
         "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
         "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710",
         "f3eed1bdb5d2a03c064b5a7e3db181f8591ccb10d410ed26dc5ba74a31362870"
         "b6ed21b99ca6f4f9f153e7b1beafed1d23304b7a39f9f3ff067d8d8f9e24ecc7"},
    };
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.name);
        std::string key = FromHex(v.key), plain = FromHex(v.plain), cipher = FromHex(v.cipher);
        CAesCipher aes((const BYTE*)key.data(), key.size());
        ASSERT_NE(aes.Encrypt(plain.data(), (DWORD)plain.size()), nullptr);
        std::string container = OutputOf(aes);
        ASSERT_EQ(container.size(), 4 + cipher.size());
        EXPECT_EQ(container.substr(4), cipher);

        CAesCipher reader((const BYTE*)key.data(), key.size());
        ASSERT_NE(reader.Decrypt(container.data(), (DWORD)container.size()), nullptr);
        EXPECT_EQ(PlainOf(reader), plain);
    }
}

struct ContainerVector
{
    const char* name;
    const char* key;
    std::string plain;
    const char* container;
};

TEST(AesCipherTest, ContainersMatchIndependentlyComputedVectors)
{
    const ContainerVector vectors[] = {
        {"16 bytes: one block", "titok", "0123456789abcdef", "1000000004bb329238aa59216e0f307d387bda80"},
        {"17 bytes: the second block zero-filled", "titok", "0123456789abcdefg",
         "1100000004bb329238aa59216e0f307d387bda8097bd95ea9c5e691ea7ba847d3725d1a4"},
        // 31 x, then "ő" cut after its first byte by the 32-byte key.
        {"key cut inside a character", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxővége",
         "<?xml version=\"1<?xml version=\"1",
         "200000003ef59c8513e78b92c90390cb866aa8e93ef59c8513e78b92c90390cb866aa8e9"},
    };
    for (const ContainerVector& v : vectors) {
        SCOPED_TRACE(v.name);
        CAesCipher aes(v.key);
        ASSERT_NE(aes.Encrypt(v.plain.data(), (DWORD)v.plain.size()), nullptr);
        EXPECT_EQ(OutputOf(aes), FromHex(v.container));
        EXPECT_EQ(aes.GetPlainLength(), v.plain.size());

        std::string container = FromHex(v.container);
        CAesCipher reader(v.key);
        ASSERT_NE(reader.Decrypt(container.data(), (DWORD)container.size()), nullptr);
        EXPECT_EQ(PlainOf(reader), v.plain);
    }
}

TEST(AesCipherTest, ContainerLengthIsFourPlusWholeBlocks)
{
    const struct
    {
        DWORD plain;
        DWORD container;
    } cases[] = {{0, 4}, {1, 20}, {15, 20}, {16, 20}, {17, 36}, {32, 36}, {33, 52}, {100003, 100020}};
    CAesCipher aes("titok");
    for (const auto& c : cases) {
        std::string data = Bytes(c.plain);
        ASSERT_NE(aes.Encrypt(data.data(), c.plain), nullptr);
        std::string out = OutputOf(aes);
        ASSERT_EQ(out.size(), c.container) << c.plain;
        EXPECT_EQ(out.substr(0, 4), std::string((const char*)&c.plain, 4)) << "little-endian length field";
        if (c.plain == 0) {
            EXPECT_EQ(out, std::string(4, '\0'));
            continue;
        }
        CAesCipher reader("titok");
        ASSERT_NE(reader.Decrypt(out.data(), (DWORD)out.size()), nullptr) << c.plain;
        EXPECT_EQ(PlainOf(reader), data);
        // The fill of the last block is zero bytes.
        std::string blocks((const char*)reader.GetOutput(), reader.GetOutputLength());
        EXPECT_EQ(blocks.substr(c.plain), std::string(blocks.size() - c.plain, '\0'));
    }
}

TEST(AesCipherTest, ItsOwnOutputMayBeFedBack)
{
    std::string data = Bytes(1000);
    CAesCipher aes("titok");
    ASSERT_NE(aes.Encrypt(data.data(), (DWORD)data.size()), nullptr);
    std::string container = OutputOf(aes);
    ASSERT_NE(aes.Decrypt(aes.GetOutput(), aes.GetOutputLength()), nullptr);
    EXPECT_EQ(PlainOf(aes), data);
    ASSERT_NE(aes.Encrypt(aes.GetOutput(), aes.GetPlainLength()), nullptr);
    EXPECT_EQ(OutputOf(aes), container);
}

TEST(AesCipherTest, EqualPiecesGiveEqualBlocks)
{
    std::string piece = Bytes(16, 5);
    std::string data = piece + Bytes(16, 6) + piece;
    CAesCipher aes("titok");
    ASSERT_NE(aes.Encrypt(data.data(), (DWORD)data.size()), nullptr);
    std::string out = OutputOf(aes);
    EXPECT_EQ(out.substr(4, 16), out.substr(36, 16));
    EXPECT_NE(out.substr(4, 16), out.substr(20, 16));
}

TEST(AesCipherTest, OnlyTheFirst32BytesOfThePasswordCount)
{
    std::string data = Bytes(40);
    CAesCipher writer(L"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxőeleje");
    ASSERT_NE(writer.Encrypt(data.data(), (DWORD)data.size()), nullptr);
    std::string container = OutputOf(writer);

    // Same first 32 UTF-8 bytes, other tail; and one far beyond any buffer.
    std::wstring huge = L"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxő" + std::wstring(5000, L'ű');
    for (LPCWSTR password : {L"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxővége", huge.c_str()}) {
        CAesCipher reader(password);
        ASSERT_NE(reader.Decrypt(container.data(), (DWORD)container.size()), nullptr);
        EXPECT_EQ(PlainOf(reader), data);
    }
    // The cut falls inside "ő": its second byte is not part of the key.
    CAesCipher other(L"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxo");
    ASSERT_NE(other.Decrypt(container.data(), (DWORD)container.size()), nullptr);
    EXPECT_NE(PlainOf(other), data);
}

TEST(AesCipherTest, WidePasswordIsItsUtf8Bytes)
{
    std::string data = Bytes(50);
    CAesCipher narrow("jelsz\xc3\xb3");
    CAesCipher wide(L"jelszó");
    ASSERT_NE(narrow.Encrypt(data.data(), (DWORD)data.size()), nullptr);
    ASSERT_NE(wide.Encrypt(data.data(), (DWORD)data.size()), nullptr);
    EXPECT_EQ(OutputOf(narrow), OutputOf(wide));
}

TEST(AesCipherTest, WrongPasswordGivesOtherBytesOfTheSameLength)
{
    std::string data = Bytes(100);
    CAesCipher writer(L"helyes");
    ASSERT_NE(writer.Encrypt(data.data(), (DWORD)data.size()), nullptr);
    std::string container = OutputOf(writer);
    CAesCipher reader(L"hibás");
    ASSERT_NE(reader.Decrypt(container.data(), (DWORD)container.size()), nullptr);
    EXPECT_EQ(reader.GetPlainLength(), 100u);
    EXPECT_NE(PlainOf(reader), data);
}

TEST(AesCipherTest, RefusesContainersItCannotReadWhole)
{
    CAesCipher writer("titok");
    std::string data = Bytes(20);
    ASSERT_NE(writer.Encrypt(data.data(), (DWORD)data.size()), nullptr);
    std::string good = OutputOf(writer); // 4 + 32 bytes

    std::string promisesMore = good;
    promisesMore[0] = 33; // 33 > 32 bytes of blocks
    std::string hugeLength = good;
    hugeLength.replace(0, 4, "\xff\xff\xff\xff");
    const struct
    {
        const char* name;
        std::string container;
    } cases[] = {
        {"empty", ""},
        {"four bytes: the container of an empty file", std::string(4, '\0')},
        {"length field beyond the blocks", promisesMore},
        {"length field near 2^32", hugeLength},
        {"last block partial", good.substr(0, good.size() - 1)},
        {"a byte after the last block", good + "x"},
        {"header and a partial block", good.substr(0, 5)},
    };
    for (const auto& c : cases) {
        CAesCipher reader("titok");
        EXPECT_EQ(reader.Decrypt(c.container.data(), (DWORD)c.container.size()), nullptr) << c.name;
        EXPECT_EQ(reader.GetPlainLength(), 0u) << c.name;
        EXPECT_EQ(reader.GetOutputLength(), 0u) << c.name;
    }
    CAesCipher reader("titok");
    EXPECT_EQ(reader.Decrypt(nullptr, 36), nullptr);
}

TEST(AesCipherTest, LengthFieldMayBeShorterThanTheBlocks)
{
    CAesCipher writer("titok");
    std::string data = Bytes(40);
    ASSERT_NE(writer.Encrypt(data.data(), (DWORD)data.size()), nullptr);
    std::string container = OutputOf(writer);
    container[0] = 5;
    CAesCipher reader("titok");
    ASSERT_NE(reader.Decrypt(container.data(), (DWORD)container.size()), nullptr);
    EXPECT_EQ(PlainOf(reader), data.substr(0, 5));
}

class AesFileTest : public ::testing::Test
{
protected:
    CTempFolder folder{L"aes_test"};
};

TEST_F(AesFileTest, FilesRoundTripUnderHungarianNames)
{
    const size_t sizes[] = {1, 16, 17, 65536, 1000003};
    CString source = folder / L"mentés_ő.xml";
    CString encrypted = folder / L"mentés_ő.enc";
    CString decrypted = folder / L"visszaállított_ű.xml";
    for (size_t size : sizes) {
        SCOPED_TRACE(size);
        std::string data = Bytes(size, (unsigned)size);
        ASSERT_TRUE(WriteFileBytes(source, data));
        CAesCipher writer(L"Árvíztűrő jelszó");
        ASSERT_TRUE(writer.EncryptFile(source, encrypted));
        std::string container = ReadFileBytes(encrypted);
        EXPECT_EQ(container, OutputOf(writer));
        EXPECT_EQ(container.size(), 4 + 16 * ((size + 15) / 16));

        CAesCipher reader(L"Árvíztűrő jelszó");
        ASSERT_TRUE(reader.DecryptFile(encrypted, decrypted));
        EXPECT_EQ(ReadFileBytes(decrypted), data);
    }
}

TEST_F(AesFileTest, EmptyFileGivesAContainerThatIsRefused)
{
    CString source = folder / L"üres.xml";
    CString encrypted = folder / L"üres.enc";
    CString decrypted = folder / L"üres_vissza.xml";
    ASSERT_TRUE(WriteFileBytes(source, ""));
    CAesCipher aes("titok");
    ASSERT_TRUE(aes.EncryptFile(source, encrypted));
    EXPECT_EQ(ReadFileBytes(encrypted), std::string(4, '\0'));
    EXPECT_FALSE(aes.DecryptFile(encrypted, decrypted));
    EXPECT_FALSE(FileExists(decrypted));
}

TEST_F(AesFileTest, RefusedOrMissingSourceCreatesNoDestination)
{
    CString source = folder / L"adat.xml";
    CString encrypted = folder / L"adat.enc";
    CString truncated = folder / L"csonka.enc";
    CString decrypted = folder / L"vissza.xml";
    ASSERT_TRUE(WriteFileBytes(source, Bytes(100)));
    CAesCipher aes("titok");
    ASSERT_TRUE(aes.EncryptFile(source, encrypted));
    std::string container = ReadFileBytes(encrypted);
    ASSERT_TRUE(WriteFileBytes(truncated, container.substr(0, container.size() - 7)));

    EXPECT_FALSE(aes.DecryptFile(truncated, decrypted));
    EXPECT_FALSE(aes.DecryptFile(folder / L"nincs.enc", decrypted));
    EXPECT_FALSE(aes.EncryptFile(folder / L"nincs.xml", decrypted));
    EXPECT_FALSE(FileExists(decrypted));
}

TEST(AesCipherStringTest, StoredPasswordMatchesIndependentVector)
{
    CAesCipher aes(kProgramKey);
    EXPECT_EQ(aes.EncryptString(L"jelszó"), L"MAAAAAAAGHDNOFNDCBGHGKHJHBLDNMILHODEMMOM");
    EXPECT_EQ(aes.DecryptString(L"MAAAAAAAGHDNOFNDCBGHGKHJHBLDNMILHODEMMOM"), L"jelszó");
}

TEST(AesCipherStringTest, LetterFormRoundTripsAndHasTheStatedLength)
{
    CAesCipher aes(kProgramKey);
    for (LPCWSTR text : {L"a", L"Árvíztűrő tükörfúrógép", L"12345678", L"123456789"}) {
        CString letters = aes.EncryptString(text);
        size_t bytes = 2 * wcslen(text);
        EXPECT_EQ((size_t)letters.GetLength(), 2 * (4 + 16 * ((bytes + 15) / 16))) << text;
        EXPECT_EQ(letters.SpanIncluding(L"ABCDEFGHIJKLMNOP"), letters) << text;
        EXPECT_EQ(aes.DecryptString(letters), text);
    }
}

TEST(AesCipherStringTest, EdgeCasesOfTheLetterForm)
{
    CAesCipher aes(kProgramKey);
    EXPECT_EQ(aes.EncryptString(L""), L"");
    EXPECT_EQ(aes.EncryptString(nullptr), L"");
    EXPECT_EQ(aes.DecryptString(L""), L"");
    EXPECT_EQ(aes.DecryptString(nullptr), L"");

    CString letters = aes.EncryptString(L"jelszó");
    // An odd last letter is ignored.
    EXPECT_EQ(aes.DecryptString(letters + L"Z"), L"jelszó");
    // Letters are not checked, only reckoned modulo 256: a first letter 16
    // places on and a second one a place back give the same byte.
    CString shifted = letters;
    ASSERT_EQ(shifted.Left(2), L"MA");
    shifted.SetAt(0, L'M' + 16);
    shifted.SetAt(1, L'A' - 1);
    EXPECT_EQ(aes.DecryptString(shifted), L"jelszó");
    // Too short for a container, or a container that is refused.
    EXPECT_EQ(aes.DecryptString(L"AAAAAAAA"), L"");
    EXPECT_EQ(aes.DecryptString(letters.Left(letters.GetLength() - 2)), L"");
    // A stored value under another key deciphers to something else.
    CAesCipher other("masik kulcs");
    EXPECT_NE(other.DecryptString(letters), L"jelszó");
}

} // namespace
