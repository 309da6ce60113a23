#pragma once

#include "platform/DateTime.h"
#include "platform/Value.h"
#include "platform/dal/Connection.h"
#include "schema/Generator.h"
#include "schema/StandIn.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace zarn::test {

// Stand-in databases for whole import runs, on the server under test, with the configuration
// file that names them. Facilities, in list order: "North Plant" (NORTH) and "South Plant"
// (SOUTH). Active sites, in list order: "East Yard" (5, no tables) and "North Works" (17). Site
// 17 has trains 1 and 2 and three sensors: type 1 on train 1 (sensor 171), type 2 on train 1
// (172) and type 1 on train 2 (173). Its readings, all on 5 March 2024: 10:15 (type 1, train
// 1), 10:59:30 (type 2, train 1), 11:30 (type 1, train 2) and 12:00 (type 3, train 1, a
// sensor that does not exist).
class ImportDatabases
{
public:
    ImportDatabases();
    // On PostgreSQL: the same databases with the given names and roles, and a configuration
    // file of the given database type (1: each catalog is a role; 2: a database).
    ImportDatabases(const schema::PostgresSetUp &setUp, int databaseType);

    const QString &iniPath() const { return m_iniPath; }
    // Adds a line to the configuration file.
    void addIniLine(const QString &line);
    // The connection string of the facility NORTH.
    QString facilityConnectionString() const;

    // Adds a generated site to the source database.
    void addGeneratedSite(const schema::SiteSpec &site);
    // Adds a FACILITY row whose catalog does not exist.
    void addFacilityWithoutCatalog(const QString &fileName, const QString &name);
    // Runs a statement on the source database or on the facility NORTH.
    void executeOnSource(const QString &sql);
    void executeOnFacility(const QString &sql);

    // A number the facility NORTH gives: the first column of the first row.
    long long countInFacility(const QString &sql);
    long long locations()
    {
        return countInFacility(QStringLiteral("SELECT COUNT(*) FROM LOCATION"));
    }
    long long variables()
    {
        return countInFacility(QStringLiteral("SELECT COUNT(*) FROM VARDESC"));
    }
    long long storedReadings()
    {
        return countInFacility(QStringLiteral("SELECT COUNT(*) FROM DD1_VALUES"));
    }
    // How many user-defined field captions hold what the variable import puts there.
    long long importedCaptions()
    {
        return countInFacility(
            QStringLiteral("SELECT COUNT(*) FROM UDCaps WHERE FieldName='UD1' AND "
                           "Caption='SensorType' OR FieldName='UD9' AND Caption='DataType'"));
    }

private:
    void fill(int databaseType);
    void addSite17();

    QTemporaryDir m_folder;
    std::unique_ptr<schema::StandInServer> m_server;
    std::unique_ptr<dal::Connection> m_source;
    QString m_iniPath;
};

} // namespace zarn::test
