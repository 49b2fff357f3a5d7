// The signatures of the history's blocks in a store file (persist/file_history.h): for each block
// of 64 running counts whose rows are all written, a Bloom filter of what its rows change, so that
// a read of one path or one subtree opens only the blocks that may hold a change of it. A block
// gets its signature once, when its last row is written; the rows of the newest block, not yet
// complete, are read without one. Only built with SQLite.
#ifndef NYR_HOST_PERSIST_HISTORY_SIGNATURE_H
#define NYR_HOST_PERSIST_HISTORY_SIGNATURE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "log/sqlite_db.h"
#include "persist/history_row.h"

namespace nyrhost {

// Two sorts of keys go in: each row's own path, for the reads of one path, and that path with
// every node above it, for the reads of a subtree. Kept apart, a leaf's reads do not open every
// block that changed something below a node it is read with, nor the other way round.
class BlockSignature {
public:
    static constexpr std::size_t kBytes = 512;

    void add(std::string_view path);
    // Whether the bits `bits` (a stored signature; of any other size, it rules nothing out) may
    // hold a change of exactly `path`, or of `subtree` or below it.
    static bool may_change(std::string_view bits, std::string_view path);
    static bool may_change_within(std::string_view bits, std::string_view subtree);

    std::string_view bits() const {
        return {reinterpret_cast<const char*>(bits_.data()), bits_.size()};
    }
    // Whether `bits` has every bit this one has.
    bool covered_by(std::string_view bits) const;

private:
    std::array<unsigned char, kBytes> bits_{};
};

// The running counts of `block`, both ends included.
inline uint64_t first_run_of_block(uint64_t block) {
    return block << kHistoryBlockShift;
}
inline uint64_t last_run_of_block(uint64_t block) {
    return first_run_of_block(block) + (uint64_t{1} << kHistoryBlockShift) - 1;
}

// Steps `rows`, a statement giving (run_count, path) in the order of the running counts, to its
// end, folding the rows into one signature per block that holds a row and handing each to
// done(block, signature) in order. The last step's result (SQLITE_DONE once all were read), or
// SQLITE_ABORT when done gives false. How the writer signs a block and the check recomputes it.
template <typename Done>
int sign_rows(sqlite3_stmt* rows, Done done) {
    BlockSignature signature;
    uint64_t block = 0;
    bool pending = false;
    int step;
    while ((step = sqlite3_step(rows)) == SQLITE_ROW) {
        const uint64_t row_block =
            static_cast<uint64_t>(sqlite3_column_int64(rows, 0)) >> kHistoryBlockShift;
        if (pending && row_block != block) {
            if (!done(block, signature)) return SQLITE_ABORT;
            signature = BlockSignature();
        }
        block = row_block;
        pending = true;
        signature.add(column_bytes(rows, 1));
    }
    if (step == SQLITE_DONE && pending && !done(block, signature)) return SQLITE_ABORT;
    return step;
}

// Writes the signatures of blocks from their rows in the file, replacing any there.
class BlockSigner {
public:
    explicit BlockSigner(sqlite3* db);
    bool ready() const { return rows_ && write_; }
    // Signs each block in [first, last] that holds a row; false when the rows cannot be read or
    // a signature cannot be written.
    bool sign(uint64_t first, uint64_t last);
    // Signs every block whose running counts the newest row has reached the end of.
    bool sign_complete();

private:
    sqlite3* db_;
    Statement rows_, write_;
};

}  // namespace nyrhost

#endif  // NYR_HOST_PERSIST_HISTORY_SIGNATURE_H
