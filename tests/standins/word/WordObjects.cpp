// The objects the stand-in answers through IDispatch, late bound by name:
// Application, Documents, Document, Selection, Find and Replacement, with
// the members Folionex calls and a few neighbours. Every call is traced as
// "Object.Member KIND arguments -> HRESULT".
#include <memory>
#include <vector>
#include "WordDocument.h"
#include "WordServer.h"

namespace word_standin {

namespace {

enum Kind : WORD { GET = DISPATCH_PROPERTYGET, PUT = DISPATCH_PROPERTYPUT, METHOD = DISPATCH_METHOD };

struct Member
{
    const wchar_t* name;
    WORD kinds;
    std::vector<const wchar_t*> params;
};

// An error of a call: the HRESULT, and for DISP_E_EXCEPTION Word's number
// and text. Word gives its number in EXCEPINFO.scode (0x800A0000 + number)
// with wCode 0; inWCode (a knob) gives it in wCode with scode 0 instead, as
// other servers may.
struct CallError
{
    HRESULT hr = S_OK;
    UINT argErr = 0;
    WORD code = 0;
    std::wstring description;
    bool hasDescription = false;
    bool inWCode = false;
};

CallError Exception(WORD code, const std::wstring& description)
{
    CallError e;
    e.hr = DISP_E_EXCEPTION;
    e.code = code;
    e.description = description;
    e.hasDescription = true;
    return e;
}

std::wstring KindName(WORD flags)
{
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
        return L"PUT";
    if (flags & DISPATCH_METHOD)
        return L"METHOD";
    return L"GET";
}

std::wstring Hex(HRESULT hr)
{
    wchar_t buf[16];
    swprintf(buf, 16, L"0x%08lX", (unsigned long)hr);
    return buf;
}

// "I2:-1", "BSTR:\"text\"", "BOOL:0" ...
std::wstring Describe(const VARIANT* v)
{
    static const struct { VARTYPE vt; const wchar_t* name; } kNames[] = {
        {VT_EMPTY, L"EMPTY"}, {VT_NULL, L"NULL"}, {VT_I2, L"I2"}, {VT_I4, L"I4"}, {VT_BSTR, L"BSTR"},
        {VT_BOOL, L"BOOL"}, {VT_DISPATCH, L"DISPATCH"}, {VT_ERROR, L"ERROR"}, {VT_UI1, L"UI1"}, {VT_R8, L"R8"}};
    VARTYPE vt = V_VT(v) & ~VT_BYREF;
    std::wstring name = L"VT" + std::to_wstring(vt);
    for (const auto& n : kNames)
        if (n.vt == vt)
            name = n.name;
    if (V_VT(v) & VT_BYREF)
        name += L"*";
    VARIANT text;
    VariantInit(&text);
    std::wstring value;
    if (vt != VT_EMPTY && vt != VT_NULL && vt != VT_DISPATCH &&
        SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(v), 0, VT_BSTR))) {
        value = V_BSTR(&text) ? V_BSTR(&text) : L"";
        if (vt == VT_BSTR)
            value = L"\"" + value + L"\"";
    }
    VariantClear(&text);
    return value.empty() ? name : name + L":" + value;
}

// The arguments of one call by the member's parameter positions.
class CArgs
{
public:
    std::vector<VARIANT*> values;
    std::vector<UINT> indexes; // position in rgvarg, for puArgErr

    bool Has(size_t p) const
    {
        if (p >= values.size() || !values[p])
            return false;
        VARTYPE vt = V_VT(values[p]);
        return vt != VT_EMPTY && !(vt == VT_ERROR && V_ERROR(values[p]) == DISP_E_PARAMNOTFOUND);
    }
    HRESULT Get(size_t p, VARTYPE vt, VARIANT& out, CallError& error) const
    {
        VariantInit(&out);
        HRESULT hr = VariantChangeType(&out, values[p], 0, vt);
        if (FAILED(hr)) {
            error.hr = DISP_E_TYPEMISMATCH;
            error.argErr = indexes[p];
        }
        return hr;
    }
    bool String(size_t p, std::wstring& out, CallError& error) const
    {
        VARIANT v;
        if (FAILED(Get(p, VT_BSTR, v, error)))
            return false;
        out = V_BSTR(&v) ? std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))) : std::wstring();
        VariantClear(&v);
        return true;
    }
    bool Int(size_t p, int& out, CallError& error) const
    {
        VARIANT v;
        if (FAILED(Get(p, VT_I4, v, error)))
            return false;
        out = V_I4(&v);
        return true;
    }
    bool Bool(size_t p, bool& out, CallError& error) const
    {
        VARIANT v;
        if (FAILED(Get(p, VT_BOOL, v, error)))
            return false;
        out = V_BOOL(&v) != VARIANT_FALSE;
        return true;
    }
};

class CDispatchObject : public IDispatch
{
public:
    CDispatchObject(const wchar_t* name, const std::vector<Member>& members) : m_name(name), m_members(members)
    {
        ObjectMade();
    }
    virtual ~CDispatchObject() { ObjectGone(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = NULL;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG n = --m_refs;
        if (n == 0)
            delete this;
        return n;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (count)
            *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (!names || !ids || count == 0)
            return E_INVALIDARG;
        std::wstring list = names[0];
        for (UINT i = 1; i < count; ++i)
            list += std::wstring(i == 1 ? L"(" : L",") + names[i] + (i + 1 == count ? L")" : L"");
        HRESULT forced = KnobFailure(names[0], L"GetIDsOfNames", NULL);
        if (FAILED(forced)) {
            Trace(m_name + L"." + list + L" NAMES -> " + Hex(forced) + L" (knob)");
            return forced;
        }
        const Member* m = NULL;
        for (size_t i = 0; i < m_members.size(); ++i)
            if (_wcsicmp(m_members[i].name, names[0]) == 0) {
                m = &m_members[i];
                ids[0] = (DISPID)(i + 1);
            }
        HRESULT hr = S_OK;
        if (!m) {
            ids[0] = DISPID_UNKNOWN;
            hr = DISP_E_UNKNOWNNAME;
        }
        for (UINT i = 1; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            if (m)
                for (size_t p = 0; p < m->params.size(); ++p)
                    if (_wcsicmp(m->params[p], names[i]) == 0)
                        ids[i] = (DISPID)p;
            if (ids[i] == DISPID_UNKNOWN)
                hr = DISP_E_UNKNOWNNAME;
        }
        if (FAILED(hr))
            Trace(m_name + L"." + list + L" NAMES -> " + Hex(hr));
        return hr;
    }

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT* result, EXCEPINFO* excep,
                        UINT* argErr) override
    {
        if (id < 1 || (size_t)id > m_members.size())
            return DISP_E_MEMBERNOTFOUND;
        const Member& m = m_members[id - 1];
        DISPPARAMS none = {NULL, NULL, 0, 0};
        if (!dp)
            dp = &none;
        std::wstring line = m_name + L"." + m.name + L" " + KindName(flags);
        for (UINT i = 0; i < dp->cArgs; ++i) {
            std::wstring label;
            if (i < dp->cNamedArgs) {
                DISPID p = dp->rgdispidNamedArgs[i];
                label = p == DISPID_PROPERTYPUT ? L"" : (p >= 0 && (size_t)p < m.params.size()) ? m.params[p] : L"?";
                if (!label.empty())
                    label += L"=";
            } else {
                label = L"#" + std::to_wstring(dp->cArgs - 1 - i) + L"=";
            }
            line += L" " + label + Describe(&dp->rgvarg[i]);
        }
        CallError error;
        HRESULT forced = KnobFailure(m.name, L"Invoke", &error);
        if (FAILED(forced)) {
            line += L" (knob)";
        } else if (!(flags & m.kinds)) {
            error.hr = DISP_E_MEMBERNOTFOUND;
        } else {
            CArgs args;
            error.hr = MapArgs(m, flags, dp, args, error.argErr);
            if (SUCCEEDED(error.hr)) {
                if (result)
                    VariantInit(result);
                VARIANT dummy;
                VariantInit(&dummy);
                error = Call(m.name, flags, args, result ? result : &dummy);
                VariantClear(&dummy);
            }
        }
        line += L" -> " + Hex(error.hr);
        if (error.hr == DISP_E_EXCEPTION)
            line += L" " + std::to_wstring(error.code) + L" \"" + error.description + L"\"";
        Trace(line);
        if (error.hr == DISP_E_EXCEPTION && excep) {
            memset(excep, 0, sizeof(*excep));
            if (error.inWCode)
                excep->wCode = error.code;
            else
                excep->scode = MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, error.code);
            excep->bstrSource = SysAllocString(L"Microsoft Word");
            if (error.hasDescription)
                excep->bstrDescription = SysAllocStringLen(error.description.data(), (UINT)error.description.size());
        }
        if (FAILED(error.hr) && argErr)
            *argErr = error.argErr;
        return error.hr;
    }

protected:
    virtual CallError Call(const std::wstring& member, WORD flags, const CArgs& args, VARIANT* result) = 0;

    static void ReturnObject(VARIANT* result, IDispatch* object)
    {
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = object;
    }
    static void ReturnBool(VARIANT* result, bool value)
    {
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    static void ReturnString(VARIANT* result, const std::wstring& value)
    {
        V_VT(result) = VT_BSTR;
        V_BSTR(result) = SysAllocStringLen(value.data(), (UINT)value.size());
    }
    // A property kept in a variable: a put sets it, a get returns it.
    static CallError TextProperty(WORD flags, const CArgs& args, VARIANT* result, std::wstring& value)
    {
        CallError error;
        if (flags & DISPATCH_PROPERTYPUT)
            args.String(0, value, error);
        else
            ReturnString(result, value);
        return error;
    }
    static CallError BoolProperty(WORD flags, const CArgs& args, VARIANT* result, bool& value)
    {
        CallError error;
        if (flags & DISPATCH_PROPERTYPUT)
            args.Bool(0, value, error);
        else
            ReturnBool(result, value);
        return error;
    }
    static CallError IntProperty(WORD flags, const CArgs& args, VARIANT* result, int& value)
    {
        CallError error;
        if (flags & DISPATCH_PROPERTYPUT) {
            args.Int(0, value, error);
        } else {
            V_VT(result) = VT_I4;
            V_I4(result) = value;
        }
        return error;
    }

    std::wstring m_name;

private:
    // The knob: Fail.Member names "Member" or "Object.Member"; Fail.At is
    // Invoke (default) or GetIDsOfNames.
    HRESULT KnobFailure(const std::wstring& member, const wchar_t* at, CallError* error)
    {
        auto knobs = ReadControl();
        auto target = knobs.find(L"Fail.Member");
        if (target == knobs.end())
            return S_OK;
        if (_wcsicmp(target->second.c_str(), member.c_str()) != 0 &&
            _wcsicmp(target->second.c_str(), (m_name + L"." + member).c_str()) != 0)
            return S_OK;
        std::wstring where = knobs.count(L"Fail.At") ? knobs[L"Fail.At"] : L"Invoke";
        if (_wcsicmp(where.c_str(), at) != 0)
            return S_OK;
        HRESULT hr = knobs.count(L"Fail.HResult") ? (HRESULT)wcstoul(knobs[L"Fail.HResult"].c_str(), NULL, 0)
                                                  : DISP_E_EXCEPTION;
        if (error) {
            error->hr = hr;
            error->argErr = knobs.count(L"Fail.ArgErr") ? wcstoul(knobs[L"Fail.ArgErr"].c_str(), NULL, 0) : 0;
            error->code = knobs.count(L"Fail.Code") ? (WORD)wcstoul(knobs[L"Fail.Code"].c_str(), NULL, 0) : 0;
            error->hasDescription = knobs.count(L"Fail.Description") != 0;
            error->inWCode = knobs.count(L"Fail.InWCode") && knobs[L"Fail.InWCode"] == L"1";
            error->description = error->hasDescription ? knobs[L"Fail.Description"] : L"";
        }
        return hr;
    }

    // Named arguments first in rgvarg, positional ones after them in
    // reverse order; a property put's value is the named DISPID_PROPERTYPUT.
    static HRESULT MapArgs(const Member& m, WORD flags, DISPPARAMS* dp, CArgs& args, UINT& argErr)
    {
        bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        size_t slots = put ? 1 : m.params.size();
        args.values.assign(slots, NULL);
        args.indexes.assign(slots, 0);
        UINT named = dp->cNamedArgs;
        UINT first = 0;
        if (put) {
            if (named < 1 || dp->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT || dp->cArgs != 1)
                return DISP_E_BADPARAMCOUNT;
            args.values[0] = &dp->rgvarg[0];
            return S_OK;
        }
        for (UINT i = first; i < named; ++i) {
            DISPID p = dp->rgdispidNamedArgs[i];
            if (p < 0 || (size_t)p >= slots) {
                argErr = i;
                return DISP_E_PARAMNOTFOUND;
            }
            args.values[p] = &dp->rgvarg[i];
            args.indexes[p] = i;
        }
        UINT positional = dp->cArgs - named;
        if (positional > slots)
            return DISP_E_BADPARAMCOUNT;
        for (UINT k = 0; k < positional; ++k) {
            args.values[k] = &dp->rgvarg[dp->cArgs - 1 - k];
            args.indexes[k] = dp->cArgs - 1 - k;
        }
        return S_OK;
    }

    ULONG m_refs = 1;
    const std::vector<Member>& m_members;
};

// What one application holds: its open documents (the last one active)
// and the settings of its Find and Replacement.
struct CWordState
{
    std::vector<std::shared_ptr<CWordDocument>> documents;
    std::wstring findText, replacementText;
    bool forward = true, format = false, matchCase = false, matchWholeWord = false, matchWildcards = false,
         matchSoundsLike = false, matchAllWordForms = false;
    int wrap = 0;

    std::shared_ptr<CWordDocument> Active() { return documents.empty() ? nullptr : documents.back(); }
    void Forget(const std::shared_ptr<CWordDocument>& doc)
    {
        for (size_t i = 0; i < documents.size(); ++i)
            if (documents[i] == doc) {
                documents.erase(documents.begin() + i);
                return;
            }
    }
};

CallError NoDocument()
{
    return Exception(4248, L"This command is not available because no document is open.");
}

// Saves as Document.Save does. Word opens a file with the read-only
// attribute read-only and cannot save into it.
CallError SaveDocument(const std::shared_ptr<CWordDocument>& doc)
{
    std::wstring reason;
    if (doc->IsReadOnly())
        return Exception(5487, L"Word cannot complete the save due to a file permission error. (" + doc->Path() + L")");
    if (!doc->Save(reason))
        return Exception(5153, L"Cannot save the document: " + reason);
    Trace(L"saved " + doc->Path());
    return CallError();
}

// Closes a document as Document.Close and Application.Quit do. Without
// SaveChanges Word asks whether to save a changed document: an invisible
// Word waits for an answer nobody can give and the call never returns.
// Here the call fails at once with RPC_E_TIMEOUT, the document stays open
// and the trace says why. A close whose save fails leaves it open too.
CallError CloseDocument(CWordState& state, const std::shared_ptr<CWordDocument>& doc, const CArgs& args)
{
    CallError error;
    int save = -2; // Word's default: ask
    if (args.Has(0) && !args.Int(0, save, error))
        return error;
    if (save != 0 && save != -1 && save != -2)
        return Exception(5941, L"The requested member of the collection does not exist.");
    if (save == -2 && doc->IsDirty()) {
        Trace(L"save question for " + doc->Path() + L": Word is invisible, nobody can answer; the call would never return");
        error.hr = RPC_E_TIMEOUT;
        return error;
    }
    if (save == -1 && doc->IsDirty()) {
        error = SaveDocument(doc);
        if (FAILED(error.hr))
            return error;
    }
    state.Forget(doc);
    return error;
}

// Objects below the application keep it alive with a reference.
class CChild : public CDispatchObject
{
public:
    CChild(const wchar_t* name, const std::vector<Member>& members, IDispatch* app, CWordState& state)
        : CDispatchObject(name, members), m_app(app), m_state(state)
    {
        m_app->AddRef();
    }
    ~CChild() override { m_app->Release(); }

protected:
    IDispatch* m_app;
    CWordState& m_state;
};

const std::vector<Member> kDocumentMembers = {
    {L"Close", METHOD, {L"SaveChanges", L"OriginalFormat", L"RouteDocument"}},
    {L"Save", METHOD, {}},
    {L"FullName", GET, {}},
    {L"Name", GET, {}},
};

class CDocument : public CChild
{
public:
    CDocument(IDispatch* app, CWordState& state, std::shared_ptr<CWordDocument> doc)
        : CChild(L"Document", kDocumentMembers, app, state), m_doc(doc)
    {
    }

protected:
    CallError Call(const std::wstring& member, WORD, const CArgs& args, VARIANT* result) override
    {
        bool open = false;
        for (auto& d : m_state.documents)
            open = open || d == m_doc;
        if (!open)
            return Exception(4198, L"Command failed: the document is closed.");
        if (member == L"Close")
            return CloseDocument(m_state, m_doc, args);
        if (member == L"Save") {
            return SaveDocument(m_doc);
        } else if (member == L"FullName") {
            ReturnString(result, m_doc->Path());
        } else {
            std::wstring path = m_doc->Path();
            ReturnString(result, path.substr(path.find_last_of(L'\\') + 1));
        }
        return CallError();
    }

private:
    std::shared_ptr<CWordDocument> m_doc;
};

const std::vector<Member> kDocumentsMembers = {
    {L"Open", METHOD,
     {L"FileName", L"ConfirmConversions", L"ReadOnly", L"AddToRecentFiles", L"PasswordDocument", L"PasswordTemplate",
      L"Revert", L"WritePasswordDocument", L"WritePasswordTemplate", L"Format", L"Encoding", L"Visible"}},
    {L"Count", GET, {}},
};

class CDocuments : public CChild
{
public:
    CDocuments(IDispatch* app, CWordState& state) : CChild(L"Documents", kDocumentsMembers, app, state) {}

protected:
    CallError Call(const std::wstring& member, WORD, const CArgs& args, VARIANT* result) override
    {
        CallError error;
        if (member == L"Count") {
            V_VT(result) = VT_I4;
            V_I4(result) = (LONG)m_state.documents.size();
            return error;
        }
        std::wstring path;
        if (!args.Has(0)) {
            error.hr = DISP_E_PARAMNOTOPTIONAL;
            return error;
        }
        bool readOnly = false;
        if (!args.String(0, path, error) || (args.Has(2) && !args.Bool(2, readOnly, error)))
            return error;
        auto doc = std::make_shared<CWordDocument>();
        std::wstring reason;
        if (!doc->Load(path, reason, readOnly)) {
            if (reason == L"not found")
                return Exception(5174, L"This file could not be found. (" + path + L")");
            return Exception(5792, L"The file appears to be corrupted: " + reason + L". (" + path + L")");
        }
        m_state.documents.push_back(doc);
        ReturnObject(result, new CDocument(m_app, m_state, doc));
        return error;
    }
};

const std::vector<Member> kReplacementMembers = {
    {L"ClearFormatting", METHOD, {}},
    {L"Text", GET | PUT, {}},
};

class CReplacement : public CChild
{
public:
    CReplacement(IDispatch* app, CWordState& state) : CChild(L"Replacement", kReplacementMembers, app, state) {}

protected:
    CallError Call(const std::wstring& member, WORD flags, const CArgs& args, VARIANT* result) override
    {
        if (member == L"Text")
            return TextProperty(flags, args, result, m_state.replacementText);
        return CallError();
    }
};

const std::vector<Member> kFindMembers = {
    {L"ClearFormatting", METHOD, {}},
    {L"Replacement", GET, {}},
    {L"Text", GET | PUT, {}},
    {L"Forward", GET | PUT, {}},
    {L"Wrap", GET | PUT, {}},
    {L"Format", GET | PUT, {}},
    {L"MatchCase", GET | PUT, {}},
    {L"MatchWholeWord", GET | PUT, {}},
    {L"MatchWildcards", GET | PUT, {}},
    {L"MatchSoundsLike", GET | PUT, {}},
    {L"MatchAllWordForms", GET | PUT, {}},
    {L"Execute", METHOD,
     {L"FindText", L"MatchCase", L"MatchWholeWord", L"MatchWildcards", L"MatchSoundsLike", L"MatchAllWordForms",
      L"Forward", L"Wrap", L"Format", L"ReplaceWith", L"Replace"}},
};

class CFind : public CChild
{
public:
    CFind(IDispatch* app, CWordState& state) : CChild(L"Find", kFindMembers, app, state) {}

protected:
    CallError Call(const std::wstring& member, WORD flags, const CArgs& args, VARIANT* result) override
    {
        if (member == L"ClearFormatting")
            return CallError();
        if (member == L"Replacement") {
            ReturnObject(result, new CReplacement(m_app, m_state));
            return CallError();
        }
        if (member == L"Text")
            return TextProperty(flags, args, result, m_state.findText);
        if (member == L"Wrap")
            return IntProperty(flags, args, result, m_state.wrap);
        struct { const wchar_t* name; bool* flag; } flagsOf[] = {
            {L"Forward", &m_state.forward}, {L"Format", &m_state.format}, {L"MatchCase", &m_state.matchCase},
            {L"MatchWholeWord", &m_state.matchWholeWord}, {L"MatchWildcards", &m_state.matchWildcards},
            {L"MatchSoundsLike", &m_state.matchSoundsLike}, {L"MatchAllWordForms", &m_state.matchAllWordForms}};
        for (auto& f : flagsOf)
            if (member == f.name)
                return BoolProperty(flags, args, result, *f.flag);
        return Execute(args, result);
    }

private:
    CallError Execute(const CArgs& args, VARIANT* result)
    {
        CallError error;
        std::wstring find = m_state.findText, replacement = m_state.replacementText;
        bool matchCase = m_state.matchCase, wholeWord = m_state.matchWholeWord;
        bool wildcards = m_state.matchWildcards, soundsLike = m_state.matchSoundsLike,
             allForms = m_state.matchAllWordForms;
        int replace = 0;
        if ((args.Has(0) && !args.String(0, find, error)) || (args.Has(1) && !args.Bool(1, matchCase, error)) ||
            (args.Has(2) && !args.Bool(2, wholeWord, error)) || (args.Has(3) && !args.Bool(3, wildcards, error)) ||
            (args.Has(4) && !args.Bool(4, soundsLike, error)) || (args.Has(5) && !args.Bool(5, allForms, error)) ||
            (args.Has(9) && !args.String(9, replacement, error)) || (args.Has(10) && !args.Int(10, replace, error)))
            return error;
        auto doc = m_state.Active();
        if (!doc)
            return NoDocument();
        if (wildcards || soundsLike || allForms)
            return Exception(5560, L"The stand-in does not search with wildcards, sounds-like or word forms.");
        if (find.size() > 255 || replacement.size() > 255)
            return Exception(5854, L"The string parameter is too long.");
        FindOptions options;
        options.matchCase = matchCase;
        options.matchWholeWord = wholeWord;
        bool found = false;
        if (replace == 0) {
            found = doc->Contains(find, options);
        } else {
            std::wstring reason;
            int count = doc->Replace(find, replacement, options, replace == 2 ? -1 : 1, reason);
            if (count < 0)
                return Exception(5560, reason);
            Trace(L"replaced " + std::to_wstring(count) + L" \"" + find + L"\"");
            found = count > 0;
        }
        ReturnBool(result, found);
        return error;
    }
};

const std::vector<Member> kSelectionMembers = {
    {L"Find", GET, {}},
};

class CSelection : public CChild
{
public:
    CSelection(IDispatch* app, CWordState& state) : CChild(L"Selection", kSelectionMembers, app, state) {}

protected:
    CallError Call(const std::wstring&, WORD, const CArgs&, VARIANT* result) override
    {
        ReturnObject(result, new CFind(m_app, m_state));
        return CallError();
    }
};

const std::vector<Member> kApplicationMembers = {
    {L"Documents", GET, {}},
    {L"Selection", GET, {}},
    {L"ActiveDocument", GET, {}},
    {L"Quit", METHOD, {L"SaveChanges", L"OriginalFormat", L"RouteDocument"}},
    {L"Visible", GET | PUT, {}},
    {L"Name", GET, {}},
};

class CApplication : public CDispatchObject
{
public:
    CApplication() : CDispatchObject(L"Application", kApplicationMembers) {}

protected:
    CallError Call(const std::wstring& member, WORD flags, const CArgs& args, VARIANT* result) override
    {
        CallError error;
        if (member == L"Documents") {
            ReturnObject(result, new CDocuments(this, m_state));
        } else if (member == L"Selection") {
            if (!m_state.Active())
                return NoDocument();
            ReturnObject(result, new CSelection(this, m_state));
        } else if (member == L"ActiveDocument") {
            auto doc = m_state.Active();
            if (!doc)
                return NoDocument();
            ReturnObject(result, new CDocument(this, m_state, doc));
        } else if (member == L"Quit") {
            while (auto doc = m_state.Active()) {
                error = CloseDocument(m_state, doc, args);
                if (FAILED(error.hr))
                    return error;
            }
            QuitRequested();
        } else if (member == L"Visible") {
            return BoolProperty(flags, args, result, m_visible);
        } else {
            ReturnString(result, L"Microsoft Word");
        }
        return error;
    }

private:
    CWordState m_state;
    bool m_visible = false;
};

} // namespace

IDispatch* NewApplication()
{
    return new CApplication();
}

} // namespace word_standin
