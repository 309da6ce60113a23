#pragma once

#include "platform/dal/Connection.h"
#include "schema/StandIn.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace zarn::test {

// The demo's databases on the server under test, with the configuration file that names them:
// the facilities NORTHPLANT "North Plant" and SOUTHPLANT "South Plant", and the demo's source
// (site 102 "Hilltop Water Plant": trains 0, 1, 2 and 12, four sensors each, 2,304 readings
// from 4 March 2024).
class DemoDatabases
{
public:
    DemoDatabases();

    const QString &iniPath() const { return m_iniPath; }
    dal::Connection &source() { return *m_source; }
    // A new connection to NORTHPLANT; the caller closes it by letting it go.
    std::unique_ptr<dal::Connection> facility() const;

    // Every row of every table of NORTHPLANT, each as one text, sorted within its table: two
    // equal results mean row-identical tables.
    QStringList facilityRows() const;
    // The bytes of NORTHPLANT's database file and its write-ahead log on SQLite; empty on
    // PostgreSQL.
    QByteArray facilityFileBytes() const;
    // The first column of the first row of a query on NORTHPLANT, as a number.
    long long countInFacility(const QString &sql) const;
    long long countInSource(const QString &sql);

    // Runs the batch mode on the configuration file with the arguments after it.
    int runBatch(const QStringList &arguments, QString *out = nullptr, QString *err = nullptr);

    // The folder for a test's own files.
    QString filePath(const QString &name) const { return m_folder.filePath(name); }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<schema::StandInServer> m_server;
    std::unique_ptr<dal::Connection> m_source;
    QString m_iniPath;
};

} // namespace zarn::test
