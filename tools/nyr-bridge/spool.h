// The spool: events taken from the store and not yet acknowledged by the broker, kept in an SQLite
// file (or in memory without one) so that a broker that is away, or a bridge killed and started
// again, loses none of them. It is bounded in bytes: past the bound the oldest events are dropped
// and counted. It also remembers the last event taken, where a restart with --from-log goes on.
#ifndef NYR_BRIDGE_SPOOL_H
#define NYR_BRIDGE_SPOOL_H

#include <sys/time.h>

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3;

namespace nyr_bridge {

struct SpoolRow {
    int64_t id = 0;  // ascending in the order the events were taken
    std::string topic;
    std::string payload;
};

// The last event taken: its time and its payload without "was_logged" (which the log sets).
struct SpoolMark {
    bool set = false;
    timeval time{-1, 0};
    std::string key;
};

class Spool {
public:
    // Opens (or makes) the spool in `file`, in memory when it is empty. Throws a refusal when
    // the file cannot be opened or is not a spool.
    Spool(const std::string& file, uint64_t max_bytes);
    ~Spool();
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    // Adds rows (their ids are set) and, in the same transaction, the mark of the last of them.
    // Drops the oldest rows past the bound; gives how many it dropped.
    uint64_t append(std::vector<SpoolRow>& rows, const SpoolMark& mark);
    // Every row, oldest first.
    std::vector<SpoolRow> pending();
    // Forgets acknowledged rows.
    void remove(const std::vector<int64_t>& ids);

    SpoolMark mark() const { return _mark; }
    uint64_t dropped() const { return _dropped; }
    uint64_t bytes() const { return _bytes; }
    uint64_t rows() const { return _rows; }

private:
    void exec(const char* sql);
    void store_meta(const char* key, const std::string& value);
    std::string meta(const char* key);

    sqlite3* _db = nullptr;
    uint64_t _max_bytes;
    uint64_t _bytes = 0;
    uint64_t _rows = 0;
    uint64_t _dropped = 0;
    SpoolMark _mark;
};

// The bytes a row counts against the bound.
uint64_t row_bytes(const SpoolRow& row);

}  // namespace nyr_bridge

#endif  // NYR_BRIDGE_SPOOL_H
