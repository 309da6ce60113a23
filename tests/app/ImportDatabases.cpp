#include "ImportDatabases.h"

#include "platform/dal/Recordset.h"
#include "schema/Scripts.h"
#include "support/TestDatabases.h"

#include <QFile>
#include <stdexcept>

namespace zarn::test {

namespace {

DateTime on5March(int hour, int minute, int second = 0)
{
    return DateTime::fromParts(2024, 3, 5, hour, minute, second);
}

} // namespace

ImportDatabases::ImportDatabases() : m_server(makeStandIn(m_folder.path()))
{
    fill(2);
}

ImportDatabases::ImportDatabases(const schema::PostgresSetUp &setUp, int databaseType)
    : m_server(makePostgresStandIn(setUp))
{
    fill(databaseType);
}

void ImportDatabases::fill(int databaseType)
{
    m_server->createRootCatalog();
    m_server->createFacility(QStringLiteral("SOUTH"), QStringLiteral("South Plant"));
    m_server->createFacility(QStringLiteral("NORTH"), QStringLiteral("North Plant"));
    const QString source = m_server->createSource(QStringLiteral("vtrun"));
    m_source = schema::openConnection(source);
    m_source->Execute(QStringLiteral(
        "INSERT INTO SYSTEMS (SystemID, FacilityName, Status) VALUES (5, 'East Yard', '1')"));
    addSite17();
    m_iniPath = m_folder.filePath(QStringLiteral("ZARN_Vantrel_DB_importer.ini"));
    schema::writeIni(m_iniPath, *m_server, source);
    if (databaseType != 2) {
        QFile ini(m_iniPath);
        if (!ini.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read the configuration file");
        QByteArray text = ini.readAll();
        ini.close();
        text.replace("PELKZARN_CONNECTION_DBTYPE=2",
                     "PELKZARN_CONNECTION_DBTYPE=" + QByteArray::number(databaseType));
        if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate) || ini.write(text) < 0)
            throw std::runtime_error("cannot write the configuration file");
    }
}

void ImportDatabases::addSite17()
{
    schema::runSchemaScript(*m_source, QStringLiteral("source_site"),
                            {{QStringLiteral("SENSORS"), QStringLiteral("SENSORS_17")},
                             {QStringLiteral("DATA"), QStringLiteral("DATA_17")}});
    m_source->Execute(QStringLiteral("INSERT INTO SYSTEMS (SystemID, FacilityName, Status, "
                                     "TableName, SensorsName) VALUES (17, 'North Works', '1', "
                                     "'DATA_17', 'SENSORS_17')"));
    for (int train : {1, 2})
        m_source->Execute(
            QStringLiteral("INSERT INTO TRAINS (SiteID, TrainNumber, TrainName, "
                           "TrainOrder, [Group]) VALUES (17, ?, ?, ?, 1)"),
            {std::int32_t{train}, QStringLiteral("Train %1").arg(train), std::int32_t{train}});
    const int sensors[][3] = {{1, 1, 171}, {2, 1, 172}, {1, 2, 173}};
    for (const auto &[type, train, id] : sensors)
        m_source->Execute(QStringLiteral("INSERT INTO SENSORS_17 (SensorType, TrainNumber, "
                                         "Description, Units, SensorID, Virtual) VALUES "
                                         "(?, ?, ?, 'gpm', ?, ?)"),
                          {std::int32_t{type}, std::int32_t{train},
                           QStringLiteral("Sensor %1").arg(id), std::int32_t{id}, false});
    const struct
    {
        int type, train;
        DateTime at;
    } readings[] = {{1, 1, on5March(10, 15)},
                    {2, 1, on5March(10, 59, 30)},
                    {1, 2, on5March(11, 30)},
                    {3, 1, on5March(12, 0)}};
    for (const auto &r : readings)
        m_source->Execute(QStringLiteral("INSERT INTO DATA_17 (SensorType, TrainNumber, Data, "
                                         "TimeDate) VALUES (?, ?, 2.5, ?)"),
                          {std::int32_t{r.type}, std::int32_t{r.train}, r.at});
}

void ImportDatabases::addGeneratedSite(const schema::SiteSpec &site)
{
    schema::generateSource(*m_source, schema::SourceSpec{1, {site}});
}

void ImportDatabases::addFacilityWithoutCatalog(const QString &fileName, const QString &name)
{
    m_server->addFacilityRow(fileName, name);
}

void ImportDatabases::addIniLine(const QString &line)
{
    QFile file(m_iniPath);
    if (!file.open(QIODevice::Append) || file.write((line + QStringLiteral("\r\n")).toUtf8()) < 0)
        throw std::runtime_error("cannot add to " + m_iniPath.toStdString());
}

QString ImportDatabases::facilityConnectionString() const
{
    return m_server->catalogConnectionString(QStringLiteral("NORTH"));
}

void ImportDatabases::executeOnSource(const QString &sql)
{
    m_source->Execute(sql);
}

void ImportDatabases::executeOnFacility(const QString &sql)
{
    schema::openConnection(m_server->catalogConnectionString(QStringLiteral("NORTH")))
        ->Execute(sql);
}

long long ImportDatabases::countInFacility(const QString &sql)
{
    const auto facility =
        schema::openConnection(m_server->catalogConnectionString(QStringLiteral("NORTH")));
    dal::Recordset rs = facility->Execute(sql);
    return static_cast<long long>(rs.Fields(0).Value().toDouble());
}

} // namespace zarn::test
