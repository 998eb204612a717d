// The restore's jobs on downloaded data: reading the backup XML into
// records, and comparing them with the current case store.
#include "online/TransferJob.h"
#include <stdint.h>
#include <new>
#include <stdexcept>
#include <set>
#include <string>
#include "foundation/Log.h"
#include "foundation/Progress.h"
#include "online/XmlParser.h"
#include "storage/DatabaseContext.h"
#include "storage/UgyiratStore.h"

namespace {

const wchar_t kRowPath[] = L"/DataBase/Tables/Table[name=tUgyirat]/Rows/Row";
const wchar_t kLoadErrorText[] = L"A letöltött adatokat nem sikerült beolvasni! (Hibás jelszó?)";

// The shortest Row that gives a case: "<Row>", eight "<data></data>" and
// "</Row>". A text of n units holds no more than n / kShortestRow of them.
const uint32_t kShortestRow = 5 + 8 * 13 + 6;

// Copies at most `cut` characters and ends the copy.
void CopyCut(WCHAR* target, size_t cut, const std::wstring& text)
{
    size_t n = text.size() < cut ? text.size() : cut;
    wmemcpy(target, text.data(), n);
    target[n] = L'\0';
}

int ToInt(const wchar_t* text)
{
    return (int)wcstol(text, NULL, 10);
}

void SetField(CUgyiratRecord& record, int index, const std::wstring& text)
{
    switch (index) {
    case 0:
        record.Ev = ToInt(text.c_str());
        break;
    case 1:
        record.Nr = ToInt(text.c_str());
        break;
    case 2:
        CopyCut(record.UgyfelNeve, 200, text);
        break;
    case 3:
        CopyCut(record.EllenfelNeve, 200, text);
        break;
    case 4:
        CopyCut(record.UgyJellege, 200, text);
        break;
    case 5:
        CopyCut(record.Megjegyzes, 200, text);
        break;
    case 6:
        // The form the backup writes: "YYYY-MM-DD hh:mm:ss".
        if (text.size() == 19) {
            const wchar_t* t = text.c_str();
            record.Datum.year = (SHORT)ToInt(t);
            record.Datum.month = (USHORT)ToInt(t + 5);
            record.Datum.day = (USHORT)ToInt(t + 8);
            record.Datum.hour = (USHORT)ToInt(t + 11);
            record.Datum.minute = (USHORT)ToInt(t + 14);
            record.Datum.second = (USHORT)ToInt(t + 17);
            record.Datum.fraction = 0;
        }
        break;
    case 7:
        CopyCut(record.CC, 48, text);
        break;
    case 8:
        CopyCut(record.Hataridok, 1024, text);
        break;
    case 9:
        record.Allapot = ToInt(text.c_str());
        break;
    default:
        break;
    }
}

} // namespace

bool ReadXmlRow(XmlParser& parser, CUgyiratRecord& record)
{
    int fields = 0;
    while (parser.GetPosition() < parser.GetLength()) {
        XmlNode* node = parser.NextNode();
        if (!node)
            break; // a token the reader could not place ends the row
        if (node->GetType() == XmlNode::TYPE_END && node->GetName() == L"Row")
            break;
        if (node->GetType() != XmlNode::TYPE_ELEMENT || node->GetName() != L"data")
            continue;
        int index = fields++;
        XmlNode* value = parser.NextNode();
        if (!value)
            break;
        if (value->GetType() == XmlNode::TYPE_TEXT)
            SetField(record, index, value->GetName());
        else if (value->GetType() != XmlNode::TYPE_END || value->GetName() != L"data")
            break;
    }
    return fields >= 8;
}

// ---------------------------------------------------------------------------
// LoadFromXml

CTransferJob_LoadFromXml::CTransferJob_LoadFromXml(LPCWSTR xmlPath, std::vector<CUgyiratRecord>* records)
    : m_xmlPath(xmlPath), m_pRecords(records)
{
    m_state = STATE_QUEUED;
    m_name = L"XML fájl beolvasása";
}

bool CTransferJob_LoadFromXml::Run()
{
    m_state = STATE_RUNNING;
    XmlParser parser;
    if (!m_pRecords || !parser.Load(m_xmlPath)) {
        m_errorText = parser.OutOfMemory() ? kOutOfMemoryText : kLoadErrorText;
        return Finish(false);
    }
    std::vector<CUgyiratRecord>& records = *m_pRecords;
    const size_t kept = records.size();
    bool ok = false, outOfMemory = false;
    try {
        ok = ReadRows(parser);
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    } catch (const std::length_error&) {
        // More rows than the address space holds records.
        outOfMemory = true;
    }
    if (outOfMemory) {
        parser.Reset();
        LogFormat(L"XML load: out of memory after %u records; nothing is kept", (unsigned)(records.size() - kept));
        m_errorText = kOutOfMemoryText;
    }
    if (!ok) {
        // Nothing of a failed load stays, nor its memory.
        if (kept == 0)
            std::vector<CUgyiratRecord>().swap(records);
        else
            records.resize(kept);
    }
    return Finish(ok);
}

bool CTransferJob_LoadFromXml::ReadRows(XmlParser& parser)
{
    std::vector<CUgyiratRecord>& records = *m_pRecords;
    XmlPathFilter filter;
    filter.Parse(kRowPath);
    const uint32_t length = parser.GetLength();
    // The vector is made once at its final size: every case row of the file
    // has a Row tag (the count can only be larger, by rows of other tables).
    uint32_t rows = parser.CountStartTags(L"Row");
    if (rows > length / kShortestRow + 1)
        rows = length / kShortestRow + 1;
    records.reserve(records.size() + rows);

    // Rows are read in place, a record is some 3.8 KB, and their nodes are
    // given back once read, so the tree never holds more than one row.
    // Callers of the reader stop at the first null: a token it could not
    // place means a damaged file, and a register is restored whole or not
    // at all.
    int posted = 0;
    uint32_t appended = 0;
    std::vector<XmlNode*> lists;
    const wchar_t* damage = NULL;
    for (;;) {
        XmlNode* node = parser.NextNode();
        if (!node) {
            if (parser.GetPosition() < length && parser.CountStartTags(L"Row", parser.GetPosition()) > 0)
                damage = L"a tag it could not place stopped the reading before the last rows";
            break;
        }
        if (!filter.Matches(node))
            continue;
        if (lists.empty() || lists.back() != node->GetParent())
            lists.push_back(node->GetParent());
        records.emplace_back();
        ZeroRecord(records.back());
        if (!ReadXmlRow(parser, records.back()) || !node->IsClosed()) {
            records.pop_back();
            damage = L"a row is incomplete or damaged";
            break;
        }
        parser.Discard(node);
        ++appended;
        int value = (int)((uint64_t)parser.GetPosition() * 20 / length);
        if (value > posted) {
            posted = value;
            if (m_pProgress)
                m_pProgress->ProcessMessage(
                    new CProgressRecord(CProgressRecord::KIND_POSITION, CProgressRecord::FLAG_VALUE, value));
        }
    }
    if (parser.OutOfMemory())
        throw std::bad_alloc();
    for (XmlNode* list : lists) {
        if (!damage && !list->IsClosed())
            damage = L"the file ends inside its rows";
    }
    if (damage) {
        LogFormat(L"XML load: %s (%u records read, %u rows in the file); nothing is kept", damage,
                  (unsigned)appended, (unsigned)parser.CountStartTags(L"Row"));
        return false;
    }
    LogFormat(L"XML load: %u records", (unsigned)appended);
    return appended > 0;
}

// ---------------------------------------------------------------------------
// CompareDB

CTransferJob_CompareDB::CTransferJob_CompareDB(const std::vector<CUgyiratRecord>* records, CCompareCounts* counts)
    : m_pRecords(records), m_pCounts(counts)
{
    m_state = STATE_QUEUED;
    m_name = L"Letöltött adatok összevetése a jelenlegi adatokkal";
}

bool CTransferJob_CompareDB::Run()
{
    m_state = STATE_RUNNING;
    CDatabaseContext* context = CDatabaseContext::GetApplicationContext();
    CUgyiratStore* store = context ? context->m_pStore : NULL;
    if (!store || store->m_records.empty() || !m_pRecords || !m_pCounts)
        return Finish(true);
    const std::vector<CUgyiratRecord>& records = *m_pRecords;
    const size_t group = records.size() / 20;
    try {
        std::set<int> found;
        int onlyDownloaded = 0;
        for (size_t i = 0; i < records.size(); ++i) {
            int key = UgyiratKey(records[i]);
            if (store->m_records.count(key))
                found.insert(key);
            else
                ++onlyDownloaded;
            if (group && (i + 1) % group == 0 && m_pProgress)
                m_pProgress->ProcessMessage(new CProgressRecord(
                    CProgressRecord::KIND_POSITION, CProgressRecord::FLAG_VALUE, (int)((i + 1) / group)));
        }
        m_pCounts->m_nBoth = (int)found.size();
        m_pCounts->m_nOnlyCurrent = (int)store->m_records.size() - (int)found.size();
        m_pCounts->m_nOnlyDownloaded = onlyDownloaded;
    } catch (const std::bad_alloc&) {
        LogFormat(L"Compare: out of memory after the download's %u records", (unsigned)records.size());
        m_errorText = kOutOfMemoryText;
        return Finish(false);
    }
    return Finish(true);
}
