// The two signature files of a widget package (W3C XML Digital Signatures for Widgets, laid out
// the way the TV vendor's SDK writes them).
//
// No XML library is involved: the documents are written already in canonical form, so the bytes
// that are hashed and signed are plain strings. That only holds because every variable text we
// put in (base64, percent-encoded URIs) needs no XML escaping.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "crypto.h"

namespace kavorin::wgt {

enum class SignatureRole { Author, Distributor };

struct PackagedFile {
    std::string name;  // path inside the package, '/' separated
    std::string data;  // raw bytes
};

inline constexpr std::string_view kAuthorSignatureName = "author-signature.xml";
inline constexpr std::string_view kDistributorSignatureName = "signature1.xml";

// The #prop digests are the same for every package of a role; the SDK's files carry these.
inline constexpr std::string_view kAuthorPropDigest = "lpo8tUDs054eLlBQXiDPVDVKfw30ZZdtkRs1jd7H5K8=";
inline constexpr std::string_view kDistributorPropDigest = "u/jU3U4Zm5ihTMSjKGlGYbWzDfRkGphPPHx3gJIYEJ4=";

// author-signature.xml or signature<N>.xml (N without a leading zero): files a signature never
// covers as content.
bool IsSignatureFileName(std::string_view name);

// Reference URI of a package path: every byte outside A-Z a-z 0-9 - . _ ~ as %XX ('/' too).
std::string EncodeReferenceUri(std::string_view path);

// The <Object Id="prop"> element as it appears in the file, and its canonical form's digest.
std::string PropObject(SignatureRole role);
std::string PropObjectCanonical(SignatureRole role);
std::string PropDigest(SignatureRole role);  // base64

// The canonical (exclusive c14n) SignedInfo over the given files; this is what gets signed.
std::string CanonicalSignedInfo(SignatureRole role, std::span<const PackagedFile> files);

// A complete signature file. For the distributor role, files must include author-signature.xml
// with its exact bytes; for the author role it must not include any signature file.
std::string BuildSignatureFile(SignatureRole role, std::span<const PackagedFile> files,
                               const SigningIdentity& signer);

}  // namespace kavorin::wgt
