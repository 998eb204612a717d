// The instance selection's refresh from the online account against the
// web-service stand-in (ctest fixture "webservice", 127.0.0.1:80): the
// account dialog driven as a user would, the request's bytes, the merge of
// the data sets into the registry instances, and hostile replies.
#include <gtest/gtest.h>
#include <algorithm>
#include "InstanceTestSupport.h"
#include "app/InstanceSelectDlg.h"
#include "foundation/AppSettings.h"
#include "foundation/Conversions.h"
#include "foundation/Log.h"
#include "support/TestSupport.h"
#include "support/WebServiceControl.h"

namespace {

using namespace testing_support;
using namespace instance_test;

const char kGetRepos[] = "/VApi/GetRepos.aspx";
const wchar_t kRefusedCaption[] = L"Adatállományok listája";

struct Inst
{
    std::wstring key, name, email;
    int repoNr;
    bool operator==(const Inst& o) const
    {
        return key == o.key && name == o.name && email == o.email && repoNr == o.repoNr;
    }
};

void PrintTo(const Inst& i, std::ostream* os)
{
    *os << "{" << CStringA(i.key.c_str()).GetString() << ", " << CStringA(i.name.c_str()).GetString() << ", "
        << CStringA(i.email.c_str()).GetString() << ", " << i.repoNr << "}";
}

// The section of the settings object at the start-up choice holds the
// service's address, so it is an instance too; bound to an account of its
// own, the merge leaves it alone.
const wchar_t kSettingsKey[] = L"DefaultInstance";

// Every subkey of the application key but the settings' one, with what it
// holds, by key.
std::vector<Inst> Registry()
{
    std::vector<Inst> out;
    for (const std::wstring& key : Subkeys()) {
        if (key == kSettingsKey)
            continue;
        std::wstring email = Stored(key.c_str(), L"RegEmail");
        out.push_back({key, Stored(key.c_str(), NULL), email == L"<missing>" ? L"" : email,
                       std::max(0, StoredNumber(key.c_str(), L"RepoNr"))});
    }
    std::sort(out.begin(), out.end(), [](const Inst& a, const Inst& b) { return a.key < b.key; });
    return out;
}

void Fill(const std::vector<Inst>& instances)
{
    for (const Inst& i : instances)
        AddInstance(i.key.c_str(), i.name.c_str(), i.email.empty() ? NULL : i.email.c_str(), i.repoNr);
}

// The selection dialog whose refresh says when it has ended: after the
// account dialog, the request and whatever the request led to.
class CRefreshWatchedDlg : public CInstanceSelectDlg
{
public:
    explicit CRefreshWatchedDlg(CInstanceList& list)
        : CInstanceSelectDlg(list, NULL), refreshEnded(CreateEventW(NULL, TRUE, FALSE, NULL))
    {
    }
    ~CRefreshWatchedDlg() { CloseHandle(refreshEnded); }

    HANDLE refreshEnded;

protected:
    afx_msg void OnRefresh()
    {
        ResetEvent(refreshEnded);
        OnBnClickedRefreshList();
        SetEvent(refreshEnded);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CRefreshWatchedDlg, CInstanceSelectDlg)
    ON_BN_CLICKED(1121, &CRefreshWatchedDlg::OnRefresh)
END_MESSAGE_MAP()

class InstanceOnlineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetProfile();
        ASSERT_TRUE(StandIn(L"/_control/reset")) << "the web-service stand-in does not answer on 127.0.0.1:80";
        // At the start-up choice the instance is still the default one.
        settings.SetInstanceKey(kSettingsKey);
        PointAtStandIn();
        LogResetPath();
        logPath = DataFolderPath(L"DefaultInstance") + CAppSettings::GetExeBaseName() + L".log";
        DeleteFileW(logPath);
    }
    void TearDown() override
    {
        StandIn(L"/_control/reset");
        ResetProfile();
    }

    void PointAtStandIn()
    {
        settings.WriteProfileString(L"Server", L"http://127.0.0.1/");
        AddInstance(kSettingsKey, L"Beállítások", L"beallitas@teszt.hu", 999);
    }

    std::wstring LogText()
    {
        std::string bytes = ReadFileBytes(logPath);
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    }

    // The account on the stand-in: data sets as "nr|name|type".
    void Account(const std::wstring& email, const std::wstring& password, const std::vector<std::wstring>& repos)
    {
        std::wstring body = L"email=" + email + L"\npassword=" + password + L"\n";
        for (const auto& r : repos)
            body += L"repo=" + r + L"\n";
        ASSERT_TRUE(StandIn(L"/_control/account", WideToUtf8(body.c_str()).GetString()));
    }

    // The refresh as a user does it: "Lista &frissítése", the account
    // dialog's texts, OK; then what the account dialog showed first, and
    // the combo once the refresh has ended.
    struct Refresh
    {
        CString offered;
        ComboState combo;
        bool refusedBox = false;
        bool shownAgain = false;
    };
    Refresh RunRefresh(CInstanceList& list, LPCWSTR email, LPCWSTR password, LPCWSTR picture = NULL)
    {
        Refresh seen;
        CRefreshWatchedDlg dlg(list);
        RunSelectDialog(dlg, [&](HWND wnd) {
            ClickId(wnd, 1121);
            HWND account = WaitForWindow(L"#32770", kAccountCaption);
            ASSERT_TRUE(account);
            SendMessageW(account, WM_NULL, 0, 0);
            seen.offered = Text(Control(account, 1122));
            EXPECT_TRUE(GetWindowLongW(Control(account, 1063), GWL_STYLE) & ES_PASSWORD);
            if (email) {
                SetWindowTextW(Control(account, 1122), email);
            }
            SetWindowTextW(Control(account, 1063), password);
            if (picture && !ScreenshotFolder().IsEmpty()) {
                EXPECT_TRUE(SaveShot(account, picture));
            }
            ClickId(account, IDOK);
            EXPECT_TRUE(WaitForWindowGone(account, 20000));
            // Whatever follows the request: refused texts show a box, then
            // the account dialog again as typed; a failed request shows the
            // account dialog again; otherwise the refresh ends.
            HWND box = NULL, again = NULL;
            bool ended = false;
            auto next = [&] {
                box = FindTopWindow(NULL, kRefusedCaption);
                again = FindTopWindow(L"#32770", kAccountCaption);
                ended = WaitForSingleObject(dlg.refreshEnded, 0) == WAIT_OBJECT_0;
                return box || again || ended;
            };
            ASSERT_TRUE(WaitUntil(next, 20000)) << "the refresh neither ended nor showed a window";
            if (box) {
                seen.refusedBox = true;
                PressKey(box, VK_RETURN);
                EXPECT_TRUE(WaitForWindowGone(box));
                ASSERT_TRUE(WaitUntil([&] { return next() && !box; }, 5000));
            }
            if (again) {
                seen.shownAgain = true;
                SendMessageW(again, WM_NULL, 0, 0);
                if (email) {
                    EXPECT_EQ(Text(Control(again, 1122)), CString(email));
                }
                ClickId(again, IDCANCEL);
                EXPECT_TRUE(WaitForWindowGone(again));
            }
            EXPECT_EQ(WaitForSingleObject(dlg.refreshEnded, 5000), WAIT_OBJECT_0) << "the refresh did not end";
            SendMessageW(wnd, WM_NULL, 0, 0);
            seen.combo = ReadCombo(wnd);
            ClickId(wnd, IDCANCEL);
        });
        return seen;
    }

    // The combo shows the list's entries, line for line.
    void ExpectComboMatchesList(const ComboState& combo, const CInstanceList& list)
    {
        ASSERT_EQ((int)combo.lines.size(), list.GetCount());
        for (int i = 0; i < list.GetCount(); ++i)
            EXPECT_EQ(combo.lines[i], std::wstring(CInstanceSelectDlg::ComboLine(list[i]).GetString()));
    }

    CAppSettings settings;
    CString logPath;
};

// ---------------------------------------------------------------------------
// As the user does it

TEST_F(InstanceOnlineTest, RefreshAsksTheAccountAndAddsItsDataSets)
{
    // Keys after the settings' one: the last e-mail is the offered one.
    Fill({{L"E_Elso", L"Első", L"elso@pelda.hu", 0}, {L"F_Masodik", L"Második", L"", 5},
          {L"G_Iroda", L"Iroda", L"iroda@pelda.hu", 0}});
    Account(L"iroda@pelda.hu", L"titok áéóöü", {L"12|Irodai ügyek|2", L"13|Bérletek|2", L"14|Más program|3"});
    CInstanceList list;
    list.Load();
    Refresh seen = RunRefresh(list, NULL, L"titok áéóöü", L"account-dialog.bmp");
    EXPECT_EQ(seen.offered, CString(L"iroda@pelda.hu")) << "the last e-mail of the list";
    EXPECT_FALSE(seen.refusedBox);
    EXPECT_FALSE(seen.shownAgain);

    auto requests = StandInRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].path, kGetRepos);
    EXPECT_EQ(requests[0].body, std::string("ProgType=2\nEmail=iroda@pelda.hu\nPwd=titok \xE1\xE9\xF3\xF6\xFC"));

    // 12 binds the account's unbound instance, 13 a new subkey; 14 is
    // another program's.
    std::vector<Inst> want = {{L"E_Elso", L"Első", L"elso@pelda.hu", 0},
                              {L"F_Masodik", L"Második", L"", 5},
                              {L"G_Iroda", L"Irodai ügyek", L"iroda@pelda.hu", 12},
                              {L"Instance_13_iroda_pelda.hu", L"Bérletek", L"iroda@pelda.hu", 13}};
    EXPECT_EQ(Registry(), want);
    EXPECT_EQ(list.GetCount(), 5) << "the caller's list is loaded again";
    ExpectComboMatchesList(seen.combo, list);

    std::wstring log = LogText();
    EXPECT_NE(log.find(L"GetRepoList (iroda@pelda.hu)\n"), std::wstring::npos);
    EXPECT_EQ(log.find(L"titok"), std::wstring::npos) << "the password never reaches the log";
}

TEST_F(InstanceOnlineTest, TextsThatCannotBeSentSendNothingAndAskAgain)
{
    Fill({{L"A_Iroda", L"Iroda", L"", 0}});
    struct Case { LPCWSTR email, password; } cases[] = {
        {L"erdős@pelda.hu", L"titok"},
        {L"iroda@pelda.hu", L"tűzfal"},
        {L"IRODA@PELDA.HU", L"ŐSZ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CStringA(c.email).GetString());
        DeleteFileW(logPath);
        CInstanceList list;
        list.Load();
        Refresh seen = RunRefresh(list, c.email, c.password);
        EXPECT_TRUE(seen.refusedBox);
        EXPECT_TRUE(seen.shownAgain);
        EXPECT_TRUE(StandInRequests().empty());
        EXPECT_EQ(Registry(), (std::vector<Inst>{{L"A_Iroda", L"Iroda", L"", 0}}));
        ExpectComboMatchesList(seen.combo, list);
        std::wstring log = LogText();
        EXPECT_NE(log.find(L"cannot be sent; no request"), std::wstring::npos);
        EXPECT_EQ(log.find(c.password), std::wstring::npos);
    }
}

TEST_F(InstanceOnlineTest, AFailedRequestShowsTheAccountDialogAgain)
{
    struct Case { const char* what; std::string fault; bool error = false; } cases[] = {
        {"HTTP 500", "path=/VApi/GetRepos.aspx\nmode=status\nstatus=500\n"},
        {"dropped connection", "path=/VApi/GetRepos.aspx\nmode=drop\n"},
        // The account dialog comes back only after the slow request.
        {"HTTP 500 after two seconds", "path=/VApi/GetRepos.aspx\nmode=stall\nafter=-1\nseconds=2\n", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetProfile();
        PointAtStandIn();
        Fill({{L"A_Iroda", L"Iroda", L"iroda@pelda.hu", 0}});
        Account(L"iroda@pelda.hu", L"titok", {L"12|Irodai ügyek|2"});
        ASSERT_TRUE(StandIn(L"/_control/fault", c.fault));
        if (c.error) {
            ASSERT_TRUE(StandInReply(kGetRepos, 500, "ErrorCode=500\n"));
        }
        CInstanceList list;
        list.Load();
        Refresh seen = RunRefresh(list, NULL, L"titok");
        EXPECT_FALSE(seen.refusedBox);
        EXPECT_TRUE(seen.shownAgain);
        EXPECT_EQ(Registry(), (std::vector<Inst>{{L"A_Iroda", L"Iroda", L"iroda@pelda.hu", 0}}));
        ExpectComboMatchesList(seen.combo, list);
    }
}

TEST_F(InstanceOnlineTest, ABackslashInTheEmailMakesNoNestedKey)
{
    Fill({{L"A_Iroda", L"Iroda", L"iroda@pelda.hu", 3}});
    ASSERT_TRUE(StandInReply(kGetRepos, 200, "Count=1\nProgType0=2\nRepoNr0=3\nRepoName0=Fiók\n"));
    CInstanceList list;
    list.Load();
    Refresh seen = RunRefresh(list, L"iroda\\fiok+1@pelda.hu", L"titok");
    EXPECT_FALSE(seen.shownAgain);
    std::vector<Inst> want = {{L"A_Iroda", L"Iroda", L"iroda@pelda.hu", 3},
                              {L"Instance_3_iroda_fiok_1_pelda.hu", L"Fiók", L"iroda\\fiok+1@pelda.hu", 3}};
    EXPECT_EQ(Registry(), want);
    ExpectComboMatchesList(seen.combo, list);
}

// ---------------------------------------------------------------------------
// The merge, through the dialog's operations

TEST_F(InstanceOnlineTest, MergeNamesBindsOrCreates)
{
    const std::wstring email = L"iroda@pelda.hu";
    struct Case
    {
        const char* what;
        std::vector<Inst> before;
        std::string reply;
        std::vector<Inst> after;
    } cases[] = {
        {"same number, e-mail and name: nothing",
         {{L"A", L"Irodai ügyek", email, 12}},
         "Count=1\nProgType0=2\nRepoNr0=12\nRepoName0=Irodai \xC3\xBCgyek\n",
         {{L"A", L"Irodai ügyek", email, 12}}},
        {"same number and e-mail, another name: renamed",
         {{L"A", L"Régi név", email, 12}},
         "Count=1\nProgType0=2\nRepoNr0=12\nRepoName0=\xC3\x9Aj n\xC3\xA9v\n",
         {{L"A", L"Új név", email, 12}}},
        {"two data sets, one unbound instance of the account: bound, then a new subkey",
         {{L"A", L"Helyi", email, 0}},
         "Count=2\nProgType0=2\nRepoNr0=12\nRepoName0=Els\xC5\x91\nProgType1=2\nRepoNr1=13\nRepoName1=M\xC3\xA1sodik\n",
         {{L"A", L"Első", email, 12}, {L"Instance_13_iroda_pelda.hu", L"Második", email, 13}}},
        {"an instance without account is bound",
         {{L"A", L"Helyi", L"", 0}, {L"B", L"Kötött", L"mas@pelda.hu", 4}},
         "Count=1\nProgType0=2\nRepoNr0=7\nRepoName0=K\xC3\xB6nyvel\xC3\xA9s\n",
         {{L"A", L"Könyvelés", email, 7}, {L"B", L"Kötött", L"mas@pelda.hu", 4}}},
        {"another letter case of the e-mail is another account",
         {{L"A", L"Nagybetűs", L"Iroda@Pelda.hu", 0}},
         "Count=1\nProgType0=2\nRepoNr0=5\nRepoName0=Kicsi\n",
         {{L"A", L"Nagybetűs", L"Iroda@Pelda.hu", 0}, {L"Instance_5_iroda_pelda.hu", L"Kicsi", email, 5}}},
        {"a new key that an instance has in another letter case is not written over",
         {{L"Instance_5_Iroda_pelda.hu", L"Másé", L"Iroda@pelda.hu", 5}},
         "Count=1\nProgType0=2\nRepoNr0=5\nRepoName0=Kicsi\n",
         {{L"Instance_5_Iroda_pelda.hu", L"Másé", L"Iroda@pelda.hu", 5},
          {L"Instance_5_iroda_pelda.hu_2", L"Kicsi", email, 5}}},
        {"another e-mail that gives the same key: the next free one",
         {{L"Instance_5_iroda_pelda.hu", L"Plusz", L"iroda+pelda.hu", 5},
          {L"Instance_5_iroda_pelda.hu_2", L"Ketto", L"iroda_pelda.hu", 5}},
         "Count=1\nProgType0=2\nRepoNr0=5\nRepoName0=Harmadik\n",
         {{L"Instance_5_iroda_pelda.hu", L"Plusz", L"iroda+pelda.hu", 5},
          {L"Instance_5_iroda_pelda.hu_2", L"Ketto", L"iroda_pelda.hu", 5},
          {L"Instance_5_iroda_pelda.hu_3", L"Harmadik", email, 5}}},
        {"another program type is ignored",
         {{L"A", L"Helyi", L"", 0}},
         "Count=2\nProgType0=3\nRepoNr0=5\nRepoName0=M\xC3\xA1s\nProgType1=1\nRepoNr1=6\nRepoName1=Megint\n",
         {{L"A", L"Helyi", L"", 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetProfile();
        PointAtStandIn();
        Fill(c.before);
        ASSERT_TRUE(StandInReply(kGetRepos, 200, c.reply, 2));
        CInstanceList list;
        list.Load();
        CInstanceSelectDlg dlg(list, NULL);
        ASSERT_TRUE(dlg.GetRepoList(email.c_str(), L"titok"));
        bool changed = dlg.MergeRepoList();
        EXPECT_EQ(changed, c.before != c.after);
        EXPECT_EQ(Registry(), c.after);
        EXPECT_EQ(list.GetCount(), (int)c.after.size() + 1);
        // The same refresh again writes nothing.
        ASSERT_TRUE(dlg.GetRepoList(email.c_str(), L"titok"));
        EXPECT_FALSE(dlg.MergeRepoList());
        EXPECT_EQ(Registry(), c.after);
    }
}

// The key of a new instance names its registry key and its data folder: a
// character that either cannot hold becomes "_", so no e-mail reaches
// another key or a folder outside the program's own.
TEST_F(InstanceOnlineTest, ANewKeyIsOneARegistryKeyAndAFolderCanHave)
{
    struct Case
    {
        LPCWSTR email, key;
    } cases[] = {
        {L"a/../../../x@pelda.hu", L"Instance_3_a_.._.._.._x_pelda.hu"},
        {L"..\\..\\evil@pelda.hu", L"Instance_3_.._.._evil_pelda.hu"},
        {L"x:y?z*w\"<>|@p.hu", L"Instance_3_x_y_z_w_____p.hu"},
        {L"pont.@p.hu.", L"Instance_3_pont._p.hu"},
        {L"szóköz @p.hu  ", L"Instance_3_szóköz _p.hu"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(CStringA(c.email).GetString());
        ResetProfile();
        PointAtStandIn();
        ASSERT_TRUE(StandInReply(kGetRepos, 200, "Count=1\nProgType0=2\nRepoNr0=3\nRepoName0=Fi\xC3\xB3k\n"));
        CInstanceList list;
        list.Load();
        CInstanceSelectDlg dlg(list, NULL);
        ASSERT_TRUE(dlg.GetRepoList(c.email, L"titok"));
        EXPECT_TRUE(dlg.MergeRepoList());
        EXPECT_EQ(Registry(), (std::vector<Inst>{{c.key, L"Fiók", c.email, 3}}));
        EXPECT_TRUE(CAppSettings::IsUsableInstanceKey(c.key));
    }
}

TEST_F(InstanceOnlineTest, HostileRepliesEndCleanly)
{
    const std::vector<Inst> before = {{L"A", L"Helyi", L"", 0}};
    struct Case
    {
        const char* what;
        int status;
        std::string reply;
        bool result;
        size_t dataSets;
        std::vector<Inst> after;
    } cases[] = {
        {"a huge Count ends with the pairs", 200, "Count=2147483647\nProgType0=2\nRepoNr0=4\nRepoName0=Egy\n", true, 1,
         {{L"A", L"Egy", L"iroda@pelda.hu", 4}}},
        {"a negative Count reads nothing", 200, "Count=-5\nProgType0=2\nRepoNr0=4\nRepoName0=Egy\n", true, 0, before},
        {"a Count of text reads nothing", 200, "Count=sok\nProgType0=2\nRepoNr0=4\nRepoName0=Egy\n", true, 0, before},
        {"missing keys", 200, "Count=3\nProgType1=2\nProgType2=2\nRepoName2=N\xC3\xA9vtelen\n", true, 2, before},
        {"RepoNr not a number", 200,
         "Count=6\nProgType0=2\nRepoNr0=abc\nProgType1=2\nRepoNr1=12x\nProgType2=2\nRepoNr2=-3\nProgType3=2\n"
         "RepoNr3=0\nProgType4=2\nRepoNr4=99999999999\nProgType5=2\nRepoNr5=+7\n",
         true, 6, before},
        {"RepoNr holding a backslash", 200, "Count=1\nProgType0=2\nRepoNr0=1\\..\\..\\Evil\nRepoName0=Rossz\n", true, 1,
         before},
        {"a name holding a tab is kept whole", 200, "Count=1\nProgType0=2\nRepoNr0=9\nRepoName0=Egy\tK\xC3\xA9t\n", true, 1,
         {{L"A", L"Egy\tKét", L"iroda@pelda.hu", 9}}},
        {"no pairs", 200, "nincs itt semmi\n=csak \xC3\xA9rt\xC3\xA9k\n", false, 0, before},
        {"an empty body", 200, "", false, 0, before},
        {"binary garbage", 200, std::string("\x00\xFF\xFE=\x01\n\x80\x81", 10), false, 0, before},
        {"HTTP 500 with pairs", 500, "Count=1\nProgType0=2\nRepoNr0=4\nRepoName0=Egy\n", false, 0, before},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetProfile();
        PointAtStandIn();
        Fill(before);
        ASSERT_TRUE(StandInReply(kGetRepos, c.status, c.reply));
        CInstanceList list;
        list.Load();
        CInstanceSelectDlg dlg(list, NULL);
        EXPECT_EQ(dlg.GetRepoList(L"iroda@pelda.hu", L"titok"), c.result);
        EXPECT_EQ(dlg.m_repoList.size(), c.dataSets);
        dlg.MergeRepoList();
        EXPECT_EQ(Registry(), c.after);
    }
}

TEST(InstanceRepoListBody, OneBytePerCharacterOrNothing)
{
    struct Case { LPCWSTR email, password; bool ok; std::string body; } cases[] = {
        {L"a@b.hu", L"jelszó", true, "ProgType=2\nEmail=a@b.hu\nPwd=jelsz\xF3"},
        {L"", L"", true, "ProgType=2\nEmail=\nPwd="},
        {L"ÿ@b.hu", L"x", true, "ProgType=2\nEmail=\xFF@b.hu\nPwd=x"},
        {L"ő@b.hu", L"x", false, ""},
        {L"a@b.hu", L"Ű", false, ""},
        {L"a@b.hu", L"\x20AC", false, ""},
        {L"a@b.hu", L"x\nEmail=masik", false, ""},
        {L"a\tb@c.hu", L"x", false, ""},
    };
    for (const Case& c : cases) {
        std::string body = "left over";
        EXPECT_EQ(CInstanceSelectDlg::BuildRepoListBody(c.email, c.password, body), c.ok)
            << CStringA(c.email).GetString();
        EXPECT_EQ(body, c.body);
    }
}

} // namespace
