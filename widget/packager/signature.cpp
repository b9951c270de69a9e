#include "signature.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace kavorin::wgt {
namespace {

constexpr std::string_view kDsigNs = "http://www.w3.org/2000/09/xmldsig#";
constexpr std::string_view kExcC14n = "http://www.w3.org/2001/10/xml-exc-c14n#";
constexpr std::string_view kC14n11 = "http://www.w3.org/2006/12/xml-c14n11";
constexpr std::string_view kRsaSha256 = "http://www.w3.org/2001/04/xmldsig-more#rsa-sha256";
constexpr std::string_view kSha256 = "http://www.w3.org/2001/04/xmlenc#sha256";
constexpr std::string_view kDspNs = "http://www.w3.org/2009/xmldsig-properties";
constexpr std::string_view kProfile = "http://www.w3.org/ns/widgets-digsig#profile";
constexpr std::string_view kRoleAuthor = "http://www.w3.org/ns/widgets-digsig#role-author";
constexpr std::string_view kRoleDistributor = "http://www.w3.org/ns/widgets-digsig#role-distributor";
constexpr std::size_t kBase64Columns = 76;

std::string_view SignatureId(SignatureRole role) {
    return role == SignatureRole::Author ? "AuthorSignature" : "DistributorSignature";
}

std::string Concat(std::initializer_list<std::string_view> parts) {
    std::string s;
    for (std::string_view p : parts) s += p;
    return s;
}

std::string PropInner(SignatureRole role) {
    const std::string_view id = SignatureId(role);
    const std::string_view roleUri = role == SignatureRole::Author ? kRoleAuthor : kRoleDistributor;
    return Concat({"<SignatureProperties xmlns:dsp=\"",
                   kDspNs,
                   "\">",
                   "<SignatureProperty Id=\"profile\" Target=\"#",
                   id,
                   "\">",
                   "<dsp:Profile URI=\"",
                   kProfile,
                   "\"></dsp:Profile></SignatureProperty>",
                   "<SignatureProperty Id=\"role\" Target=\"#",
                   id,
                   "\">",
                   "<dsp:Role URI=\"",
                   roleUri,
                   "\"></dsp:Role></SignatureProperty>",
                   "<SignatureProperty Id=\"identifier\" Target=\"#",
                   id,
                   "\">",
                   "<dsp:Identifier></dsp:Identifier></SignatureProperty>",
                   "</SignatureProperties>"});
}

std::string ReferenceXml(std::string_view uri, std::string_view digest) {
    return Concat({"<Reference URI=\"", uri, "\">\n", "<DigestMethod Algorithm=\"", kSha256,
                   "\"></DigestMethod>\n", "<DigestValue>", digest, "</DigestValue>\n", "</Reference>\n"});
}

// Text between <SignedInfo> and </SignedInfo>; identical in the file and the canonical form.
std::string SignedInfoInner(SignatureRole role, std::span<const PackagedFile> files) {
    struct Ref {
        std::string uri;
        std::string digest;
    };
    std::vector<Ref> refs;
    refs.reserve(files.size());
    for (const PackagedFile& f : files) {
        if (role == SignatureRole::Author ? IsSignatureFileName(f.name)
                                          : IsSignatureFileName(f.name) && f.name != kAuthorSignatureName)
            throw std::invalid_argument("signature: " + f.name + " must not be signed by this role");
        refs.push_back({EncodeReferenceUri(f.name), Base64(Sha256(f.data))});
    }
    if (role == SignatureRole::Distributor &&
        std::none_of(files.begin(), files.end(),
                     [](const PackagedFile& f) { return f.name == kAuthorSignatureName; }))
        throw std::invalid_argument("signature: the distributor must cover author-signature.xml");

    // Byte order of the encoded URI, as the SDK sorts them.
    std::sort(refs.begin(), refs.end(), [](const Ref& a, const Ref& b) { return a.uri < b.uri; });
    for (std::size_t i = 1; i < refs.size(); ++i)
        if (refs[i].uri == refs[i - 1].uri)
            throw std::invalid_argument("signature: file listed twice: " + refs[i].uri);

    std::string inner =
        Concat({"\n<CanonicalizationMethod Algorithm=\"", kExcC14n, "\"></CanonicalizationMethod>\n",
                "<SignatureMethod Algorithm=\"", kRsaSha256, "\"></SignatureMethod>\n"});
    for (const Ref& r : refs) inner += ReferenceXml(r.uri, r.digest);
    inner +=
        Concat({"<Reference URI=\"#prop\">\n<Transforms>\n", "<Transform Algorithm=\"", kC14n11,
                "\"></Transform>\n</Transforms>\n", "<DigestMethod Algorithm=\"", kSha256,
                "\"></DigestMethod>\n", "<DigestValue>", PropDigest(role), "</DigestValue>\n</Reference>\n"});
    return inner;
}

}  // namespace

bool IsSignatureFileName(std::string_view name) {
    if (name == kAuthorSignatureName) return true;
    // signature[1-9][0-9]*.xml at the package root
    if (!name.starts_with("signature") || !name.ends_with(".xml")) return false;
    const std::string_view digits = name.substr(9, name.size() - 9 - 4);
    return !digits.empty() && digits.front() != '0' &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string EncodeReferenceUri(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (unsigned char c : path) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string PropObject(SignatureRole role) { return "<Object Id=\"prop\">" + PropInner(role) + "</Object>"; }

std::string PropObjectCanonical(SignatureRole role) {
    // c14n 1.1 of the Object alone: the inherited default namespace is declared on it, before Id.
    return Concat({"<Object xmlns=\"", kDsigNs, "\" Id=\"prop\">"}) + PropInner(role) + "</Object>";
}

std::string PropDigest(SignatureRole role) { return Base64(Sha256(PropObjectCanonical(role))); }

std::string CanonicalSignedInfo(SignatureRole role, std::span<const PackagedFile> files) {
    return Concat({"<SignedInfo xmlns=\"", kDsigNs, "\">"}) + SignedInfoInner(role, files) + "</SignedInfo>";
}

std::string BuildSignatureFile(SignatureRole role, std::span<const PackagedFile> files,
                               const SigningIdentity& signer) {
    const std::string inner = SignedInfoInner(role, files);
    const std::string canonical = Concat({"<SignedInfo xmlns=\"", kDsigNs, "\">"}) + inner + "</SignedInfo>";
    const std::string signatureValue = Base64(signer.SignSha256(canonical), kBase64Columns);

    std::string doc = Concat({"<Signature xmlns=\"", kDsigNs, "\" Id=\"", SignatureId(role), "\">\n"});
    doc += "<SignedInfo>" + inner + "</SignedInfo>\n";
    doc += "<SignatureValue>\n" + signatureValue + "\n</SignatureValue>\n";
    doc += "<KeyInfo>\n<X509Data>\n";
    for (const std::string& der : signer.ChainDer())
        doc += "<X509Certificate>\n" + Base64(der, kBase64Columns) + "\n</X509Certificate>\n";
    doc += "</X509Data>\n</KeyInfo>\n";
    doc += PropObject(role) + "\n</Signature>";
    return doc;
}

}  // namespace kavorin::wgt
