// The little cryptography the signatures need: SHA-256, base64, and an RSA signing identity
// (private key plus certificate chain) on OpenSSL's libcrypto.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct evp_pkey_st;  // OpenSSL's EVP_PKEY, declared here so users need no OpenSSL headers

namespace kavorin::wgt {

std::string Sha256(std::string_view data);  // 32 raw bytes

// Standard base64 with padding. lineWidth 0 gives one line; otherwise lines of lineWidth
// characters joined by '\n' (no newline after the last).
std::string Base64(std::string_view bytes, std::size_t lineWidth = 0);

// An RSA key and the certificates that go into KeyInfo: the key's own certificate first, then
// each issuing CA, the self-signed root left out. Loading checks all of that, so a wrong key, a
// chain in the wrong order or an included root is refused at build time, not on the TV.
class SigningIdentity {
public:
    static SigningIdentity Load(const std::filesystem::path& keyFile,
                                const std::vector<std::filesystem::path>& certificateFiles);

    // RSASSA-PKCS1-v1_5 over SHA-256(data). Deterministic for a given key and input.
    std::string SignSha256(std::string_view data) const;

    const std::vector<std::string>& ChainDer() const noexcept { return chainDer; }

private:
    struct KeyDeleter {
        void operator()(evp_pkey_st* key) const noexcept;
    };
    std::unique_ptr<evp_pkey_st, KeyDeleter> key;
    std::vector<std::string> chainDer;
};

// Smallest RSA modulus we sign with or accept in a chain.
inline constexpr int kMinRsaBits = 2048;

}  // namespace kavorin::wgt
