// One HTTP or HTTPS request against the web service (or a download address
// it hands out), through WinINet in asynchronous mode. A small state machine
// runs its first step on the caller's thread and the later ones on WinINet's
// callback threads: send, write the body in chunks of 4096 bytes, end the
// request, read the response in chunks into the response sink.
//
// Calling order: construct; optionally SetProgress; exactly one of Get,
// Download, Post, PostFile; read the response sink; destroy. A waiting
// request returns when it has ended; an asynchronous one returns once it is
// under way and must outlive the transfer (its end posts the completed,
// aborted or error record to the progress sink; the destructor cuts a
// transfer still running short and waits for WinINet to let go of it).
//
// Outcome: a request has completed only when the whole response arrived
// with HTTP status 200. A broken connection, a body shorter than announced,
// a time-out, an abort or any other status is a failure: the waiting
// operations return false, IsCompleted says so afterwards, and the progress
// sink gets the aborted record (abort) or an error record instead of the
// completed one. Whatever body arrived stays in the response sink.
//
// Two answers fail before their body is taken: one whose HTTPS request was
// redirected to plain HTTP (the address it finally came from is read back
// from WinINet), and one longer than the response limit (by its announced
// length, or as soon as the bytes received pass it; the bytes past the
// limit are never kept). A memory response, the service's key=value reply,
// has a limit of kMaxReplyBytes.
#pragma once
#include <windows.h>
#include <wininet.h>
#include <atomic>
#include "afxstr.h"
#include "online/VapiStream.h"

class CProgress;
class CVapiRequest;

// Logs the message text of a WinINet code (from wininet.dll's message
// table) as "<call name>: <text>".
void LogWinInetError(DWORD code, LPCWSTR callName);
// The same with the system's message table.
void LogSystemError(DWORD code, LPCWSTR callName);
// Whether WinINet reads the address as HTTPS; with a host, also as one on
// that host (compared without regard to case) at the HTTPS port, the only
// one this client uses.
bool IsHttpsUrl(LPCWSTR url, LPCWSTR host = NULL);

class CVapiRequestInfo
{
public:
    enum { METHOD_GET = 1, METHOD_POST = 2 };
    static const DWORD kTimeoutMs = 300000;

    // Time-out 300000 ms, then SplitUrl.
    CVapiRequestInfo(LPCWSTR url, int method);

    // "https://" (exactly so) sets the HTTPS flag and counts 8 characters
    // of scheme, anything else counts 7, whatever they are. The host runs
    // to the first "/" from one character past the scheme, the path from
    // that "/" to the end (query included). Without such a "/" (or for a
    // URL not longer than the scheme plus one character) host and path
    // stay empty.
    void SplitUrl(LPCWSTR url);
    // 443 for HTTPS, otherwise 80; no other port is possible.
    INTERNET_PORT Port() const { return m_https ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT; }

    int m_method;
    CString m_host;
    CString m_path;
    bool m_https;
    DWORD m_timeoutMs;
};

// The state of a running request, shared with WinINet's threads (WinINet
// has its address as the context value of the connection and request
// handles). Owned by the request from Open to the closing protocol.
struct CVapiRequestContext
{
    enum { BUFFER_SIZE = 4096 };
    // The hand-over of one pending WinINet call between the thread that made
    // it and the callback thread that reports its completion.
    enum { CALL_IDLE = 0, CALL_ISSUED = 1, CALL_COMPLETED_EARLY = 2, CALL_HANDED_OVER = 3 };

    CVapiRequestContext();

    HINTERNET hRequest;
    HINTERNET hConnect;
    HANDLE hCompletionEvent; // set once the request has ended
    HANDLE hCleanUpEvent;    // set when WinINet closes the request handle
    BYTE* buffer;
    DWORD bytesRead;
    DWORD bytesWritten;
    DWORD bytesToWrite;
    DWORD writeOffset; // bytes of the current chunk already written
    INTERNET_BUFFERSW sendBuffers;
    int method;
    int state;
    CVapiRequest* owner; // cleared by the closing protocol (under the lock)
    CRITICAL_SECTION lock;
    bool lockCreated;
    int inFlight;       // WinINet calls made and not yet returned
    bool closing;       // no further WinINet call is made
    bool closeIssued;   // the request handle was closed (or is being closed)
    bool timedOut;      // the waiting caller's time-out closed the request
    std::atomic<int> callState;
    std::atomic<DWORD> asyncError; // completion code of a call that completed early
    std::atomic<int> activeCallbacks;
    std::atomic<bool> ended;
};

class CVapiRequest
{
public:
    // The service's replies are a few hundred bytes.
    static const DWORD kMaxReplyBytes = 1024 * 1024;

    explicit CVapiRequest(bool asynchronous = false);
    ~CVapiRequest();
    CVapiRequest(const CVapiRequest&) = delete;
    CVapiRequest& operator=(const CVapiRequest&) = delete;

    // The sink that gets the request's records (not owned); set it before
    // the request starts.
    void SetProgress(CProgress* progress) { m_pProgress = progress; }
    CProgress* GetProgress() const { return m_pProgress; }

    // GET into memory; the expected total is only shown in progress texts.
    bool Get(LPCWSTR url, int expectedTotal);
    // GET into a file (created or replaced).
    bool Download(LPCWSTR url, LPCWSTR filePath, int expectedTotal);
    // GET into the caller's stream, which the request owns from now on.
    bool DownloadTo(LPCWSTR url, CVapiStream* sink, int expectedTotal);
    // POST of bytes from memory, the response into memory.
    bool Post(LPCWSTR url, const void* data, DWORD length);
    // POST of a file's bytes (a missing file is created empty and sent
    // empty), the response into a file.
    bool PostFile(LPCWSTR url, LPCWSTR responsePath, LPCWSTR bodyPath);
    // POST of bytes from memory, the response into a file.
    bool PostToFile(LPCWSTR url, LPCWSTR responsePath, const void* data, DWORD length);

    // A non-empty path: the file opened for reading (created when missing);
    // an empty one: memory of the given size.
    bool SetBodySource(LPCWSTR path, DWORD size = 4096);
    // A non-empty path: the file created or replaced; an empty one: memory.
    bool SetResponseSink(LPCWSTR path);
    bool SetMemoryResponseSink(DWORD size);

    // Starts the request with the info, body and sink already set. An
    // asynchronous request returns true once it is under way; a waiting one
    // returns whether it completed. False, with the reason logged and no
    // record sent, when it could not be started.
    bool Run();

    // Shortens the limit a waiting request has for its whole run (the
    // program keeps 300000 ms; tests take less).
    void SetTimeout(DWORD timeoutMs) { m_timeoutMs = timeoutMs; }
    // The most bytes the response may have (0: no limit); set before the
    // request starts, it stands for the memory response's limit too.
    void SetResponseLimit(DWORD bytes) { m_responseLimit = bytes; }
    // Any thread: a waiting request (running or not yet started) ends at
    // once as aborted, along the path of its time-out; the closing of a
    // cancelled request (also an asynchronous one, in the destructor) does
    // not wait long for WinINet to let go of a stalled call. A waiting
    // request is cancelled so as well when the stop signal of the thread
    // that runs it is set (CStopSignal).
    void Cancel();

    // After the end: whether the request completed (see the top of this
    // file), the code it ended with (0; ERROR_OPERATION_ABORTED; the WinINet
    // or system code; ERROR_INTERNET_TIMEOUT when the limit closed it;
    // ERROR_INTERNET_CONNECTION_RESET for a body shorter than announced;
    // ERROR_HTTP_INVALID_SERVER_RESPONSE when no status came;
    // ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR for a redirect from HTTPS to
    // HTTP; ERROR_FILE_TOO_LARGE past the response limit), the HTTP status
    // (0 when none arrived) and the address the answer finally came from,
    // after any redirect, as WinINet reports it (empty when none came).
    bool IsCompleted() const { return m_completed.load(); }
    bool HasEnded() const { return m_ended.load(); }
    DWORD GetResult() const { return m_result.load(); }
    DWORD GetStatusCode() const { return m_statusCode.load(); }
    CString GetFinalUrl() const { return HasEnded() ? m_finalUrl : CString(); }

    CVapiStream* GetResponseSink() const { return m_pResponse; }
    CVapiStream* GetBodySource() const { return m_pBody; }
    const CVapiRequestInfo* GetInfo() const { return m_pInfo; }

    static void CALLBACK StatusCallback(HINTERNET hInternet, DWORD_PTR context, DWORD status, LPVOID info,
                                        DWORD infoLength);

private:
    void SetInfo(LPCWSTR url, int method);
    bool Open();
    void CloseContext();
    void CloseInternet();
    void ResetOutcome();

    // The state machine: an entry with the code of a failed completion goes
    // to the end; otherwise the steps run until one waits for WinINet.
    void Step(DWORD error);
    DWORD RunState();
    void OnRequestComplete(DWORD error);
    // One WinINet call with its bracket (closing flag, in-flight count) and
    // the hand-over of a pending completion: 0 when it completed and the
    // machine goes on, ERROR_IO_PENDING when the completion continues it,
    // another code when it failed (logged under the name unless pending).
    template <class TCall> DWORD Call(LPCWSTR name, TCall call);
    bool BeginCall();
    void EndCall();
    // Once, before the body: the status, the announced length and the final
    // address; a code when the answer is refused before its body.
    DWORD ReadResponseHeaders();
    DWORD ResponseLimit() const;
    void ReportProgress(LPCWSTR label, int count);
    // Runs once: the final record, the streams closed, the completion event.
    void EndRequest(DWORD code);

    HINTERNET m_hInternet;
    CVapiRequestInfo* m_pInfo;
    CVapiStream* m_pBody;
    CVapiStream* m_pResponse;
    CVapiRequestContext* m_pContext;
    CProgress* m_pProgress;
    int m_expectedTotal;
    bool m_async;
    DWORD m_timeoutMs;
    HANDLE m_hCancelEvent; // manual reset, set by Cancel
    std::atomic<bool> m_cancelled;

    std::atomic<bool> m_ended;
    std::atomic<bool> m_completed;
    std::atomic<DWORD> m_result;
    std::atomic<DWORD> m_statusCode;
    bool m_headersRead;
    bool m_memoryResponse;
    DWORD m_responseLimit; // 0: none set
    CString m_finalUrl;
    bool m_contentLengthKnown;
    DWORD m_contentLength;
    unsigned long long m_received;
};
