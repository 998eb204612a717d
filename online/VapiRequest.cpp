#include "online/VapiRequest.h"
#include <new>
#include <vector>
#include "foundation/Log.h"
#include "foundation/Progress.h"
#include "online/StopSignal.h"

namespace {

const wchar_t kAgent[] = L"Folionex Client Application";
// How long the closing protocol waits for WinINet's notice that the request
// handle is gone. Past it the context is left allocated rather than freed
// under a callback that may still come.
const DWORD kCleanUpWaitMs = 60000;
// After a cancel the caller does not wait for a stalled server: WinINet may
// hold the handle until its pending call ends, so the context is left
// allocated sooner.
const DWORD kCancelCleanUpWaitMs = 2000;

void LogFormattedError(DWORD source, HMODULE module, DWORD code, LPCWSTR callName)
{
    LPWSTR text = NULL;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | source, module, code,
                             LANG_USER_DEFAULT, reinterpret_cast<LPWSTR>(&text), 0, NULL);
    if (n && text)
        LogFormat(L"%ws: %ws", callName, text);
    else
        LogFormat(L"Error %d while formatting message for %d in %ws", (int)GetLastError(), (int)code, callName);
    if (text)
        LocalFree(text);
}

// The code a failed stream operation left, or the fallback when it left
// none (or one the state machine would take for a pending call).
DWORD StreamError(DWORD fallback)
{
    DWORD code = GetLastError();
    return (code == ERROR_SUCCESS || code == ERROR_IO_PENDING) ? fallback : code;
}

CString FailureText(DWORD code, DWORD status)
{
    CString text;
    if (code == ERROR_SUCCESS)
        text.Format(L"A szerver hibával válaszolt (HTTP %d).", (int)status);
    else if (code == ERROR_INTERNET_TIMEOUT)
        text = L"A szerver nem válaszolt időben.";
    else if (code == ERROR_FILE_TOO_LARGE)
        text = L"A szerver válasza hosszabb a vártnál, ezért nem fogadtam el.";
    else if (code == ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR)
        text = L"A szerver titkosítatlan kapcsolatra irányított át, ezért nem folytattam.";
    else
        text.Format(L"Az adatátvitel nem sikerült (hibakód: %d).", (int)code);
    return text;
}

} // namespace

void LogWinInetError(DWORD code, LPCWSTR callName)
{
    LogFormattedError(FORMAT_MESSAGE_FROM_HMODULE, GetModuleHandleW(L"wininet.dll"), code, callName);
}

void LogSystemError(DWORD code, LPCWSTR callName)
{
    LogFormattedError(FORMAT_MESSAGE_FROM_SYSTEM, NULL, code, callName);
}

bool IsHttpsUrl(LPCWSTR url, LPCWSTR host)
{
    if (!url || !*url)
        return false;
    wchar_t hostName[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {0};
    URL_COMPONENTSW parts;
    ZeroMemory(&parts, sizeof(parts));
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = hostName;
    parts.dwHostNameLength = INTERNET_MAX_HOST_NAME_LENGTH + 1;
    if (!InternetCrackUrlW(url, 0, 0, &parts) || parts.nScheme != INTERNET_SCHEME_HTTPS)
        return false;
    if (!host)
        return true;
    return parts.nPort == INTERNET_DEFAULT_HTTPS_PORT && *host && _wcsicmp(hostName, host) == 0;
}

// ---------------------------------------------------------------------------
// CVapiRequestInfo

CVapiRequestInfo::CVapiRequestInfo(LPCWSTR url, int method) : m_method(method), m_https(false), m_timeoutMs(kTimeoutMs)
{
    SplitUrl(url);
}

void CVapiRequestInfo::SplitUrl(LPCWSTR url)
{
    m_host.Empty();
    m_path.Empty();
    m_https = url && wcsncmp(url, L"https://", 8) == 0;
    if (!url)
        return;
    size_t prefix = m_https ? 8 : 7;
    size_t length = wcslen(url);
    if (length <= prefix + 1)
        return;
    const wchar_t* slash = wcschr(url + prefix + 1, L'/');
    if (!slash)
        return;
    m_host = CString(url + prefix, (int)(slash - (url + prefix)));
    m_path = slash;
}

// ---------------------------------------------------------------------------
// CVapiRequestContext

CVapiRequestContext::CVapiRequestContext()
    : hRequest(NULL), hConnect(NULL), hCompletionEvent(NULL), hCleanUpEvent(NULL), buffer(NULL), bytesRead(0),
      bytesWritten(0), bytesToWrite(0), writeOffset(0), sendBuffers(), method(CVapiRequestInfo::METHOD_GET), state(0),
      owner(NULL), lock(), lockCreated(false), inFlight(0), closing(false), closeIssued(false), timedOut(false),
      callState(CALL_IDLE), asyncError(0), activeCallbacks(0), ended(false)
{
}

// ---------------------------------------------------------------------------
// CVapiRequest: set-up

CVapiRequest::CVapiRequest(bool asynchronous)
    : m_hInternet(NULL), m_pInfo(NULL), m_pBody(NULL), m_pResponse(NULL), m_pContext(NULL), m_pProgress(NULL),
      m_expectedTotal(0), m_async(asynchronous), m_timeoutMs(CVapiRequestInfo::kTimeoutMs),
      m_hCancelEvent(CreateEventW(NULL, TRUE, FALSE, NULL)), m_cancelled(false), m_ended(false),
      m_completed(false), m_result(0), m_statusCode(0), m_headersRead(false), m_memoryResponse(false),
      m_responseLimit(0), m_contentLengthKnown(false),
      m_contentLength(0), m_received(0)
{
}

CVapiRequest::~CVapiRequest()
{
    CloseContext();
    CloseInternet();
    delete m_pInfo;
    delete m_pResponse;
    delete m_pBody;
    if (m_hCancelEvent)
        CloseHandle(m_hCancelEvent);
}

void CVapiRequest::Cancel()
{
    m_cancelled.store(true);
    if (m_hCancelEvent)
        SetEvent(m_hCancelEvent);
}

void CVapiRequest::SetInfo(LPCWSTR url, int method)
{
    delete m_pInfo;
    m_pInfo = new CVapiRequestInfo(url, method);
    m_pInfo->m_timeoutMs = m_timeoutMs;
}

bool CVapiRequest::Get(LPCWSTR url, int expectedTotal)
{
    SetMemoryResponseSink(4096);
    m_expectedTotal = expectedTotal;
    SetInfo(url, CVapiRequestInfo::METHOD_GET);
    return Run();
}

bool CVapiRequest::Download(LPCWSTR url, LPCWSTR filePath, int expectedTotal)
{
    if (!url)
        return false;
    m_expectedTotal = expectedTotal;
    if (!SetResponseSink(filePath))
        return false;
    SetInfo(url, CVapiRequestInfo::METHOD_GET);
    return Run();
}

bool CVapiRequest::DownloadTo(LPCWSTR url, CVapiStream* sink, int expectedTotal)
{
    delete m_pResponse;
    m_pResponse = sink;
    m_memoryResponse = false;
    if (!url || !sink)
        return false;
    m_expectedTotal = expectedTotal;
    SetInfo(url, CVapiRequestInfo::METHOD_GET);
    return Run();
}

bool CVapiRequest::Post(LPCWSTR url, const void* data, DWORD length)
{
    SetMemoryResponseSink(4096);
    delete m_pBody;
    m_pBody = new CVapiMemoryStream(length);
    if (!m_pBody->Write(data, length))
        return false;
    m_expectedTotal = m_pBody->Length();
    SetInfo(url, CVapiRequestInfo::METHOD_POST);
    return Run();
}

bool CVapiRequest::PostFile(LPCWSTR url, LPCWSTR responsePath, LPCWSTR bodyPath)
{
    if (!SetResponseSink(responsePath) || !SetBodySource(bodyPath))
        return false;
    m_expectedTotal = m_pBody->Length();
    SetInfo(url, CVapiRequestInfo::METHOD_POST);
    return Run();
}

bool CVapiRequest::PostToFile(LPCWSTR url, LPCWSTR responsePath, const void* data, DWORD length)
{
    if (!SetResponseSink(responsePath))
        return false;
    delete m_pBody;
    m_pBody = new CVapiMemoryStream(length);
    if (!m_pBody->Write(data, length))
        return false;
    m_expectedTotal = m_pBody->Length();
    SetInfo(url, CVapiRequestInfo::METHOD_POST);
    return Run();
}

bool CVapiRequest::SetBodySource(LPCWSTR path, DWORD size)
{
    delete m_pBody;
    m_pBody = NULL;
    if (path && *path) {
        HANDLE hFile = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (hFile == INVALID_HANDLE_VALUE) {
            LogSystemError(GetLastError(), L"CreateFile for input file");
            return false;
        }
        DWORD fileSize = GetFileSize(hFile, NULL);
        m_pBody = new CVapiInputFileStream(hFile, fileSize == INVALID_FILE_SIZE ? 0 : fileSize);
    } else {
        m_pBody = new CVapiMemoryStream(size);
    }
    return true;
}

bool CVapiRequest::SetResponseSink(LPCWSTR path)
{
    delete m_pResponse;
    m_pResponse = NULL;
    if (path && *path) {
        HANDLE hFile = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (hFile == INVALID_HANDLE_VALUE) {
            LogSystemError(GetLastError(), L"CreateFile for output file");
            return false;
        }
        m_pResponse = new CVapiOutputFileStream(hFile);
        m_memoryResponse = false;
    } else {
        m_pResponse = new CVapiMemoryStream(4096);
        m_memoryResponse = true;
    }
    return true;
}

bool CVapiRequest::SetMemoryResponseSink(DWORD size)
{
    delete m_pResponse;
    m_pResponse = new CVapiMemoryStream(size);
    m_memoryResponse = true;
    return true;
}

DWORD CVapiRequest::ResponseLimit() const
{
    if (m_responseLimit)
        return m_responseLimit;
    return m_memoryResponse ? kMaxReplyBytes : 0;
}

// ---------------------------------------------------------------------------
// Starting and closing

void CVapiRequest::ResetOutcome()
{
    m_ended.store(false);
    m_completed.store(false);
    m_result.store(0);
    m_statusCode.store(0);
    m_headersRead = false;
    m_finalUrl.Empty();
    m_contentLengthKnown = false;
    m_contentLength = 0;
    m_received = 0;
}

bool CVapiRequest::Run()
{
    CloseContext();
    CloseInternet();
    ResetOutcome();
    if (!m_pInfo)
        return false;

    m_hInternet = InternetOpenW(kAgent, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, INTERNET_FLAG_ASYNC);
    if (!m_hInternet) {
        LogWinInetError(GetLastError(), L"InternetOpen");
        return false;
    }
    if (InternetSetStatusCallbackW(m_hInternet, StatusCallback) == INTERNET_INVALID_STATUS_CALLBACK) {
        LogWinInetError(GetLastError(), L"InternetSetStatusCallback");
        InternetCloseHandle(m_hInternet);
        m_hInternet = NULL;
        return false;
    }
    if (!Open()) {
        CloseContext();
        CloseInternet();
        return false;
    }

    CVapiRequestContext* ctx = m_pContext;
    EnterCriticalSection(&ctx->lock);
    ctx->owner = this;
    LeaveCriticalSection(&ctx->lock);
    if (m_pProgress)
        m_pProgress->ProcessMessage(
            new CProgressRecord(CProgressRecord::KIND_START, CProgressRecord::FLAG_VALUE, m_expectedTotal));

    Step(ERROR_SUCCESS);
    if (m_async)
        return true;

    // A cancel, or the stop request of the thread the request works for.
    HANDLE waits[3] = {ctx->hCompletionEvent};
    DWORD count = 1;
    if (m_hCancelEvent)
        waits[count++] = m_hCancelEvent;
    if (HANDLE stop = CStopSignal::Current())
        waits[count++] = stop;
    DWORD waited = WaitForMultipleObjects(count, waits, FALSE, m_pInfo->m_timeoutMs);
    if (waited > WAIT_OBJECT_0 && waited < WAIT_OBJECT_0 + count) {
        // Closing ends a request still running as aborted.
        Cancel();
        LogLine(L"CVapiRequest - cancelled, the request is closed");
    } else if (waited != WAIT_OBJECT_0) {
        LogFormat(L"CVapiRequest - no end after %u ms, the request is closed", (unsigned)m_pInfo->m_timeoutMs);
        EnterCriticalSection(&ctx->lock);
        ctx->timedOut = true;
        LeaveCriticalSection(&ctx->lock);
    }
    CloseContext();
    CloseInternet();
    return m_completed.load();
}

bool CVapiRequest::Open()
{
    CVapiRequestContext* ctx = new (std::nothrow) CVapiRequestContext;
    if (!ctx) {
        LogSystemError(ERROR_NOT_ENOUGH_MEMORY, L"CVapiRequestContext");
        return false;
    }
    m_pContext = ctx;
    if (!InitializeCriticalSectionAndSpinCount(&ctx->lock, 4000)) {
        LogSystemError(GetLastError(), L"InitializeCriticalSectionAndSpinCount");
        return false;
    }
    ctx->lockCreated = true;
    ctx->buffer = new (std::nothrow) BYTE[CVapiRequestContext::BUFFER_SIZE];
    if (!ctx->buffer) {
        LogSystemError(ERROR_NOT_ENOUGH_MEMORY, L"Transfer buffer");
        return false;
    }
    ctx->hCompletionEvent = CreateEventW(NULL, FALSE, FALSE, NULL);
    if (!ctx->hCompletionEvent) {
        LogSystemError(GetLastError(), L"CreateEvent CompletionEvent");
        return false;
    }
    ctx->hCleanUpEvent = CreateEventW(NULL, FALSE, FALSE, NULL);
    if (!ctx->hCleanUpEvent) {
        LogSystemError(GetLastError(), L"CreateEvent CleanUpEvent");
        return false;
    }
    ctx->method = m_pInfo->m_method;
    ctx->state = ctx->method == CVapiRequestInfo::METHOD_POST ? 1 : 0;

    ctx->hConnect = InternetConnectW(m_hInternet, m_pInfo->m_host, m_pInfo->Port(), NULL, NULL,
                                     INTERNET_SERVICE_HTTP, 0, reinterpret_cast<DWORD_PTR>(ctx));
    if (!ctx->hConnect) {
        LogWinInetError(GetLastError(), L"InternetConnect");
        return false;
    }
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
    if (m_pInfo->m_https)
        flags |= INTERNET_FLAG_SECURE;
    LPCWSTR verb = ctx->method == CVapiRequestInfo::METHOD_POST ? L"POST" : L"GET";
    ctx->hRequest = HttpOpenRequestW(ctx->hConnect, verb, m_pInfo->m_path, NULL, NULL, NULL, flags,
                                     reinterpret_cast<DWORD_PTR>(ctx));
    if (!ctx->hRequest) {
        LogWinInetError(GetLastError(), L"HttpOpenRequest");
        return false;
    }
    return true;
}

// The closing protocol. No WinINet call starts once the closing flag is
// set; the request handle is closed when no call is in flight (otherwise the
// last call closes it on its way out), and WinINet's notice that the handle
// is gone is awaited: after it no callback of the request can come. A
// callback already running is awaited too. A request that was started but
// has not ended (the time-out, or a destructor that cuts it short) ends
// here. Only then is the context freed.
void CVapiRequest::CloseContext()
{
    CVapiRequestContext* ctx = m_pContext;
    if (!ctx)
        return;
    bool abandon = false;
    bool started = false;
    if (ctx->lockCreated) {
        HINTERNET toClose = NULL;
        EnterCriticalSection(&ctx->lock);
        started = ctx->owner != NULL;
        ctx->closing = true;
        if (ctx->hRequest && ctx->inFlight == 0 && !ctx->closeIssued) {
            ctx->closeIssued = true;
            toClose = ctx->hRequest;
        }
        LeaveCriticalSection(&ctx->lock);
        if (toClose)
            InternetCloseHandle(toClose);
        DWORD cleanUpWait = m_cancelled.load() ? kCancelCleanUpWaitMs : kCleanUpWaitMs;
        if (ctx->hRequest && WaitForSingleObject(ctx->hCleanUpEvent, cleanUpWait) != WAIT_OBJECT_0) {
            LogFormat(L"CVapiRequest - the request handle was not released in %u ms", (unsigned)cleanUpWait);
            abandon = true;
        }
        EnterCriticalSection(&ctx->lock);
        ctx->owner = NULL;
        LeaveCriticalSection(&ctx->lock);
        while (ctx->activeCallbacks.load() != 0)
            Sleep(1);
        if (started && !ctx->ended.load())
            EndRequest(ERROR_OPERATION_ABORTED);
    }
    m_pContext = NULL;
    if (abandon)
        return; // a late callback may still read it

    if (ctx->hConnect) {
        InternetSetStatusCallbackW(ctx->hConnect, NULL);
        InternetCloseHandle(ctx->hConnect);
    }
    if (ctx->hCompletionEvent)
        CloseHandle(ctx->hCompletionEvent);
    if (ctx->hCleanUpEvent)
        CloseHandle(ctx->hCleanUpEvent);
    if (ctx->lockCreated)
        DeleteCriticalSection(&ctx->lock);
    delete[] ctx->buffer;
    delete ctx;
}

void CVapiRequest::CloseInternet()
{
    if (!m_hInternet)
        return;
    InternetSetStatusCallbackW(m_hInternet, NULL);
    InternetCloseHandle(m_hInternet);
    m_hInternet = NULL;
}

// ---------------------------------------------------------------------------
// The callback and the state machine

void CALLBACK CVapiRequest::StatusCallback(HINTERNET hInternet, DWORD_PTR context, DWORD status, LPVOID info,
                                           DWORD infoLength)
{
    CVapiRequestContext* ctx = reinterpret_cast<CVapiRequestContext*>(context);
    if (!ctx)
        return;
    if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        if (hInternet == ctx->hRequest)
            SetEvent(ctx->hCleanUpEvent);
        return;
    }
    if (status != INTERNET_STATUS_REQUEST_COMPLETE)
        return;
    DWORD error = ERROR_SUCCESS;
    if (info && infoLength >= sizeof(INTERNET_ASYNC_RESULT))
        error = static_cast<INTERNET_ASYNC_RESULT*>(info)->dwError;
    EnterCriticalSection(&ctx->lock);
    CVapiRequest* owner = ctx->owner;
    if (owner)
        ++ctx->activeCallbacks;
    LeaveCriticalSection(&ctx->lock);
    if (!owner)
        return;
    owner->OnRequestComplete(error);
    --ctx->activeCallbacks; // the callback's last touch of the context
}

// A completion can reach its callback thread before the call that started
// it has returned to the thread that made it. Whichever of the two comes
// second continues the machine, so exactly one thread runs it.
void CVapiRequest::OnRequestComplete(DWORD error)
{
    CVapiRequestContext* ctx = m_pContext;
    for (;;) {
        int state = ctx->callState.load();
        if (state == CVapiRequestContext::CALL_HANDED_OVER) {
            if (ctx->callState.compare_exchange_strong(state, CVapiRequestContext::CALL_IDLE)) {
                Step(error);
                return;
            }
        } else if (state == CVapiRequestContext::CALL_ISSUED) {
            ctx->asyncError.store(error);
            if (ctx->callState.compare_exchange_strong(state, CVapiRequestContext::CALL_COMPLETED_EARLY))
                return;
        } else {
            return; // no call waits for a completion
        }
    }
}

bool CVapiRequest::BeginCall()
{
    CVapiRequestContext* ctx = m_pContext;
    EnterCriticalSection(&ctx->lock);
    bool allowed = !ctx->closing;
    if (allowed)
        ++ctx->inFlight;
    LeaveCriticalSection(&ctx->lock);
    return allowed;
}

void CVapiRequest::EndCall()
{
    CVapiRequestContext* ctx = m_pContext;
    HINTERNET toClose = NULL;
    EnterCriticalSection(&ctx->lock);
    --ctx->inFlight;
    if (ctx->closing && ctx->inFlight == 0 && !ctx->closeIssued) {
        ctx->closeIssued = true;
        toClose = ctx->hRequest;
    }
    LeaveCriticalSection(&ctx->lock);
    if (toClose)
        InternetCloseHandle(toClose);
}

template <class TCall> DWORD CVapiRequest::Call(LPCWSTR name, TCall call)
{
    CVapiRequestContext* ctx = m_pContext;
    if (!BeginCall())
        return ERROR_OPERATION_ABORTED;
    ctx->callState.store(CVapiRequestContext::CALL_ISSUED);
    BOOL ok = call();
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    EndCall();
    if (ok) {
        ctx->callState.store(CVapiRequestContext::CALL_IDLE);
        return ERROR_SUCCESS;
    }
    if (error != ERROR_IO_PENDING) {
        ctx->callState.store(CVapiRequestContext::CALL_IDLE);
        LogWinInetError(error, name);
        return error ? error : ERROR_INTERNET_INTERNAL_ERROR;
    }
    int expected = CVapiRequestContext::CALL_ISSUED;
    if (ctx->callState.compare_exchange_strong(expected, CVapiRequestContext::CALL_HANDED_OVER))
        return ERROR_IO_PENDING;
    // The completion came first and left its code.
    ctx->callState.store(CVapiRequestContext::CALL_IDLE);
    return ctx->asyncError.load();
}

void CVapiRequest::Step(DWORD error)
{
    if (error != ERROR_SUCCESS) {
        if (error != ERROR_IO_PENDING)
            EndRequest(error);
        return;
    }
    CVapiRequestContext* ctx = m_pContext;
    for (;;) {
        if (ctx->state == 7) {
            EndRequest(ERROR_SUCCESS);
            return;
        }
        if (m_pProgress && m_pProgress->IsAbortRequested()) {
            EndRequest(ERROR_OPERATION_ABORTED);
            return;
        }
        DWORD result = RunState();
        if (result == ERROR_SUCCESS)
            continue;
        if (result != ERROR_IO_PENDING)
            EndRequest(result);
        return;
    }
}

// Each step stores the next state first, then acts.
DWORD CVapiRequest::RunState()
{
    CVapiRequestContext* ctx = m_pContext;
    HINTERNET hRequest = ctx->hRequest;
    switch (ctx->state) {
    case 0: // send the GET
        ctx->state = 5;
        return Call(L"HttpSendRequest", [&] { return HttpSendRequestW(hRequest, NULL, 0, NULL, 0); });
    case 1: // send the POST header with the body's length
        ctx->state = 2;
        ctx->sendBuffers = INTERNET_BUFFERSW();
        ctx->sendBuffers.dwStructSize = sizeof(INTERNET_BUFFERSW);
        ctx->sendBuffers.dwBufferTotal = m_pBody ? (DWORD)m_pBody->Length() : 0;
        return Call(L"HttpSendRequestEx", [&] {
            return HttpSendRequestExW(hRequest, &ctx->sendBuffers, NULL, 0, reinterpret_cast<DWORD_PTR>(ctx));
        });
    case 2: { // account for the last write, then read the next body chunk
        if (ctx->bytesToWrite) {
            if (ctx->bytesWritten == 0) {
                LogFormat(L"CVapiRequest - InternetWriteFile took nothing of %u bytes", (unsigned)ctx->bytesToWrite);
                return ERROR_WRITE_FAULT;
            }
            ctx->writeOffset += ctx->bytesWritten;
            ctx->bytesWritten = 0;
            if (ctx->writeOffset < ctx->bytesToWrite) {
                ctx->state = 3;
                return ERROR_SUCCESS;
            }
            ReportProgress(L"Feltöltött adat", m_pBody ? m_pBody->Transferred() : 0);
        }
        ctx->state = 3;
        DWORD count = 0;
        SetLastError(ERROR_SUCCESS);
        if (m_pBody && !m_pBody->Read(ctx->buffer, CVapiRequestContext::BUFFER_SIZE, &count)) {
            DWORD code = StreamError(ERROR_READ_FAULT);
            LogSystemError(code, L"ReadFile");
            return code;
        }
        ctx->bytesToWrite = count;
        ctx->writeOffset = 0;
        ctx->bytesWritten = 0;
        return ERROR_SUCCESS;
    }
    case 3: // write the chunk
        ctx->state = 2;
        if (ctx->bytesToWrite == 0) {
            ctx->state = 4;
            return ERROR_SUCCESS;
        }
        return Call(L"InternetWriteFile", [&] {
            return InternetWriteFile(hRequest, ctx->buffer + ctx->writeOffset, ctx->bytesToWrite - ctx->writeOffset,
                                     &ctx->bytesWritten);
        });
    case 4: // end the request: the response headers come
        ctx->state = 5;
        return Call(L"HttpEndRequest", [&] { return HttpEndRequestW(hRequest, NULL, 0, 0); });
    case 5: { // read a response chunk
        ctx->state = 6;
        DWORD refused = ReadResponseHeaders();
        if (refused != ERROR_SUCCESS)
            return refused;
        ctx->bytesRead = 0;
        return Call(L"InternetReadFile", [&] {
            return InternetReadFile(hRequest, ctx->buffer, CVapiRequestContext::BUFFER_SIZE, &ctx->bytesRead);
        });
    }
    case 6: // store it; a read of 0 bytes ends the response
        ctx->state = 5;
        if (ctx->bytesRead == 0) {
            ctx->state = 7;
            return ERROR_SUCCESS;
        }
        if (DWORD limit = ResponseLimit()) {
            if (m_received + ctx->bytesRead > limit) {
                LogFormat(L"CVapiRequest - the response passes its limit of %u bytes: refused", (unsigned)limit);
                return ERROR_FILE_TOO_LARGE;
            }
        }
        m_received += ctx->bytesRead;
        if (m_pResponse) {
            SetLastError(ERROR_SUCCESS);
            if (!m_pResponse->Write(ctx->buffer, ctx->bytesRead)) {
                DWORD code = StreamError(ERROR_WRITE_FAULT);
                LogSystemError(code, L"WriteFile");
                return code;
            }
            if (m_pBody)
                ReportProgress(L"Forgalmazott adat", m_pResponse->Length() + m_pBody->Length());
            else
                ReportProgress(L"Letöltött adat", m_pResponse->Length());
        }
        return ERROR_SUCCESS;
    default:
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

DWORD CVapiRequest::ReadResponseHeaders()
{
    if (m_headersRead)
        return ERROR_SUCCESS;
    m_headersRead = true;
    if (!BeginCall())
        return ERROR_OPERATION_ABORTED;
    HINTERNET hRequest = m_pContext->hRequest;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (HttpQueryInfoW(hRequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value, &size, NULL))
        m_statusCode.store(value);
    value = 0;
    size = sizeof(value);
    if (HttpQueryInfoW(hRequest, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &value, &size, NULL)) {
        m_contentLengthKnown = true;
        m_contentLength = value;
    }
    // Where the answer came from after any redirect: not the address asked.
    DWORD length = 0;
    InternetQueryOptionW(hRequest, INTERNET_OPTION_URL, NULL, &length);
    if (length) {
        std::vector<wchar_t> url(length / sizeof(wchar_t) + 2, L'\0');
        DWORD size = (DWORD)((url.size() - 1) * sizeof(wchar_t));
        if (InternetQueryOptionW(hRequest, INTERNET_OPTION_URL, url.data(), &size))
            m_finalUrl = url.data();
    }
    EndCall();

    if (m_pInfo->m_https && !IsHttpsUrl(m_finalUrl)) {
        LogFormat(L"CVapiRequest - https://%ws%ws was redirected to %ws: refused",
                  (LPCWSTR)m_pInfo->m_host, (LPCWSTR)m_pInfo->m_path, (LPCWSTR)m_finalUrl);
        return ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR;
    }
    DWORD limit = ResponseLimit();
    if (limit && m_contentLengthKnown && m_contentLength > limit) {
        LogFormat(L"CVapiRequest - the response announces %u bytes, more than its limit of %u: refused",
                  (unsigned)m_contentLength, (unsigned)limit);
        return ERROR_FILE_TOO_LARGE;
    }
    return ERROR_SUCCESS;
}

void CVapiRequest::ReportProgress(LPCWSTR label, int count)
{
    if (!m_pProgress)
        return;
    unsigned flags = CProgressRecord::FLAG_SECOND_TEXT | (count > 0 ? CProgressRecord::FLAG_VALUE : 0);
    CProgressRecord* record = new CProgressRecord(CProgressRecord::KIND_POSITION, flags, count);
    if (label && *label && count > 0) {
        if (m_expectedTotal != 0)
            record->m_secondText.Format(L"%s: %d bájt / %d bájt (%.2lf%%)", label, count, m_expectedTotal,
                                        count * 100.0 / m_expectedTotal);
        else
            record->m_secondText.Format(L"%s: %d bájt", label, count);
    } else {
        record->m_secondText = label;
    }
    m_pProgress->ProcessMessage(record);
}

void CVapiRequest::EndRequest(DWORD code)
{
    CVapiRequestContext* ctx = m_pContext;
    if (ctx->ended.exchange(true))
        return;
    EnterCriticalSection(&ctx->lock);
    bool timedOut = ctx->timedOut;
    LeaveCriticalSection(&ctx->lock);
    if (code != ERROR_SUCCESS && timedOut)
        code = ERROR_INTERNET_TIMEOUT;
    DWORD status = m_statusCode.load();
    if (code == ERROR_SUCCESS && status == 0)
        code = ERROR_HTTP_INVALID_SERVER_RESPONSE; // no status line came
    if (code == ERROR_SUCCESS && m_contentLengthKnown && m_received < m_contentLength) {
        LogFormat(L"CVapiRequest - the response ended after %I64u of %u bytes", m_received, (unsigned)m_contentLength);
        code = ERROR_INTERNET_CONNECTION_RESET;
    }
    bool completed = code == ERROR_SUCCESS && status == HTTP_STATUS_OK;
    if (!completed && code != ERROR_OPERATION_ABORTED)
        LogFormat(L"CVapiRequest - %ws%ws failed: code %d, HTTP status %d",
                  m_pInfo->m_https ? L"https://" : L"http://", (LPCWSTR)(m_pInfo->m_host + m_pInfo->m_path),
                  (int)code, (int)status);
    m_result.store(code);
    m_completed.store(completed);
    // Whoever acts on the final record (the self-update starts the
    // downloaded installer) finds the file closed and the request ended.
    if (m_pBody)
        m_pBody->Close();
    if (m_pResponse)
        m_pResponse->Close();
    m_ended.store(true);

    if (m_pProgress) {
        if (code == ERROR_OPERATION_ABORTED) {
            m_pProgress->PostAborted();
            m_pProgress->AcknowledgeAbort();
        } else if (completed) {
            m_pProgress->PostCompleted();
        } else {
            m_pProgress->ProcessMessage(CreateErrorProgressRecord(FailureText(code, status)));
        }
    }
    SetEvent(ctx->hCompletionEvent);
}
