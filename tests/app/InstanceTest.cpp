// The instance list read from the registry, and the instance selection
// dialog driven as a user would (the test program's own application key
// holds the instances).
#include <gtest/gtest.h>
#include "InstanceTestSupport.h"
#include "app/InstanceList.h"
#include "support/TestSupport.h"

namespace {

using namespace testing_support;
using namespace instance_test;

class InstanceTest : public ::testing::Test
{
protected:
    void SetUp() override { ResetProfile(); }
    void TearDown() override { ResetProfile(); }
};

// ---------------------------------------------------------------------------
// Load

TEST_F(InstanceTest, LoadReadsEachSubkeyAndNamesTheUnnamed)
{
    const std::wstring name512(512, L'x');
    const std::wstring name600(600, L'y');
    const wchar_t kMissing[] = L"<missing>";
    // Two named instances come first; the case's own subkey is the third.
    struct Case
    {
        const char* what;
        DWORD nameType; // 0: no default value
        std::wstring name;
        int nameBytes; // -1: with its terminator
        DWORD repoType; // 0: none
        DWORD repoNr;
        DWORD emailType; // 0: none
        std::wstring shown, email, stored;
        int repoNrRead;
    } cases[] = {
        {"no name, no RepoNr: the position", 0, L"", -1, 0, 0, 0, L"Adatbázis #3", L"", L"Adatbázis #3", 0},
        {"no name, RepoNr 17", 0, L"", -1, REG_DWORD, 17, 0, L"Adatbázis #17", L"", L"Adatbázis #17", 17},
        {"RepoNr stored as a string is ignored", 0, L"", -1, REG_SZ, 17, 0, L"Adatbázis #3", L"", L"Adatbázis #3", 0},
        {"an empty name is replaced", REG_SZ, L"", -1, 0, 0, 0, L"Adatbázis #3", L"", L"Adatbázis #3", 0},
        {"a name of REG_EXPAND_SZ", REG_EXPAND_SZ, L"Bővített", -1, 0, 0, REG_SZ, L"Bővített", L"a@b.hu", L"Bővített", 0},
        {"RegEmail of another type", REG_SZ, L"Iroda", -1, REG_DWORD, 4, REG_DWORD, L"Iroda", L"", L"Iroda", 4},
        {"1024 bytes without a terminator", REG_SZ, name512, 1024, 0, 0, 0, name512, L"", name512, 0},
        {"a 600-character name is kept", REG_SZ, name600, -1, 0, 0, 0, L"Adatbázis #3", L"", name600, 0},
        {"a name of another type is kept", REG_BINARY, L"bin", -1, 0, 0, 0, L"Adatbázis #3", L"", kMissing, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetProfile();
        AddInstance(L"A_elso", L"Első");
        AddInstance(L"B_masodik", L"Második");
        SetNumber(L"C_harmadik", L"Other", 1); // makes the key
        if (c.nameType)
            SetValue(L"C_harmadik", NULL, c.nameType, c.name, c.nameBytes);
        if (c.repoType == REG_DWORD)
            SetNumber(L"C_harmadik", L"RepoNr", c.repoNr);
        else if (c.repoType == REG_SZ)
            SetValue(L"C_harmadik", L"RepoNr", REG_SZ, std::to_wstring(c.repoNr));
        if (c.emailType == REG_SZ)
            SetValue(L"C_harmadik", L"RegEmail", REG_SZ, c.email);
        else if (c.emailType == REG_DWORD)
            SetNumber(L"C_harmadik", L"RegEmail", 7);

        CInstanceList list;
        ASSERT_EQ(list.Load(), 3);
        ASSERT_EQ(list.GetCount(), 3);
        EXPECT_EQ(list[0].displayName, CString(L"Első"));
        EXPECT_EQ(list[2].key, CString(L"C_harmadik"));
        EXPECT_EQ(std::wstring(list[2].displayName.GetString()), c.shown);
        EXPECT_EQ(std::wstring(list[2].email.GetString()), c.email);
        EXPECT_EQ(list[2].repoNr, c.repoNrRead);
        if (c.nameType == REG_BINARY) {
            CString raw;
            EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, AppKeyPath(L"C_harmadik"), NULL, raw)) << "left as binary";
        } else {
            EXPECT_EQ(Stored(L"C_harmadik", NULL), c.stored);
        }
    }
}

// Sets the DACL of a subkey of the application key: empty (nobody may open
// it, its owner may still change the DACL) or none (everybody may).
bool SetSubkeyDacl(LPCWSTR key, bool locked)
{
    HKEY h = NULL;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, AppKeyPath(key), 0, WRITE_DAC, &h) != ERROR_SUCCESS)
        return false;
    SECURITY_DESCRIPTOR sd;
    ACL empty;
    bool ok = InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
              InitializeAcl(&empty, sizeof(empty), ACL_REVISION) &&
              SetSecurityDescriptorDacl(&sd, TRUE, locked ? &empty : NULL, FALSE) &&
              RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, &sd) == ERROR_SUCCESS;
    RegCloseKey(h);
    return ok;
}

TEST_F(InstanceTest, ASubkeyThatCannotBeOpenedIsNamedByItsPosition)
{
    AddInstance(L"A_elso", L"Első");
    AddInstance(L"B_zart", L"Zárt", L"zart@pelda.hu", 5);
    AddInstance(L"C_harmadik", L"Harmadik");
    ASSERT_TRUE(SetSubkeyDacl(L"B_zart", true));
    CInstanceList list;
    int count = list.Load();
    ASSERT_TRUE(SetSubkeyDacl(L"B_zart", false));
    ASSERT_EQ(count, 3);
    EXPECT_EQ(list[1].key, CString(L"B_zart"));
    EXPECT_EQ(list[1].displayName, CString(L"Adatbázis #2"));
    EXPECT_EQ(list[1].email, CString());
    EXPECT_EQ(list[1].repoNr, 0);
    EXPECT_EQ(list[2].displayName, CString(L"Harmadik"));
    EXPECT_EQ(Stored(L"B_zart", NULL), L"Zárt") << "nothing is written";
}

TEST_F(InstanceTest, ResolveAndGetKey)
{
    CInstanceList empty;
    EXPECT_EQ(empty.Resolve(L""), CString(L"DefaultInstance"));
    EXPECT_EQ(empty.Resolve(NULL), CString(L"DefaultInstance"));
    EXPECT_EQ(empty.Resolve(L"Bármi"), CString(L"Bármi"));

    AddInstance(L"Iroda", L"Iroda");
    AddInstance(L"Otthon", L"Otthon");
    CInstanceList list;
    EXPECT_EQ(list.Resolve(L"IRODA"), CString(L"Iroda"));
    EXPECT_EQ(list.Resolve(L"otthon"), CString(L"Otthon"));
    EXPECT_EQ(list.Resolve(L"Új"), CString(L"Új"));
    ASSERT_EQ(list.GetCount(), 2);
    struct { int index; LPCWSTR key; } keys[] = {
        {-1, L"DefaultInstance"}, {0, L"Iroda"}, {1, L"Otthon"}, {2, L"DefaultInstance"}, {1000, L"DefaultInstance"}};
    for (const auto& k : keys)
        EXPECT_EQ(list.GetKey(k.index), CString(k.key)) << k.index;
    EXPECT_EQ(CString(GetDefaultInstanceKey()), CString(L"DefaultInstance"));
}

TEST_F(InstanceTest, TheTemplateListsKeyIsNoInstanceOfTheProgram)
{
    // The program's own key holds the template list's key beside the
    // instances: asked for by name, the default instance starts instead.
    LPCWSTR name = App()->m_pszAppName;
    App()->m_pszAppName = L"Folionex";
    CInstanceList list;
    CString sablon = list.Resolve(L"SABLON");
    CString other = list.Resolve(L"Sablonok");
    App()->m_pszAppName = name;
    EXPECT_EQ(sablon, CString(L"DefaultInstance"));
    EXPECT_EQ(other, CString(L"Sablonok"));
    // Under another application key the name is an instance like any other.
    EXPECT_EQ(CInstanceList().Resolve(L"Sablon"), CString(L"Sablon"));
}

// ---------------------------------------------------------------------------
// The selection dialog

TEST_F(InstanceTest, TheComboShowsOneLinePerInstance)
{
    AddInstance(L"A_Iroda", L"Iroda", L"iroda@pelda.hu", 5);
    AddInstance(L"B_Otthon", L"Otthon");
    AddInstance(L"C_Fiok", L"Fiók", L"fiok@pelda.hu");
    AddInstance(L"D_Szam", L"Számozott", NULL, 7);
    CInstanceList list;
    list.Load();
    ComboState seen;
    EXPECT_EQ(RunSelectDialog(list, [&](HWND wnd) {
                  seen = ReadCombo(wnd);
                  EXPECT_EQ(Text(Control(wnd, IDOK)), CString(L"&Kiválaszt"));
                  EXPECT_EQ(Text(Control(wnd, 1121)), CString(L"Lista &frissítése"));
                  EXPECT_EQ(Text(Control(wnd, IDCANCEL)), CString(L"Ki&lép"));
                  EXPECT_TRUE(ControlByText(wnd, L"Elérhető adatállományok:"));
                  ClickId(wnd, IDCANCEL);
              }),
              IDCANCEL);
    std::vector<std::wstring> want = {L"Iroda - iroda@pelda.hu (#5) - A_Iroda", L"Otthon", L"Fiók - fiok@pelda.hu",
                                      L"Számozott (#7) - D_Szam"};
    EXPECT_EQ(seen.lines, want);
}

TEST_F(InstanceTest, LastRunSelectsItsLineExactly)
{
    struct Case { LPCWSTR lastRun; int selection; } cases[] = {
        {L"B_Otthon", 1}, {L"C_Harmadik", 2}, {L"A_Iroda", 0}, {L"b_otthon", 0}, {L"Nincs ilyen", 0}, {NULL, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lastRun ? CStringA(c.lastRun).GetString() : "no LastRun");
        ResetProfile();
        AddInstance(L"A_Iroda", L"Iroda");
        AddInstance(L"B_Otthon", L"Otthon");
        AddInstance(L"C_Harmadik", L"Harmadik");
        if (c.lastRun)
            App()->WriteProfileString(L"", L"LastRun", c.lastRun);
        CInstanceList list;
        list.Load();
        int selection = -2;
        EXPECT_EQ(RunSelectDialog(list, [&](HWND wnd) {
                      selection = ReadCombo(wnd).selection;
                      PressKey(wnd, VK_ESCAPE);
                  }),
                  IDCANCEL);
        EXPECT_EQ(selection, c.selection);
    }
}

TEST_F(InstanceTest, SelectGivesTheChosenIndexAndEveryWayOutCancels)
{
    AddInstance(L"A_Iroda", L"Iroda");
    AddInstance(L"B_Otthon", L"Otthon");
    AddInstance(L"C_Harmadik", L"Harmadik");
    CInstanceList list;
    list.Load();
    int chosen = -2;
    EXPECT_EQ(RunSelectDialog(list, [&](HWND wnd) {
                  SendMessageW(Control(wnd, 1115), CB_SETCURSEL, 2, 0);
                  ClickId(wnd, IDOK);
              }, &chosen),
              IDOK);
    EXPECT_EQ(chosen, 2);
    EXPECT_EQ(list.GetKey(chosen), CString(L"C_Harmadik"));

    struct { const char* what; std::function<void(HWND)> act; } exits[] = {
        {"Ki&lép", [](HWND wnd) { ClickId(wnd, IDCANCEL); }},
        {"Esc", [](HWND wnd) { PressKey(Control(wnd, 1115), VK_ESCAPE); }},
        {"close box", [](HWND wnd) { CloseBox(wnd); }},
    };
    for (const auto& e : exits) {
        SCOPED_TRACE(e.what);
        chosen = -2;
        EXPECT_EQ(RunSelectDialog(list, e.act, &chosen), IDCANCEL);
        EXPECT_EQ(chosen, -1);
    }
}

TEST_F(InstanceTest, AnEmptyComboSelectsTheDefaultInstance)
{
    CInstanceList list;
    EXPECT_EQ(list.Load(), 0);
    int chosen = -2;
    ComboState seen;
    EXPECT_EQ(RunSelectDialog(list, [&](HWND wnd) {
                  seen = ReadCombo(wnd);
                  ClickId(wnd, IDOK);
              }, &chosen),
              IDOK);
    EXPECT_TRUE(seen.lines.empty());
    EXPECT_EQ(chosen, -1);
    EXPECT_EQ(list.GetKey(chosen), CString(L"DefaultInstance"));
}

// A picture for the documentation: FOLIONEX_SCREENSHOTS names a folder.
TEST_F(InstanceTest, Screenshot)
{
    if (ScreenshotFolder().IsEmpty())
        GTEST_SKIP() << "FOLIONEX_SCREENSHOTS is not set";
    AddInstance(L"Instance_12_iroda_pelda.hu", L"Irodai ügyek", L"iroda@pelda.hu", 12);
    AddInstance(L"Kovacs", L"Kovács és Társa Ügyvédi Iroda");
    AddInstance(L"Teszt", L"Próba adatállomány", NULL, 3);
    App()->WriteProfileString(L"", L"LastRun", L"Kovacs");
    CInstanceList list;
    list.Load();
    bool saved = false;
    RunSelectDialog(list, [&](HWND wnd) {
        saved = SaveShot(wnd, L"instance-select.bmp");
        ClickId(wnd, IDCANCEL);
    });
    EXPECT_TRUE(saved);
}

} // namespace
