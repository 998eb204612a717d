// CUgyiratSearchIndex: the four searched texts of every case (client,
// opposing party, kind of case, remark), lowered once and packed one case
// after the other into one pool, highest key first, so that a search
// keystroke reads one short string per case instead of lowering four
// fields of a 3.8 KB record. The store keeps it in step with its map
// (CUgyiratStore::SearchIndex); it is built when a search first needs it.
#pragma once
#include <vector>
#include "afxstr.h"
#include "storage/UgyiratRecordMap.h"

// The search's lowering, shared with the highlight of the case list:
// 'A'-'Z' and the Hungarian accented capitals Á É Í Ó Ö Ő Ú Ü Ű become
// their small letters; every other character stays as it is.
WCHAR LowerSearchChar(WCHAR c);

class CUgyiratSearchIndex
{
public:
    // The searched part of a field: its first 200 characters.
    enum { kFieldChars = 200 };
    // Stands between the fields of a case in the pool. A term holding it is
    // matched field by field against the record instead.
    static const WCHAR kSeparator = 0x0001;

    CUgyiratSearchIndex();

    // Whether the index shows the map as it is now.
    bool IsCurrent(const CUgyiratRecordMap& records) const { return m_valid && m_version == records.Version(); }
    // Reads every case of the map; false (and the index empty) when memory
    // runs out.
    bool Build(const CUgyiratRecordMap& records);
    // Forgets everything (and frees the memory); the next use builds anew.
    void Invalidate();

    // One case of the map stored (new or changed texts) or gone; only the
    // store calls them, after changing its map untracked. Nothing happens
    // when the index is not current; after many changes, or when memory
    // runs out, the index is dropped and built at its next use.
    void Put(const CUgyiratRecordMap& records, int key, const CUgyiratRecord& record);
    void Remove(const CUgyiratRecordMap& records, int key);

    // Calls found(key, record) for every case, highest key first, whose
    // four searched texts hold every term (each lowered, as the search box
    // makes them) in at least one of them; empty terms are no condition.
    // The index must be current.
    template <class Found> void Search(const std::vector<CString>& terms, Found found) const;

    // The same condition for one record, field by field (the rule the
    // index follows).
    static bool FieldsContain(const CUgyiratRecord& record, LPCWSTR term, size_t termLength);

    size_t GetCount() const { return m_entries.size(); }
    size_t GetMemoryBytes() const { return m_entries.capacity() * sizeof(Entry) + m_pool.capacity() * sizeof(WCHAR); }

private:
    struct Entry
    {
        int key;
        UINT offset;                      // of the case's text in the pool
        const CUgyiratRecord* record;     // inside the map
    };
    struct Term
    {
        LPCWSTR text;
        size_t length;
        bool byField;                     // holds the separator
    };

    static bool TextContains(const WCHAR* text, LPCWSTR term, size_t termLength);
    // The lowered texts of a case, separated and terminated, at the pool's end.
    void Append(const CUgyiratRecord& record);
    size_t FindEntry(int key) const;      // first entry whose key is not above key
    void Drop();

    std::vector<Entry> m_entries;         // by key, highest first
    std::vector<WCHAR> m_pool;
    size_t m_garbage;                     // characters of replaced texts
    unsigned m_version;
    int m_changes;                        // Put and Remove since the build
    bool m_valid;
};

inline bool CUgyiratSearchIndex::TextContains(const WCHAR* text, LPCWSTR term, size_t termLength)
{
    const WCHAR first = term[0];
    for (const WCHAR* p = text; *p; ++p) {
        if (*p != first)
            continue;
        size_t i = 1;
        while (i < termLength && p[i] == term[i])
            ++i;
        if (i == termLength)
            return true;
    }
    return false;
}

template <class Found> void CUgyiratSearchIndex::Search(const std::vector<CString>& terms, Found found) const
{
    std::vector<Term> list;
    list.reserve(terms.size());
    for (const CString& t : terms) {
        size_t length = (size_t)t.GetLength();
        if (length == 0)
            continue;
        LPCWSTR text = t;
        list.push_back(Term{text, length, wmemchr(text, kSeparator, length) != NULL});
    }
    const WCHAR* pool = m_pool.data();
    for (const Entry& entry : m_entries) {
        const WCHAR* text = pool + entry.offset;
        bool all = true;
        for (const Term& term : list) {
            if (term.byField ? !FieldsContain(*entry.record, term.text, term.length)
                             : !TextContains(text, term.text, term.length)) {
                all = false;
                break;
            }
        }
        if (all)
            found(entry.key, *entry.record);
    }
}
