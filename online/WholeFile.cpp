#include "online/WholeFile.h"
#include <new>
#include <stdint.h>

namespace {

// ReadFile and WriteFile take 32-bit counts; large files go in pieces.
const DWORD kChunk = 16u << 20;

class CHandleCloser
{
public:
    explicit CHandleCloser(HANDLE h) : m_h(h) {}
    ~CHandleCloser()
    {
        if (m_h != INVALID_HANDLE_VALUE) {
            CloseHandle(m_h);
        }
    }
    HANDLE Get() const { return m_h; }
    // Closes now and reports whether closing succeeded.
    bool Close()
    {
        HANDLE h = m_h;
        m_h = INVALID_HANDLE_VALUE;
        return h != INVALID_HANDLE_VALUE && CloseHandle(h);
    }

private:
    HANDLE m_h;
};

} // namespace

bool ReadWholeFile(LPCWSTR path, std::unique_ptr<BYTE[]>& data, size_t& size, size_t front, size_t back,
                   size_t maxSize)
{
    data.reset();
    size = 0;
    if (!path) {
        return false;
    }
    CHandleCloser file(CreateFileW(path, GENERIC_READ, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    if (file.Get() == INVALID_HANDLE_VALUE) {
        return false;
    }
    LARGE_INTEGER length;
    if (!GetFileSizeEx(file.Get(), &length) || length.QuadPart < 0 ||
        (unsigned long long)length.QuadPart > maxSize || front > SIZE_MAX - back ||
        (unsigned long long)length.QuadPart > SIZE_MAX - front - back) {
        return false;
    }
    size_t total = (size_t)length.QuadPart;
    size_t room = front + total + back;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[room > 0 ? room : 1]);
    if (!buffer) {
        return false;
    }
    size_t done = 0;
    while (done < total) {
        DWORD want = (DWORD)(total - done < kChunk ? total - done : kChunk);
        DWORD got = 0;
        if (!ReadFile(file.Get(), buffer.get() + front + done, want, &got, NULL) || got == 0) {
            return false;
        }
        done += got;
    }
    data = std::move(buffer);
    size = total;
    return true;
}

bool WriteWholeFile(LPCWSTR path, const BYTE* data, size_t size)
{
    if (!path || (!data && size != 0)) {
        return false;
    }
    CHandleCloser file(CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL));
    if (file.Get() == INVALID_HANDLE_VALUE) {
        return false;
    }
    size_t done = 0;
    while (done < size) {
        DWORD want = (DWORD)(size - done < kChunk ? size - done : kChunk);
        DWORD put = 0;
        if (!WriteFile(file.Get(), data + done, want, &put, NULL) || put != want) {
            return false;
        }
        done += put;
    }
    return file.Close();
}
