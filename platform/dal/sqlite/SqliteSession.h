#pragma once

#include "platform/dal/Provider.h"

#include <QString>

struct sqlite3;

// The connection of the SQLite provider: opening a database file, running SQL without
// parameters, and the library's failures as the layer's errors.
namespace zarn::dal::sqlite {

// SQLite reads brackets, double quotes and backticks around names, and no nested comments.
const SqlDialect &sqliteDialect();

// Opens the database file that the options name (a file, or a catalog's file in a folder) and
// configures the connection; throws DatabaseError. A missing file is never created.
sqlite3 *openDatabase(const ConnectionOptions &options);

QString messageOf(sqlite3 *db);
// Throws the library's failure `rc` with its message and `rc` as its code; a lock that the busy
// time-out gave up on is a time-out.
[[noreturn]] void raise(int rc, const QString &message);
// Runs SQL that needs no parameters and gives no rows that are wanted.
void run(sqlite3 *db, const QString &sql);

} // namespace zarn::dal::sqlite
