// libFuzzer harness (host build, AddressSanitizer): the text side of the
// clipboard import with arbitrary pasted text. Every two input bytes are one
// UTF-16 code unit, as the clipboard gives them. The buffers are exactly as
// large as the program's, so that a write outside them is caught.
#include <assert.h>
#include <stdint.h>
#include <string.h>
#include <vector>
#include "exchange/ImportText.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<wchar_t> text;
    for (size_t i = 0; i + 1 < size; i += 2) {
        wchar_t c = (wchar_t)(data[i] | (data[i + 1] << 8));
        text.push_back(c);
    }
    size_t length = 0;
    while (length < text.size() && text[length])
        ++length;
    text.resize(length);
    text.push_back(0);

    // The cell helpers on the whole text.
    wchar_t* digits = new wchar_t[kMaxImportDigits + 1];
    int n = ExtractDigits(text.data(), digits);
    assert(n >= 0 && n <= kMaxImportDigits && digits[n] == 0 && (int)wcslen(digits) == n);
    ReadImportNumber(digits);
    ReadImportNumber(text.data());
    delete[] digits;

    wchar_t* field = new wchar_t[kMaxImportText + 1];
    n = NormalizeImportText(field, text.data());
    assert(n >= 0 && n <= kMaxImportText && field[n] == 0);
    delete[] field;

    // Splitting in place, as the table does.
    int rows = 0, columns = 0;
    MeasureImportText(text.data(), length, &rows, &columns);
    std::vector<wchar_t*> lines;
    CutImportLines(text.data(), length, lines);
    assert((int)lines.size() == rows);
    int count = columns < kMaxImportColumns ? columns : kMaxImportColumns;
    std::vector<wchar_t*> cells(count > 0 ? count : 1);
    for (wchar_t* line : lines) {
        int stored = CutImportCells(line, count, cells.data());
        assert(stored >= 0 && stored <= count);
        for (int c = 0; c < stored; ++c) {
            assert(cells[c] >= text.data() && cells[c] <= text.data() + length);
            wchar_t cell[kMaxImportText + 1];
            NormalizeImportText(cell, cells[c]);
        }
    }
    return 0;
}
