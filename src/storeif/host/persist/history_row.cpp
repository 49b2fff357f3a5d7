// The history's rows in a store file, as written and read.
#include "persist/history_row.h"

#ifdef NYR_HAVE_SQLITE

#include "history/history_codec.h"
#include "log/crc32c.h"
#include "log/sqlite_db.h"

namespace nyrhost {

uint32_t history_row_checksum(const HistoryRow& row) {
    Crc32c crc;
    crc.u64(change_checksum(row.change));
    crc.u64(static_cast<uint64_t>(row.prev_time));
    crc.u64(row.run_count);
    crc.u64(row.run_bytes);
    return crc.value();
}

namespace {

uint32_t meta_checksum(const HistoryMeta& meta) {
    Crc32c crc;
    crc.text(meta.epoch);
    crc.u64(static_cast<uint64_t>(meta.revision));
    crc.u64(static_cast<uint64_t>(meta.time));
    return crc.value();
}

}  // namespace

int read_history_meta(sqlite3* db, HistoryMeta& meta, bool& healthy) {
    healthy = false;
    Statement read = prepare(
        db,
        "SELECT epoch, dropped_revision, dropped_time, checksum FROM history_meta WHERE id = 1");
    if (!read) return SQLITE_ERROR;
    const int step = sqlite3_step(read.get());
    if (step != SQLITE_ROW) return step;
    meta.epoch = std::string(column_bytes(read.get(), 0));
    meta.revision = sqlite3_column_int64(read.get(), 1);
    meta.time = sqlite3_column_int64(read.get(), 2);
    healthy =
        meta.revision >= 0 && sqlite3_column_int64(read.get(), 3) == int64_t{meta_checksum(meta)};
    return step;
}

bool write_history_meta(sqlite3_stmt* write, const HistoryMeta& meta) {
    sqlite3_reset(write);
    const bool done = bind_in_order(write, {std::string_view(meta.epoch), meta.revision, meta.time,
                                            int64_t{meta_checksum(meta)}}) &&
                      sqlite3_step(write) == SQLITE_DONE;
    sqlite3_reset(write);
    return done;
}

bool history_row_at(sqlite3_stmt* s, HistoryRow& row) {
    HistoryChange& c = row.change;
    c.revision = static_cast<uint64_t>(sqlite3_column_int64(s, 0));
    c.index = static_cast<uint32_t>(sqlite3_column_int64(s, 1));
    c.time_us = sqlite3_column_int64(s, 2);
    row.prev_time = sqlite3_column_int64(s, 3);
    c.kind = static_cast<int32_t>(sqlite3_column_int64(s, 4));
    c.path = std::string(column_bytes(s, 5));
    c.old_value.reset();
    c.new_value.reset();
    if (sqlite3_column_type(s, 6) != SQLITE_NULL) c.old_value = std::string(column_bytes(s, 6));
    if (sqlite3_column_type(s, 7) != SQLITE_NULL) c.new_value = std::string(column_bytes(s, 7));
    c.source = std::string(column_bytes(s, 8));
    c.has_peer = sqlite3_column_type(s, 9) != SQLITE_NULL;
    c.uid = static_cast<uint32_t>(sqlite3_column_int64(s, 9));
    c.pid = static_cast<uint32_t>(sqlite3_column_int64(s, 10));
    row.run_count = static_cast<uint64_t>(sqlite3_column_int64(s, 11));
    row.run_bytes = static_cast<uint64_t>(sqlite3_column_int64(s, 12));
    return sqlite3_column_int64(s, 13) == int64_t{history_row_checksum(row)};
}

}  // namespace nyrhost

#endif  // NYR_HAVE_SQLITE
