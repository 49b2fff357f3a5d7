// UUID texts (RFC 4122): version 5 from a name, version 4 from random bytes.
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <cstring>

#include "nyr_host.h"

namespace {

// The URL namespace of RFC 4122, 6ba7b811-9dad-11d1-80b4-00c04fd430c8: names are taken as text
// that identifies something, much as a URL does.
constexpr uint8_t kNamespace[16] = {0x6b, 0xa7, 0xb8, 0x11, 0x9d, 0xad, 0x11, 0xd1,
                                    0x80, 0xb4, 0x00, 0xc0, 0x4f, 0xd4, 0x30, 0xc8};

void set_version(uint8_t bytes[16], uint8_t version) {
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | (version << 4));
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // the RFC 4122 variant
}

void write_text(const uint8_t bytes[16], char* buf) {
    std::snprintf(buf, 37, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  bytes[0], bytes[1], bytes[2], bytes[3], bytes[4], bytes[5], bytes[6], bytes[7],
                  bytes[8], bytes[9], bytes[10], bytes[11], bytes[12], bytes[13], bytes[14],
                  bytes[15]);
}

}  // namespace

extern "C" int qel_create_uuid(const char* text, char* buf, uint32_t size) {
    if (!buf || size < 37) return QEL_RESULT_BAD_ARGUMENT;
    uint8_t bytes[16];
    if (text && *text) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        EVP_MD_CTX* sha = EVP_MD_CTX_new();
        const bool made = sha && EVP_DigestInit_ex(sha, EVP_sha1(), nullptr) == 1 &&
                          EVP_DigestUpdate(sha, kNamespace, sizeof kNamespace) == 1 &&
                          EVP_DigestUpdate(sha, text, std::strlen(text)) == 1 &&
                          EVP_DigestFinal_ex(sha, digest, nullptr) == 1;
        EVP_MD_CTX_free(sha);
        if (!made) return QEL_RESULT_NO_MEMORY;
        std::memcpy(bytes, digest, 16);
        set_version(bytes, 5);
    } else {
        if (RAND_bytes(bytes, sizeof bytes) != 1) return QEL_RESULT_NO_MEMORY;
        set_version(bytes, 4);
    }
    write_text(bytes, buf);
    return QEL_RESULT_OK;
}
