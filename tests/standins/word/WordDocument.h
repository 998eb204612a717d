// A .docx as the stand-in holds it while it is open: every entry of the
// package in memory. Find and replace work on the main text story only:
// the runs of word/document.xml outside text boxes (w:txbxContent);
// headers and footers are parts of their own and are never searched.
#pragma once
#include <string>
#include <vector>
#include "WordStandin.h"

namespace word_standin {

struct FindOptions
{
    bool matchCase = false;
    bool matchWholeWord = false;
};

class CWordDocument
{
public:
    // False with a reason: missing file, not a package, no main text. A
    // file with the read-only attribute, or readOnly, opens read-only.
    bool Load(const std::wstring& path, std::wstring& error, bool readOnly = false);
    // Saves to a temporary file beside the document, then replaces it;
    // false for a document opened read-only (nothing is written).
    bool Save(std::wstring& error);

    // Replaces up to `limit` occurrences (-1: all) of find in the text of
    // the document's <w:t> runs; "^^" in the replacement stands for "^" and
    // "^&" for the text found. Returns the number replaced, or -1 with a
    // reason when the replacement holds any other "^" code.
    int Replace(const std::wstring& find, const std::wstring& replacement, const FindOptions& options, int limit,
                std::wstring& error);
    // Whether find occurs in the text.
    bool Contains(const std::wstring& find, const FindOptions& options);

    const std::wstring& Path() const { return m_path; }
    bool IsDirty() const { return m_dirty; }
    bool IsReadOnly() const { return m_readOnly; }

private:
    std::wstring m_path;
    std::vector<PackageEntry> m_entries;
    size_t m_main = 0;
    bool m_dirty = false;
    bool m_readOnly = false;
};

// XML character data to text and back (the five predefined entities and
// character references; anything else is kept as written).
std::wstring XmlUnescape(const std::string& utf8);
std::string XmlEscape(const std::wstring& text);

} // namespace word_standin
