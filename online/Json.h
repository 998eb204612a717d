// A small JSON library: a tree of values, a lenient parser of UTF-16 text
// into such a tree, builders of objects and arrays, and a debug printer.
//
// The parser keeps what it reads as written: escape sequences stay in the
// text undecoded, a word counts as true, false or null by its first four or
// five letters in any case ("TRUE", "nullable"), a leading "0" ends a number
// ("012" is 0 and 12), and a string without its closing quote runs to the
// end of the text. Only an object or an array is read at the top level.
// Objects and arrays own their children and delete them with themselves.
#pragma once
#include <windows.h>
#include <vector>
#include "afxstr.h"

// Two blanks per level.
CString JsonIndent(int level);

// The printing goes through one writer: by default the standard output, as
// text in the thread's ANSI code page. SetWriter returns the writer in use
// before; NULL brings back the default.
typedef void (*JsonWriter)(const CString& text);
JsonWriter JsonSetWriter(JsonWriter writer);
void JsonWrite(const CString& text);

// The null value, and the base of the others.
class CJsonValue
{
public:
    enum { TYPE_NULL = 0, TYPE_STRING = 1, TYPE_NUMBER = 2, TYPE_BOOL = 3, TYPE_OBJECT = 4, TYPE_ARRAY = 5 };

    CJsonValue() : m_type(TYPE_NULL) {}
    virtual ~CJsonValue() {}
    virtual CString ToString() const;
    // The indentation of the level, then ToString.
    virtual void Print(int level) const;

    int GetType() const { return m_type; }

protected:
    explicit CJsonValue(int type) : m_type(type) {}

private:
    CJsonValue(const CJsonValue&) = delete;
    CJsonValue& operator=(const CJsonValue&) = delete;

    int m_type;
};

class CJsonValueString : public CJsonValue
{
public:
    explicit CJsonValueString(const CString& text) : CJsonValue(TYPE_STRING), m_text(text) {}
    CString ToString() const override { return m_text; }
    void Print(int level) const override;

private:
    CString m_text;
};

// A number and the count of characters that followed the "." of its text.
class CJsonValueNumber : public CJsonValue
{
public:
    CJsonValueNumber(double value, int decimals) : CJsonValue(TYPE_NUMBER), m_value(value), m_decimals(decimals) {}
    // Without decimals the value rounded half away from zero to a whole
    // number in the 32-bit range (beyond it the nearest end); otherwise
    // fixed point with that many decimals, however long.
    CString ToString() const override;

    double GetValue() const { return m_value; }
    int GetDecimals() const { return m_decimals; }

private:
    double m_value;
    int m_decimals;
};

class CJsonValueBool : public CJsonValue
{
public:
    explicit CJsonValueBool(bool value) : CJsonValue(TYPE_BOOL), m_value(value) {}
    CString ToString() const override { return m_value ? L"true" : L"false"; }

    bool GetValue() const { return m_value; }

private:
    bool m_value;
};

// One member of an object; the value is owned and may be missing (NULL).
class CJsonMember
{
public:
    CJsonMember(const CString& name, CJsonValue* value) : m_name(name), m_value(value) {}
    ~CJsonMember() { delete m_value; }
    // The name, then an array value at this level, any other value at
    // level 0, or "null" when there is none.
    void Print(int level) const;

    const CString& GetName() const { return m_name; }
    CJsonValue* GetValue() const { return m_value; }

private:
    CJsonMember(const CJsonMember&) = delete;
    CJsonMember& operator=(const CJsonMember&) = delete;

    CString m_name;
    CJsonValue* m_value;
};

// Members in the order they were added; names need not be unique.
class CJsonValueObject : public CJsonValue
{
public:
    CJsonValueObject() : CJsonValue(TYPE_OBJECT) {}
    ~CJsonValueObject() override { Clear(); }
    CString ToString() const override { return L"object"; }
    void Print(int level) const override;

    void AddString(const CString& name, const CString& text);
    // An array of string values, one for each text.
    void AddStringArray(const CString& name, const std::vector<CString>& texts);
    // Takes ownership of the value (which may be NULL).
    void AddValue(const CString& name, CJsonValue* value);
    // Deletes every member of exactly this name.
    void Remove(const CString& name);
    // The first member of exactly this name (compared code unit by code
    // unit), or NULL.
    CJsonMember* Find(const CString& name) const;
    void Clear();

    int GetCount() const { return (int)m_members.size(); }
    CJsonMember* GetMember(int index) const { return m_members[index]; }

private:
    std::vector<CJsonMember*> m_members;
};

class CJsonValueArray : public CJsonValue
{
public:
    CJsonValueArray() : CJsonValue(TYPE_ARRAY) {}
    // A string value for each text.
    explicit CJsonValueArray(const std::vector<CString>& texts);
    ~CJsonValueArray() override { Clear(); }
    CString ToString() const override { return L"array"; }
    void Print(int level) const override;

    // Appends the value and takes ownership of it.
    void Add(CJsonValue* value);
    void Clear();

    int GetCount() const { return (int)m_values.size(); }
    CJsonValue* GetAt(int index) const { return m_values[index]; }

private:
    std::vector<CJsonValue*> m_values;
};

// Reads a text into a tree. Error codes (0: none):
//   1  a token that is no value (no message; inside an object or array it
//      becomes the enclosing level's own error)
//   10 "expected 'itme'"  an object member does not start with a string
//   11 "expected 'item'"  an array element that is no value, or any error of
//      a member (missing name, colon or value, or an error inside its
//      value) in place of the member's own; an array keeps the code of an
//      error inside an element
//   30 "nesting deeper than 512 levels"  kept by every enclosing level
// A member's own errors are 20 "expected 'name'", 21 "expected ':'" and 22.
// On an error the parse stops there and what was built so far comes back.
class CJsonParser
{
public:
    enum { MAX_DEPTH = 512 };

    CJsonParser() : m_text(NULL), m_length(0), m_pos(0), m_error(0) {}
    // The root value (the caller owns it), or NULL when the text is empty or
    // does not start with an object or an array. The text is read by its
    // length; it may hold NUL characters.
    CJsonValue* Parse(const CString& text);

    int GetErrorCode() const { return m_error; }
    const CString& GetErrorMessage() const { return m_message; }

private:
    struct Token;

    bool NextToken(Token& token);
    CJsonValue* ParseValue(const Token& token, int depth);
    CJsonValue* ParseArray(int depth);
    CJsonValue* ParseObject(int depth);
    bool ParseMember(const Token& nameToken, CJsonValueObject* object, int depth);
    void SetError(int code, LPCWSTR message);

    LPCWSTR m_text; // the text being parsed, read by m_length only
    int m_length;
    int m_pos;
    int m_error;
    CString m_message;
};

// A parsed text and its root value.
class CJsonDocument
{
public:
    CJsonDocument() : m_root(NULL), m_error(0) {}
    ~CJsonDocument() { delete m_root; }

    // Replaces the root with what the text parses to. True only when a root
    // came back without an error; after an error the partial root is kept
    // and the error code and message say what went wrong.
    bool Parse(const CString& text);
    // Prints the root's type and the root.
    void Dump() const;
    // ToString of the top-level member of this name, or "" when the root is
    // no object or has no such member.
    CString Lookup(const CString& name) const;
    // A document is not written back: always false.
    bool Save(const CString& path) const;

    CJsonValue* GetRoot() const { return m_root; }
    int GetErrorCode() const { return m_error; }
    const CString& GetErrorMessage() const { return m_message; }

private:
    CJsonDocument(const CJsonDocument&) = delete;
    CJsonDocument& operator=(const CJsonDocument&) = delete;

    CJsonValue* m_root;
    int m_error;
    CString m_message;
};
