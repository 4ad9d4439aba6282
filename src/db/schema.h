// The database's tables and indexes (schema/vorn.sql, compiled into the
// program) and a way to apply them to a database file.
//
// The window never creates tables; `efload init` applies the schema to a new
// or existing file. Every statement of the schema is "IF NOT EXISTS", so
// applying it to a file that already holds the tables changes nothing.
#pragma once

#include <string>
#include <string_view>

namespace efi::db {

// The text of schema/vorn.sql as it was when the program was built.
std::string_view schema_sql();

// Opens (creating if missing) `database_path` on a short connection of its own
// and runs the schema in one transaction. Throws Error with the engine's text.
void apply_schema(const std::string& database_path);

}  // namespace efi::db
