// A small self-contained SHA-1 (FIPS 180-4) for name-based UUIDs: the device has no crypto
// library, so the host store does not depend on one either.
#ifndef NYR_HOST_CRYPTO_SHA1_H
#define NYR_HOST_CRYPTO_SHA1_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "nyr.h"

namespace nyrhost {

class Sha1 {
public:
    Sha1();
    void update(const void* data, std::size_t size);
    // The 20-byte digest; the object is spent afterwards.
    std::array<uint8_t, 20> finish();

private:
    void block(const uint8_t* data);

    uint32_t state_[5];
    uint8_t buffer_[64];
    std::size_t buffered_ = 0;
    uint64_t total_bytes_ = 0;
};

}  // namespace nyrhost

#endif  // NYR_HOST_CRYPTO_SHA1_H
