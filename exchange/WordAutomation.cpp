#include "exchange/WordAutomation.h"
#include "afxexc.h"
#include "foundation/Log.h"
#include "storage/OleDbSupport.h"
#include <string>

namespace {

// LOCALE_SYSTEM_DEFAULT, the locale of every call.
const LCID kLocale = 0x0800;
const DWORD kOleMajorVersion = 23;
// Word's published constants.
const short kWrapContinue = 1;
const short kReplaceAll = 2;
const short kSaveChanges = -1;
const short kDoNotSaveChanges = 0;
const int kReportChars = 1024;

// Word reads "^" in a replacement as the start of a code ("^p", "^&"):
// "^^" is a plain "^".
std::wstring DoubleCarets(LPCWSTR text)
{
    std::wstring out;
    for (LPCWSTR p = text; *p; ++p) {
        out += *p;
        if (*p == L'^')
            out += L'^';
    }
    return out;
}

} // namespace

CWordAutomation::CWordAutomation()
    : m_nArgCount(0), m_nNamedArgCount(0), m_pWord(NULL), m_bOleInitialized(false)
{
    for (VARIANT& v : m_aArgs)
        VariantInit(&v);
    for (int i = 0; i <= kMaxArgs; ++i) {
        m_aDispIds[i] = DISPID_UNKNOWN;
        m_aNames[i] = NULL;
    }
    if (HIWORD(CoBuildVersion()) != kOleMajorVersion) {
        LogLine(L"Incorrect version of OLE libraries.");
    } else {
        HRESULT hr = OleInitialize(NULL);
        if (FAILED(hr))
            LogLine(L"Cannot initialize OLE.");
        else
            m_bOleInitialized = true;
    }
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"Word.Application", &clsid))) {
        LogLine(L"Cannot obtain CLSID from ProgID");
        return;
    }
    if (FAILED(CoCreateInstance(clsid, NULL, CLSCTX_LOCAL_SERVER, IID_IDispatch, (void**)&m_pWord))) {
        m_pWord = NULL;
        LogLine(L"Cannot start an instance of Word for Automation.");
    }
}

CWordAutomation::~CWordAutomation()
{
    ClearArgs();
    if (m_pWord) {
        m_pWord->Release();
        m_pWord = NULL;
    }
    if (m_bOleInitialized)
        OleUninitialize();
}

void CWordAutomation::ClearArgs()
{
    for (int i = 0; i < m_nArgCount; ++i)
        VariantClear(&m_aArgs[i]);
    m_nArgCount = 0;
    m_nNamedArgCount = 0;
}

void CWordAutomation::AddStringArg(LPCWSTR name, LPCWSTR text)
{
    if (m_nArgCount >= kMaxArgs)
        return;
    BSTR value = SysAllocStringLen(text ? text : L"", text ? (UINT)wcslen(text) : 0);
    if (!value)
        AfxThrowMemoryException();
    VARIANT& v = m_aArgs[m_nArgCount++];
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = value;
    if (name)
        m_aNames[++m_nNamedArgCount] = name;
}

void CWordAutomation::AddShortArg(LPCWSTR name, short value)
{
    if (m_nArgCount >= kMaxArgs)
        return;
    VARIANT& v = m_aArgs[m_nArgCount++];
    V_VT(&v) = VT_I2;
    V_I2(&v) = value;
    if (name)
        m_aNames[++m_nNamedArgCount] = name;
}

IDispatch* CWordAutomation::GetObjectProperty(IDispatch* object, LPCWSTR name)
{
    ClearArgs();
    VARIANT result;
    if (!Invoke(object, name, &result, DISPATCH_PROPERTYGET))
        return NULL;
    IDispatch* found = NULL;
    if (V_VT(&result) == VT_DISPATCH) {
        found = V_DISPATCH(&result);
        V_DISPATCH(&result) = NULL;
    }
    VariantClear(&result);
    return found;
}

bool CWordAutomation::CallMethod(IDispatch* object, LPCWSTR name)
{
    ClearArgs();
    VARIANT result;
    bool ok = Invoke(object, name, &result, DISPATCH_METHOD);
    VariantClear(&result);
    return ok;
}

bool CWordAutomation::PutStringProperty(IDispatch* object, LPCWSTR name, LPCWSTR text)
{
    ClearArgs();
    AddStringArg(NULL, text);
    return Invoke(object, name, NULL, DISPATCH_PROPERTYPUT);
}

bool CWordAutomation::PutShortProperty(IDispatch* object, LPCWSTR name, short value)
{
    ClearArgs();
    AddShortArg(NULL, value);
    return Invoke(object, name, NULL, DISPATCH_PROPERTYPUT);
}

bool CWordAutomation::PutBoolProperty(IDispatch* object, LPCWSTR name, bool value)
{
    ClearArgs();
    VARIANT& v = m_aArgs[m_nArgCount++];
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return Invoke(object, name, NULL, DISPATCH_PROPERTYPUT);
}

bool CWordAutomation::Invoke(IDispatch* object, LPCWSTR member, VARIANT* result, WORD flags)
{
    if (result)
        VariantInit(result);
    m_aNames[0] = member;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(m_aNames), m_nNamedArgCount + 1, kLocale,
                                       m_aDispIds);
    if (FAILED(hr)) {
        ReportError(member, hr, NULL, 0);
        ClearArgs();
        return false;
    }
    // A result nobody asked for is still taken and cleared: an object
    // returned there (Documents.Open gives the document) would otherwise
    // stay referenced and keep Word running.
    VARIANT dropped;
    VariantInit(&dropped);
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        m_nNamedArgCount = 1;
        m_aDispIds[1] = DISPID_PROPERTYPUT;
        result = NULL;
    } else if (!result) {
        result = &dropped;
    }
    DISPPARAMS params = {m_aArgs, &m_aDispIds[1], (UINT)m_nArgCount, (UINT)m_nNamedArgCount};
    EXCEPINFO excep;
    memset(&excep, 0, sizeof(excep));
    UINT argErr = 0;
    hr = object->Invoke(m_aDispIds[0], IID_NULL, kLocale, flags, &params, result, &excep, &argErr);
    VariantClear(&dropped);
    ClearArgs();
    if (FAILED(hr)) {
        if (hr == DISP_E_EXCEPTION && excep.pfnDeferredFillIn)
            excep.pfnDeferredFillIn(&excep);
        ReportError(member, hr, hr == DISP_E_EXCEPTION ? &excep : NULL, argErr);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
        return false;
    }
    return true;
}

void CWordAutomation::ReportError(LPCWSTR member, HRESULT hr, const EXCEPINFO* excep, UINT argErr)
{
    wchar_t text[kReportChars];
    switch (hr) {
    case DISP_E_MEMBERNOTFOUND:
        wsprintfW(text, L"%s: method or property not found.", member);
        break;
    case DISP_E_PARAMNOTFOUND:
        wsprintfW(text, L"%s: Argument not found, argument %d.", member, argErr);
        break;
    case DISP_E_TYPEMISMATCH:
        wsprintfW(text, L"%s: Type mismatch, argument %d.", member, argErr);
        break;
    case DISP_E_UNKNOWNNAME:
        wsprintfW(text, L"%s: Unknown name or named argument.", member);
        break;
    case DISP_E_NONAMEDARGS:
        wsprintfW(text, L"%s: Object implementation does not support named arguments.", member);
        break;
    case DISP_E_EXCEPTION: {
        // A server fills either wCode or scode (Word: scode, 0x800A0000 plus
        // its error number); the number is the one that is set.
        int code = !excep ? 0 : excep->wCode ? (int)excep->wCode : (int)HRESULT_CODE(excep->scode);
        wsprintfW(text, L"%s: Error %d: ", member, code);
        LPCWSTR description = excep && excep->bstrDescription ? excep->bstrDescription : L"<<No Description>>";
        size_t used = wcslen(text);
        if (used < kReportChars - 1)
            wcsncat(text, description, kReportChars - 1 - used);
        break;
    }
    case DISP_E_OVERFLOW:
        wsprintfW(text, L"%s: Overflow while coercing argument values.", member);
        break;
    case DISP_E_UNKNOWNLCID:
        wsprintfW(text, L"%s: The locale ID is unknown.", member);
        break;
    case DISP_E_BADPARAMCOUNT:
        wsprintfW(text, L"%s: Incorrect number of arguments.", member);
        break;
    case DISP_E_PARAMNOTOPTIONAL:
        wsprintfW(text, L"%s: Missing a required parameter.", member);
        break;
    default:
        wsprintfW(text, L"%s: Unknown error occured.", member);
        break;
    }
    LogLine(text);
}

bool CWordAutomation::OpenDocument(LPCWSTR path)
{
    if (!m_pWord)
        return false;
    COlePtr<IDispatch> documents;
    documents.Attach(GetObjectProperty(m_pWord, L"Documents"));
    if (!documents)
        return false;
    ClearArgs();
    AddStringArg(L"FileName", path);
    return Invoke(documents.Get(), L"Open", NULL, DISPATCH_METHOD);
}

bool CWordAutomation::ReplaceAll(LPCWSTR find, LPCWSTR replacement)
{
    if (!m_pWord || !find || !*find || !replacement || !*replacement)
        return false;
    COlePtr<IDispatch> selection, findObject, replacementObject;
    selection.Attach(GetObjectProperty(m_pWord, L"Selection"));
    if (selection)
        findObject.Attach(GetObjectProperty(selection.Get(), L"Find"));
    if (findObject)
        replacementObject.Attach(GetObjectProperty(findObject.Get(), L"Replacement"));
    if (!replacementObject)
        return false;
    IDispatch* f = findObject.Get();
    if (!CallMethod(f, L"ClearFormatting") || !CallMethod(replacementObject.Get(), L"ClearFormatting") ||
        !PutStringProperty(replacementObject.Get(), L"Text", DoubleCarets(replacement).c_str()) ||
        !PutStringProperty(f, L"Text", find) || !PutBoolProperty(f, L"Forward", true) ||
        !PutShortProperty(f, L"Wrap", kWrapContinue) || !PutBoolProperty(f, L"Format", false) ||
        !PutBoolProperty(f, L"MatchCase", false) || !PutBoolProperty(f, L"MatchWholeWord", false) ||
        !PutBoolProperty(f, L"MatchWildcards", false) || !PutBoolProperty(f, L"MatchSoundsLike", false) ||
        !PutBoolProperty(f, L"MatchAllWordForms", false))
        return false;
    ClearArgs();
    AddShortArg(L"Replace", kReplaceAll);
    VARIANT result;
    bool ok = Invoke(f, L"Execute", &result, DISPATCH_METHOD);
    VariantClear(&result);
    return ok;
}

bool CWordAutomation::CloseDocument(bool save)
{
    if (!m_pWord)
        return false;
    COlePtr<IDispatch> document;
    document.Attach(GetObjectProperty(m_pWord, L"ActiveDocument"));
    if (!document)
        return false;
    ClearArgs();
    AddShortArg(L"SaveChanges", save ? kSaveChanges : kDoNotSaveChanges);
    return Invoke(document.Get(), L"Close", NULL, DISPATCH_METHOD);
}

bool CWordAutomation::Quit()
{
    if (m_pWord) {
        // Without SaveChanges Word asks about a document still open with
        // changes (after a Close that failed), and an invisible Word's
        // question is never answered: the call would not return.
        ClearArgs();
        AddShortArg(L"SaveChanges", kDoNotSaveChanges);
        Invoke(m_pWord, L"Quit", NULL, DISPATCH_METHOD);
        m_pWord->Release();
        m_pWord = NULL;
    }
    return true;
}
