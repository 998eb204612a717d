// The text side of the clipboard import: cutting the pasted text into lines
// and cells, the digits of a cell, reading a number, and the normalised form
// of a name or remark. Plain wchar_t functions without Windows headers, so
// that the host's fuzzing harness can build them as they are.
#pragma once
#include <stddef.h>
#include <wchar.h>
#include <vector>

// A row holds at most this many cells, and no more columns are typed.
const int kMaxImportColumns = 1024;
// The capacity of ExtractDigits' result, without the terminator.
const int kMaxImportDigits = 255;
// The characters NormalizeImportText writes, without the terminator.
const int kMaxImportText = 200;

// The shape of a pasted text: rows are the LF characters, plus one when the
// text does not end with LF; columns are the largest number of TABs of one
// line plus one (0 for an empty text). Columns are counted whole here; the
// table keeps at most kMaxImportColumns of them.
void MeasureImportText(const wchar_t* text, size_t length, int* rows, int* columns);

// Replaces every CR by a blank and cuts the text at every LF in place; the
// starts of the lines go to lines: every line that ended in LF (empty ones
// too), and the text after the last LF only when it is not empty.
void CutImportLines(wchar_t* text, size_t length, std::vector<wchar_t*>& lines);

// Cuts one terminated line at its TABs in place; the first `count` pieces
// go to cells (a missing piece is null); returns how many pieces were
// stored (the line's pieces, at most count).
int CutImportCells(wchar_t* line, int count, wchar_t** cells);

// The digits of text in order; every run of other characters that follows
// a digit becomes one blank, other characters before the first digit are
// dropped. At most kMaxImportDigits characters; out is always terminated and
// must hold kMaxImportDigits + 1. Returns the result's length.
int ExtractDigits(const wchar_t* text, wchar_t* out);

// The number at the start of text as a wide-string-to-integer conversion
// reads it (white space skipped, an optional sign, decimal digits up to the
// first other character; 0 without digits), saturating at the bounds of a
// signed 32-bit number however many digits follow.
int ReadImportNumber(const wchar_t* text);

// Copies source into field (kMaxImportText + 1 characters): BEL, LF, CR and
// blank become one blank per run, leading white space goes; a value wholly in
// double quotes loses them, and otherwise a trailing blank goes. Returns the
// length of the terminated result.
int NormalizeImportText(wchar_t* field, const wchar_t* source);
