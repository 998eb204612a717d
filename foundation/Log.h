// The log: one UTF-16LE text file per instance (the data folder, the
// executable's base name, ".log"), opened for each message without sharing
// and appended. Any thread may call these.
#pragma once
#include <windows.h>

// Writes one message: split at line feeds, each piece trimmed; the first
// non-empty piece gets the time stamp, later ones are indented by 20 blanks.
void LogLine(LPCWSTR text);
// printf-style (Microsoft rules: %s takes a wide string); at most 16382
// characters of the result reach the log.
void LogFormat(LPCWSTR format, ...);
// For the outermost frame of a thread or of a procedure that Windows calls,
// and only inside a catch block: logs what was caught as "<where>: out of
// memory", "<where>: <its text>" for a standard or a class-library exception
// (which it deletes), or "<where>: an unknown exception". True when it was
// memory that ran out. Never throws.
bool LogCaughtException(LPCWSTR where);
// The text put before every piece; null empties it.
void LogSetPrefix(LPCWSTR prefix);
// Makes the next message compute the file path again (after the instance key changed).
void LogResetPath();
