// The restore's jobs on downloaded data: reading the backup XML into
// records, and comparing them with the current case store.
#include "online/TransferJob.h"
#include <stdint.h>
#include <new>
#include <set>
#include <string>
#include "foundation/Log.h"
#include "foundation/Progress.h"
#include "online/XmlParser.h"
#include "storage/DatabaseContext.h"
#include "storage/UgyiratStore.h"

namespace {

const wchar_t kRowPath[] = L"/DataBase/Tables/Table[name=tUgyirat]/Rows/Row";

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
            continue; // a token the reader dropped
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
        m_errorText = L"A letöltött adatokat nem sikerült beolvasni! (Hibás jelszó?)";
        return Finish(false);
    }
    XmlPathFilter filter;
    filter.Parse(kRowPath);
    const uint32_t length = parser.GetLength();
    int posted = 0;
    size_t appended = 0;
    try {
        while (parser.GetPosition() < length) {
            XmlNode* node = parser.NextNode();
            if (!node || !filter.Matches(node))
                continue;
            // Read in place: a record is some 3.8 KB.
            m_pRecords->emplace_back();
            ZeroRecord(m_pRecords->back());
            if (!ReadXmlRow(parser, m_pRecords->back())) {
                m_pRecords->pop_back();
                continue;
            }
            ++appended;
            int value = (int)((uint64_t)parser.GetPosition() * 20 / length);
            if (value > posted) {
                posted = value;
                if (m_pProgress)
                    m_pProgress->ProcessMessage(
                        new CProgressRecord(CProgressRecord::KIND_POSITION, CProgressRecord::FLAG_VALUE, value));
            }
        }
    } catch (const std::bad_alloc&) {
        LogFormat(L"XML load: out of memory after %u records", (unsigned)appended);
        m_errorText = L"A letöltött adatokat nem sikerült beolvasni! (Hibás jelszó?)";
        return Finish(false);
    }
    LogFormat(L"XML load: %u records", (unsigned)appended);
    return Finish(appended > 0);
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
    std::set<int> found;
    int onlyDownloaded = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        int key = UgyiratKey(records[i]);
        if (store->m_records.count(key))
            found.insert(key);
        else
            ++onlyDownloaded;
        if (group && (i + 1) % group == 0 && m_pProgress)
            m_pProgress->ProcessMessage(new CProgressRecord(CProgressRecord::KIND_POSITION,
                                                            CProgressRecord::FLAG_VALUE, (int)((i + 1) / group)));
    }
    m_pCounts->m_nBoth = (int)found.size();
    m_pCounts->m_nOnlyCurrent = (int)store->m_records.size() - (int)found.size();
    m_pCounts->m_nOnlyDownloaded = onlyDownloaded;
    return Finish(true);
}
