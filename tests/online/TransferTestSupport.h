// Helpers of the transfer tests: the files of a folder, a job whose work the
// test gives, and the texts of a run.
#pragma once
#include <windows.h>
#include <atomic>
#include <functional>
#include <set>
#include <string>
#include "afxstr.h"
#include "online/TransferJob.h"
#include "online/TransferManager.h"

namespace testing_support {

// The names of the files in the folder (a path ending in a backslash).
inline std::set<std::wstring> FileNames(const CString& folder)
{
    std::set<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE hFind = FindFirstFileW(folder + L"*", &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.insert(data.cFileName);
    } while (FindNextFileW(hFind, &data));
    FindClose(hFind);
    return names;
}

// A job that runs the test's function and counts its runs.
class CScriptJob : public CTransferJob
{
public:
    explicit CScriptJob(std::function<bool(CScriptJob&)> work, LPCWSTR name = L"", LPCWSTR errorText = L"",
                        int steps = 10)
        : m_work(work), m_steps(steps)
    {
        m_state = STATE_QUEUED;
        m_name = name;
        m_scriptErrorText = errorText;
    }
    bool Run() override
    {
        m_state = STATE_RUNNING;
        ++runs;
        bool ok = m_work ? m_work(*this) : true;
        if (!ok)
            m_errorText = m_scriptErrorText;
        return Finish(ok);
    }
    int GetStepCount() override { return m_steps; }

    std::atomic<int> runs{0};

private:
    std::function<bool(CScriptJob&)> m_work;
    CString m_scriptErrorText;
    int m_steps;
};

inline const CString* RunTexts()
{
    static const CString texts[CTransferManager::TEXT_COUNT] = {
        L"Online mentés",       L"Mentés folyamatban ...", L"A mentés elkészült.", L"Kattintson az OK gombra!",
        L"OK",                  L"A mentés megszakadt.",   L"Kattintson a Kilép gombra!", L"Kilép"};
    return texts;
}

} // namespace testing_support
