// Inside the stand-in server: its trace, its knobs, the count of live
// objects that keeps it running, and the application object.
#pragma once
#include <windows.h>
#include <oaidl.h>
#include <map>
#include <string>

namespace word_standin {

// One line of calls.log (UTF-8), when the data folder is set.
void Trace(const std::wstring& line);

// The knobs of control.txt, read again at every call.
std::map<std::wstring, std::wstring> ReadControl();

// An object was made or destroyed; the server ends after the last one.
void ObjectMade();
void ObjectGone();
// Application.Quit ran: the server ends at the latest a while later, even
// when a client still holds objects (the trace says so).
void QuitRequested();

// A new application object (one reference, the caller's).
IDispatch* NewApplication();

} // namespace word_standin
