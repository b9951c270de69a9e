#include "crypto.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "wgt_error.h"

namespace kavorin::wgt {
namespace {

template <auto Free>
struct Freer {
    template <typename T>
    void operator()(T* p) const noexcept {
        Free(p);
    }
};
using BioPtr = std::unique_ptr<BIO, Freer<BIO_free>>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, Freer<X509_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Freer<EVP_MD_CTX_free>>;

// The last OpenSSL error as text; clears the queue so the next message starts clean.
std::string OpensslReason() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "unknown OpenSSL error";
    char buf[256];
    ERR_error_string_n(code, buf, sizeof buf);
    return buf;
}

std::string ReadWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw PackageError(file.string(), "cannot be opened");
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw PackageError(file.string(), "cannot be read");
    return data;
}

BioPtr MemoryBio(const std::string& data) {
    BioPtr bio(BIO_new_mem_buf(data.data(), static_cast<int>(data.size())));
    if (!bio) throw std::bad_alloc();
    return bio;
}

// Refuses a passphrase-protected key instead of prompting on the terminal in the middle of a build.
int NoPassphrase(char*, int, int, void*) { return -1; }

std::string SubjectOf(const X509* cert) {
    char buf[256];
    X509_NAME_oneline(X509_get_subject_name(cert), buf, sizeof buf);
    return buf;
}

bool IsRsaOfAtLeast(const EVP_PKEY* key, int bits) {
    return EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA && EVP_PKEY_get_bits(key) >= bits;
}

}  // namespace

std::string Sha256(std::string_view data) {
    std::string digest(32, '\0');
    unsigned int size = 0;
    if (EVP_Digest(data.data(), data.size(), reinterpret_cast<unsigned char*>(digest.data()), &size,
                   EVP_sha256(), nullptr) != 1 ||
        size != 32)
        throw std::runtime_error("SHA-256 failed: " + OpensslReason());
    return digest;
}

std::string Base64(std::string_view bytes, std::size_t lineWidth) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string flat;
    flat.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                           static_cast<unsigned char>(bytes[i + 2]);
        flat += kAlphabet[(v >> 18) & 63];
        flat += kAlphabet[(v >> 12) & 63];
        flat += kAlphabet[(v >> 6) & 63];
        flat += kAlphabet[v & 63];
    }
    if (i < bytes.size()) {
        const bool two = i + 1 < bytes.size();
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (two ? static_cast<unsigned char>(bytes[i + 1]) << 8 : 0);
        flat += kAlphabet[(v >> 18) & 63];
        flat += kAlphabet[(v >> 12) & 63];
        flat += two ? kAlphabet[(v >> 6) & 63] : '=';
        flat += '=';
    }
    if (lineWidth == 0 || flat.size() <= lineWidth) return flat;
    std::string wrapped;
    wrapped.reserve(flat.size() + flat.size() / lineWidth);
    for (std::size_t pos = 0; pos < flat.size(); pos += lineWidth) {
        if (pos != 0) wrapped += '\n';
        wrapped.append(flat, pos, lineWidth);
    }
    return wrapped;
}

void SigningIdentity::KeyDeleter::operator()(EVP_PKEY* k) const noexcept { EVP_PKEY_free(k); }

SigningIdentity SigningIdentity::Load(const std::filesystem::path& keyFile,
                                      const std::vector<std::filesystem::path>& certificateFiles) {
    const std::string keyLabel = keyFile.string();
    const std::string keyPem = ReadWholeFile(keyFile);
    BioPtr keyBio = MemoryBio(keyPem);
    PkeyPtr pkey(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, NoPassphrase, nullptr));
    if (!pkey)
        throw PackageError(keyLabel, "is not an unencrypted PEM private key (" + OpensslReason() + ")");
    if (!IsRsaOfAtLeast(pkey.get(), kMinRsaBits))
        throw PackageError(keyLabel, "must be an RSA key of at least 2048 bits");

    // Every certificate of every file, in the order given.
    std::vector<X509Ptr> chain;
    std::vector<std::string> origin;
    for (const auto& file : certificateFiles) {
        const std::string pem = ReadWholeFile(file);
        BioPtr bio = MemoryBio(pem);
        std::size_t found = 0;
        while (X509* cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
            chain.emplace_back(cert);
            origin.push_back(file.string());
            ++found;
        }
        ERR_clear_error();  // the loop ends on "no start line"
        if (found == 0) throw PackageError(file.string(), "holds no PEM certificate");
    }
    if (chain.empty()) throw PackageError(keyLabel, "no certificate given for this key");

    if (X509_check_private_key(chain.front().get(), pkey.get()) != 1) {
        ERR_clear_error();
        throw PackageError(origin.front(), "the first certificate does not belong to the key " + keyLabel);
    }
    for (std::size_t i = 0; i < chain.size(); ++i) {
        X509* cert = chain[i].get();
        EVP_PKEY* certKey = X509_get0_pubkey(cert);
        if (!certKey || !IsRsaOfAtLeast(certKey, kMinRsaBits))
            throw PackageError(origin[i],
                               "certificate " + SubjectOf(cert) + " needs an RSA key of at least 2048 bits");
        if (X509_check_issued(cert, cert) == X509_V_OK && X509_verify(cert, certKey) == 1)
            throw PackageError(origin[i], "self-signed root " + SubjectOf(cert) +
                                              " must be left out; the device supplies the root");
        if (i + 1 < chain.size()) {
            X509* issuer = chain[i + 1].get();
            if (X509_check_issued(issuer, cert) != X509_V_OK ||
                X509_verify(cert, X509_get0_pubkey(issuer)) != 1) {
                ERR_clear_error();
                throw PackageError(origin[i + 1], "certificate " + SubjectOf(issuer) + " did not issue " +
                                                      SubjectOf(cert) + "; give the chain leaf first");
            }
        }
    }
    ERR_clear_error();

    SigningIdentity identity;
    for (const auto& cert : chain) {
        unsigned char* der = nullptr;
        const int size = i2d_X509(cert.get(), &der);
        if (size <= 0) throw std::runtime_error("cannot encode certificate: " + OpensslReason());
        identity.chainDer.emplace_back(reinterpret_cast<char*>(der), static_cast<std::size_t>(size));
        OPENSSL_free(der);
    }
    identity.key.reset(pkey.release());
    return identity;
}

std::string SigningIdentity::SignSha256(std::string_view data) const {
    MdCtxPtr ctx(EVP_MD_CTX_new());
    if (!ctx) throw std::bad_alloc();
    EVP_PKEY* pkey = key.get();
    EVP_PKEY_CTX* pctx = nullptr;
    std::size_t size = 0;
    if (EVP_DigestSignInit(ctx.get(), &pctx, EVP_sha256(), nullptr, pkey) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(pctx, RSA_PKCS1_PADDING) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &size, reinterpret_cast<const unsigned char*>(data.data()),
                       data.size()) != 1)
        throw std::runtime_error("RSA signing failed: " + OpensslReason());
    std::string signature(size, '\0');
    if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                       reinterpret_cast<const unsigned char*>(data.data()), data.size()) != 1)
        throw std::runtime_error("RSA signing failed: " + OpensslReason());
    signature.resize(size);
    return signature;
}

}  // namespace kavorin::wgt
