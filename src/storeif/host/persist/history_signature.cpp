// The history's block signatures.
#ifdef NYR_HAVE_SQLITE

#include "persist/history_signature.h"

#include <string>

namespace nyrhost {

namespace {

constexpr uint32_t kBits = BlockSignature::kBytes * 8;
constexpr int kProbes = 4;
static_assert((kBits & (kBits - 1)) == 0, "bit positions are taken modulo a power of two");

constexpr char kExact = '=';   // a row's own path
constexpr char kWithin = '<';  // a row's path or a node above it

// FNV-1a over the sort of key and its path, then mixed (SplitMix64's finish) so that the low bits
// of paths that differ only at their ends differ as well. Part of the file's layout: never to be
// changed for files already written.
uint64_t key_hash(char sort, std::string_view path) {
    uint64_t h = 0xcbf29ce484222325u;
    const auto step = [&h](unsigned char c) { h = (h ^ c) * 0x100000001b3u; };
    step(static_cast<unsigned char>(sort));
    for (const char c : path) step(static_cast<unsigned char>(c));
    h = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9u;
    h = (h ^ (h >> 27)) * 0x94d049bb133111ebu;
    return h ^ (h >> 31);
}

// The bits of a key: double hashing over the two halves of its hash (the step odd, so that the
// probes of one key never repeat).
template <typename Visit>
void bits_of(char sort, std::string_view path, Visit visit) {
    const uint64_t h = key_hash(sort, path);
    const auto start = static_cast<uint32_t>(h);
    const auto stride = static_cast<uint32_t>(h >> 32) | 1u;
    for (int i = 0; i < kProbes; ++i) visit((start + static_cast<uint32_t>(i) * stride) % kBits);
}

bool has_key(std::string_view bits, char sort, std::string_view path) {
    if (bits.size() != BlockSignature::kBytes) return true;  // not ours to judge: read the block
    bool all = true;
    bits_of(sort, path, [&](uint32_t bit) {
        all = all && (static_cast<unsigned char>(bits[bit / 8]) >> (bit % 8) & 1u) != 0;
    });
    return all;
}

}  // namespace

void BlockSignature::add(std::string_view path) {
    const auto set = [this](uint32_t bit) {
        bits_[bit / 8] = static_cast<unsigned char>(bits_[bit / 8] | 1u << (bit % 8));
    };
    bits_of(kExact, path, set);
    bits_of(kWithin, path, set);
    for (std::size_t slash = path.rfind('/'); slash != 0 && slash != std::string_view::npos;
         slash = path.rfind('/', slash - 1))
        bits_of(kWithin, path.substr(0, slash), set);
}

bool BlockSignature::may_change(std::string_view bits, std::string_view path) {
    return has_key(bits, kExact, path);
}

bool BlockSignature::may_change_within(std::string_view bits, std::string_view subtree) {
    return has_key(bits, kWithin, subtree);
}

bool BlockSignature::covered_by(std::string_view bits) const {
    if (bits.size() != kBytes) return false;
    for (std::size_t i = 0; i < kBytes; ++i)
        if ((bits_[i] & ~static_cast<unsigned char>(bits[i])) != 0) return false;
    return true;
}

BlockSigner::BlockSigner(sqlite3* db)
    : db_(db),
      rows_(prepare(db,
                    "SELECT run_count, path FROM history WHERE run_count BETWEEN ? AND ?"
                    " ORDER BY run_count")),
      write_(prepare(db, "INSERT OR REPLACE INTO history_signatures(block, bits) VALUES(?, ?)")) {}

bool BlockSigner::sign(uint64_t first, uint64_t last) {
    if (!ready() || first > last) return ready();
    const auto clamp = [](uint64_t v) {
        return static_cast<int64_t>(v > uint64_t{INT64_MAX} ? uint64_t{INT64_MAX} : v);
    };
    sqlite3_stmt* rows = rows_.get();
    sqlite3_reset(rows);
    sqlite3_bind_int64(rows, 1, clamp(first_run_of_block(first)));
    sqlite3_bind_int64(rows, 2, clamp(last_run_of_block(last)));
    const auto write = [&](uint64_t block, const BlockSignature& signature) {
        sqlite3_stmt* st = write_.get();
        sqlite3_reset(st);
        const std::string_view bits = signature.bits();
        const bool done = sqlite3_bind_int64(st, 1, clamp(block)) == SQLITE_OK &&
                          sqlite3_bind_blob(st, 2, bits.data(), static_cast<int>(bits.size()),
                                            SQLITE_STATIC) == SQLITE_OK &&
                          sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
        return done;
    };
    const int step = sign_rows(rows, write);
    sqlite3_reset(rows);
    return step == SQLITE_DONE;
}

bool BlockSigner::sign_complete() {
    int64_t oldest = 0, newest = 0;
    if (!query_int(db_, "SELECT ifnull(min(run_count), 0) FROM history", oldest) ||
        !query_int(db_, "SELECT ifnull(max(run_count), -1) FROM history", newest))
        return false;
    if (newest < 0) return true;  // no rows
    const uint64_t reached = (static_cast<uint64_t>(newest) + 1) >> kHistoryBlockShift;
    return reached == 0 || sign(static_cast<uint64_t>(oldest) >> kHistoryBlockShift, reached - 1);
}

}  // namespace nyrhost

#endif  // NYR_HAVE_SQLITE
