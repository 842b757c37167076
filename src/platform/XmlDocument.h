// The XML document model of the library: load from text (with the parser's reason when the
// text is not XML), select nodes by XPath, read and write element and attribute text, build,
// copy and remove nodes, and serialise. DTDs are never processed and no entity is expanded
// beyond the five predefined ones and character references, so a hostile document cannot
// reach outside itself or blow up in memory.
//
// Nodes are handles into their document: they stay valid while the document lives and the
// node is not removed. A document and its nodes belong to one thread at a time. On Windows the
// document is the system's MSXML 6 free-threaded DOM (a thread that uses one without having
// started the object runtime gets the multithreaded apartment); on Linux a pugixml tree.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <msxml2.h>

#include "ZynTaskSchedulerLib/ComPtr.h"
#else
namespace pugi {
struct xml_node_struct;
struct xml_attribute_struct;
class xml_document;
}  // namespace pugi
#endif

class XmlNode {
public:
    XmlNode() = default;

#ifdef _WIN32
    bool IsNull() const {
        return !m_node;
    }
    bool IsAttribute() const {
        return static_cast<bool>(m_owner);
    }
#else
    bool IsNull() const {
        return m_element == nullptr && m_attribute == nullptr;
    }
    bool IsAttribute() const {
        return m_attribute != nullptr;
    }
#endif
    explicit operator bool() const {
        return !IsNull();
    }

    std::wstring Name() const;
    // An attribute's value, or the text inside an element (all of its descendants' text
    // joined, without leading and trailing white space).
    std::wstring Text() const;
    // Replaces an element's content with one text node, or sets an attribute's value.
    void SetText(std::wstring_view text) const;

    XmlNode Attribute(std::wstring_view name) const;
    // Sets an attribute of this element, adding it when missing.
    void SetAttribute(std::wstring_view name, std::wstring_view value) const;

    // XPath selection with this node as context; a null node or an empty list when nothing
    // matches or the expression is not valid XPath.
    XmlNode SelectSingle(std::wstring_view xpath) const;
    std::vector<XmlNode> SelectAll(std::wstring_view xpath) const;

    std::vector<XmlNode> ChildElements() const;
    XmlNode AppendElement(std::wstring_view name) const;
    // Appends a deep copy of `source` (from any document) as the last child.
    XmlNode AppendCopy(const XmlNode& source) const;
    // Replaces `child` by a deep copy of `replacement`; the copy, or a null node when `child`
    // is not a child of this node.
    XmlNode ReplaceChild(const XmlNode& child, const XmlNode& replacement) const;
    // Removes this node (an element with everything inside it, or an attribute).
    bool Remove() const;

    // The node's own markup, without indentation.
    std::wstring Serialize() const;

private:
    friend class XmlDocument;
#ifdef _WIN32
    explicit XmlNode(ComPtr<IXMLDOMNode> node, ComPtr<IXMLDOMNode> owner = {})
        : m_node(std::move(node)), m_owner(std::move(owner)) {}
    // A node for what `selected` is, an attribute with its element found.
    static XmlNode Of(ComPtr<IXMLDOMNode> selected);

    ComPtr<IXMLDOMNode> m_node;
    ComPtr<IXMLDOMNode> m_owner;  // an attribute's element; null for any other node
#else
    explicit XmlNode(pugi::xml_node_struct* element) : m_element(element) {}
    XmlNode(pugi::xml_node_struct* owner, pugi::xml_attribute_struct* attribute)
        : m_element(owner), m_attribute(attribute) {}

    pugi::xml_node_struct* m_element = nullptr;
    pugi::xml_attribute_struct* m_attribute = nullptr;  // set for an attribute node
#endif
};

class XmlDocument {
public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(XmlDocument&&) noexcept;
    XmlDocument& operator=(XmlDocument&&) noexcept;

    // Replaces the content with the parsed text; false with the parser's reason when the text
    // is not well-formed XML with one document element (the content is then empty).
    bool Load(std::wstring_view text, std::wstring& reason);
    void Clear();

    // The document node (the context for absolute XPath) and its single element.
    XmlNode Root() const;
    XmlNode DocumentElement() const;
    XmlNode SelectSingle(std::wstring_view xpath) const { return Root().SelectSingle(xpath); }
    std::vector<XmlNode> SelectAll(std::wstring_view xpath) const {
        return Root().SelectAll(xpath);
    }

    // The whole document; `indent` lays elements out one per line, indented by tabs.
    std::wstring Serialize(bool indent = false) const;

private:
#ifdef _WIN32
    ComPtr<IXMLDOMDocument2> m_document;  // null when the system could not make one
#else
    std::unique_ptr<pugi::xml_document> m_document;
#endif
};

// Appends `text` with the five XML special characters written as entities, so that it can
// stand in an attribute value or element text.
void AppendXmlEscaped(std::wstring& out, std::wstring_view text);
// Appends `text` as a document's own writer writes it: `&`, `<` and `>` as entities, and `"`
// too in an attribute value, so that a document reads the same whichever writer wrote it.
void AppendXmlMarkupText(std::wstring& out, std::wstring_view text, bool attribute);

bool IsXmlCharacter(std::uint32_t c);
// Text for a value written into a document: a character XML does not allow (a control
// character in a program's message, say) becomes U+FFFD, so that what is written reads back.
std::wstring XmlAllowedText(std::wstring_view text);
