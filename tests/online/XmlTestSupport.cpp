#include "XmlTestSupport.h"
#include <memory>
#include <unordered_set>

namespace xml_test {

const wchar_t kRowPath[] = L"/DataBase/Tables/Table[name=tUgyirat]/Rows/Row";

void AttachText(XmlParser& parser, const std::wstring& text)
{
    std::unique_ptr<wchar_t[]> copy(new wchar_t[text.size() + 1]);
    text.copy(copy.get(), text.size());
    copy[text.size()] = 0;
    parser.Attach(std::move(copy), (uint32_t)text.size());
}

std::wstring Show(const XmlNode* node)
{
    if (!node)
        return L"null";
    return std::to_wstring(node->GetType()) + L":" + node->GetName();
}

std::vector<std::wstring> Pull(XmlParser& parser)
{
    std::vector<std::wstring> shown;
    for (uint32_t calls = 0; calls <= parser.GetLength() && parser.GetPosition() < parser.GetLength(); ++calls)
        shown.push_back(Show(parser.NextNode()));
    return shown;
}

int ReadAllChecked(XmlParser& parser, const XmlPathFilter& filter)
{
    int matched = 0;
    uint32_t last = parser.GetPosition();
    std::unordered_set<const XmlNode*> seen;
    for (uint32_t calls = 0; calls <= parser.GetLength() + 1; ++calls) {
        XmlNode* node = parser.NextNode();
        EXPECT_GE(parser.GetPosition(), last);
        EXPECT_LE(parser.GetPosition(), parser.GetLength());
        last = parser.GetPosition();
        if (node) {
            EXPECT_GE(node->GetType(), 1);
            EXPECT_LE(node->GetType(), 5);
            // A parent was handed out before its child, so every chain
            // ends at a node without parent.
            EXPECT_TRUE(!node->GetParent() || seen.count(node->GetParent())) << "a parent never read";
            seen.insert(node);
            if (filter.Matches(node))
                ++matched;
        } else if (parser.GetPosition() >= parser.GetLength()) {
            break;
        }
        if (::testing::Test::HasFailure())
            break;
    }
    EXPECT_EQ(parser.NextNode(), nullptr);
    return matched;
}

} // namespace xml_test
