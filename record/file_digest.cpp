#include "record/file_digest.h"

#include <openssl/evp.h>

#include <array>
#include <fstream>
#include <memory>

namespace velkor {
namespace {

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

std::optional<FileDigest> DigestFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    const std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
        return std::nullopt;
    }
    FileDigest digest;
    std::array<char, 64 * 1024> block;
    while (in) {
        in.read(block.data(), block.size());
        const auto count = static_cast<std::size_t>(in.gcount());
        if (count > 0 && EVP_DigestUpdate(context.get(), block.data(), count) != 1) {
            return std::nullopt;
        }
        digest.size += count;
    }
    if (in.bad() || !in.eof()) {
        return std::nullopt;  // a read error, not the end of the file
    }
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
