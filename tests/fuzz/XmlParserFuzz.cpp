// libFuzzer harness (host build, AddressSanitizer): the XML reader's token
// core over arbitrary files. The input is decoded from UTF-8 as the program
// decodes a loaded file (an invalid byte becomes U+FFFD, a NUL stays) and
// read to its end past every null, giving back the nodes of some closed
// elements as the restore's load does with its rows; the first bytes are
// also tried as a path.
#include <assert.h>
#include <stdint.h>
#include <string>
#include <unordered_set>
#include "online/XmlParser.cpp"

namespace {

std::wstring DecodeUtf8(const uint8_t* data, size_t size)
{
    std::wstring text;
    for (size_t i = 0; i < size;) {
        uint8_t c = data[i];
        int extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        uint32_t code = extra == 0 ? c : extra == 1 ? c & 0x1F : extra == 2 ? c & 0x0F : c & 0x07;
        bool ok = extra >= 0 && i + extra < size;
        for (int k = 1; ok && k <= extra; ++k) {
            ok = (data[i + k] & 0xC0) == 0x80;
            code = (code << 6) | (data[i + k] & 0x3F);
        }
        if (!ok) {
            text += (wchar_t)0xFFFD;
            ++i;
            continue;
        }
        i += extra + 1;
        if (code >= 0x10000) { // as UTF-16, the program's wchar_t
            code -= 0x10000;
            text += (wchar_t)(0xD800 + (code >> 10));
            text += (wchar_t)(0xDC00 + (code & 0x3FF));
        } else {
            text += (wchar_t)code;
        }
    }
    return text;
}

void ReadAll(const std::wstring& text, const XmlPathFilter* filters, int count)
{
    XmlParser parser;
    std::unique_ptr<wchar_t[]> copy(new wchar_t[text.size() + 1]);
    text.copy(copy.get(), text.size());
    copy[text.size()] = 0;
    parser.Attach(std::move(copy), (uint32_t)text.size());
    std::unordered_set<const XmlNode*> seen;
    uint32_t last = 0;
    for (size_t calls = 0; calls <= text.size() + 1; ++calls) {
        XmlNode* node = parser.NextNode();
        assert(parser.GetPosition() >= last && parser.GetPosition() <= parser.GetLength());
        last = parser.GetPosition();
        if (!node) {
            if (last == parser.GetLength())
                break;
            continue;
        }
        assert(node->GetType() >= 1 && node->GetType() <= 5);
        assert(!node->GetParent() || seen.count(node->GetParent()));
        seen.insert(node);
        for (int f = 0; f < count; ++f)
            filters[f].Matches(node);
        for (const auto& attribute : node->GetAttributes())
            node->HasAttribute(attribute.first, attribute.second);
        // The element an end tag closed, every other time: gone with the
        // end tag itself, the reading goes on.
        if (node->GetType() == XmlNode::TYPE_END && (calls & 1)) {
            XmlNode* closed = node->GetParent();
            const bool root = closed == parser.GetRoot();
            assert(parser.Discard(closed) != root);
            assert(parser.CountStartTags(L"Row", parser.GetPosition()) <= parser.CountStartTags(L"Row"));
        }
    }
    assert(parser.GetPosition() == parser.GetLength());
    assert(!parser.NextNode());
    parser.Reset();
    assert(!parser.NextNode() && parser.GetLength() == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::wstring text = DecodeUtf8(data, size);

    XmlPathFilter filters[3];
    bool parsed = filters[0].Parse(L"/DataBase/Tables/Table[name=tUgyirat]/Rows/Row") && filters[1].Parse(L"data");
    assert(parsed);
    (void)parsed;
    filters[2].Parse(text.substr(0, 48));
    ReadAll(text, filters, 3);
    return 0;
}
