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

void CTestWord::FailMember(LPCWSTR member, HRESULT hr, UINT argErr, WORD code, LPCWSTR description, bool atNames,
                           bool inWCode)
{
    wchar_t hex[16];
    swprintf(hex, 16, L"0x%08lX", (unsigned long)hr);
    std::wstring text = std::wstring(L"Fail.Member=") + member + L"\nFail.HResult=" + hex +
                        L"\nFail.ArgErr=" + std::to_wstring(argErr) + L"\nFail.Code=" + std::to_wstring(code) +
                        L"\nFail.At=" + (atNames ? L"GetIDsOfNames" : L"Invoke") + L"\nFail.InWCode=" +
                        (inWCode ? L"1" : L"0") + L"\n";
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

namespace {

const char kXmlHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
const char kWordNs[] = " xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"";
const char kRelNs[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string Paragraph(const std::wstring& text)
{
    return "<w:p><w:r><w:t xml:space=\"preserve\">" + XmlEscape(text) + "</w:t></w:r></w:p>";
}

// A text box anchored in a body paragraph, as Word writes it: the drawing,
// and the shape older readers fall back to, each with the box's content.
std::string TextBox(const std::wstring& text)
{
    std::string content = "<w:txbxContent>" + Paragraph(text) + "</w:txbxContent>";
    return "<w:p><w:r><mc:AlternateContent><mc:Choice Requires=\"wps\"><w:drawing><wp:anchor><a:graphic>"
           "<a:graphicData uri=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\"><wps:wsp>"
           "<wps:txbx>" + content + "</wps:txbx></wps:wsp></a:graphicData></a:graphic></wp:anchor></w:drawing>"
           "</mc:Choice><mc:Fallback><w:pict><v:shape><v:textbox>" + content + "</v:textbox></v:shape></w:pict>"
           "</mc:Fallback></mc:AlternateContent></w:r></w:p>";
}

} // namespace

bool MakeDocx(const std::wstring& path, const std::vector<std::wstring>& paragraphs)
{
    std::vector<DocxParagraph> body;
    for (const auto& p : paragraphs)
        body.push_back({DocxStory::Body, p});
    return MakeDocxStories(path, body);
}

bool MakeDocxStories(const std::wstring& path, const std::vector<DocxParagraph>& paragraphs)
{
    std::string body, header, footer;
    for (const auto& p : paragraphs) {
        switch (p.story) {
        case DocxStory::Body: body += Paragraph(p.text); break;
        case DocxStory::TextBox: body += TextBox(p.text); break;
        case DocxStory::Header: header += Paragraph(p.text); break;
        case DocxStory::Footer: footer += Paragraph(p.text); break;
        }
    }
    std::string types = std::string(kXmlHead) +
                        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                        "<Default Extension=\"rels\" "
                        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                        "<Override PartName=\"/word/document.xml\" ContentType=\"application/"
                        "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>";
    std::string rels = std::string(kXmlHead) +
                       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    std::string section;
    std::vector<PackageEntry> parts;
    const struct { const std::string* text; const char* kind; const char* tag; } kStories[] = {
        {&header, "header", "w:hdr"}, {&footer, "footer", "w:ftr"}};
    for (const auto& story : kStories) {
        if (story.text->empty())
            continue;
        std::string kind = story.kind, name = kind + "1.xml";
        types += "<Override PartName=\"/word/" + name + "\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.wordprocessingml." + kind + "+xml\"/>";
        rels += "<Relationship Id=\"rId" + kind + "\" Type=\"" + std::string(kRelNs) + "/" + kind +
                "\" Target=\"" + name + "\"/>";
        section += "<w:" + kind + "Reference w:type=\"default\" r:id=\"rId" + kind + "\"/>";
        parts.push_back({"word/" + name, std::string(kXmlHead) + "<" + story.tag + kWordNs + ">" + *story.text +
                                             "</" + story.tag + ">"});
    }
    types += "</Types>";
    rels += "</Relationships>";
    std::vector<PackageEntry> entries = {
        {"[Content_Types].xml", types},
        {"_rels/.rels",
         std::string(kXmlHead) +
             "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
             "<Relationship Id=\"rId1\" Type=\"" + std::string(kRelNs) + "/officeDocument\" "
             "Target=\"word/document.xml\"/></Relationships>"},
        {"word/document.xml",
         std::string(kXmlHead) + "<w:document" + kWordNs + " xmlns:r=\"" + kRelNs + "\""
             " xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\""
             " xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing\""
             " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\""
             " xmlns:wps=\"http://schemas.microsoft.com/office/word/2010/wordprocessingShape\""
             " xmlns:v=\"urn:schemas-microsoft-com:vml\"><w:body>" + body + "<w:sectPr>" + section +
             "</w:sectPr></w:body></w:document>"},
    };
    if (!section.empty())
        entries.push_back({"word/_rels/document.xml.rels", rels});
    entries.insert(entries.end(), parts.begin(), parts.end());
    return WritePackage(path, entries);
}

bool ReadDocxTexts(const std::wstring& path, std::vector<std::wstring>& texts, const char* part)
{
    texts.clear();
    std::vector<PackageEntry> entries;
    std::wstring error;
    if (!ReadPackage(path, entries, error))
        return false;
    for (const auto& e : entries) {
        if (e.name != part)
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
