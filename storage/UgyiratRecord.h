// The case record, its key, and the bounded text copy every builder uses.
#pragma once
#include <windows.h>
#include <oledb.h>
#include <wchar.h>

// A case of the register: a plain fixed-layout record, copied whole; every
// builder starts from a zero-filled record.
struct CUgyiratRecord
{
    INT32 Nr;            // number of the case within its year
    INT32 Ev;            // year of the case
    INT32 Allapot;       // 1 active, 0 closed
    INT32 CompareState;  // written only by the restore preview; never stored
    WCHAR UgyfelNeve[201];
    WCHAR EllenfelNeve[201];
    WCHAR UgyJellege[201];
    WCHAR Megjegyzes[201];
    WCHAR Hataridok[1025];
    DBTIMESTAMP Datum;   // date of entry, local wall-clock time, fraction 0
    WCHAR CC[49];
};

// The highest case number: keys are Ev * 65536 + Nr, so a larger number
// would take the key of a case of a later year (and a number below 1 the
// key of a case of an earlier year: 2025/-1 is 2024/65535).
const int kMaxUgyiratNr = 65535;
// The years a positive signed 32-bit key holds; year 0 stands for "the
// current year" where a year is asked for.
const int kMinUgyiratEv = 1;
const int kMaxUgyiratEv = 32767;

// Whether the year and number make a key of their own.
inline bool IsStorableUgyirat(int ev, int nr)
{
    return nr >= 1 && nr <= kMaxUgyiratNr && ev >= kMinUgyiratEv && ev <= kMaxUgyiratEv;
}

inline int MakeUgyiratKey(int ev, int nr)
{
    return (int)(((unsigned)ev << 16) + (unsigned)nr);
}

inline int UgyiratKey(const CUgyiratRecord& r)
{
    return MakeUgyiratKey(r.Ev, r.Nr);
}

inline void ZeroRecord(CUgyiratRecord& r)
{
    memset(&r, 0, sizeof(r));
}

// Copies at most N - 1 characters and terminates; a longer text is cut.
template <size_t N>
inline void CopyField(WCHAR (&field)[N], LPCWSTR text, size_t length = (size_t)-1)
{
    size_t n = 0;
    if (text) {
        if (length == (size_t)-1)
            length = wcslen(text);
        n = length < N - 1 ? length : N - 1;
        wmemcpy(field, text, n);
    }
    field[n] = 0;
}
