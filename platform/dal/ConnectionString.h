#pragma once

#include "platform/dal/Provider.h"

#include <QString>
#include <QStringList>

namespace zarn::dal {

// Parses "Keyword=value;Keyword=value;...": keywords without regard to case and to blanks
// around them, values taken as they stand or between double or single quotes (a doubled quote
// inside stands for one). When a keyword repeats, the last value wins. Throws DatabaseError for
// a malformed string (a part without "=", an empty keyword, a quote that is never closed, text
// after a closing quote); the message never repeats a value or an unknown keyword.
QMap<QString, QString> parseConnectionString(const QString &connectionString);

// A value written so that parseConnectionString reads it back as one value, unchanged: as it
// stands when it is ordinary, between double quotes (each one inside doubled) when it holds a
// ";", a "=", a quote, or blanks at either end. A value so written cannot add a keyword.
QString connectionStringValue(const QString &value);

// The passwords a connection string carries: the value of every Password and PWD keyword, also
// of one that repeats, read as far as the string is well formed. Never throws.
QStringList passwordsIn(const QString &connectionString);

// The text as a message may show it: the value of every Password or PWD keyword written in it
// masked (a connection string or a part of one), and every occurrence of each given password
// masked, without regard to case.
QString withoutPasswords(const QString &text, const QStringList &passwords = {});
// The same with the passwords of a parsed connection string.
QString withoutPasswords(const QString &text, const ConnectionOptions &options);

} // namespace zarn::dal
