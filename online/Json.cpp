#include "online/Json.h"
#include <math.h>
#include <stdio.h>
#include <wchar.h>
#include <wctype.h>
#include <string>

namespace {

const wchar_t kPunctuation[] = L"{}[],:";
const wchar_t kNumberStart[] = L"-0123456789";

void WriteStandardOutput(const CString& text)
{
    CStringA narrow(text);
    fwrite(narrow.GetString(), 1, narrow.GetLength(), stdout);
    fflush(stdout);
}

JsonWriter g_writer = WriteStandardOutput;

// wcschr finds the terminator too: a NUL character is in no set.
bool IsOneOf(wchar_t ch, LPCWSTR set)
{
    return ch != 0 && wcschr(set, ch) != NULL;
}

// The number scanner's states: the characters that enter each state, and
// the states it may go to next, tried in order.
struct NumberState {
    LPCWSTR enter;
    int firstNext, lastNext;
};

const NumberState kNumberStates[] = {
    {L"", 1, 3},           // 0 start
    {L"-", 2, 3},          // 1 sign
    {L"0", 4, 5},          // 2 leading zero
    {L"0123456789", 3, 5}, // 3 whole digits
    {L".", 6, 7},          // 4 point
    {L"eE", 8, 9},         // 5 exponent after the whole part
    {L"0123456789", 6, 7}, // 6 decimals
    {L"eE", 8, 9},         // 7 exponent after the decimals
    {L"-+", 9, 9},         // 8 exponent sign
    {L"0123456789", 9, 9}, // 9 exponent digits
};

// The length of the number token at text[0..length).
int ScanNumber(LPCWSTR text, int length)
{
    int state = 0;
    int i = 0;
    while (i < length) {
        int next = -1;
        for (int s = kNumberStates[state].firstNext; s <= kNumberStates[state].lastNext; ++s) {
            if (IsOneOf(text[i], kNumberStates[s].enter)) {
                next = s;
                break;
            }
        }
        if (next < 0)
            break;
        state = next;
        ++i;
    }
    return i;
}

// True when the token's first characters are the word, in any case.
bool StartsWithWord(LPCWSTR token, int length, LPCWSTR word)
{
    int n = (int)wcslen(word);
    if (length < n)
        return false;
    for (int i = 0; i < n; ++i) {
        wchar_t ch = token[i];
        if (ch >= L'A' && ch <= L'Z')
            ch = (wchar_t)(ch - L'A' + L'a');
        if (ch != word[i])
            return false;
    }
    return true;
}

const wchar_t kMessageItem[] = L"expected 'item'";

// An object's or array's frame around its children: the opening with the
// level's indentation, the children at the next level separated by ",\n",
// then the closing.
template <class Child>
void PrintChildren(LPCWSTR openFormat, LPCWSTR closeFormat, int level, const std::vector<Child*>& children)
{
    CString indent = JsonIndent(level);
    CString text;
    text.Format(openFormat, (LPCWSTR)indent);
    JsonWrite(text);
    for (size_t i = 0; i < children.size(); ++i) {
        if (i > 0)
            JsonWrite(L",\n");
        children[i]->Print(level + 1);
    }
    text.Format(closeFormat, (LPCWSTR)indent);
    JsonWrite(text);
}

} // namespace

CString JsonIndent(int level)
{
    return level > 0 ? CString(L' ', 2 * level) : CString();
}

JsonWriter JsonSetWriter(JsonWriter writer)
{
    JsonWriter previous = g_writer;
    g_writer = writer ? writer : WriteStandardOutput;
    return previous;
}

void JsonWrite(const CString& text)
{
    g_writer(text);
}

// ---------------------------------------------------------------------------
// Values

CString CJsonValue::ToString() const
{
    return L"null";
}

void CJsonValue::Print(int level) const
{
    CString text;
    text.Format(L"%s%s", (LPCWSTR)JsonIndent(level), (LPCWSTR)ToString());
    JsonWrite(text);
}

void CJsonValueString::Print(int level) const
{
    CString text;
    text.Format(L"%s\"%s\"", (LPCWSTR)JsonIndent(level), (LPCWSTR)m_text);
    JsonWrite(text);
}

CString CJsonValueNumber::ToString() const
{
    CString text;
    if (m_decimals <= 0) {
        int whole = 0;
        if (m_value >= 2147483647.0)
            whole = 2147483647;
        else if (m_value <= -2147483648.0)
            whole = (-2147483647 - 1);
        else if (m_value == m_value) // NaN has no whole number: 0
            whole = (int)round(m_value);
        text.Format(L"%d", whole);
    } else {
        // The format's length follows the value and the decimals: nothing
        // is cut and no buffer can overflow.
        CString format;
        format.Format(L"%%.%dlf", m_decimals);
        text.Format(format, m_value);
    }
    return text;
}

void CJsonMember::Print(int level) const
{
    CString text;
    text.Format(L"%s\"%s\" : ", (LPCWSTR)JsonIndent(level), (LPCWSTR)m_name);
    JsonWrite(text);
    if (!m_value)
        JsonWrite(L"null");
    else if (m_value->GetType() == CJsonValue::TYPE_ARRAY)
        m_value->Print(level);
    else
        m_value->Print(0);
}

void CJsonValueObject::Print(int level) const
{
    PrintChildren(L"%s{\n", L"\n%s}", level, m_members);
}

void CJsonValueObject::AddString(const CString& name, const CString& text)
{
    AddValue(name, new CJsonValueString(text));
}

void CJsonValueObject::AddStringArray(const CString& name, const std::vector<CString>& texts)
{
    AddValue(name, new CJsonValueArray(texts));
}

void CJsonValueObject::AddValue(const CString& name, CJsonValue* value)
{
    CJsonMember* member = new CJsonMember(name, value);
    m_members.push_back(member);
}

void CJsonValueObject::Remove(const CString& name)
{
    size_t kept = 0;
    for (size_t i = 0; i < m_members.size(); ++i) {
        if (m_members[i]->GetName() == name)
            delete m_members[i];
        else
            m_members[kept++] = m_members[i];
    }
    m_members.resize(kept);
}

CJsonMember* CJsonValueObject::Find(const CString& name) const
{
    for (CJsonMember* member : m_members) {
        if (member->GetName() == name)
            return member;
    }
    return NULL;
}

void CJsonValueObject::Clear()
{
    for (CJsonMember* member : m_members)
        delete member;
    m_members.clear();
}

CJsonValueArray::CJsonValueArray(const std::vector<CString>& texts) : CJsonValue(TYPE_ARRAY)
{
    m_values.reserve(texts.size());
    for (const CString& text : texts)
        m_values.push_back(new CJsonValueString(text));
}

void CJsonValueArray::Print(int level) const
{
    PrintChildren(L"\n%s[\n", L"\n%s]", level, m_values);
}

void CJsonValueArray::Add(CJsonValue* value)
{
    m_values.push_back(value);
}

void CJsonValueArray::Clear()
{
    for (CJsonValue* value : m_values)
        delete value;
    m_values.clear();
}

// ---------------------------------------------------------------------------
// Parser

struct CJsonParser::Token {
    enum Kind { PUNCTUATION, STRING, NUMBER, WORD };
    Kind kind;
    int start;
    int length;
    bool closed; // a string that ends with its closing quote

    bool IsPunctuation(LPCWSTR text, wchar_t ch) const { return kind == PUNCTUATION && text[start] == ch; }
};

bool CJsonParser::NextToken(Token& token)
{
    while (m_pos < m_length && iswspace(m_text[m_pos]))
        ++m_pos;
    if (m_pos >= m_length)
        return false;

    LPCWSTR p = m_text + m_pos;
    int rest = m_length - m_pos;
    token.start = m_pos;
    token.closed = false;
    if (IsOneOf(p[0], kPunctuation)) {
        token.kind = Token::PUNCTUATION;
        token.length = 1;
    } else if (p[0] == L'"') {
        // A backslash takes the character after it, so a quote ends the
        // string after an even number of backslashes only.
        token.kind = Token::STRING;
        int i = 1;
        while (i < rest && p[i] != L'"')
            i += p[i] == L'\\' ? 2 : 1;
        if (i < rest) {
            token.length = i + 1;
            token.closed = true;
        } else {
            token.length = rest;
        }
    } else if (IsOneOf(p[0], kNumberStart)) {
        token.kind = Token::NUMBER;
        token.length = ScanNumber(p, rest);
    } else {
        token.kind = Token::WORD;
        int i = 1;
        while (i < rest && !iswspace(p[i]) && !IsOneOf(p[i], kPunctuation))
            ++i;
        token.length = i;
    }
    m_pos += token.length;
    return true;
}

void CJsonParser::SetError(int code, LPCWSTR message)
{
    m_error = code;
    m_message = message;
}

CJsonValue* CJsonParser::Parse(const CString& text)
{
    m_error = 0;
    m_message.Empty();
    m_text = text.GetString();
    m_length = text.GetLength();
    m_pos = 0;

    CJsonValue* root = NULL;
    Token token;
    if (NextToken(token)) {
        if (token.IsPunctuation(m_text, L'['))
            root = ParseArray(1);
        else if (token.IsPunctuation(m_text, L'{'))
            root = ParseObject(1);
    }
    m_text = NULL;
    m_length = 0;
    m_pos = 0;
    return root;
}

// A value inside an object or an array at the given depth. NULL when the
// token is no value, or the value would nest too deep.
CJsonValue* CJsonParser::ParseValue(const Token& token, int depth)
{
    LPCWSTR p = m_text + token.start;
    switch (token.kind) {
    case Token::PUNCTUATION:
        if (p[0] == L'[' || p[0] == L'{') {
            if (depth + 1 > MAX_DEPTH) {
                SetError(30, L"nesting deeper than 512 levels");
                return NULL;
            }
            return p[0] == L'[' ? ParseArray(depth + 1) : ParseObject(depth + 1);
        }
        break;
    case Token::STRING:
        // The characters between the quotes as written; a string without
        // its closing quote keeps everything up to the end.
        return new CJsonValueString(CString(p + 1, token.length - (token.closed ? 2 : 1)));
    case Token::NUMBER: {
        // Converted from the token's own characters, which the buffer ends.
        std::wstring digits(p, token.length);
        double value = wcstod(digits.c_str(), NULL);
        size_t point = digits.find(L'.');
        int decimals = point == std::wstring::npos ? 0 : (int)(digits.size() - point - 1);
        return new CJsonValueNumber(value, decimals);
    }
    case Token::WORD:
        if (StartsWithWord(p, token.length, L"true"))
            return new CJsonValueBool(true);
        if (StartsWithWord(p, token.length, L"false"))
            return new CJsonValueBool(false);
        if (StartsWithWord(p, token.length, L"null"))
            return new CJsonValue;
        break;
    }
    SetError(1, L"");
    return NULL;
}

CJsonValue* CJsonParser::ParseArray(int depth)
{
    CJsonValueArray* array = new CJsonValueArray;
    Token token;
    while (NextToken(token)) {
        if (token.IsPunctuation(m_text, L']'))
            break;
        if (token.IsPunctuation(m_text, L','))
            continue;
        CJsonValue* value = ParseValue(token, depth);
        if (!value) {
            if (m_error != 30)
                SetError(11, kMessageItem);
            break;
        }
        array->Add(value);
        if (m_error != 0)
            break;
    }
    return array;
}

CJsonValue* CJsonParser::ParseObject(int depth)
{
    CJsonValueObject* object = new CJsonValueObject;
    Token token;
    while (NextToken(token)) {
        if (token.IsPunctuation(m_text, L'}'))
            break;
        if (token.IsPunctuation(m_text, L','))
            continue;
        if (token.kind != Token::STRING) {
            SetError(10, L"expected 'itme'");
            break;
        }
        if (!ParseMember(token, object, depth)) {
            // Any error of a member, its own or one from inside its value,
            // ends the object as "expected 'item'"; only the nesting limit
            // keeps its own code.
            if (m_error != 30)
                SetError(11, kMessageItem);
            break;
        }
    }
    return object;
}

// Reads ": value" after the name and appends the member. False on an error,
// with the member appended when its value (or part of it) came back.
bool CJsonParser::ParseMember(const Token& nameToken, CJsonValueObject* object, int depth)
{
    if (nameToken.length == 1) {
        SetError(20, L"expected 'name'");
        return false;
    }
    CString name(m_text + nameToken.start + 1, nameToken.length - (nameToken.closed ? 2 : 1));

    Token token;
    if (!NextToken(token) || !token.IsPunctuation(m_text, L':')) {
        SetError(21, L"expected ':'");
        return false;
    }
    CJsonValue* value = NextToken(token) ? ParseValue(token, depth) : NULL;
    if (!value) {
        if (m_error != 30)
            SetError(22, L"expected '{/[/\"'");
        return false;
    }
    object->AddValue(name, value);
    return m_error == 0;
}

// ---------------------------------------------------------------------------
// Document

bool CJsonDocument::Parse(const CString& text)
{
    delete m_root;
    CJsonParser parser;
    m_root = parser.Parse(text);
    m_error = parser.GetErrorCode();
    m_message = parser.GetErrorMessage();
    return m_root != NULL && m_error == 0;
}

void CJsonDocument::Dump() const
{
    if (!m_root)
        return;
    CString text;
    text.Format(L"JsonType of Root: %s (%d)\n", m_root->GetType() == CJsonValue::TYPE_ARRAY ? L"array" : L"object",
                m_root->GetType());
    JsonWrite(text);
    m_root->Print(0);
    JsonWrite(L"\n");
}

CString CJsonDocument::Lookup(const CString& name) const
{
    if (!m_root || m_root->GetType() != CJsonValue::TYPE_OBJECT)
        return CString();
    CJsonMember* member = static_cast<CJsonValueObject*>(m_root)->Find(name);
    if (!member)
        return CString();
    return member->GetValue() ? member->GetValue()->ToString() : CString(L"null");
}

bool CJsonDocument::Save(const CString& /*path*/) const
{
    return false;
}
