#include "online/VapiReply.h"
#include "foundation/Conversions.h"
#include "foundation/Log.h"
#include "online/VapiRequest.h"
#include "online/VapiStream.h"

namespace {

const int kLogCopyLength = 4096;

} // namespace

int CVapiReply::Parse(CVapiMemoryStream& response)
{
    if ((DWORD)response.Length() > CVapiRequest::kMaxReplyBytes) {
        LogFormat(L"CVapiReply - a reply of %d bytes is longer than %u: not read", response.Length(),
                  (unsigned)CVapiRequest::kMaxReplyBytes);
        return 0;
    }
    CStringA bytes(reinterpret_cast<const char*>(response.Data()), response.Length());
    CString text = Utf8ToWide(bytes);

    CString copy = text.GetLength() > kLogCopyLength ? text.Left(kLogCopyLength) : text;
    copy.Replace(L'%', L'@');
    LogLine(copy);

    return ParseText(text);
}

int CVapiReply::ParseText(const CString& text)
{
    int lineStart = 0;
    int equals = -1; // the first "=" of the current line
    int length = text.GetLength();
    LPCWSTR p = text;
    for (int i = 0; i < length; ++i) {
        wchar_t ch = p[i];
        if (ch == L'=') {
            if (equals < 0)
                equals = i;
        } else if (ch == L'\n') {
            if (equals > lineStart) {
                CString key = text.Mid(lineStart, equals - lineStart);
                CString value = text.Mid(equals + 1, i - equals - 1);
                key.Trim();
                value.Trim();
                if (!key.IsEmpty() && !value.IsEmpty())
                    m_values[key] = value;
            }
            lineStart = i + 1;
            equals = -1;
        }
    }
    return (int)m_values.size();
}

bool CVapiReply::Has(LPCWSTR key) const
{
    return m_values.find(CString(key)) != m_values.end();
}

CString CVapiReply::Get(LPCWSTR key)
{
    return m_values[CString(key)];
}
