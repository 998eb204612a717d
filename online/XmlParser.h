// The program's own small XML reader: one UTF-8 file in memory as UTF-16,
// handed out one node at a time (a pull parser) while the element tree is
// built, so that every node already knows its ancestors; and a path filter
// that tests a node against "/DataBase/Tables/Table[name=tUgyirat]/Rows/Row".
//
// The reader is forgiving: it never validates the document. A token it cannot
// place (text or an end tag with no open element, an end tag that does not
// close the open element, a tag with an empty name, anything after the root
// has closed) is dropped, and that call returns null; the next call goes on
// after it. It scans by the stored length, so a NUL in the text is an
// ordinary character, and it frees the tree without recursion, however deep.
//
// Only Load touches the file system and the log (XmlParserLoad.cpp); the rest
// is plain C++ and builds anywhere, so the fuzzing harness runs it on the host.
// One parser belongs to one thread at a time.
#pragma once
#include <map>
#include <memory>
#include <stdint.h>
#include <string>
#include <vector>

class XmlNode
{
public:
    enum {
        TYPE_NONE = 0,        // a tag not parsed yet
        TYPE_DECLARATION = 1, // "<?...>"
        TYPE_ELEMENT = 2,     // start tag
        TYPE_TEXT = 3,
        TYPE_END = 4,         // "</...>"
        TYPE_MARKUP = 5,      // "<!...>": comment, document type
    };

    XmlNode(int type, XmlNode* parent) : m_type(type), m_parent(parent) {}
    // Deletes the whole subtree (children and end tags) without recursion.
    ~XmlNode();
    XmlNode(const XmlNode&) = delete;
    XmlNode& operator=(const XmlNode&) = delete;

    // True when the node has the attribute and its value is exactly `value`.
    bool HasAttribute(const std::wstring& name, const std::wstring& value) const;

    int GetType() const { return m_type; }
    // The element that was open when the node was read; null for the root and
    // for nodes read before it.
    XmlNode* GetParent() const { return m_parent; }
    // Set on an element when its end tag has been read, and on every text.
    bool IsClosed() const { return m_closed; }
    // The tag name, or a text node's decoded text.
    const std::wstring& GetName() const { return m_name; }
    const std::map<std::wstring, std::wstring>& GetAttributes() const { return m_attributes; }
    // The children (start elements and texts) in document order.
    XmlNode* GetFirstChild() const { return m_firstChild; }
    XmlNode* GetNextSibling() const { return m_nextSibling; }
    // The end-tag node that closed this element, or null.
    XmlNode* GetEndTag() const { return m_endTag; }

private:
    friend class XmlParser;

    // Parses a tag or text token into this node; false when it is no tag.
    bool Parse(const wchar_t* token, size_t length);
    bool ParseTag(const wchar_t* token, size_t length);
    void AppendChild(XmlNode* child);
    void SetEndTag(XmlNode* end);

    int m_type;
    XmlNode* m_parent;
    bool m_closed = false;
    std::wstring m_name;
    std::map<std::wstring, std::wstring> m_attributes;
    // Children as a list through the siblings: the tree is freed by walking
    // these links, with no stack and no allocation.
    XmlNode* m_firstChild = nullptr;
    XmlNode* m_lastChild = nullptr;
    XmlNode* m_nextSibling = nullptr;
    XmlNode* m_endTag = nullptr;
};

class XmlParser
{
public:
    XmlParser() {}
    ~XmlParser() { Reset(); }
    XmlParser(const XmlParser&) = delete;
    XmlParser& operator=(const XmlParser&) = delete;

    // Reads the whole file and converts it from UTF-8 (invalid sequences
    // become U+FFFD). False, logged and the parser empty, when the file cannot
    // be opened, has 6 bytes or less, does not begin with "<?xml " (in any
    // case; a byte-order mark fails too), cannot be read whole, is too long
    // for the 32-bit length or memory runs out.
    bool Load(const wchar_t* fileName);
    // Takes a text of `length` units (followed by a 0) as the document, after
    // Reset; Load ends with this.
    void Attach(std::unique_ptr<wchar_t[]> text, uint32_t length);
    // The next node, linked into the tree and owned by the parser until Reset;
    // null at the end of the text, for a dropped token, or when memory ran
    // out (the position then stands at the end).
    XmlNode* NextNode();
    // Frees the text, the tree and the prolog; length and position become 0.
    void Reset();
    // Frees a closed element that is not the root, with everything below it
    // and its end tag, and takes it out of its parent's children: a reader
    // that is done with a part of a large document gives its nodes back.
    // The element and its subtree are invalid afterwards. False (nothing
    // freed) for the root, an element not closed yet, or any other node.
    bool Discard(XmlNode* element);
    // Whether the last Load or NextNode failed for want of memory.
    bool OutOfMemory() const { return m_outOfMemory; }
    // How many start tags of that name the text holds from the index on: a
    // scan of the text, not a parse (a tag inside a comment counts too).
    uint32_t CountStartTags(const std::wstring& name, uint32_t from = 0) const;

    // Progress: the text's length in UTF-16 units and the index of the next
    // unread unit.
    uint32_t GetLength() const { return m_length; }
    uint32_t GetPosition() const { return m_position; }
    // The first start element, owner of the tree; null before it is read.
    XmlNode* GetRoot() const { return m_root; }
    // Every declaration and other markup node read, in reading order.
    const std::vector<XmlNode*>& GetProlog() const { return m_prolog; }

private:
    XmlNode* ReadNode(bool tag);
    XmlNode* Place(std::unique_ptr<XmlNode> node);

    std::unique_ptr<wchar_t[]> m_text;
    uint32_t m_length = 0;
    uint32_t m_position = 0;
    XmlNode* m_root = nullptr;
    XmlNode* m_open = nullptr;
    std::vector<XmlNode*> m_prolog;
    bool m_outOfMemory = false;
};

// A path of steps separated by "/", each a name with an optional list of
// predicates "[name=value&&name=value]" (no quotes, no trimming). A node
// matches when it is a start element and its ancestors, from the node
// upwards, carry the steps from the last to the first.
class XmlPathFilter
{
public:
    struct Step
    {
        std::wstring name;
        std::map<std::wstring, std::wstring> predicates;
    };

    // False when a step is malformed (a predicate without "=" after its first
    // character, an empty predicate before the last "&&", a "[" without "]");
    // the steps before it stay.
    bool Parse(const std::wstring& path);
    bool Matches(const XmlNode* node) const;

    bool IsAbsolute() const { return m_absolute; }
    const std::vector<Step>& GetSteps() const { return m_steps; }

private:
    static bool ParseStep(const std::wstring& piece, Step& step);

    bool m_absolute = false;
    std::vector<Step> m_steps;
};
