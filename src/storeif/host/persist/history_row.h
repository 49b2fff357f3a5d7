// One row of a store file's history table and its meta row (persist/file_history.h describes
// both): their checksums and the reader every user of the table shares. Only built with SQLite.
#ifndef NYR_HOST_PERSIST_HISTORY_ROW_H
#define NYR_HOST_PERSIST_HISTORY_ROW_H

#include <cstdint>
#include <string>
#include <string_view>

#include "history/history.h"

struct sqlite3;
struct sqlite3_stmt;

namespace nyrhost {

// A change with the columns only the file keeps.
struct HistoryRow {
    HistoryChange change;
    int64_t prev_time = 0;
    uint64_t run_count = 0, run_bytes = 0;
};

// The columns history_row_at reads, in its order: the history table's own.
inline constexpr const char* kHistoryRowColumns =
    "revision, idx, time, prev_time, kind, path, old, new, source, uid, pid, run_count, "
    "run_bytes, checksum";

// The history's blocks, each signed once complete (persist/history_signature.h): running counts
// that share all but their lowest 6 bits.
inline constexpr int kHistoryBlockShift = 6;

// The checksum a row carries: every column but the checksum itself.
uint32_t history_row_checksum(const HistoryRow& row);

// The history's meta row: its epoch, and the newest revision dropped with its time.
struct HistoryMeta {
    std::string epoch;
    int64_t revision = 0, time = INT64_MIN;
};

// Reads the meta row into `meta`: the step's result (SQLITE_ROW, SQLITE_DONE for a file without
// one, or why not), and in `healthy` whether a row read passed its checksum.
int read_history_meta(sqlite3* db, HistoryMeta& meta, bool& healthy);
// A statement that writes the meta row, for write_history_meta().
inline constexpr const char* kHistoryMetaWrite =
    "INSERT OR REPLACE INTO history_meta(id, epoch, dropped_revision, dropped_time, checksum)"
    " VALUES(1, ?, ?, ?, ?)";
bool write_history_meta(sqlite3_stmt* write, const HistoryMeta& meta);

// The row a statement over kHistoryRowColumns stands on, copied into `row`; false for one whose
// checksum fails. Throws std::bad_alloc.
bool history_row_at(sqlite3_stmt* statement, HistoryRow& row);

}  // namespace nyrhost

#endif  // NYR_HOST_PERSIST_HISTORY_ROW_H
