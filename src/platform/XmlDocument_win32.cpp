// The XML document over the system's MSXML 6 DOM. MSXML refuses DTDs by default (ProhibitDTD)
// and never resolves external entities here; its own serialisation re-indents, so documents
// are written by the writer below, in the same form as on Linux.
#include "platform/XmlDocument.h"

#include "ZynTaskSchedulerLib/Bstr.h"
#include "ZynTaskSchedulerLib/VariantHolder.h"
#include "platform/WideText.h"

namespace {

// FreeThreadedDOMDocument60: mingw's headers carry the identities of the older versions only.
constexpr CLSID kFreeThreadedDocument60 = {
    0x88D96A06, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};

// The identity of IXMLDOMDocument2, which mingw's libraries do not carry.
constexpr IID kIXMLDOMDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// Starts the object runtime on a thread that has not, for as long as the thread lives.
class ThreadRuntime {
public:
    ThreadRuntime() : m_started(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ThreadRuntime() {
        if (m_started) {
            ::CoUninitialize();
        }
    }
    ThreadRuntime(const ThreadRuntime&) = delete;
    ThreadRuntime& operator=(const ThreadRuntime&) = delete;

private:
    bool m_started;
};

ComPtr<IXMLDOMDocument2> NewDocument() {
    thread_local ThreadRuntime runtime;
    ComPtr<IXMLDOMDocument2> document;
    if (FAILED(::CoCreateInstance(kFreeThreadedDocument60, nullptr, CLSCTX_INPROC_SERVER,
                                  kIXMLDOMDocument2,
                                  reinterpret_cast<void**>(document.Receive())))) {
        return {};
    }
    document->put_async(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    document->put_resolveExternals(VARIANT_FALSE);
    document->put_preserveWhiteSpace(VARIANT_FALSE);
    CVariantHolder prohibit;
    prohibit.vt = VT_BOOL;
    prohibit.boolVal = VARIANT_TRUE;
    document->setProperty(CBstr(L"ProhibitDTD").Get(), prohibit);
    return document;
}

template <class T>
const IID& IdentityOf();
template <>
const IID& IdentityOf<IXMLDOMNode>() {
    return IID_IXMLDOMNode;
}
template <>
const IID& IdentityOf<IXMLDOMElement>() {
    return IID_IXMLDOMElement;
}
template <>
const IID& IdentityOf<IXMLDOMAttribute>() {
    return IID_IXMLDOMAttribute;
}
template <>
const IID& IdentityOf<IXMLDOMDocument>() {
    return IID_IXMLDOMDocument;
}

template <class T>
ComPtr<T> As(IUnknown* object) {
    ComPtr<T> result;
    if (object != nullptr) {
        object->QueryInterface(IdentityOf<T>(), reinterpret_cast<void**>(result.Receive()));
    }
    return result;
}

DOMNodeType TypeOf(IXMLDOMNode* node) {
    DOMNodeType type = NODE_INVALID;
    node->get_nodeType(&type);
    return type;
}

std::wstring NameOf(IXMLDOMNode* node) {
    CBstr name;
    node->get_nodeName(name.Receive());
    return std::wstring(name.View());
}

std::wstring ValueOf(IXMLDOMNode* node) {
    CVariantHolder value;
    if (FAILED(node->get_nodeValue(&value)) || value.vt != VT_BSTR) {
        return {};
    }
    return std::wstring(value.bstrVal, ::SysStringLen(value.bstrVal));
}

ComPtr<IXMLDOMNode> FirstChild(IXMLDOMNode* node) {
    ComPtr<IXMLDOMNode> child;
    node->get_firstChild(child.Receive());
    return child;
}

ComPtr<IXMLDOMNode> NextSibling(IXMLDOMNode* node) {
    ComPtr<IXMLDOMNode> sibling;
    node->get_nextSibling(sibling.Receive());
    return sibling;
}

ComPtr<IXMLDOMNode> Parent(IXMLDOMNode* node) {
    ComPtr<IXMLDOMNode> parent;
    node->get_parentNode(parent.Receive());
    return parent;
}

// The document that makes new nodes for `node`: its own, or itself.
ComPtr<IXMLDOMDocument> DocumentOf(IXMLDOMNode* node) {
    if (auto document = As<IXMLDOMDocument>(node)) {
        return document;
    }
    ComPtr<IXMLDOMDocument> owner;
    node->get_ownerDocument(owner.Receive());
    return owner;
}

// Every piece of character data below `root`, in document order, without recursion. The walk
// counts its depth rather than comparing nodes: a DOM may hand out a new object for the same
// node at every call.
std::wstring DescendantText(IXMLDOMNode* root) {
    std::wstring text;
    ComPtr<IXMLDOMNode> current = FirstChild(root);
    int depth = 1;
    while (current && depth > 0) {
        const DOMNodeType type = TypeOf(current.Get());
        if (type == NODE_TEXT || type == NODE_CDATA_SECTION) {
            text += ValueOf(current.Get());
        }
        if (ComPtr<IXMLDOMNode> child = FirstChild(current.Get())) {
            current = child;
            ++depth;
            continue;
        }
        for (; depth > 0; --depth) {
            if (ComPtr<IXMLDOMNode> next = NextSibling(current.Get())) {
                current = next;
                break;
            }
            current = Parent(current.Get());
        }
    }
    return text;
}

std::vector<ComPtr<IXMLDOMNode>> Children(IXMLDOMNode* node) {
    std::vector<ComPtr<IXMLDOMNode>> children;
    for (ComPtr<IXMLDOMNode> child = FirstChild(node); child; child = NextSibling(child.Get())) {
        children.push_back(child);
    }
    return children;
}

void AppendAttributes(std::wstring& out, IXMLDOMNode* element) {
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    LONG count = 0;
    if (FAILED(element->get_attributes(attributes.Receive())) || !attributes ||
        FAILED(attributes->get_length(&count))) {
        return;
    }
    for (LONG i = 0; i < count; ++i) {
        ComPtr<IXMLDOMNode> attribute;
        if (SUCCEEDED(attributes->get_item(i, attribute.Receive())) && attribute) {
            out += L' ' + NameOf(attribute.Get()) + L"=\"";
            AppendXmlMarkupText(out, ValueOf(attribute.Get()), true);
            out += L'"';
        }
    }
}

// The markup of `node`; `depth` < 0 writes it raw, otherwise one node per line indented by
// `depth` tabs (an element holding only text keeps it on its line). MSXML bounds the depth of
// a loaded document, which bounds this recursion.
void Write(std::wstring& out, IXMLDOMNode* node, int depth) {
    const std::wstring indent =
        depth < 0 ? L"" : std::wstring(static_cast<std::size_t>(depth), L'\t');
    const wchar_t* lineEnd = depth < 0 ? L"" : L"\n";
    switch (TypeOf(node)) {
        case NODE_DOCUMENT:
            for (const auto& child : Children(node)) {
                Write(out, child.Get(), depth);
            }
            return;
        case NODE_TEXT:
            out += indent;
            AppendXmlMarkupText(out, ValueOf(node), false);
            out += lineEnd;
            return;
        case NODE_CDATA_SECTION:
            out += indent + L"<![CDATA[" + ValueOf(node) + L"]]>" + lineEnd;
            return;
        case NODE_COMMENT:
            out += indent + L"<!--" + ValueOf(node) + L"-->" + lineEnd;
            return;
        case NODE_PROCESSING_INSTRUCTION:
            out += indent + L"<?" + NameOf(node) + L' ' + ValueOf(node) + L"?>" + lineEnd;
            return;
        case NODE_ELEMENT:
            break;
        default:
            return;
    }
    const std::wstring name = NameOf(node);
    out += indent + L'<' + name;
    AppendAttributes(out, node);
    const auto children = Children(node);
    if (children.empty()) {
        out += depth < 0 ? L"/>" : L" />\n";
        return;
    }
    out += L'>';
    bool textOnly = true;
    for (const auto& child : children) {
        const DOMNodeType type = TypeOf(child.Get());
        textOnly = textOnly && (type == NODE_TEXT || type == NODE_CDATA_SECTION);
    }
    if (depth < 0 || textOnly) {
        for (const auto& child : children) {
            Write(out, child.Get(), -1);
        }
        out += L"</" + name + L'>' + lineEnd;
        return;
    }
    out += L'\n';
    for (const auto& child : children) {
        Write(out, child.Get(), depth + 1);
    }
    out += indent + L"</" + name + L">\n";
}

}  // namespace

XmlNode XmlNode::Of(ComPtr<IXMLDOMNode> selected) {
    if (!selected || TypeOf(selected.Get()) != NODE_ATTRIBUTE) {
        return XmlNode(std::move(selected));
    }
    ComPtr<IXMLDOMNode> owner;
    selected->selectSingleNode(CBstr(L"..").Get(), owner.Receive());
    return owner ? XmlNode(std::move(selected), std::move(owner)) : XmlNode();
}

std::wstring XmlNode::Name() const {
    return IsNull() ? std::wstring() : NameOf(m_node.Get());
}

std::wstring XmlNode::Text() const {
    if (IsNull()) {
        return {};
    }
    return IsAttribute() ? ValueOf(m_node.Get()) : TrimmedText(DescendantText(m_node.Get()));
}

void XmlNode::SetText(std::wstring_view text) const {
    if (IsNull()) {
        return;
    }
    if (IsAttribute()) {
        m_node->put_nodeValue(CVariantHolder(XmlAllowedText(text)));
        return;
    }
    const ComPtr<IXMLDOMDocument> document = DocumentOf(m_node.Get());
    ComPtr<IXMLDOMText> textNode;
    if (!document ||
        FAILED(document->createTextNode(CBstr(XmlAllowedText(text)).Get(), textNode.Receive()))) {
        return;
    }
    for (const auto& child : Children(m_node.Get())) {
        ComPtr<IXMLDOMNode> removed;
        m_node->removeChild(child.Get(), removed.Receive());
    }
    ComPtr<IXMLDOMNode> added;
    m_node->appendChild(textNode.Get(), added.Receive());
}

XmlNode XmlNode::Attribute(std::wstring_view name) const {
    const auto element =
        IsAttribute() ? ComPtr<IXMLDOMElement>() : As<IXMLDOMElement>(m_node.Get());
    ComPtr<IXMLDOMAttribute> attribute;
    if (!element || element->getAttributeNode(CBstr(name).Get(), attribute.Receive()) != S_OK) {
        return {};
    }
    return XmlNode(As<IXMLDOMNode>(attribute.Get()), m_node);
}

void XmlNode::SetAttribute(std::wstring_view name, std::wstring_view value) const {
    if (const auto element =
            IsAttribute() ? ComPtr<IXMLDOMElement>() : As<IXMLDOMElement>(m_node.Get())) {
        element->setAttribute(CBstr(name).Get(), CVariantHolder(XmlAllowedText(value)));
    }
}

XmlNode XmlNode::SelectSingle(std::wstring_view xpath) const {
    const std::vector<XmlNode> all = SelectAll(xpath);
    return all.empty() ? XmlNode() : all.front();
}

std::vector<XmlNode> XmlNode::SelectAll(std::wstring_view xpath) const {
    std::vector<XmlNode> nodes;
    ComPtr<IXMLDOMNodeList> found;
    if (IsNull() || IsAttribute() ||
        FAILED(m_node->selectNodes(CBstr(xpath).Get(), found.Receive())) || !found) {
        return nodes;
    }
    for (ComPtr<IXMLDOMNode> hit; found->nextNode(hit.Receive()) == S_OK && hit;) {
        nodes.push_back(Of(hit));
    }
    return nodes;
}

std::vector<XmlNode> XmlNode::ChildElements() const {
    std::vector<XmlNode> children;
    if (IsNull() || IsAttribute()) {
        return children;
    }
    for (auto& child : Children(m_node.Get())) {
        if (TypeOf(child.Get()) == NODE_ELEMENT) {
            children.push_back(XmlNode(std::move(child)));
        }
    }
    return children;
}

XmlNode XmlNode::AppendElement(std::wstring_view name) const {
    if (IsNull() || IsAttribute()) {
        return {};
    }
    const ComPtr<IXMLDOMDocument> document = DocumentOf(m_node.Get());
    ComPtr<IXMLDOMElement> element;
    ComPtr<IXMLDOMNode> added;
    if (!document || FAILED(document->createElement(CBstr(name).Get(), element.Receive())) ||
        FAILED(m_node->appendChild(element.Get(), added.Receive()))) {
        return {};
    }
    return XmlNode(added);
}

XmlNode XmlNode::AppendCopy(const XmlNode& source) const {
    if (IsNull() || IsAttribute() || source.IsNull()) {
        return {};
    }
    ComPtr<IXMLDOMNode> copy;
    if (FAILED(source.m_node->cloneNode(VARIANT_TRUE, copy.Receive()))) {
        return {};
    }
    if (source.IsAttribute()) {
        const auto element = As<IXMLDOMElement>(m_node.Get());
        ComPtr<IXMLDOMAttribute> replaced;
        const auto attribute = As<IXMLDOMAttribute>(copy.Get());
        if (!element || !attribute ||
            FAILED(element->setAttributeNode(attribute.Get(), replaced.Receive()))) {
            return {};
        }
        return XmlNode(copy, m_node);
    }
    ComPtr<IXMLDOMNode> added;
    return SUCCEEDED(m_node->appendChild(copy.Get(), added.Receive())) ? XmlNode(added) : XmlNode();
}

XmlNode XmlNode::ReplaceChild(const XmlNode& child, const XmlNode& replacement) const {
    // The DOM refuses a child that is not this node's.
    if (IsNull() || IsAttribute() || child.IsNull() || child.IsAttribute() ||
        replacement.IsNull() || replacement.IsAttribute()) {
        return {};
    }
    ComPtr<IXMLDOMNode> copy;
    ComPtr<IXMLDOMNode> old;
    if (FAILED(replacement.m_node->cloneNode(VARIANT_TRUE, copy.Receive())) ||
        FAILED(m_node->replaceChild(copy.Get(), child.m_node.Get(), old.Receive()))) {
        return {};
    }
    return XmlNode(copy);
}

bool XmlNode::Remove() const {
    if (IsNull()) {
        return false;
    }
    if (IsAttribute()) {
        // By name, through the attribute map: under Wine the element's own calls either do not
        // know the attribute object handed out (removeAttributeNode) or free it while this
        // node still holds it (removeAttribute).
        ComPtr<IXMLDOMNamedNodeMap> attributes;
        ComPtr<IXMLDOMNode> removed;
        return m_owner && SUCCEEDED(m_owner->get_attributes(attributes.Receive())) && attributes &&
               attributes->removeNamedItem(CBstr(NameOf(m_node.Get())).Get(), removed.Receive()) ==
                   S_OK;
    }
    const ComPtr<IXMLDOMNode> parent = Parent(m_node.Get());
    ComPtr<IXMLDOMNode> removed;
    return parent && SUCCEEDED(parent->removeChild(m_node.Get(), removed.Receive()));
}

std::wstring XmlNode::Serialize() const {
    std::wstring out;
    if (IsAttribute()) {
        out = NameOf(m_node.Get()) + L"=\"";
        AppendXmlMarkupText(out, ValueOf(m_node.Get()), true);
        out += L'"';
    } else if (!IsNull()) {
        Write(out, m_node.Get(), -1);
    }
    return out;
}

XmlDocument::XmlDocument() : m_document(NewDocument()) {}
XmlDocument::~XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&&) noexcept = default;
XmlDocument& XmlDocument::operator=(XmlDocument&&) noexcept = default;

bool XmlDocument::Load(std::wstring_view text, std::wstring& reason) {
    m_document = NewDocument();
    if (!m_document) {
        reason = L"The XML parser could not be made";
        return false;
    }
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (SUCCEEDED(m_document->loadXML(CBstr(text).Get(), &loaded)) && loaded == VARIANT_TRUE) {
        reason.clear();
        return true;
    }
    ComPtr<IXMLDOMParseError> error;
    CBstr why;
    LONG position = 0;
    if (SUCCEEDED(m_document->get_parseError(error.Receive())) && error) {
        error->get_reason(why.Receive());
        error->get_filepos(&position);
    }
    reason = TrimmedText(std::wstring(why.View())) + L" at offset " + std::to_wstring(position);
    m_document = NewDocument();
    return false;
}

void XmlDocument::Clear() {
    m_document = NewDocument();
}

XmlNode XmlDocument::Root() const {
    return m_document ? XmlNode(As<IXMLDOMNode>(m_document.Get())) : XmlNode();
}

XmlNode XmlDocument::DocumentElement() const {
    ComPtr<IXMLDOMElement> element;
    if (!m_document || m_document->get_documentElement(element.Receive()) != S_OK) {
        return {};
    }
    return XmlNode(As<IXMLDOMNode>(element.Get()));
}

std::wstring XmlDocument::Serialize(bool indent) const {
    std::wstring out;
    if (m_document) {
        Write(out, As<IXMLDOMNode>(m_document.Get()).Get(), indent ? 0 : -1);
    }
    return out;
}
