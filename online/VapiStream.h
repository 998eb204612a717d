// Byte streams of the web-service client: the body a request sends comes
// from one, the response goes into one. Memory or a file.
#pragma once
#include <windows.h>

class CVapiStream
{
public:
    virtual ~CVapiStream() {}
    // Appends the bytes; false when they cannot be taken.
    virtual bool Write(const void* data, DWORD length) = 0;
    // Takes up to capacity bytes into the buffer; *count says how many
    // (0 with true: nothing more to read).
    virtual bool Read(void* buffer, DWORD capacity, DWORD* count) = 0;
    virtual int Length() = 0;
    // Bytes moved through the stream so far (read out, or written).
    virtual int Transferred() = 0;
    virtual void Close() = 0;
};

// Bytes in memory: appended at the end, read from the front. The buffer
// grows by doubling, up to 0x40000000 bytes.
class CVapiMemoryStream : public CVapiStream
{
public:
    // The capacity is the smallest power of two not below the size (1 for
    // 0 and 1; it stays 1 for sizes from 0x7FFFFFFF up).
    explicit CVapiMemoryStream(DWORD initialSize = 4096);
    ~CVapiMemoryStream() override;
    CVapiMemoryStream(const CVapiMemoryStream&) = delete;
    CVapiMemoryStream& operator=(const CVapiMemoryStream&) = delete;

    bool Write(const void* data, DWORD length) override;
    bool Read(void* buffer, DWORD capacity, DWORD* count) override;
    // Bytes held.
    int Length() override { return (int)m_held; }
    // Bytes read out so far.
    int Transferred() override { return (int)m_readOut; }
    // Keeps the bytes.
    void Close() override {}

    // The held bytes (Length of them, not terminated).
    const BYTE* Data() const { return m_buffer; }
    DWORD Capacity() const { return m_capacity; }

private:
    BYTE* m_buffer;
    DWORD m_capacity;
    DWORD m_held;
    DWORD m_readOut;
};

// A file read from the start (the body of an upload). Takes over the handle.
class CVapiInputFileStream : public CVapiStream
{
public:
    CVapiInputFileStream(HANDLE hFile, DWORD size);
    ~CVapiInputFileStream() override { Close(); }
    CVapiInputFileStream(const CVapiInputFileStream&) = delete;
    CVapiInputFileStream& operator=(const CVapiInputFileStream&) = delete;

    // Refused.
    bool Write(const void* data, DWORD length) override;
    bool Read(void* buffer, DWORD capacity, DWORD* count) override;
    // The size taken when the file was opened.
    int Length() override { return (int)m_size; }
    int Transferred() override { return (int)m_read; }
    void Close() override;

private:
    HANDLE m_hFile;
    DWORD m_size;
    DWORD m_read;
};

// A file written from the start (a download, an answer file). Takes over
// the handle.
class CVapiOutputFileStream : public CVapiStream
{
public:
    explicit CVapiOutputFileStream(HANDLE hFile);
    ~CVapiOutputFileStream() override { Close(); }
    CVapiOutputFileStream(const CVapiOutputFileStream&) = delete;
    CVapiOutputFileStream& operator=(const CVapiOutputFileStream&) = delete;

    bool Write(const void* data, DWORD length) override;
    // Refused.
    bool Read(void* buffer, DWORD capacity, DWORD* count) override;
    int Length() override { return (int)m_written; }
    int Transferred() override { return (int)m_written; }
    void Close() override;

private:
    HANDLE m_hFile;
    DWORD m_written;
};
