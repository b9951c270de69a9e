// A small, strict reader for config.xml: enough XML to find elements, their namespaces,
// attributes and text, and to refuse a file the TV's parser would refuse (unbalanced tags,
// unknown prefixes or entities, duplicate attributes, bad UTF-8). No DTDs, so no entity
// expansion of any kind.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kavorin::wgt {

struct XmlAttribute {
    std::string name;   // as written, prefix included
    std::string value;  // entities decoded
};

struct XmlElement {
    std::string namespaceUri;
    std::string localName;
    int depth = 0;  // 0 for the root
    std::vector<XmlAttribute> attributes;
    std::string text;  // the element's own character data (children's text not included)

    const XmlAttribute* Find(std::string_view attributeName) const;
};

class XmlError : public std::runtime_error {
public:
    XmlError(int lineNumber, const std::string& what)
        : std::runtime_error("line " + std::to_string(lineNumber) + ": " + what), line(lineNumber) {}
    int line;
};

// Every element of the document in document order. Throws XmlError.
std::vector<XmlElement> ReadXmlElements(std::string_view document);

}  // namespace kavorin::wgt
