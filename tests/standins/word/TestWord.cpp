#include "TestWord.h"
#include "WordDocument.h"
#include "WordStandin.h"
#include "support/TestSupport.h"

namespace word_standin {

using testing_support::ReadFileBytes;
using testing_support::RemoveFolder;
using testing_support::WriteFileBytes;

namespace {

std::wstring LocalServerKey()
{
    return std::wstring(L"CLSID\\") + kClsidText + L"\\LocalServer32";
}

bool SetDefault(const std::wstring& subKey, const std::wstring& value)
{
    HKEY h;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), 0, NULL, 0, KEY_WRITE, NULL, &h, NULL) != ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExW(h, NULL, 0, REG_SZ, (const BYTE*)value.c_str(), (DWORD)(value.size() + 1) * 2);
    RegCloseKey(h);
    return rc == ERROR_SUCCESS;
}

// "start pid=12" -> 12 for the prefix "start pid=".
std::vector<std::wstring> Pids(const std::vector<std::wstring>& lines, const std::wstring& prefix)
{
    std::vector<std::wstring> pids;
    for (const auto& l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0)
            pids.push_back(l.substr(prefix.size(), l.find(L' ', prefix.size()) - prefix.size()));
    return pids;
}

} // namespace

CTestWord::CTestWord()
{
    wchar_t temp[MAX_PATH] = {0};
    GetTempPathW(MAX_PATH, temp);
    m_folder = std::wstring(temp) + L"folionex_word_" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    RemoveFolder(m_folder.c_str());
    CreateDirectoryW(m_folder.c_str(), NULL);
    SetEnvironmentVariableW(kDataVariable, m_folder.c_str());
    wchar_t buf[MAX_PATH * 2] = {0};
    LONG size = sizeof(buf);
    if (RegQueryValueW(HKEY_CLASSES_ROOT, LocalServerKey().c_str(), buf, &size) == ERROR_SUCCESS)
        m_serverPath = buf;
}

CTestWord::~CTestWord()
{
    RestoreRegistration();
    SetEnvironmentVariableW(kDataVariable, NULL);
    RemoveFolder(m_folder.c_str());
}

void CTestWord::FailMember(LPCWSTR member, HRESULT hr, UINT argErr, WORD code, LPCWSTR description, bool atNames)
{
    wchar_t hex[16];
    swprintf(hex, 16, L"0x%08lX", (unsigned long)hr);
    std::wstring text = std::wstring(L"Fail.Member=") + member + L"\nFail.HResult=" + hex +
                        L"\nFail.ArgErr=" + std::to_wstring(argErr) + L"\nFail.Code=" + std::to_wstring(code) +
                        L"\nFail.At=" + (atNames ? L"GetIDsOfNames" : L"Invoke") + L"\n";
    if (description)
        text += std::wstring(L"Fail.Description=") + description + L"\n";
    WriteFileBytes((m_folder + kControlFile).c_str(), ToUtf8(text));
}

void CTestWord::ClearFailure()
{
    DeleteFileW((m_folder + kControlFile).c_str());
}

std::vector<std::wstring> CTestWord::Calls() const
{
    return testing_support::SplitLines(FromUtf8(ReadFileBytes((m_folder + kCallsFile).c_str())));
}

void CTestWord::ClearCalls()
{
    DeleteFileW((m_folder + kCallsFile).c_str());
}

int CTestWord::ServersStarted() const
{
    return (int)Pids(Calls(), L"start pid=").size();
}

bool CTestWord::WaitForServersEnded(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        auto lines = Calls();
        auto started = Pids(lines, L"start pid="), ended = Pids(lines, L"end pid=");
        bool all = true;
        for (const auto& pid : started) {
            bool found = false;
            for (const auto& e : ended)
                found = found || e == pid;
            all = all && found;
        }
        if (all) {
            // The line comes last in the server's life: wait for the process itself too.
            for (const auto& pid : started) {
                HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, wcstoul(pid.c_str(), NULL, 10));
                if (h) {
                    DWORD left = timeoutMs - (GetTickCount() - start);
                    DWORD rc = WaitForSingleObject(h, (int)left > 0 ? left : 0);
                    CloseHandle(h);
                    if (rc != WAIT_OBJECT_0)
                        return false;
                }
            }
            return true;
        }
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
}

bool CTestWord::HideProgId()
{
    return RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId) == ERROR_SUCCESS;
}

bool CTestWord::BreakServerPath()
{
    return SetDefault(LocalServerKey(), L"\"" + m_folder + L"missing_word.exe\"");
}

bool CTestWord::RestoreRegistration()
{
    if (m_serverPath.empty())
        return false;
    return SetDefault(kProgId, kProgId) && SetDefault(std::wstring(kProgId) + L"\\CLSID", kClsidText) &&
           SetDefault(LocalServerKey(), m_serverPath);
}

bool MakeDocx(const std::wstring& path, const std::vector<std::wstring>& paragraphs)
{
    std::string body;
    for (const auto& p : paragraphs)
        body += "<w:p><w:r><w:t xml:space=\"preserve\">" + XmlEscape(p) + "</w:t></w:r></w:p>";
    std::vector<PackageEntry> entries = {
        {"[Content_Types].xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
         "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Override PartName=\"/word/document.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
         "</Types>"},
        {"_rels/.rels",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
         "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
         "Target=\"word/document.xml\"/></Relationships>"},
        {"word/document.xml",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
         "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>" +
             body + "</w:body></w:document>"},
    };
    return WritePackage(path, entries);
}

bool ReadDocxTexts(const std::wstring& path, std::vector<std::wstring>& texts)
{
    texts.clear();
    std::vector<PackageEntry> entries;
    std::wstring error;
    if (!ReadPackage(path, entries, error))
        return false;
    for (const auto& e : entries) {
        if (e.name != "word/document.xml")
            continue;
        const std::string& xml = e.data;
        const std::string open = "<w:t xml:space=\"preserve\">", close = "</w:t>";
        for (size_t pos = xml.find(open); pos != std::string::npos; pos = xml.find(open, pos)) {
            size_t end = xml.find(close, pos);
            if (end == std::string::npos)
                return false;
            texts.push_back(XmlUnescape(xml.substr(pos + open.size(), end - pos - open.size())));
            pos = end;
        }
        return true;
    }
    return false;
}

} // namespace word_standin
