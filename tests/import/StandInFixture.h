#pragma once

#include "import/Importer.h"
#include "platform/dal/Recordset.h"
#include "schema/Scripts.h"
#include "schema/StandIn.h"
#include "support/RecordingUserInterface.h"
#include "support/TestDatabases.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace zarn::test {

// One row of a site's sensors table, every column given (Null where the test says so).
struct SensorRow
{
    Value SensorType = std::int32_t{1};
    Value TrainNumber = std::int32_t{1};
    Value Description = QStringLiteral("Flow");
    Value Units = QStringLiteral("gpm");
    Value SensorID = std::int32_t{1};
    Value HiHi = 95.5, Hi = 80.25, Lo = 10.0, LoLo = 5.0, MaxDisplay = 120.0, MinDisplay = -1.5;
    Value DisplayOrder = std::int32_t{3};
    Value DataType = QStringLiteral("Analog");
    Value Virtual = false;
};

using Rows = std::vector<std::vector<Value>>;

// A stand-in ZARN server with an empty root catalog, one facility catalog and one empty source
// database, on the server under test, and an importer that has been given their connections.
class StandInFixture : public ::testing::Test
{
protected:
    static constexpr std::int16_t databaseKind = 2;

    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        server = makeStandIn(folder.path());
        server->createRootCatalog();
        server->createFacility(QStringLiteral("IMPTEST"), QStringLiteral("Import test"));
        source = schema::openConnection(server->createSource(QStringLiteral("vtimport")));
        facility =
            schema::openConnection(server->catalogConnectionString(QStringLiteral("IMPTEST")));
        root = schema::openConnection(server->catalogConnectionString(QStringLiteral("TAVROOT")));
        importer = std::make_unique<Importer>(ui, databaseKind);
        importer->Init(*source, *facility, *root, QStringLiteral("IMPTEST"));
    }

    // A SYSTEMS row naming the site's tables, and the two tables themselves.
    void addSite(int systemId, const Value &dataTable, const Value &sensorsTable)
    {
        source->Execute(QStringLiteral("INSERT INTO SYSTEMS (SystemID, FacilityName, Status, "
                                       "TableName, SensorsName) VALUES (?, ?, '1', ?, ?)"),
                        {std::int32_t{systemId}, QStringLiteral("Site %1").arg(systemId), dataTable,
                         sensorsTable});
    }
    void addSite(int systemId)
    {
        const QString sensors = QStringLiteral("SENSORS_%1").arg(systemId);
        const QString data = QStringLiteral("DATA_%1").arg(systemId);
        schema::runSchemaScript(
            *source, QStringLiteral("source_site"),
            {{QStringLiteral("SENSORS"), sensors}, {QStringLiteral("DATA"), data}});
        addSite(systemId, data, sensors);
    }

    void addTrain(int siteId, const Value &number, const Value &name, const Value &order,
                  const Value &group)
    {
        source->Execute(QStringLiteral("INSERT INTO TRAINS (SiteID, TrainNumber, TrainName, "
                                       "TrainOrder, [Group]) VALUES (?, ?, ?, ?, ?)"),
                        {std::int32_t{siteId}, number, name, order, group});
    }

    void addSensor(int siteId, const SensorRow &s)
    {
        addSensorTo(*source, QStringLiteral("SENSORS_%1").arg(siteId), s);
    }
    static void addSensorTo(dal::Connection &conn, const QString &table, const SensorRow &s)
    {
        conn.Execute(QStringLiteral("INSERT INTO %1 (SensorType, TrainNumber, Description, Units, "
                                    "SensorID, HiHi, Hi, Lo, LoLo, MaxDisplay, MinDisplay, "
                                    "DisplayOrder, DataType, Virtual) "
                                    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                         .arg(table),
                     {s.SensorType, s.TrainNumber, s.Description, s.Units, s.SensorID, s.HiHi, s.Hi,
                      s.Lo, s.LoLo, s.MaxDisplay, s.MinDisplay, s.DisplayOrder, s.DataType,
                      s.Virtual});
    }

    void addReading(int siteId, int sensorType, int train, double data, DateTime at)
    {
        addReadingTo(*source, QStringLiteral("DATA_%1").arg(siteId), sensorType, train, data, at);
    }
    static void addReadingTo(dal::Connection &conn, const QString &table, int sensorType, int train,
                             double data, DateTime at)
    {
        conn.Execute(QStringLiteral("INSERT INTO %1 (SensorType, TrainNumber, Data, TimeDate) "
                                    "VALUES (?, ?, ?, ?)")
                         .arg(table),
                     {std::int32_t{sensorType}, std::int32_t{train}, data, at});
    }

    // Reopens the facility connection with another command time-out (on SQLite the busy
    // time-out), for waits on another connection's lock.
    void setFacilityCommandTimeout(int seconds)
    {
        facility->Close();
        facility->setCommandTimeout(seconds);
        facility->Open();
    }

    static Rows rows(dal::Connection &conn, const QString &sql,
                     const std::vector<Value> &params = {})
    {
        dal::Recordset rs = conn.Execute(sql, params);
        Rows result;
        for (; !rs.Eof(); rs.MoveNext()) {
            std::vector<Value> row;
            for (int i = 0; i < rs.FieldCount(); ++i)
                row.push_back(rs.Fields(i).Value());
            result.push_back(row);
        }
        return result;
    }

    long count(const QString &table)
    {
        return static_cast<long>(
            rows(*facility, QStringLiteral("SELECT COUNT(*) FROM ") + table)[0][0].toDouble());
    }

    // The texts of the messages shown so far, in order.
    std::vector<QString> messageTexts() const
    {
        std::vector<QString> texts;
        for (const Message &m : ui.messages)
            texts.push_back(m.text);
        return texts;
    }

    QTemporaryDir folder;
    std::unique_ptr<schema::StandInServer> server;
    std::unique_ptr<dal::Connection> source;
    std::unique_ptr<dal::Connection> facility;
    std::unique_ptr<dal::Connection> root;
    RecordingUserInterface ui;
    std::unique_ptr<Importer> importer;
};

inline Message exclamation(const QString &text)
{
    return Message{text, MessageIcon::Exclamation, MessageButtons::Ok, QString(), 0};
}
inline Message information(const QString &text)
{
    return Message{text, MessageIcon::Information, MessageButtons::Ok, QString(), 0};
}
inline Message notice(const QString &text)
{
    return Message{text, MessageIcon::None, MessageButtons::Ok, QString(), 0};
}

} // namespace zarn::test
