// Instances: the independent registers, one subkey each below the
// application's registry key.
#pragma once
#include <windows.h>
#include <vector>
#include "afxstr.h"
#include "foundation/AppSettings.h"

struct CInstanceInfo
{
    CString key;          // subkey name: profile section and data-folder name
    CString displayName;  // the subkey's default value
    CString email;        // "RegEmail": the online account's e-mail
    int repoNr = 0;       // "RepoNr": number of the online data set
};

class CInstanceList
{
public:
    // Refills the list from the registry; returns the number of subkeys read
    // (the template list's key, where it lies inside the application key,
    // is no instance and is neither read nor counted).
    int Load();
    // The registered key that equals the request without regard to case, or
    // the request itself ("DefaultInstance" for an empty one).
    CString Resolve(LPCWSTR requestedKey);
    // The key at the index, or "DefaultInstance" outside the list.
    CString GetKey(int index) const;
    int GetCount() const { return (int)m_items.size(); }
    const CInstanceInfo& operator[](int index) const { return m_items[index]; }

private:
    std::vector<CInstanceInfo> m_items;
};

LPCWSTR GetDefaultInstanceKey();

// The application's chooser of the start-up instance: the registered
// instances and the selection dialog.
class CRegistryInstanceChooser : public CInstanceChooser
{
public:
    CString Resolve(LPCWSTR requestedKey) override;
    CString DefaultKey() override;
    bool Choose(bool askAlways, CString& key) override;
};
