#include "storage/UgyiratSearchIndex.h"
#include <algorithm>
#include <new>

namespace {

// The lowering of the characters below U+0180 (every other one stays).
struct CLowerTable
{
    WCHAR map[0x180];
    CLowerTable()
    {
        for (int c = 0; c < 0x180; ++c)
            map[c] = (WCHAR)c;
        for (int c = L'A'; c <= L'Z'; ++c)
            map[c] = (WCHAR)(c + (L'a' - L'A'));
        static const WCHAR pairs[][2] = {{0x00C1, 0x00E1}, {0x00C9, 0x00E9}, {0x00CD, 0x00ED},
                                         {0x00D3, 0x00F3}, {0x00D6, 0x00F6}, {0x0150, 0x0151},
                                         {0x00DA, 0x00FA}, {0x00DC, 0x00FC}, {0x0170, 0x0171}};
        for (const auto& p : pairs)
            map[p[0]] = p[1];
    }
};
const CLowerTable g_lower;

// Incremental changes kept before the index is rather built anew: each one
// may move the whole entry table.
const int kMaxChanges = 256;

LPCWSTR SearchedField(const CUgyiratRecord& record, int i)
{
    switch (i) {
    case 0: return record.UgyfelNeve;
    case 1: return record.EllenfelNeve;
    case 2: return record.UgyJellege;
    default: return record.Megjegyzes;
    }
}

} // namespace

WCHAR LowerSearchChar(WCHAR c)
{
    return c < 0x180 ? g_lower.map[c] : c;
}

CUgyiratSearchIndex::CUgyiratSearchIndex() : m_garbage(0), m_version(0), m_changes(0), m_valid(false)
{
}

void CUgyiratSearchIndex::Drop()
{
    std::vector<Entry>().swap(m_entries);
    std::vector<WCHAR>().swap(m_pool);
    m_garbage = 0;
    m_changes = 0;
}

void CUgyiratSearchIndex::Invalidate()
{
    m_valid = false;
    Drop();
}

void CUgyiratSearchIndex::Append(const CUgyiratRecord& record)
{
    for (int i = 0; i < 4; ++i) {
        LPCWSTR f = SearchedField(record, i);
        for (int n = 0; n < kFieldChars && f[n]; ++n)
            m_pool.push_back(LowerSearchChar(f[n]));
        m_pool.push_back(i < 3 ? kSeparator : 0);
    }
}

bool CUgyiratSearchIndex::Build(const CUgyiratRecordMap& records)
{
    Invalidate();
    try {
        m_entries.reserve(records.size());
        // Room for the common case; longer texts grow it.
        m_pool.reserve(records.size() * 48);
        for (auto it = records.rbegin(); it != records.rend(); ++it) {
            m_entries.push_back(Entry{it->first, (UINT)m_pool.size(), &it->second});
            Append(it->second);
        }
    } catch (const std::bad_alloc&) {
        Drop();
        return false;
    }
    m_version = records.Version();
    m_valid = true;
    return true;
}

size_t CUgyiratSearchIndex::FindEntry(int key) const
{
    auto it = std::lower_bound(m_entries.begin(), m_entries.end(), key,
                               [](const Entry& e, int k) { return e.key > k; });
    return (size_t)(it - m_entries.begin());
}

void CUgyiratSearchIndex::Put(const CUgyiratRecordMap& records, int key, const CUgyiratRecord& record)
{
    if (!IsCurrent(records))
        return;
    if (++m_changes > kMaxChanges) {
        Invalidate();
        return;
    }
    try {
        size_t at = FindEntry(key);
        UINT offset = (UINT)m_pool.size();
        Append(record);
        if (at < m_entries.size() && m_entries[at].key == key) {
            m_garbage += wcslen(&m_pool[m_entries[at].offset]) + 1;
            m_entries[at].offset = offset;
            m_entries[at].record = &record;
        } else {
            m_entries.insert(m_entries.begin() + at, Entry{key, offset, &record});
        }
    } catch (const std::bad_alloc&) {
        Invalidate();
        return;
    }
    if (m_garbage > m_pool.size() / 2)
        Invalidate();
}

void CUgyiratSearchIndex::Remove(const CUgyiratRecordMap& records, int key)
{
    if (!IsCurrent(records))
        return;
    if (++m_changes > kMaxChanges) {
        Invalidate();
        return;
    }
    size_t at = FindEntry(key);
    if (at < m_entries.size() && m_entries[at].key == key) {
        m_garbage += wcslen(&m_pool[m_entries[at].offset]) + 1;
        m_entries.erase(m_entries.begin() + at);
    }
}

bool CUgyiratSearchIndex::FieldsContain(const CUgyiratRecord& record, LPCWSTR term, size_t termLength)
{
    WCHAR lowered[kFieldChars + 1];
    for (int i = 0; i < 4; ++i) {
        LPCWSTR f = SearchedField(record, i);
        int n = 0;
        for (; n < kFieldChars && f[n]; ++n)
            lowered[n] = LowerSearchChar(f[n]);
        lowered[n] = 0;
        if (termLength && (size_t)n >= termLength && TextContains(lowered, term, termLength))
            return true;
    }
    return false;
}
