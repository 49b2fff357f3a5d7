// The checksum the SQLite file's rows carry, so that a changed byte in a row is seen when it is
// read back.
#ifndef NYR_HOST_LOG_CRC32C_H
#define NYR_HOST_LOG_CRC32C_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace nyrhost {

// CRC-32C (Castagnoli polynomial, reflected), eight bytes a step through eight tables (the
// "slicing" method): the checksum runs on every stored event, so it must not cost a table look-up
// per byte.
class Crc32c {
public:
    void bytes(const void* data, std::size_t n) {
        static const Tables tables = make_tables();
        const auto* p = static_cast<const unsigned char*>(data);
        uint32_t c = crc_;
        for (; n >= 8; n -= 8, p += 8) {
            const uint32_t low = c ^ (uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                                      uint32_t{p[3]} << 24);
            c = tables[7][low & 0xFF] ^ tables[6][(low >> 8) & 0xFF] ^
                tables[5][(low >> 16) & 0xFF] ^ tables[4][low >> 24] ^ tables[3][p[4]] ^
                tables[2][p[5]] ^ tables[1][p[6]] ^ tables[0][p[7]];
        }
        for (; n > 0; --n, ++p) c = tables[0][(c ^ *p) & 0xFF] ^ (c >> 8);
        crc_ = c;
    }
    void u64(uint64_t v) {
        unsigned char b[8];
        for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(v >> (56 - 8 * i));
        bytes(b, sizeof b);
    }
    void text(std::string_view t) {
        u64(t.size());
        bytes(t.data(), t.size());
    }
    uint32_t value() const { return ~crc_; }

private:
    using Tables = std::array<std::array<uint32_t, 256>, 8>;
    static Tables make_tables() {
        Tables t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
            t[0][i] = c;
        }
        for (std::size_t k = 1; k < 8; ++k)
            for (uint32_t i = 0; i < 256; ++i)
                t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
        return t;
    }

    uint32_t crc_ = 0xFFFFFFFFu;
};

}  // namespace nyrhost

#endif  // NYR_HOST_LOG_CRC32C_H
