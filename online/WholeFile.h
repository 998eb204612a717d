// Whole files in memory, as the ciphers work on them: the source is opened
// for reading without sharing (it must exist), the destination for writing
// without sharing (created, or replaced when it exists).
#pragma once
#include <windows.h>
#include <memory>

// Reads every byte of the file into a new buffer, behind `front` bytes and
// followed by `back` bytes of room (both left uninitialised); false when the
// file cannot be opened, is larger than `maxSize`, memory runs out or fewer
// bytes come than its size.
bool ReadWholeFile(LPCWSTR path, std::unique_ptr<BYTE[]>& data, size_t& size, size_t front = 0, size_t back = 0,
                   size_t maxSize = 0xFFFFFFF0u);

// Creates the file and writes the bytes; true when every byte was written.
bool WriteWholeFile(LPCWSTR path, const BYTE* data, size_t size);
