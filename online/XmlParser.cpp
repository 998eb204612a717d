#include "online/XmlParser.h"
#include <algorithm>
#include <wchar.h>
#include <new>
#include <wctype.h>

namespace {

bool IsNameEnd(wchar_t c)
{
    return c == L' ' || c == L'\r' || c == L'\n' || c == L'\t' || c == L'>';
}

bool IsBlank(wchar_t c)
{
    return iswspace(c) != 0;
}

bool StartsWith(const wchar_t* text, size_t length, size_t at, const wchar_t* word)
{
    for (size_t i = 0; word[i]; ++i) {
        if (at + i >= length || text[at + i] != word[i])
            return false;
    }
    return true;
}

// The text of a text token: "&amp;", "&lt;" and "&gt;" decoded in one pass
// from left to right, so a decoded character is never looked at again.
void DecodeText(const wchar_t* token, size_t length, std::wstring& text)
{
    const wchar_t* amp = std::find(token, token + length, L'&');
    text.assign(token, amp - token);
    if (amp == token + length)
        return;
    text.reserve(length);
    for (size_t i = amp - token; i < length; ++i) {
        if (token[i] == L'&') {
            if (StartsWith(token, length, i, L"&amp;")) {
                text += L'&';
                i += 4;
                continue;
            }
            if (StartsWith(token, length, i, L"&lt;")) {
                text += L'<';
                i += 3;
                continue;
            }
            if (StartsWith(token, length, i, L"&gt;")) {
                text += L'>';
                i += 3;
                continue;
            }
        }
        text += token[i];
    }
}

std::wstring Trim(const std::wstring& text)
{
    size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

} // namespace

// ---------------------------------------------------------------------------
// XmlNode

XmlNode::~XmlNode()
{
    // The nodes still to free form one list through their sibling links: a
    // node's children are put in front of the rest and its end tag after
    // them, then the node goes with nothing left below it.
    XmlNode* pending = m_firstChild;
    if (m_lastChild)
        m_lastChild->m_nextSibling = m_endTag;
    else
        pending = m_endTag;
    m_firstChild = m_lastChild = m_endTag = nullptr;
    while (pending) {
        XmlNode* node = pending;
        XmlNode* rest = node->m_nextSibling;
        if (node->m_endTag) {
            node->m_endTag->m_nextSibling = rest;
            rest = node->m_endTag;
        }
        if (node->m_firstChild) {
            node->m_lastChild->m_nextSibling = rest;
            rest = node->m_firstChild;
        }
        node->m_firstChild = node->m_lastChild = node->m_endTag = node->m_nextSibling = nullptr;
        delete node;
        pending = rest;
    }
}

bool XmlNode::HasAttribute(const std::wstring& name, const std::wstring& value) const
{
    auto it = m_attributes.find(name);
    return it != m_attributes.end() && it->second == value;
}

void XmlNode::AppendChild(XmlNode* child)
{
    child->m_parent = this;
    if (m_lastChild)
        m_lastChild->m_nextSibling = child;
    else
        m_firstChild = child;
    m_lastChild = child;
}

void XmlNode::SetEndTag(XmlNode* end)
{
    m_closed = true;
    m_endTag = end;
}

bool XmlNode::Parse(const wchar_t* token, size_t length)
{
    if (m_type == TYPE_TEXT) {
        DecodeText(token, length, m_name);
        m_closed = true;
        return true;
    }
    return ParseTag(token, length);
}

bool XmlNode::ParseTag(const wchar_t* token, size_t length)
{
    // A tag token runs from "<" to its ">", so it has at least two units.
    if (length < 2 || token[0] != L'<' || token[length - 1] != L'>')
        return false;
    size_t start = 2;
    switch (token[1]) {
    case L'!': m_type = TYPE_MARKUP; break;
    case L'?': m_type = TYPE_DECLARATION; break;
    case L'/': m_type = TYPE_END; break;
    default: m_type = TYPE_ELEMENT; start = 1; break;
    }
    size_t end = start;
    while (end < length && !IsNameEnd(token[end]))
        ++end;
    // A tag whose name is empty is no tag.
    if (end == start)
        return false;
    m_name.assign(token + start, end - start);
    if (token[end] == L'>')
        return true;

    // The attributes, up to the closing ">": a pair begins at the next "="
    // followed directly by a double quote; its name is everything since the
    // previous pair, trimmed; its value runs to the next double quote.
    size_t from = end;
    while (from < length - 1 && IsBlank(token[from]))
        ++from;
    const size_t stop = length - 1;
    while (from < stop) {
        size_t eq = from;
        while (eq + 1 < stop && !(token[eq] == L'=' && token[eq + 1] == L'"'))
            ++eq;
        if (eq + 1 >= stop)
            break;
        size_t value = eq + 2;
        size_t quote = value;
        while (quote < stop && token[quote] != L'"')
            ++quote;
        if (quote >= stop)
            break; // no closing quote: the pairs read so far stay
        m_attributes[Trim(std::wstring(token + from, eq - from))].assign(token + value, quote - value);
        from = quote + 1;
    }
    return true;
}

// ---------------------------------------------------------------------------
// XmlParser

void XmlParser::Attach(std::unique_ptr<wchar_t[]> text, uint32_t length)
{
    Reset();
    m_text = std::move(text);
    m_length = m_text ? length : 0;
}

void XmlParser::Reset()
{
    delete m_root;
    m_root = m_open = nullptr;
    for (XmlNode* node : m_prolog)
        delete node;
    m_prolog.clear();
    m_text.reset();
    m_length = m_position = 0;
    m_outOfMemory = false;
}

bool XmlParser::Discard(XmlNode* element)
{
    // A closed element holds nothing that is still open: the open element
    // stands above it, so the reading goes on undisturbed.
    if (!element || element == m_root || element->m_type != XmlNode::TYPE_ELEMENT || !element->m_closed ||
        !element->m_parent)
        return false;
    XmlNode* parent = element->m_parent;
    XmlNode* previous = nullptr;
    XmlNode* child = parent->m_firstChild;
    while (child && child != element) {
        previous = child;
        child = child->m_nextSibling;
    }
    if (!child)
        return false;
    if (previous)
        previous->m_nextSibling = element->m_nextSibling;
    else
        parent->m_firstChild = element->m_nextSibling;
    if (parent->m_lastChild == element)
        parent->m_lastChild = previous;
    element->m_nextSibling = nullptr;
    delete element;
    return true;
}

uint32_t XmlParser::CountStartTags(const std::wstring& name, uint32_t from) const
{
    if (!m_text || name.empty())
        return 0;
    const wchar_t* text = m_text.get();
    const size_t size = name.size();
    uint32_t count = 0;
    for (uint32_t i = from; i < m_length; ++i) {
        // "<", the name, then what ends a tag's name.
        if (text[i] == L'<' && (size_t)(m_length - i) > size + 1 && wmemcmp(text + i + 1, name.data(), size) == 0 &&
            IsNameEnd(text[i + 1 + size]))
            ++count;
    }
    return count;
}

XmlNode* XmlParser::NextNode()
{
    if (!m_text)
        return nullptr;
    while (m_position < m_length && IsBlank(m_text[m_position]))
        ++m_position;
    if (m_position >= m_length)
        return nullptr;
    try {
        if (m_text[m_position] != L'<')
            return ReadNode(false);
        XmlNode* node = ReadNode(true);
        if (m_position < m_length)
            ++m_position; // past the ">"
        return node;
    } catch (const std::bad_alloc&) {
        // Out of memory: the reading ends here.
        m_position = m_length;
        m_outOfMemory = true;
        return nullptr;
    }
}

XmlNode* XmlParser::ReadNode(bool tag)
{
    // The token: up to and including ">" for a tag, up to "<" for a text. A
    // token without its terminator is empty and ends the text.
    const wchar_t terminator = tag ? L'>' : L'<';
    const wchar_t* start = m_text.get() + m_position;
    uint32_t end = m_position;
    bool amp = false;
    while (end < m_length && m_text[end] != terminator) {
        amp = amp || m_text[end] == L'&';
        ++end;
    }
    if (end >= m_length) {
        m_position = m_length;
        return nullptr;
    }
    size_t length = end - m_position + (tag ? 1 : 0);
    m_position = end;
    if (length == 0)
        return nullptr;

    std::unique_ptr<XmlNode> node(new XmlNode(tag ? XmlNode::TYPE_NONE : XmlNode::TYPE_TEXT, m_open));
    bool parsed;
    if (tag && amp) {
        // In a tag every "&amp;" stands for "&", and nothing else is decoded.
        std::wstring token;
        token.reserve(length);
        for (size_t i = 0; i < length; ++i) {
            token += start[i];
            if (start[i] == L'&' && StartsWith(start, length, i, L"&amp;"))
                i += 4;
        }
        parsed = node->Parse(token.data(), token.size());
    } else {
        parsed = node->Parse(start, length);
    }
    if (!parsed)
        return nullptr;
    return Place(std::move(node));
}

XmlNode* XmlParser::Place(std::unique_ptr<XmlNode> node)
{
    switch (node->m_type) {
    case XmlNode::TYPE_DECLARATION:
    case XmlNode::TYPE_MARKUP:
        m_prolog.push_back(node.get());
        return node.release();
    case XmlNode::TYPE_ELEMENT:
    case XmlNode::TYPE_TEXT:
        if (!m_root) {
            if (node->m_type == XmlNode::TYPE_TEXT)
                return nullptr;
            m_root = m_open = node.release();
            return m_root;
        }
        // After the root has closed nothing more is placed.
        if (!m_open)
            return nullptr;
        m_open->AppendChild(node.get());
        if (node->m_type == XmlNode::TYPE_ELEMENT)
            m_open = node.get();
        return node.release();
    case XmlNode::TYPE_END:
        if (!m_open || node->m_name != m_open->m_name)
            return nullptr;
        {
            XmlNode* end = node.release();
            m_open->SetEndTag(end);
            m_open = m_open->m_parent;
            return end;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// XmlPathFilter

bool XmlPathFilter::Parse(const std::wstring& path)
{
    m_steps.clear();
    m_absolute = !path.empty() && path[0] == L'/';
    size_t from = 0;
    while (from <= path.size()) {
        size_t slash = path.find(L'/', from);
        if (slash == std::wstring::npos)
            slash = path.size();
        if (slash > from) {
            Step step;
            if (!ParseStep(path.substr(from, slash - from), step))
                return false;
            m_steps.push_back(std::move(step));
        }
        from = slash + 1;
    }
    return true;
}

bool XmlPathFilter::ParseStep(const std::wstring& piece, Step& step)
{
    size_t open = piece.find(L'[');
    if (open == std::wstring::npos) {
        step.name = piece;
        return true;
    }
    step.name = piece.substr(0, open);
    size_t close = piece.find(L']', open + 1);
    if (close == std::wstring::npos)
        return false;
    const std::wstring text = piece.substr(open + 1, close - open - 1);
    size_t from = 0;
    for (;;) {
        size_t amp = text.find(L"&&", from);
        const bool last = amp == std::wstring::npos;
        const std::wstring part = text.substr(from, last ? std::wstring::npos : amp - from);
        if (part.empty()) {
            // Allowed only as the end of the list: after a "&&", or as an
            // empty list.
            return last;
        }
        size_t eq = part.find(L'=');
        if (eq == std::wstring::npos || eq == 0)
            return false;
        step.predicates[part.substr(0, eq)] = part.substr(eq + 1);
        if (last)
            return true;
        from = amp + 2;
    }
}

bool XmlPathFilter::Matches(const XmlNode* node) const
{
    if (!node || node->GetType() != XmlNode::TYPE_ELEMENT)
        return false;
    for (size_t i = m_steps.size(); i-- > 0;) {
        const Step& step = m_steps[i];
        if (!node || node->GetName() != step.name)
            return false;
        for (const auto& predicate : step.predicates) {
            if (!node->HasAttribute(predicate.first, predicate.second))
                return false;
        }
        node = node->GetParent();
    }
    // An absolute path begins at the root: nothing may stand above its
    // first step.
    return !m_absolute || m_steps.empty() || !node;
}
