#include "WordDocument.h"
#include <wctype.h>

namespace word_standin {

namespace {

const char kMainPart[] = "word/document.xml";

bool IsWordChar(wchar_t c)
{
    return IsCharAlphaNumericW(c) || c == L'_';
}

std::wstring Lower(const std::wstring& s)
{
    std::wstring out(s);
    if (!out.empty())
        CharLowerBuffW(&out[0], (DWORD)out.size());
    return out;
}

// The positions where find occurs in text, left to right, not overlapping.
std::vector<size_t> Occurrences(const std::wstring& text, const std::wstring& find, const FindOptions& options)
{
    std::vector<size_t> at;
    if (find.empty())
        return at;
    std::wstring hay = options.matchCase ? text : Lower(text);
    std::wstring needle = options.matchCase ? find : Lower(find);
    for (size_t pos = hay.find(needle); pos != std::wstring::npos; pos = hay.find(needle, pos)) {
        size_t end = pos + needle.size();
        if (options.matchWholeWord &&
            ((pos > 0 && IsWordChar(text[pos - 1])) || (end < text.size() && IsWordChar(text[end])))) {
            ++pos;
            continue;
        }
        at.push_back(pos);
        pos = end;
    }
    return at;
}

// Where the next element named `tag` starts at or after pos: "<w:t" is
// <w:t> or <w:t ...>, not <w:tab/> or <w:tbl>.
size_t FindElement(const std::string& xml, const std::string& tag, size_t pos)
{
    while ((pos = xml.find(tag, pos)) != std::string::npos) {
        size_t after = pos + tag.size();
        if (after >= xml.size())
            return std::string::npos;
        char c = xml[after];
        if (c == '>' || c == ' ' || c == '/' || c == '\t' || c == '\r' || c == '\n')
            return pos;
        pos = after;
    }
    return pos;
}

// The end of the text box content that begins at pos (nested ones
// included), or npos when it is never closed.
size_t TextBoxEnd(const std::string& xml, size_t pos)
{
    static const std::string kOpen = "<w:txbxContent", kClose = "</w:txbxContent>";
    int depth = 0;
    while (pos != std::string::npos) {
        size_t open = FindElement(xml, kOpen, pos), close = xml.find(kClose, pos);
        if (open != std::string::npos && (close == std::string::npos || open < close)) {
            size_t gt = xml.find('>', open);
            if (gt == std::string::npos)
                return std::string::npos;
            pos = gt + 1;
            if (xml[gt - 1] != '/')
                ++depth;
            else if (depth == 0)
                return pos; // <w:txbxContent/>
            continue;
        }
        if (close == std::string::npos)
            return std::string::npos;
        if (--depth <= 0)
            return close + kClose.size();
        pos = close + kClose.size();
    }
    return pos;
}

// Calls visit(content begin, content end) for every <w:t> element of the
// main text story: the runs inside a text box's content are skipped.
template <typename Visit>
void ForEachTextRun(const std::string& xml, Visit visit)
{
    static const std::string kText = "<w:t", kTextBox = "<w:txbxContent";
    size_t pos = 0;
    size_t box = FindElement(xml, kTextBox, 0);
    for (;;) {
        size_t run = FindElement(xml, kText, pos);
        if (run == std::string::npos)
            return;
        if (box != std::string::npos && box < pos)
            box = FindElement(xml, kTextBox, pos);
        if (box != std::string::npos && box < run) {
            pos = TextBoxEnd(xml, box);
            if (pos == std::string::npos)
                return;
            continue;
        }
        size_t open = xml.find('>', run);
        if (open == std::string::npos)
            return;
        if (xml[open - 1] == '/') {
            pos = open + 1; // <w:t/>
            continue;
        }
        size_t close = xml.find("</w:t>", open + 1);
        if (close == std::string::npos)
            return;
        visit(open + 1, close);
        pos = close + 6;
    }
}

} // namespace

std::wstring XmlUnescape(const std::string& utf8)
{
    std::wstring in = FromUtf8(utf8), out;
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != L'&') {
            out += in[i];
            continue;
        }
        size_t semi = in.find(L';', i);
        if (semi == std::wstring::npos || semi - i > 10) {
            out += in[i];
            continue;
        }
        std::wstring name = in.substr(i + 1, semi - i - 1);
        static const struct { const wchar_t* name; wchar_t ch; } kNamed[] = {
            {L"amp", L'&'}, {L"lt", L'<'}, {L"gt", L'>'}, {L"quot", L'"'}, {L"apos", L'\''}};
        bool done = false;
        for (const auto& n : kNamed)
            if (name == n.name) {
                out += n.ch;
                done = true;
            }
        if (!done && name.size() > 1 && name[0] == L'#') {
            bool hex = name[1] == L'x' || name[1] == L'X';
            wchar_t* end = NULL;
            unsigned long code = wcstoul(name.c_str() + (hex ? 2 : 1), &end, hex ? 16 : 10);
            if (end && !*end && code > 0 && code < 0x10000) {
                out += (wchar_t)code;
                done = true;
            }
        }
        if (!done) {
            out += in[i];
            continue;
        }
        i = semi;
    }
    return out;
}

std::string XmlEscape(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text) {
        switch (c) {
        case L'&': out += L"&amp;"; break;
        case L'<': out += L"&lt;"; break;
        case L'>': out += L"&gt;"; break;
        default: out += c; break;
        }
    }
    return ToUtf8(out);
}

bool CWordDocument::Load(const std::wstring& path, std::wstring& error, bool readOnly)
{
    std::vector<PackageEntry> entries;
    if (!ReadPackage(path, entries, error))
        return false;
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].name == kMainPart) {
            m_path = path;
            m_entries.swap(entries);
            m_main = i;
            m_dirty = false;
            DWORD attributes = GetFileAttributesW(path.c_str());
            m_readOnly = readOnly || (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY));
            return true;
        }
    error = L"no word/document.xml";
    return false;
}

bool CWordDocument::Save(std::wstring& error)
{
    if (m_readOnly) {
        error = L"read-only";
        return false;
    }
    std::wstring temp = m_path + L".standin-save";
    if (!WritePackage(temp, m_entries)) {
        error = L"cannot write " + temp;
        return false;
    }
    if (!MoveFileExW(temp.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileW(temp.c_str());
        error = L"cannot replace " + m_path;
        return false;
    }
    m_dirty = false;
    return true;
}

bool CWordDocument::Contains(const std::wstring& find, const FindOptions& options)
{
    bool found = false;
    const std::string& xml = m_entries[m_main].data;
    ForEachTextRun(xml, [&](size_t begin, size_t end) {
        if (!found && !Occurrences(XmlUnescape(xml.substr(begin, end - begin)), find, options).empty())
            found = true;
    });
    return found;
}

int CWordDocument::Replace(const std::wstring& find, const std::wstring& replacement, const FindOptions& options,
                           int limit, std::wstring& error)
{
    for (size_t i = 0; i < replacement.size(); ++i)
        if (replacement[i] == L'^') {
            if (i + 1 < replacement.size() && (replacement[i + 1] == L'^' || replacement[i + 1] == L'&')) {
                ++i;
                continue;
            }
            error = L"The replacement holds a special character that is not valid.";
            return -1;
        }
    const std::string& xml = m_entries[m_main].data;
    std::string result;
    size_t copied = 0;
    int count = 0;
    ForEachTextRun(xml, [&](size_t begin, size_t end) {
        if (limit >= 0 && count >= limit)
            return;
        std::wstring text = XmlUnescape(xml.substr(begin, end - begin));
        std::vector<size_t> at = Occurrences(text, find, options);
        if (at.empty())
            return;
        std::wstring changed;
        size_t from = 0;
        for (size_t pos : at) {
            if (limit >= 0 && count >= limit)
                break;
            changed += text.substr(from, pos - from);
            std::wstring found = text.substr(pos, find.size());
            for (size_t i = 0; i < replacement.size(); ++i) {
                if (replacement[i] == L'^') {
                    changed += replacement[++i] == L'&' ? found : std::wstring(1, L'^');
                } else {
                    changed += replacement[i];
                }
            }
            from = pos + find.size();
            ++count;
        }
        changed += text.substr(from);
        result.append(xml, copied, begin - copied);
        result += XmlEscape(changed);
        copied = end;
    });
    if (count > 0) {
        result.append(xml, copied, std::string::npos);
        m_entries[m_main].data.swap(result);
        m_dirty = true;
    }
    return count;
}

} // namespace word_standin
