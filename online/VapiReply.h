// The key=value replies of the web service: UTF-8 text, one pair a line,
// each line ended by a line feed. The caller's memory response is parsed
// once into a map; the caller asks for the keys it needs (a reply without
// them counts as a failed call).
#pragma once
#include <windows.h>
#include <map>
#include "afxstr.h"

class CVapiMemoryStream;

class CVapiReply
{
public:
    // Fills the map from the held bytes of the response and returns the
    // number of keys (below 1: no reply). A line is split at its first "=",
    // so a value may hold "=" (a download address with a query). Key and
    // value are trimmed of white space; a line whose "=" is its first
    // character, or with an empty key or value, stores nothing; a later
    // line replaces an earlier value of the same key. Text after the last
    // line feed is not a line. Keys are case-sensitive. The reply goes to
    // the log (at most 4096 characters, "%" written as "@"). A response
    // longer than CVapiRequest::kMaxReplyBytes is no reply (0, logged).
    int Parse(CVapiMemoryStream& response);
    // Parses a text already in UTF-16 (what Parse does after the conversion).
    int ParseText(const CString& text);

    bool Has(LPCWSTR key) const;
    // The value; a missing key is added with an empty value.
    CString Get(LPCWSTR key);
    int GetCount() const { return (int)m_values.size(); }
    const std::map<CString, CString>& Values() const { return m_values; }

private:
    std::map<CString, CString> m_values;
};
