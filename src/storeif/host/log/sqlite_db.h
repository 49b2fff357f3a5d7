// Small RAII pieces over SQLite's C interface for the SQLite log: the connection and statements
// owned the moment they are made, a transaction that rolls back unless committed, and binding by
// name that fails loudly, so that a query and its bindings cannot drift apart unnoticed.
// Only built with SQLite (NYR_HAVE_SQLITE).
#ifndef NYR_HOST_LOG_SQLITE_DB_H
#define NYR_HOST_LOG_SQLITE_DB_H

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace nyrhost {

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Null when the text does not prepare.
Statement prepare(sqlite3* db, const std::string& sql);
bool exec(sqlite3* db, const char* sql);
// The single integer or text a query gives; false when it gives no row or fails.
bool query_int(sqlite3* db, const char* sql, int64_t& value);
bool query_text(sqlite3* db, const char* sql, std::string& value);

// The bytes of a blob column of the row `statement` stands on; valid until the statement steps on.
std::string_view column_bytes(sqlite3_stmt* statement, int column);

// A named parameter's value: NULL, an integer, or bytes bound as a blob (an empty one is an empty
// blob, not NULL). The bytes are copied when bound.
using SqlValue = std::variant<std::nullptr_t, int64_t, std::string_view>;
struct Binding {
    const char* name;
    SqlValue value;
};

// Clears the statement's bindings, then binds each of `bindings` by name. False when the
// statement lacks one of the names, a bind fails, or the statement has a parameter that
// `bindings` leaves unbound.
bool bind_all(sqlite3_stmt* statement, const std::vector<Binding>& bindings);

// For a statement that runs once a row: true when its parameters are exactly `names`, in this
// order. Checked once when it is prepared, so that each row then binds by position, without a
// look-up of every name.
bool has_parameters(sqlite3_stmt* statement, std::initializer_list<const char*> names);
// Binds `values` to the parameters 1, 2, ... in order. False when a bind fails or the statement
// has another number of parameters.
bool bind_in_order(sqlite3_stmt* statement, std::initializer_list<SqlValue> values);

// Rolls back unless committed, so that every early return leaves the database as it was.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db), open_(exec(db, "BEGIN IMMEDIATE")) {}
    ~Transaction() {
        if (open_) exec(db_, "ROLLBACK");
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool is_open() const { return open_; }
    bool commit() {
        if (!exec(db_, "COMMIT")) return false;  // the destructor rolls back
        open_ = false;
        return true;
    }

private:
    sqlite3* db_;
    bool open_;
};

}  // namespace nyrhost

#endif  // NYR_HOST_LOG_SQLITE_DB_H
