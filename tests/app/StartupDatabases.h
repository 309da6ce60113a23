#pragma once

#include "platform/Value.h"
#include "schema/StandIn.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace zarn::test {

// A stand-in ZARN server on the server under test with an empty root catalog and an empty
// source database, for start-up tests to fill: facility rows, site rows and the configuration
// file that names them.
class StartupDatabases
{
public:
    StartupDatabases();

    void addFacility(const Value &fileName, const Value &name);
    void addSite(int systemId, const Value &name, const QString &status = QStringLiteral("1"));
    // Runs a statement on the root catalog or on the source database.
    void executeOnRoot(const QString &sql);
    void executeOnSource(const QString &sql);

    // Writes the configuration file that reaches both databases and returns its path.
    QString writeIni() const;
    // Writes a configuration file of the given text and returns its path.
    QString writeIni(const QString &text) const;
    // The lines of a configuration file for the stand-in's ZARN server, with this provider.
    QString zarnSettings(const QString &provider) const;
    QString zarnSettings() const;
    const QString &sourceConnectionString() const { return m_source; }

private:
    QString iniPath() const;

    QTemporaryDir m_folder;
    std::unique_ptr<schema::StandInServer> m_server;
    QString m_source;
};

} // namespace zarn::test
