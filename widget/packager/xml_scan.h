// config.xml's elements, read with libxml2, with our checks on top: no DOCTYPE at all (so no
// DTD, no entity expansion of any kind, nothing fetched), and a refusal of what the TV's parser
// would refuse (unbalanced tags, unknown prefixes or entities, duplicate attributes, bad UTF-8)
// worded as ours, with the line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kavorin::wgt {

struct XmlAttribute {
    std::string name;   // as written, prefix included; namespace declarations come first
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
