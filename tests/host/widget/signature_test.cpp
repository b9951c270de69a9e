#include "signature.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>
#include <vector>

#include "crypto.h"
#include "test_support.h"
#include "wgt_error.h"

namespace kavorin::wgt {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TestKeysDir;

const SigningIdentity& Author() {
    static const SigningIdentity id = SigningIdentity::Load(
        TestKeysDir() / "author.key", {TestKeysDir() / "author.crt", TestKeysDir() / "author-ca.crt"});
    return id;
}

const SigningIdentity& Distributor() {
    static const SigningIdentity id =
        SigningIdentity::Load(TestKeysDir() / "distributor.key",
                              {TestKeysDir() / "distributor.crt", TestKeysDir() / "distributor-ca.crt"});
    return id;
}

std::vector<PackagedFile> SampleFiles() {
    return {{"config.xml", "<widget/>"}, {"main.js", "1;"}, {"css/style.css", "a{}"}, {"Zeta.js", "z"}};
}

std::string Between(std::string_view doc, std::string_view open, std::string_view close) {
    const std::size_t a = doc.find(open);
    const std::size_t b = doc.find(close, a);
    if (a == std::string_view::npos || b == std::string_view::npos) return {};
    return std::string(doc.substr(a + open.size(), b - a - open.size()));
}

std::string StripNewlines(std::string s) {
    std::erase(s, '\n');
    return s;
}

std::string Unbase64(const std::string& text) {
    const std::string flat = StripNewlines(text);
    std::string out(flat.size(), '\0');
    const int n =
        EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(flat.data()), static_cast<int>(flat.size()));
    if (n < 0) return {};
    std::size_t size = static_cast<std::size_t>(n);
    if (flat.ends_with("=="))
        size -= 2;
    else if (flat.ends_with("="))
        size -= 1;
    out.resize(size);
    return out;
}

std::string CertificateDer(const fs::path& pemFile) {
    const std::string pem = ReadFile(pemFile);
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())),
                                                  BIO_free);
    std::unique_ptr<X509, decltype(&X509_free)> cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr),
                                                     X509_free);
    unsigned char* der = nullptr;
    const int n = i2d_X509(cert.get(), &der);
    std::string out(reinterpret_cast<char*>(der), static_cast<std::size_t>(n));
    OPENSSL_free(der);
    return out;
}

// Verifies an RSA-SHA256 PKCS#1 v1.5 signature with the public key of a PEM certificate.
bool VerifiesWith(const fs::path& certFile, std::string_view data, std::string_view signature) {
    const std::string der = CertificateDer(certFile);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    std::unique_ptr<X509, decltype(&X509_free)> cert(d2i_X509(nullptr, &p, static_cast<long>(der.size())),
                                                     X509_free);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    return EVP_DigestVerifyInit(ctx.get(), nullptr, EVP_sha256(), nullptr, X509_get0_pubkey(cert.get())) ==
               1 &&
           EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            signature.size(), reinterpret_cast<const unsigned char*>(data.data()),
                            data.size()) == 1;
}

TEST(Signature, PropDigestsEqualTheSdkConstants) {
    EXPECT_EQ(PropDigest(SignatureRole::Author), "lpo8tUDs054eLlBQXiDPVDVKfw30ZZdtkRs1jd7H5K8=");
    EXPECT_EQ(PropDigest(SignatureRole::Distributor), "u/jU3U4Zm5ihTMSjKGlGYbWzDfRkGphPPHx3gJIYEJ4=");
    EXPECT_EQ(PropDigest(SignatureRole::Author), kAuthorPropDigest);
    EXPECT_EQ(PropDigest(SignatureRole::Distributor), kDistributorPropDigest);
}

TEST(Signature, ReferenceUrisArePercentEncodedOutsideUnreserved) {
    EXPECT_EQ(EncodeReferenceUri("css/style.css"), "css%2Fstyle.css");
    EXPECT_EQ(EncodeReferenceUri("A-z_0.9~"), "A-z_0.9~");
    EXPECT_EQ(EncodeReferenceUri("a+b c%"), "a%2Bb%20c%25");  // '+' is never left for a space
    EXPECT_EQ(EncodeReferenceUri("\xC3\xA9"), "%C3%A9");
}

TEST(Signature, ReferencesAreSortedByEncodedUriThenProp) {
    const std::string doc = BuildSignatureFile(SignatureRole::Author, SampleFiles(), Author());
    std::vector<std::string> uris;
    for (std::size_t at = doc.find("<Reference URI=\""); at != std::string::npos;
         at = doc.find("<Reference URI=\"", at + 1)) {
        const std::size_t start = at + 16;
        uris.push_back(doc.substr(start, doc.find('"', start) - start));
    }
    const std::vector<std::string> expected = {"Zeta.js", "config.xml", "css%2Fstyle.css", "main.js",
                                               "#prop"};
    EXPECT_EQ(uris, expected);  // byte order: upper case before lower case

    std::vector<PackagedFile> withAuthor = SampleFiles();
    withAuthor.push_back({"author-signature.xml", doc});
    const std::string dist = BuildSignatureFile(SignatureRole::Distributor, withAuthor, Distributor());
    EXPECT_LT(dist.find("URI=\"Zeta.js\""), dist.find("URI=\"author-signature.xml\""));
    EXPECT_LT(dist.find("URI=\"author-signature.xml\""), dist.find("URI=\"config.xml\""));
}

TEST(Signature, LayoutFollowsTheSdk) {
    const std::string doc = BuildSignatureFile(SignatureRole::Author, SampleFiles(), Author());
    EXPECT_TRUE(doc.starts_with(
        "<Signature xmlns=\"http://www.w3.org/2000/09/xmldsig#\" Id=\"AuthorSignature\">\n"
        "<SignedInfo>\n<CanonicalizationMethod Algorithm=\"http://www.w3.org/2001/10/xml-exc-c14n#\">"
        "</CanonicalizationMethod>\n"));
    EXPECT_TRUE(doc.ends_with("</SignatureProperties></Object>\n</Signature>"));
    EXPECT_EQ(doc.find('\r'), std::string::npos);
    EXPECT_EQ(doc.find("/>"), std::string::npos) << "empty elements are start/end pairs";
    EXPECT_EQ(doc.find("xmlns", 12), doc.find("xmlns:dsp"))
        << "only Signature and SignatureProperties declare namespaces";
    EXPECT_NE(doc.find("<Object Id=\"prop\"><SignatureProperties"), std::string::npos);
    EXPECT_NE(doc.find("<dsp:Role URI=\"http://www.w3.org/ns/widgets-digsig#role-author\">"),
              std::string::npos);
    EXPECT_NE(doc.find("Target=\"#AuthorSignature\""), std::string::npos);

    // The SHA-256 of each file, base64 on one line.
    EXPECT_NE(doc.find("<Reference URI=\"main.js\">\n<DigestMethod "
                       "Algorithm=\"http://www.w3.org/2001/04/xmlenc#sha256\">"
                       "</DigestMethod>\n<DigestValue>" +
                       Base64(Sha256("1;")) + "</DigestValue>\n</Reference>\n"),
              std::string::npos);

    // Base64 blocks wrapped at 76 columns, each with its own lines.
    const std::string value = Between(doc, "<SignatureValue>\n", "\n</SignatureValue>");
    ASSERT_FALSE(value.empty());
    for (std::size_t a = 0, b; a < value.size(); a = b + 1) {
        b = std::min(value.find('\n', a), value.size());
        EXPECT_LE(b - a, 76u);
    }
    EXPECT_EQ(Unbase64(value).size(), 256u) << "RSA-2048 signature";
}

TEST(Signature, SignatureValueVerifiesOverTheCanonicalSignedInfo) {
    const auto files = SampleFiles();
    const std::string doc = BuildSignatureFile(SignatureRole::Author, files, Author());
    const std::string canonical = CanonicalSignedInfo(SignatureRole::Author, files);

    // The file's SignedInfo with the inherited namespace put on it is exactly what was signed.
    const std::string inFile = Between(doc, "<SignedInfo>", "</SignedInfo>");
    EXPECT_EQ("<SignedInfo xmlns=\"http://www.w3.org/2000/09/xmldsig#\">" + inFile + "</SignedInfo>",
              canonical);

    const std::string signature = Unbase64(Between(doc, "<SignatureValue>\n", "\n</SignatureValue>"));
    EXPECT_TRUE(VerifiesWith(TestKeysDir() / "author.crt", canonical, signature));
    EXPECT_FALSE(VerifiesWith(TestKeysDir() / "distributor.crt", canonical, signature));
    std::string changed = canonical;
    changed[changed.size() / 2] ^= 1;
    EXPECT_FALSE(VerifiesWith(TestKeysDir() / "author.crt", changed, signature));

    // Same input, same bytes: PKCS#1 v1.5 and an empty Identifier leave nothing random.
    EXPECT_EQ(doc, BuildSignatureFile(SignatureRole::Author, files, Author()));
}

TEST(Signature, KeyInfoCarriesLeafThenCaWithoutRoot) {
    const std::string doc = BuildSignatureFile(SignatureRole::Author, SampleFiles(), Author());
    std::vector<std::string> certs;
    for (std::size_t at = doc.find("<X509Certificate>\n"); at != std::string::npos;
         at = doc.find("<X509Certificate>\n", at + 1))
        certs.push_back(Unbase64(Between(doc.substr(at), "<X509Certificate>\n", "\n</X509Certificate>")));
    ASSERT_EQ(certs.size(), 2u);
    EXPECT_EQ(certs[0], CertificateDer(TestKeysDir() / "author.crt"));
    EXPECT_EQ(certs[1], CertificateDer(TestKeysDir() / "author-ca.crt"));
}

TEST(Signature, RefusesFilesOutsideTheRolesCoverage) {
    std::vector<PackagedFile> files = SampleFiles();
    EXPECT_THROW(BuildSignatureFile(SignatureRole::Distributor, files, Distributor()), std::invalid_argument)
        << "a distributor signature must cover the author signature";
    files.push_back({"author-signature.xml", "x"});
    EXPECT_THROW(BuildSignatureFile(SignatureRole::Author, files, Author()), std::invalid_argument);
    files.push_back({"signature2.xml", "x"});
    EXPECT_THROW(BuildSignatureFile(SignatureRole::Distributor, files, Distributor()), std::invalid_argument);
    std::vector<PackagedFile> twice = SampleFiles();
    twice.push_back(twice.front());
    EXPECT_THROW(BuildSignatureFile(SignatureRole::Author, twice, Author()), std::invalid_argument);

    EXPECT_TRUE(IsSignatureFileName("signature1.xml"));
    EXPECT_TRUE(IsSignatureFileName("signature12.xml"));
    EXPECT_FALSE(IsSignatureFileName("signature01.xml"));
    EXPECT_FALSE(IsSignatureFileName("signature.xml"));
    EXPECT_FALSE(IsSignatureFileName("css/signature1.xml"));
}

TEST(Base64, MatchesRfc4648AndWraps) {
    EXPECT_EQ(Base64(""), "");
    EXPECT_EQ(Base64("f"), "Zg==");
    EXPECT_EQ(Base64("fo"), "Zm8=");
    EXPECT_EQ(Base64("foo"), "Zm9v");
    EXPECT_EQ(Base64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(Base64("\xff\xfe\xfd"), "//79");
    EXPECT_EQ(Base64("foobar", 4), "Zm9v\nYmFy");
    EXPECT_EQ(Base64("fooba", 4), "Zm9v\nYmE=");
    EXPECT_EQ(Base64("foo", 4), "Zm9v");
}

// --- loading keys and chains -------------------------------------------------------------------

std::string LoadError(const fs::path& key, const std::vector<fs::path>& chain) {
    try {
        SigningIdentity::Load(key, chain);
    } catch (const PackageError& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(SigningIdentity, RefusesChainsTheDeviceCouldNotBuild) {
    const fs::path k = TestKeysDir();
    EXPECT_EQ(Author().ChainDer().size(), 2u);

    EXPECT_NE(LoadError(k / "author.key", {k / "author-ca.crt", k / "author.crt"})
                  .find("does not belong to the key"),
              std::string::npos)
        << "CA given first";
    EXPECT_NE(LoadError(k / "author.key", {k / "author.crt", k / "distributor-ca.crt"}).find("did not issue"),
              std::string::npos);
    EXPECT_NE(LoadError(k / "author.key", {k / "author.crt", k / "author-ca.crt", k / "root-ca.crt"})
                  .find("must be left out"),
              std::string::npos);
    EXPECT_NE(LoadError(k / "author.key", {k / "distributor.crt"}).find("does not belong to the key"),
              std::string::npos);
    EXPECT_NE(LoadError(k / "missing.key", {k / "author.crt"}).find("missing.key: cannot be opened"),
              std::string::npos);
    EXPECT_NE(LoadError(k / "author.crt", {k / "author.crt"}).find("not an unencrypted PEM private key"),
              std::string::npos);
    EXPECT_NE(LoadError(k / "author.key", {k / "author.key"}).find("holds no PEM certificate"),
              std::string::npos);
}

TEST(SigningIdentity, RefusesSmallAndEncryptedKeys) {
    test::TempDir dir;
    const fs::path small = dir.Path() / "small.key";
    const fs::path locked = dir.Path() / "locked.key";
    ASSERT_EQ(test::RunOpenssl("genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out " + small.string()),
              0);
    ASSERT_EQ(test::RunOpenssl("pkey -in " + (TestKeysDir() / "author.key").string() +
                               " -aes-128-cbc -passout pass:secret -out " + locked.string()),
              0);
    EXPECT_NE(LoadError(small, {TestKeysDir() / "author.crt"}).find("at least 2048 bits"), std::string::npos);
    EXPECT_NE(LoadError(locked, {TestKeysDir() / "author.crt"}).find("not an unencrypted PEM private key"),
              std::string::npos)
        << "must fail, not prompt for a passphrase";
}

}  // namespace
}  // namespace kavorin::wgt
