// One row of a store file's history table and its meta row (persist/file_history.h describes
// both): their checksums and the reader every user of the table shares. Only built with SQLite.
#ifndef NYR_HOST_PERSIST_HISTORY_ROW_H
#define NYR_HOST_PERSIST_HISTORY_ROW_H

#include <cstdint>
#include <string_view>

#include "history/history.h"

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

// The checksum a row carries: every column but the checksum itself.
uint32_t history_row_checksum(const HistoryRow& row);

// The checksum of the meta row holding `epoch` and the newest dropped revision with its time.
uint32_t history_meta_checksum(std::string_view epoch, int64_t revision, int64_t time);

// The row a statement over kHistoryRowColumns stands on, copied into `row`; false for one whose
// checksum fails. Throws std::bad_alloc.
bool history_row_at(sqlite3_stmt* statement, HistoryRow& row);

}  // namespace nyrhost

#endif  // NYR_HOST_PERSIST_HISTORY_ROW_H
