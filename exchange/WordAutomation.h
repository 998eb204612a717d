// Drives Word through COM automation, late bound by member names: start
// Word (never visible), open a document, replace every occurrence of a
// text, close the document, quit. One object per document, on the UI
// thread. Nothing is raised to the caller: each failure is one English log
// line and a false result.
#pragma once
#include <windows.h>
#include <oaidl.h>

class CWordAutomation
{
public:
    // Initialises OLE and starts "Word.Application" as a local server.
    CWordAutomation();
    // Releases Word when still held; ends OLE when this object began it.
    ~CWordAutomation();
    CWordAutomation(const CWordAutomation&) = delete;
    CWordAutomation& operator=(const CWordAutomation&) = delete;

    // Documents.Open(FileName:=path).
    bool OpenDocument(LPCWSTR path);
    // Selection.Find over the whole document, replacing all; false without
    // a call when either text is empty. The replacement arrives as written
    // (Word's "^" codes are not interpreted).
    bool ReplaceAll(LPCWSTR find, LPCWSTR replacement);
    // ActiveDocument.Close(SaveChanges:=-1 when save, else 0).
    bool CloseDocument(bool save);
    // Application.Quit(SaveChanges:=0): whatever is still open is not
    // saved; then Word is released. Always true.
    bool Quit();

    bool HasWord() const { return m_pWord != NULL; }

private:
    enum { kMaxArgs = 32 };

    void ClearArgs();
    // Named arguments go before the positional ones.
    void AddStringArg(LPCWSTR name, LPCWSTR text);
    void AddShortArg(LPCWSTR name, short value);
    // The object a property holds (the caller releases it), or null.
    IDispatch* GetObjectProperty(IDispatch* object, LPCWSTR name);
    bool CallMethod(IDispatch* object, LPCWSTR name);
    bool PutStringProperty(IDispatch* object, LPCWSTR name, LPCWSTR text);
    bool PutShortProperty(IDispatch* object, LPCWSTR name, short value);
    bool PutBoolProperty(IDispatch* object, LPCWSTR name, bool value);
    bool Invoke(IDispatch* object, LPCWSTR member, VARIANT* result, WORD flags);
    void ReportError(LPCWSTR member, HRESULT hr, const EXCEPINFO* excep, UINT argErr);

    int m_nArgCount;
    int m_nNamedArgCount;
    VARIANT m_aArgs[kMaxArgs];
    DISPID m_aDispIds[kMaxArgs + 1];
    LPCWSTR m_aNames[kMaxArgs + 1];
    IDispatch* m_pWord;
    bool m_bOleInitialized;
};
