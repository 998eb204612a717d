// Helpers of the XML reader's tests: a text handed to a parser, nodes shown
// as short strings, and the checks every reading must pass whatever the input.
#pragma once
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "online/XmlParser.h"

namespace xml_test {

// Hands the text to the parser as a loaded document.
void AttachText(XmlParser& parser, const std::wstring& text);

// "2:name" for a node ("3:text" for a text), "null" for none.
std::wstring Show(const XmlNode* node);

// The results of NextNode until the position stands at the end, nulls
// included (at most one call more than the text has units).
std::vector<std::wstring> Pull(XmlParser& parser);

// Reads the whole loaded text through NextNode, past nulls, and tests every
// node against the filter; fails the test when the position goes back or
// past the length, when a node's type is not 1 to 5, or when a parent chain
// does not end. Returns how many nodes the filter matched.
int ReadAllChecked(XmlParser& parser, const XmlPathFilter& filter);

// The row path of the backup file.
extern const wchar_t kRowPath[];

} // namespace xml_test
