// Epochs from the kernel's random source.
#include "history/epoch.h"

#include <sys/random.h>

#include <chrono>
#include <cstdint>
#include <random>

namespace nyrhost {

std::string new_epoch() {
    unsigned char bytes[16] = {};
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // No kernel source: the clock and the library's generator still tell two files apart.
        std::mt19937_64 mix(
            std::random_device{}() ^
            static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
        for (unsigned char& b : bytes) b = static_cast<unsigned char>(mix());
    }
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char b : bytes) {
        text += kHex[b >> 4];
        text += kHex[b & 0xF];
    }
    return text;
}

}  // namespace nyrhost
