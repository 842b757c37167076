#include "platform/XmlDocument.h"

#include <pugixml.hpp>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <sstream>

#include "platform/WideText.h"

namespace {

constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_declaration;

std::string Narrow(std::wstring_view text) {
    return WideToUtf8(text);
}

std::wstring Widen(const char* text) {
    return Utf8ToWideLossy(text == nullptr ? "" : text);
}

// Joins every piece of character data below `node`, in document order, without recursion
// (documents may nest deeply).
std::string DescendantText(pugi::xml_node node) {
    std::string text;
    for (pugi::xml_node current = node.first_child(); current && current != node;) {
        if (current.type() == pugi::node_pcdata || current.type() == pugi::node_cdata) {
            text += current.value();
        }
        if (current.first_child()) {
            current = current.first_child();
            continue;
        }
        while (current != node && !current.next_sibling()) {
            current = current.parent();
        }
        if (current != node) {
            current = current.next_sibling();
        }
    }
    return text;
}

// Whether `found` holds for some node below the document, visited in document order without
// recursion (documents may nest deeply).
template <class Predicate>
bool AnyNode(const pugi::xml_document& document, Predicate found) {
    for (pugi::xml_node current = document.first_child(); current;) {
        if (found(current)) {
            return true;
        }
        if (current.first_child()) {
            current = current.first_child();
            continue;
        }
        while (current && !current.next_sibling()) {
            current = current.parent();
        }
        if (current) {
            current = current.next_sibling();
        }
    }
    return false;
}

// The parser accepts two things that are not well-formed XML: several top-level elements and
// an attribute given twice. Both are refused here.
bool HasDuplicateAttribute(const pugi::xml_node& element, std::vector<std::string_view>& names) {
    names.clear();
    for (pugi::xml_attribute attribute : element.attributes()) {
        names.emplace_back(attribute.name());
    }
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) != names.end();
}

const char* WellFormednessProblem(const pugi::xml_document& document) {
    int topLevelElements = 0;
    for (pugi::xml_node child : document.children()) {
        topLevelElements += child.type() == pugi::node_element ? 1 : 0;
    }
    if (topLevelElements > 1) {
        return "Only one top level element is allowed";
    }
    std::vector<std::string_view> names;
    if (AnyNode(document,
                [&](const pugi::xml_node& node) { return HasDuplicateAttribute(node, names); })) {
        return "Duplicate attribute";
    }
    return nullptr;
}

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (hex && c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (hex && c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The character a complete reference ("&#" digits ";" or "&#x" hex digits ";") at the start of
// `text` names, capped just above the last code point; nullopt when it is not complete.
std::optional<std::uint32_t> ReferencedCharacter(std::string_view text) {
    constexpr std::uint32_t kBeyondUnicode = 0x110000;
    const bool hex = text.size() > 2 && text[2] == 'x';
    const std::size_t firstDigit = hex ? 3 : 2;
    std::size_t pos = firstDigit;
    std::uint32_t value = 0;
    for (int digit = 0; pos < text.size() && (digit = DigitValue(text[pos], hex)) >= 0; ++pos) {
        value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit),
                                        kBeyondUnicode);
    }
    if (pos == firstDigit || pos >= text.size() || text[pos] != ';') {
        return std::nullopt;
    }
    return value;
}

bool ReferencesForbiddenCharacter(std::string_view value) {
    for (std::size_t pos = value.find("&#"); pos != std::string_view::npos;
         pos = value.find("&#", pos + 2)) {
        const std::optional<std::uint32_t> character = ReferencedCharacter(value.substr(pos));
        if (character && !IsXmlCharacter(*character)) {
            return true;
        }
    }
    return false;
}

// The parser turns a character reference into whatever it names, and a reference to U+0000
// silently ends the value it stands in. XML allows neither. So a text holding references is
// first parsed as it stands, and every text and attribute value is looked at for them; the
// parser's own reading decides what is a value (comments, CDATA and the like hold none).
bool HasForbiddenCharacterReference(const std::string& utf8) {
    if (utf8.find("&#") == std::string::npos) {
        return false;
    }
    pugi::xml_document raw;
    if (!raw.load_buffer(utf8.data(), utf8.size(), kParseOptions & ~pugi::parse_escapes,
                         pugi::encoding_utf8)) {
        return false;  // not XML at all; the real parse says why
    }
    return AnyNode(raw, [](const pugi::xml_node& node) {
        if (node.type() == pugi::node_pcdata && ReferencesForbiddenCharacter(node.value())) {
            return true;
        }
        for (pugi::xml_attribute attribute : node.attributes()) {
            if (ReferencesForbiddenCharacter(attribute.value())) {
                return true;
            }
        }
        return false;
    });
}

std::wstring Serialized(const pugi::xml_node& node, unsigned flags, const char* indent) {
    std::ostringstream out;
    node.print(out, indent, flags, pugi::encoding_utf8);
    return Utf8ToWideLossy(out.str());
}

}  // namespace

std::wstring XmlNode::Name() const {
    return IsAttribute() ? Widen(pugi::xml_attribute(m_attribute).name())
                         : Widen(pugi::xml_node(m_element).name());
}

std::wstring XmlNode::Text() const {
    if (IsAttribute()) {
        return Widen(pugi::xml_attribute(m_attribute).value());
    }
    if (m_element == nullptr) {
        return {};
    }
    return TrimmedText(Utf8ToWideLossy(DescendantText(pugi::xml_node(m_element))));
}

void XmlNode::SetText(std::wstring_view text) const {
    if (IsAttribute()) {
        pugi::xml_attribute(m_attribute).set_value(Narrow(XmlAllowedText(text)).c_str());
        return;
    }
    pugi::xml_node element(m_element);
    if (!element) {
        return;
    }
    while (element.first_child()) {
        element.remove_child(element.first_child());
    }
    element.append_child(pugi::node_pcdata).set_value(Narrow(XmlAllowedText(text)).c_str());
}

XmlNode XmlNode::Attribute(std::wstring_view name) const {
    if (IsAttribute() || m_element == nullptr) {
        return {};
    }
    pugi::xml_attribute attribute = pugi::xml_node(m_element).attribute(Narrow(name).c_str());
    return attribute ? XmlNode(m_element, attribute.internal_object()) : XmlNode();
}

void XmlNode::SetAttribute(std::wstring_view name, std::wstring_view value) const {
    pugi::xml_node element(m_element);
    if (IsAttribute() || !element) {
        return;
    }
    const std::string narrowName = Narrow(name);
    pugi::xml_attribute attribute = element.attribute(narrowName.c_str());
    if (!attribute) {
        attribute = element.append_attribute(narrowName.c_str());
    }
    attribute.set_value(Narrow(XmlAllowedText(value)).c_str());
}

XmlNode XmlNode::SelectSingle(std::wstring_view xpath) const {
    const std::vector<XmlNode> all = SelectAll(xpath);
    return all.empty() ? XmlNode() : all.front();
}

std::vector<XmlNode> XmlNode::SelectAll(std::wstring_view xpath) const {
    std::vector<XmlNode> nodes;
    if (IsAttribute() || m_element == nullptr) {
        return nodes;
    }
    try {
        const pugi::xpath_node_set found =
            pugi::xml_node(m_element).select_nodes(Narrow(xpath).c_str());
        nodes.reserve(found.size());
        for (const pugi::xpath_node& hit : found) {
            if (hit.attribute()) {
                nodes.push_back(
                    XmlNode(hit.parent().internal_object(), hit.attribute().internal_object()));
            } else {
                nodes.push_back(XmlNode(hit.node().internal_object()));
            }
        }
    } catch (const pugi::xpath_exception&) {
        nodes.clear();
    }
    return nodes;
}

std::vector<XmlNode> XmlNode::ChildElements() const {
    std::vector<XmlNode> children;
    if (IsAttribute() || m_element == nullptr) {
        return children;
    }
    for (pugi::xml_node child : pugi::xml_node(m_element).children()) {
        if (child.type() == pugi::node_element) {
            children.push_back(XmlNode(child.internal_object()));
        }
    }
    return children;
}

XmlNode XmlNode::AppendElement(std::wstring_view name) const {
    if (IsAttribute() || m_element == nullptr) {
        return {};
    }
    pugi::xml_node child = pugi::xml_node(m_element).append_child(Narrow(name).c_str());
    return child ? XmlNode(child.internal_object()) : XmlNode();
}

XmlNode XmlNode::AppendCopy(const XmlNode& source) const {
    if (IsAttribute() || m_element == nullptr || source.IsNull()) {
        return {};
    }
    pugi::xml_node parent(m_element);
    if (source.IsAttribute()) {
        pugi::xml_attribute copy = parent.append_copy(pugi::xml_attribute(source.m_attribute));
        return copy ? XmlNode(m_element, copy.internal_object()) : XmlNode();
    }
    pugi::xml_node copy = parent.append_copy(pugi::xml_node(source.m_element));
    return copy ? XmlNode(copy.internal_object()) : XmlNode();
}

XmlNode XmlNode::ReplaceChild(const XmlNode& child, const XmlNode& replacement) const {
    if (IsAttribute() || child.IsAttribute() || replacement.IsAttribute() || m_element == nullptr ||
        child.m_element == nullptr || replacement.m_element == nullptr) {
        return {};
    }
    pugi::xml_node parent(m_element);
    pugi::xml_node old(child.m_element);
    if (old.parent() != parent) {
        return {};
    }
    pugi::xml_node copy = parent.insert_copy_before(pugi::xml_node(replacement.m_element), old);
    if (!copy) {
        return {};
    }
    parent.remove_child(old);
    return XmlNode(copy.internal_object());
}

bool XmlNode::Remove() const {
    if (IsAttribute()) {
        return pugi::xml_node(m_element).remove_attribute(pugi::xml_attribute(m_attribute));
    }
    pugi::xml_node element(m_element);
    return element && element.parent() && element.parent().remove_child(element);
}

std::wstring XmlNode::Serialize() const {
    if (IsAttribute()) {
        pugi::xml_attribute attribute(m_attribute);
        pugi::xml_document holder;
        holder.append_child("a").append_copy(attribute);
        const std::wstring element = Serialized(holder.first_child(), pugi::format_raw, "");
        // "<a name=\"value\"/>" without its element around it.
        return element.substr(3, element.size() - 5);
    }
    if (m_element == nullptr) {
        return {};
    }
    return Serialized(pugi::xml_node(m_element), pugi::format_raw, "");
}

XmlDocument::XmlDocument() : m_document(std::make_unique<pugi::xml_document>()) {}
XmlDocument::~XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&&) noexcept = default;
XmlDocument& XmlDocument::operator=(XmlDocument&&) noexcept = default;

bool XmlDocument::Load(std::wstring_view text, std::wstring& reason) {
    // The parser takes control characters as they come, and writes them back as references.
    const auto forbidden = std::find_if(text.begin(), text.end(), [](wchar_t c) {
        return !IsXmlCharacter(static_cast<std::uint32_t>(c));
    });
    if (forbidden != text.end()) {
        reason = L"Character that XML does not allow at offset " +
                 std::to_wstring(forbidden - text.begin());
        m_document->reset();
        return false;
    }
    const std::string utf8 = Narrow(text);
    if (HasForbiddenCharacterReference(utf8)) {
        reason = L"Reference to a character that XML does not allow";
        m_document->reset();
        return false;
    }
    const pugi::xml_parse_result result =
        m_document->load_buffer(utf8.data(), utf8.size(), kParseOptions, pugi::encoding_utf8);
    if (!result) {
        reason = Widen(result.description()) + L" at offset " + std::to_wstring(result.offset);
        m_document->reset();
        return false;
    }
    if (const char* problem = WellFormednessProblem(*m_document)) {
        reason = Widen(problem);
        m_document->reset();
        return false;
    }
    reason.clear();
    return true;
}

void XmlDocument::Clear() {
    m_document->reset();
}

XmlNode XmlDocument::Root() const {
    return XmlNode(m_document->internal_object());
}

XmlNode XmlDocument::DocumentElement() const {
    pugi::xml_node element = m_document->document_element();
    return element ? XmlNode(element.internal_object()) : XmlNode();
}

std::wstring XmlDocument::Serialize(bool indent) const {
    const unsigned flags = indent ? pugi::format_indent : pugi::format_raw;
    return Serialized(*m_document, flags, "\t");
}
