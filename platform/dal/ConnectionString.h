#pragma once

#include "platform/dal/Provider.h"

#include <QString>

namespace zarn::dal {

// Parses "Keyword=value;Keyword=value;...": keywords without regard to case and to blanks
// around them, values taken as they stand or between double or single quotes (a doubled quote
// inside stands for one). Throws DatabaseError for a malformed string (a part without "=", an
// empty keyword, an unterminated quote); the message never repeats a password.
QMap<QString, QString> parseConnectionString(const QString &connectionString);

} // namespace zarn::dal
