#include "xml_scan.h"

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <new>
#include <optional>

namespace kavorin::wgt {
namespace {

// Nothing is fetched, no DTD is loaded, no entity of one substituted, and libxml2 prints nothing
// itself. Its default limits stay (nesting depth, text and name sizes): no XML_PARSE_HUGE.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

struct XmlFree {
    void operator()(xmlChar* p) const { xmlFree(p); }
};
using DocPtr = std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)>;
using ContextPtr = std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)>;

std::string Chars(const xmlChar* s) { return s ? reinterpret_cast<const char*>(s) : ""; }
std::string Chars(const char* s) { return s ? s : ""; }

// One parse: its context and the first error seen, in our words.
struct Parse {
    xmlParserCtxtPtr ctxt;
    std::optional<XmlError> error;

    void Refuse(int line, const std::string& what) {
        if (!error) error.emplace(line, what);
    }
};

// The parser's next unread bytes, "" at the end.
std::string_view Ahead(const xmlParserCtxt* ctxt) {
    const xmlParserInput* in = ctxt->input;
    if (!in || !in->cur || in->cur >= in->end) return {};
    const auto left = static_cast<std::size_t>(in->end - in->cur);
    return {reinterpret_cast<const char*>(in->cur), std::min<std::size_t>(left, 2)};
}

// The innermost open element as written; libxml2's own messages drop its prefix.
std::string OpenElement(const xmlParserCtxt* ctxt, const char* fallback) {
    const xmlNode* node = ctxt->node;
    if (!node || node->type != XML_ELEMENT_NODE) return Chars(fallback);
    return (node->ns && node->ns->prefix ? Chars(node->ns->prefix) + ":" : "") + Chars(node->name);
}

std::string Describe(const xmlError& e, const xmlParserCtxt* ctxt) {
    const std::string s1 = Chars(e.str1);
    switch (e.code) {
    case XML_ERR_TAG_NOT_FINISHED: return "element <" + OpenElement(ctxt, e.str1) + "> is not closed";
    case XML_ERR_TAG_NAME_MISMATCH:
        return "end tag </" + Chars(e.str2) + "> does not match <" + OpenElement(ctxt, e.str1) + ">";
    case XML_ERR_UNDECLARED_ENTITY: return "unknown entity '&" + s1 + ";'";
    case XML_NS_ERR_UNDEFINED_NAMESPACE: return "unknown namespace prefix '" + s1 + "'";
    case XML_ERR_ATTRIBUTE_REDEFINED:
        return "attribute " + (e.str2 ? Chars(e.str2) + ":" : "") + s1 + " given twice";
    case XML_NS_ERR_ATTRIBUTE_REDEFINED:
        return "attribute " + s1 + " of namespace '" + Chars(e.str2) + "' given twice";
    case XML_ERR_INVALID_CHAR: return "invalid UTF-8 or a character XML does not allow";
    case XML_ERR_DOCUMENT_END:
        if (Ahead(ctxt).starts_with("<!")) return "a declaration or CDATA section outside the root element";
        return Ahead(ctxt).starts_with("<") ? "more than one root element" : "text outside the root element";
    case XML_ERR_DOCUMENT_EMPTY:
        return Ahead(ctxt).empty() ? "no root element" : "text outside the root element";
    default: {
        std::string text = Chars(e.message);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        return "refused by libxml2 (error " + std::to_string(e.code) + "): " + text;
    }
    }
}

// Every libxml2 error on this thread while a parse runs. Warnings (a relative namespace URI,
// say) pass.
void OnError(void* data, xmlErrorPtr error) {
    if (!error || error->level < XML_ERR_ERROR) return;
    auto* parse = static_cast<Parse*>(data);
    parse->Refuse(error->line, Describe(*error, parse->ctxt));
}

// Called at "<!DOCTYPE name ...>" before its internal subset is read, so no declaration in it
// is ever acted upon; the parse stops there.
void RefuseDoctype(void* userData, const xmlChar*, const xmlChar*, const xmlChar*) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(userData);
    static_cast<Parse*>(ctxt->_private)
        ->Refuse(xmlSAX2GetLineNumber(ctxt), "DOCTYPE and other declarations are not allowed");
    xmlStopParser(ctxt);
}

// Routes this thread's libxml2 errors to one parse while it runs; nothing reaches stderr.
class ErrorScope {
public:
    explicit ErrorScope(Parse& parse) : oldHandler(xmlStructuredError), oldData(xmlStructuredErrorContext) {
        xmlSetStructuredErrorFunc(&parse, &OnError);
    }
    ~ErrorScope() { xmlSetStructuredErrorFunc(oldData, oldHandler); }
    ErrorScope(const ErrorScope&) = delete;
    ErrorScope& operator=(const ErrorScope&) = delete;

private:
    xmlStructuredErrorFunc oldHandler;
    void* oldData;
};

// The element and everything inside it, in document order.
void Collect(const xmlNode* node, int depth, std::vector<XmlElement>& out) {
    XmlElement element;
    element.namespaceUri = node->ns ? Chars(node->ns->href) : "";
    element.localName = Chars(node->name);
    element.depth = depth;
    // libxml2 keeps namespace declarations apart from attributes: they come first here.
    for (const xmlNs* ns = node->nsDef; ns; ns = ns->next)
        element.attributes.push_back({ns->prefix ? "xmlns:" + Chars(ns->prefix) : "xmlns", Chars(ns->href)});
    for (const xmlAttr* a = node->properties; a; a = a->next) {
        const std::unique_ptr<xmlChar, XmlFree> value(xmlNodeListGetString(node->doc, a->children, 1));
        element.attributes.push_back(
            {(a->ns && a->ns->prefix ? Chars(a->ns->prefix) + ":" : "") + Chars(a->name),
             Chars(value.get())});
    }
    const std::size_t index = out.size();
    out.push_back(std::move(element));
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE)
            Collect(child, depth + 1, out);
        else if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE)
            out[index].text += Chars(child->content);
    }
}

}  // namespace

const XmlAttribute* XmlElement::Find(std::string_view attributeName) const {
    for (const XmlAttribute& a : attributes)
        if (a.name == attributeName) return &a;
    return nullptr;
}

std::vector<XmlElement> ReadXmlElements(std::string_view document) {
    if (document.size() > INT_MAX) throw XmlError(1, "the document is too large");
    xmlInitParser();
    const ContextPtr ctxt(xmlNewParserCtxt(), &xmlFreeParserCtxt);
    if (!ctxt) throw std::bad_alloc();
    Parse parse{ctxt.get(), std::nullopt};
    ctxt->_private = &parse;
    ctxt->sax->internalSubset = &RefuseDoctype;
    DocPtr doc(nullptr, &xmlFreeDoc);
    {
        const ErrorScope scope(parse);
        // UTF-8 whatever the declaration says: the TV reads config.xml as UTF-8.
        doc.reset(xmlCtxtReadMemory(ctxt.get(), document.data(), static_cast<int>(document.size()), nullptr,
                                    "UTF-8", kParseOptions));
    }
    if (parse.error) throw *parse.error;
    const xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    if (!root || !ctxt->wellFormed || !ctxt->nsWellFormed) throw XmlError(1, "refused by libxml2");
    std::vector<XmlElement> elements;
    Collect(root, 0, elements);
    return elements;
}

}  // namespace kavorin::wgt
