// RAII pieces and loud binding over SQLite's C interface.
#ifdef NYR_HAVE_SQLITE

#include "log/sqlite_db.h"

#include <climits>
#include <cstring>

namespace nyrhost {

Statement prepare(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return nullptr;
    }
    return Statement(statement);
}

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool query_int(sqlite3* db, const char* sql, int64_t& value) {
    Statement statement = prepare(db, sql);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return false;
    value = sqlite3_column_int64(statement.get(), 0);
    return true;
}

bool query_text(sqlite3* db, const char* sql, std::string& value) {
    Statement statement = prepare(db, sql);
    if (!statement || sqlite3_step(statement.get()) != SQLITE_ROW) return false;
    const unsigned char* text = sqlite3_column_text(statement.get(), 0);
    value = text ? reinterpret_cast<const char*>(text) : "";
    return true;
}

namespace {

int bind_one(sqlite3_stmt* statement, int index, const SqlValue& value) {
    if (std::holds_alternative<int64_t>(value))
        return sqlite3_bind_int64(statement, index, std::get<int64_t>(value));
    if (std::holds_alternative<std::nullptr_t>(value)) return sqlite3_bind_null(statement, index);
    // A non-null pointer makes empty bytes an empty blob rather than NULL.
    const std::string_view bytes = std::get<std::string_view>(value);
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return SQLITE_TOOBIG;
    return sqlite3_bind_blob(statement, index, bytes.empty() ? "" : bytes.data(),
                             static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
}

}  // namespace

bool bind_all(sqlite3_stmt* statement, const std::vector<Binding>& bindings) {
    sqlite3_clear_bindings(statement);
    for (const Binding& binding : bindings) {
        const int index = sqlite3_bind_parameter_index(statement, binding.name);
        if (index == 0 || bind_one(statement, index, binding.value) != SQLITE_OK) return false;
    }
    // Distinct names bound one each: as many as the statement has, or one was left out.
    return sqlite3_bind_parameter_count(statement) == static_cast<int>(bindings.size());
}

bool has_parameters(sqlite3_stmt* statement, std::initializer_list<const char*> names) {
    if (sqlite3_bind_parameter_count(statement) != static_cast<int>(names.size())) return false;
    int index = 0;
    for (const char* name : names) {
        const char* actual = sqlite3_bind_parameter_name(statement, ++index);
        if (actual == nullptr || std::strcmp(actual, name) != 0) return false;
    }
    return true;
}

bool bind_in_order(sqlite3_stmt* statement, std::initializer_list<SqlValue> values) {
    if (sqlite3_bind_parameter_count(statement) != static_cast<int>(values.size())) return false;
    int index = 0;
    for (const SqlValue& value : values)
        if (bind_one(statement, ++index, value) != SQLITE_OK) return false;
    return true;
}

std::string_view column_bytes(sqlite3_stmt* statement, int column) {
    const void* data = sqlite3_column_blob(statement, column);
    const int size = sqlite3_column_bytes(statement, column);
    return data ? std::string_view(static_cast<const char*>(data), static_cast<size_t>(size))
                : std::string_view();
}

}  // namespace nyrhost

#endif  // NYR_HAVE_SQLITE
