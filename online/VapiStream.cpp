#include "online/VapiStream.h"
#include <string.h>
#include <new>

namespace {

const unsigned long long kMaxCapacity = 0x7FFFFFFF;

} // namespace

// ---------------------------------------------------------------------------
// CVapiMemoryStream

CVapiMemoryStream::CVapiMemoryStream(DWORD initialSize) : m_buffer(NULL), m_capacity(1), m_held(0), m_readOut(0)
{
    while (m_capacity < initialSize && initialSize < kMaxCapacity)
        m_capacity *= 2;
    m_buffer = new (std::nothrow) BYTE[m_capacity];
    if (!m_buffer)
        m_capacity = 0;
}

CVapiMemoryStream::~CVapiMemoryStream()
{
    delete[] m_buffer;
}

bool CVapiMemoryStream::Write(const void* data, DWORD length)
{
    if (length == 0)
        return true;
    if (!data)
        return false;
    unsigned long long needed = (unsigned long long)m_held + length;
    if (needed > m_capacity) {
        unsigned long long capacity = m_capacity ? m_capacity : 1;
        while (capacity < needed) {
            capacity *= 2;
            if (capacity > kMaxCapacity)
                return false;
        }
        BYTE* buffer = new (std::nothrow) BYTE[(size_t)capacity];
        if (!buffer)
            return false;
        if (m_held)
            memcpy(buffer, m_buffer, m_held);
        delete[] m_buffer;
        m_buffer = buffer;
        m_capacity = (DWORD)capacity;
    }
    memcpy(m_buffer + m_held, data, length);
    m_held += length;
    return true;
}

bool CVapiMemoryStream::Read(void* buffer, DWORD capacity, DWORD* count)
{
    DWORD n = m_held < capacity ? m_held : capacity;
    if (n) {
        memcpy(buffer, m_buffer, n);
        memmove(m_buffer, m_buffer + n, m_held - n);
        m_held -= n;
        m_readOut += n;
    }
    if (count)
        *count = n;
    return true;
}

// ---------------------------------------------------------------------------
// CVapiInputFileStream

CVapiInputFileStream::CVapiInputFileStream(HANDLE hFile, DWORD size) : m_hFile(hFile), m_size(size), m_read(0)
{
}

bool CVapiInputFileStream::Write(const void*, DWORD)
{
    return false;
}

bool CVapiInputFileStream::Read(void* buffer, DWORD capacity, DWORD* count)
{
    *count = 0;
    bool open = m_hFile != INVALID_HANDLE_VALUE && m_hFile != NULL;
    if (capacity == 0 || !open)
        return open;
    DWORD n = 0;
    BOOL ok = ReadFile(m_hFile, buffer, capacity, &n, NULL);
    *count = n;
    m_read += n;
    return ok != FALSE;
}

void CVapiInputFileStream::Close()
{
    if (m_hFile != INVALID_HANDLE_VALUE && m_hFile != NULL)
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}

// ---------------------------------------------------------------------------
// CVapiOutputFileStream

CVapiOutputFileStream::CVapiOutputFileStream(HANDLE hFile) : m_hFile(hFile), m_written(0)
{
}

bool CVapiOutputFileStream::Write(const void* data, DWORD length)
{
    if (length == 0)
        return true;
    if (m_hFile == INVALID_HANDLE_VALUE || m_hFile == NULL)
        return false;
    DWORD n = 0;
    BOOL ok = WriteFile(m_hFile, data, length, &n, NULL);
    m_written += n;
    return ok && n == length;
}

bool CVapiOutputFileStream::Read(void*, DWORD, DWORD* count)
{
    if (count)
        *count = 0;
    return false;
}

void CVapiOutputFileStream::Close()
{
    if (m_hFile != INVALID_HANDLE_VALUE && m_hFile != NULL)
        CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}
