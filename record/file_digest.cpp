#include "record/file_digest.h"

#include <openssl/evp.h>

#include <array>
#include <memory>

namespace velkor {
namespace {

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

std::optional<FileDigest> DigestBytes(std::string_view bytes) {
    const std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1) {
        return std::nullopt;
    }
    FileDigest digest;
    digest.size = bytes.size();
    std::array<unsigned char, EVP_MAX_MD_SIZE> value;
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), value.data(), &length) != 1) {
        return std::nullopt;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    for (unsigned int i = 0; i < length; ++i) {
        digest.sha256 += kDigits[value[i] >> 4];
        digest.sha256 += kDigits[value[i] & 0xF];
    }
    return digest;
}

}  // namespace velkor
