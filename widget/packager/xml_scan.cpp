#include "xml_scan.h"

#include <algorithm>
#include <cstdint>
#include <map>

namespace kavorin::wgt {
namespace {

constexpr std::string_view kXmlNs = "http://www.w3.org/XML/1998/namespace";
constexpr std::size_t kMaxDepth = 256;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool IsNameChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == ':' || c == '-' || c == '.' || u >= 0x80;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no NUL.
std::size_t FirstBadUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        std::uint32_t cp = 0;
        if (c == 0) return i;
        if (c < 0x80) { ++i; continue; }
        if (c >= 0xC2 && c <= 0xDF) { n = 1; cp = c & 0x1F; }
        else if (c >= 0xE0 && c <= 0xEF) { n = 2; cp = c & 0x0F; }
        else if (c >= 0xF0 && c <= 0xF4) { n = 3; cp = c & 0x07; }
        else return i;
        for (std::size_t k = 1; k <= n; ++k) {
            if (i + k >= s.size()) return i;
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return i;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return i;
        i += n + 1;
    }
    return std::string_view::npos;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

class Scanner {
public:
    explicit Scanner(std::string_view document) : doc(document) {}

    std::vector<XmlElement> Run() {
        if (doc.starts_with("\xEF\xBB\xBF")) pos = 3;
        if (const std::size_t bad = FirstBadUtf8(doc); bad != std::string_view::npos)
            Fail(bad, "invalid UTF-8 or a NUL byte");
        bool rootSeen = false;
        while (pos < doc.size()) {
            if (doc[pos] != '<') {
                const std::size_t end = std::min(doc.find('<', pos), doc.size());
                Text(doc.substr(pos, end - pos), pos);
                pos = end;
                continue;
            }
            if (Starts("<?")) {
                Skip("?>", "unterminated processing instruction");
            } else if (Starts("<!--")) {
                Skip("-->", "unterminated comment");
            } else if (Starts("<![CDATA[")) {
                if (open.empty()) Fail(pos, "CDATA outside the root element");
                const std::size_t start = pos + 9;
                Skip("]]>", "unterminated CDATA section");
                elements[open.back().index].text.append(doc.substr(start, pos - 3 - start));
            } else if (Starts("<!")) {
                Fail(pos, "DOCTYPE and other declarations are not allowed");
            } else if (Starts("</")) {
                EndTag();
            } else {
                if (open.empty() && rootSeen) Fail(pos, "more than one root element");
                rootSeen = true;
                StartTag();
            }
        }
        if (!open.empty()) Fail(doc.size(), "element <" + open.back().qname + "> is not closed");
        if (!rootSeen) Fail(doc.size(), "no root element");
        return std::move(elements);
    }

private:
    struct Open {
        std::string qname;
        std::size_t index;
        std::map<std::string, std::string, std::less<>> namespaces;  // in scope at this element
    };

    [[noreturn]] void Fail(std::size_t at, const std::string& what) const {
        const auto line = 1 + std::count(doc.begin(), doc.begin() + static_cast<std::ptrdiff_t>(std::min(at, doc.size())), '\n');
        throw XmlError(static_cast<int>(line), what);
    }

    bool Starts(std::string_view s) const { return doc.substr(pos).starts_with(s); }

    void Skip(std::string_view terminator, const char* error) {
        const std::size_t end = doc.find(terminator, pos);
        if (end == std::string_view::npos) Fail(pos, error);
        pos = end + terminator.size();
    }

    void SkipSpace() {
        while (pos < doc.size() && IsSpace(doc[pos])) ++pos;
    }

    std::string Name() {
        const std::size_t start = pos;
        while (pos < doc.size() && IsNameChar(doc[pos])) ++pos;
        if (pos == start) Fail(pos, "a name is expected here");
        const std::string_view name = doc.substr(start, pos - start);
        if (name.front() == '-' || name.front() == '.' || (name.front() >= '0' && name.front() <= '9') ||
            std::count(name.begin(), name.end(), ':') > 1 || name.front() == ':' || name.back() == ':')
            Fail(start, "bad name '" + std::string(name) + "'");
        return std::string(name);
    }

    // Replaces entity and character references; only the five predefined entities exist here.
    std::string Decode(std::string_view raw, std::size_t at) const {
        std::string out;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '&') {
                out += raw[i];
                continue;
            }
            const std::size_t semi = raw.find(';', i);
            if (semi == std::string_view::npos || semi - i > 12) Fail(at, "bad '&' reference");
            const std::string_view ref = raw.substr(i + 1, semi - i - 1);
            if (ref == "amp") out += '&';
            else if (ref == "lt") out += '<';
            else if (ref == "gt") out += '>';
            else if (ref == "quot") out += '"';
            else if (ref == "apos") out += '\'';
            else if (ref.size() > 1 && ref[0] == '#') {
                const bool hex = ref[1] == 'x';
                const std::string_view digits = ref.substr(hex ? 2 : 1);
                std::uint32_t cp = 0;
                if (digits.empty()) Fail(at, "bad character reference");
                for (char c : digits) {
                    int d = -1;
                    if (c >= '0' && c <= '9') d = c - '0';
                    else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
                    else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
                    if (d < 0) Fail(at, "bad character reference");
                    cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
                    if (cp > 0x10FFFF) Fail(at, "bad character reference");
                }
                if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) Fail(at, "bad character reference");
                AppendUtf8(out, cp);
            } else {
                Fail(at, "unknown entity '&" + std::string(ref) + ";'");
            }
            i = semi;
        }
        return out;
    }

    void Text(std::string_view raw, std::size_t at) {
        if (open.empty()) {
            if (!std::all_of(raw.begin(), raw.end(), IsSpace)) Fail(at, "text outside the root element");
            return;
        }
        if (raw.find("]]>") != std::string_view::npos) Fail(at, "']]>' in text");
        elements[open.back().index].text += Decode(raw, at);
    }

    void StartTag() {
        const std::size_t tagStart = pos;
        ++pos;
        std::string qname = Name();
        std::vector<XmlAttribute> attributes;
        bool selfClosing = false;
        for (;;) {
            const std::size_t before = pos;
            SkipSpace();
            if (pos >= doc.size()) Fail(tagStart, "unterminated tag <" + qname + ">");
            if (doc[pos] == '>') { ++pos; break; }
            if (Starts("/>")) { pos += 2; selfClosing = true; break; }
            if (pos == before) Fail(pos, "space expected between attributes");
            const std::size_t attrAt = pos;
            std::string name = Name();
            SkipSpace();
            if (pos >= doc.size() || doc[pos] != '=') Fail(pos, "'=' expected after " + name);
            ++pos;
            SkipSpace();
            if (pos >= doc.size() || (doc[pos] != '"' && doc[pos] != '\'')) Fail(pos, "quoted value expected for " + name);
            const char quote = doc[pos++];
            const std::size_t end = doc.find(quote, pos);
            if (end == std::string_view::npos) Fail(attrAt, "unterminated value of " + name);
            const std::string_view raw = doc.substr(pos, end - pos);
            if (raw.find('<') != std::string_view::npos) Fail(attrAt, "'<' in the value of " + name);
            pos = end + 1;
            for (const XmlAttribute& a : attributes)
                if (a.name == name) Fail(attrAt, "attribute " + name + " given twice");
            attributes.push_back({std::move(name), Decode(raw, attrAt)});
        }

        if (open.size() >= kMaxDepth) Fail(tagStart, "elements nested too deeply");
        Open entry{qname, elements.size(), open.empty() ? std::map<std::string, std::string, std::less<>>{{"xml", std::string(kXmlNs)}}
                                                        : open.back().namespaces};
        for (const XmlAttribute& a : attributes) {
            if (a.name == "xmlns") entry.namespaces[""] = a.value;
            else if (a.name.starts_with("xmlns:")) {
                if (a.value.empty()) Fail(tagStart, "empty namespace for prefix " + a.name.substr(6));
                entry.namespaces[a.name.substr(6)] = a.value;
            }
        }
        for (const XmlAttribute& a : attributes) {
            const std::size_t colon = a.name.find(':');
            if (colon != std::string::npos && a.name.compare(0, colon, "xmlns") != 0 &&
                !entry.namespaces.contains(a.name.substr(0, colon)))
                Fail(tagStart, "unknown namespace prefix in attribute " + a.name);
        }

        XmlElement element;
        const std::size_t colon = qname.find(':');
        const std::string prefix = colon == std::string::npos ? "" : qname.substr(0, colon);
        element.localName = colon == std::string::npos ? qname : qname.substr(colon + 1);
        if (const auto it = entry.namespaces.find(prefix); it != entry.namespaces.end())
            element.namespaceUri = it->second;
        else if (!prefix.empty())
            Fail(tagStart, "unknown namespace prefix '" + prefix + "'");
        element.depth = static_cast<int>(open.size());
        element.attributes = std::move(attributes);
        elements.push_back(std::move(element));
        if (!selfClosing) open.push_back(std::move(entry));
    }

    void EndTag() {
        const std::size_t tagStart = pos;
        pos += 2;
        const std::string qname = Name();
        SkipSpace();
        if (pos >= doc.size() || doc[pos] != '>') Fail(tagStart, "unterminated end tag </" + qname + ">");
        ++pos;
        if (open.empty() || open.back().qname != qname)
            Fail(tagStart, "end tag </" + qname + "> does not match " +
                               (open.empty() ? std::string("any open element") : "<" + open.back().qname + ">"));
        open.pop_back();
    }

    std::string_view doc;
    std::size_t pos = 0;
    std::vector<Open> open;
    std::vector<XmlElement> elements;
};

}  // namespace

const XmlAttribute* XmlElement::Find(std::string_view attributeName) const {
    for (const XmlAttribute& a : attributes)
        if (a.name == attributeName) return &a;
    return nullptr;
}

std::vector<XmlElement> ReadXmlElements(std::string_view document) { return Scanner(document).Run(); }

}  // namespace kavorin::wgt
