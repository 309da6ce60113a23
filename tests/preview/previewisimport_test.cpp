// The preview against the import it foretells, on generated sites of every shape the data import
// meets: sensors with a Null, a shared, an out-of-range or a text SensorID, reading keys with
// several sensors and keys with none, variables made before, "Variables" ticked or not, and now
// and then a reading that cannot be stored. For each site the preview's counts and reasons per
// reading key are those of the run report of the import that follows it.

#include "DemoDatabases.h"
#include "app/BatchMode.h"
#include "platform/dal/Recordset.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace zarn;

namespace {

const QString facility = QStringLiteral("NORTHPLANT");
const QString start = QStringLiteral("2024-03-04");
const QString end = QStringLiteral("2024-03-08");
constexpr int sites = 24;

// What a site's import met, to make sure that the sites together meet every case.
using Seen = std::set<QString>;

// One generated site of the demo's source: its SYSTEMS and TRAINS rows, and sensors and data
// tables of its own whose SensorID and Data columns hold text, so that every server holds the
// same odd values.
class GeneratedSite
{
public:
    GeneratedSite(test::DemoDatabases &db, quint32 seed)
        : m_db(db), m_random(seed), m_id(500 + static_cast<int>(seed))
    {}

    QString id() const { return QString::number(m_id); }

    void write()
    {
        dal::Connection &source = m_db.source();
        source.Execute(QStringLiteral("INSERT INTO SYSTEMS (SystemID, FacilityName, Status, "
                                      "TableName, SensorsName) VALUES (?, ?, '1', ?, ?)"),
                       {std::int32_t{m_id}, QStringLiteral("Generated %1").arg(m_id), dataTable(),
                        sensorsTable()});
        source.Execute(QStringLiteral("CREATE TABLE %1 (SensorType integer, TrainNumber integer, "
                                      "Description varchar(60), Units varchar(20), SensorID "
                                      "varchar(20), HiHi double precision, Hi double precision, "
                                      "Lo double precision, LoLo double precision, MaxDisplay "
                                      "double precision, MinDisplay double precision, "
                                      "DisplayOrder integer, DataType varchar(20), Virtual "
                                      "boolean)")
                           .arg(sensorsTable()));
        source.Execute(QStringLiteral("CREATE TABLE %1 (SensorType integer, TrainNumber integer, "
                                      "Data varchar(300), TimeDate timestamp)")
                           .arg(dataTable()));
        source.provider().beginTransaction();
        writeTrains();
        writeSensors();
        writeReadings();
        source.provider().commit();
    }

    // Empties the facility, then makes some of the site's variables as an earlier import would,
    // and some by hand under its locations or under locations it does not have. Never under one
    // that the import is yet to add: no preview can know the LocID a new location will get.
    void prepareFacility()
    {
        const auto conn = m_db.facility();
        for (const char *table : {"DD1_VALUES", "VARDESC", "LOCATION"})
            conn->Execute(QStringLiteral("DELETE FROM ") + QLatin1String(table));
        std::vector<int> locIds{9001, 9002};
        if (chance(3)) {
            m_db.runBatch({"--site", id(), "--facility", facility, "--variables"});
            for (dal::Recordset rs = conn->Execute(QStringLiteral("SELECT LocID FROM LOCATION"));
                 !rs.Eof(); rs.MoveNext())
                locIds.push_back(rs.Fields(0).Value().toInt32());
        }
        for (const auto &[id, type] : m_numericIds)
            if (chance(4))
                conn->Execute(QStringLiteral("INSERT INTO VARDESC (VARNUM, name, LOCID, UD1) "
                                             "VALUES (?, ?, ?, ?)"),
                              {std::int32_t{id}, QStringLiteral("Made before"),
                               std::int32_t{locIds[std::size_t(bounded(0, int(locIds.size())))]},
                               std::int32_t{type}});
    }

    bool chance(int oneIn) { return m_random.bounded(oneIn) == 0; }

    // The variables whose VARNUM another variable of the facility holds too.
    std::set<int> sharedVarIds() const
    {
        std::set<int> result;
        for (dal::Recordset rs = m_db.facility()->Execute(QStringLiteral(
                 "SELECT VARID FROM VARDESC WHERE VARNUM IN "
                 "(SELECT VARNUM FROM VARDESC GROUP BY VARNUM HAVING COUNT(*) > 1)"));
             !rs.Eof(); rs.MoveNext())
            result.insert(rs.Fields(0).Value().toInt32());
        return result;
    }

private:
    QString sensorsTable() const { return QStringLiteral("GEN_SENSORS_%1").arg(m_id); }
    QString dataTable() const { return QStringLiteral("GEN_DATA_%1").arg(m_id); }
    int bounded(int from, int to) { return from + static_cast<int>(m_random.bounded(to - from)); }

    void writeTrains()
    {
        for (const int train : {0, 1, 2, 12}) {
            if (chance(2))
                continue;
            m_trains.push_back(train);
            m_db.source().Execute(QStringLiteral("INSERT INTO TRAINS (SiteID, TrainNumber, "
                                                 "TrainName, TrainOrder, [Group]) VALUES (?, ?, "
                                                 "?, ?, 1)"),
                                  {std::int32_t{m_id}, std::int32_t{train},
                                   QStringLiteral("Train %1").arg(train),
                                   std::int32_t{static_cast<int>(m_trains.size())}});
        }
        if (m_trains.empty())
            m_trains.push_back(1); // the plant-wide train
    }

    // A SensorID as the sensors table holds it: mostly a number of its own, else one that another
    // sensor has (as text, or as a number that rounds to it), Null, out of range, no number at
    // all, or a number with blanks around it.
    Value sensorId(int type)
    {
        const int r = bounded(0, 100);
        if (r < 12 && !m_numericIds.empty())
            return QString::number(anyUsedId());
        if (r < 19 && !m_numericIds.empty())
            return QStringLiteral("%1.4").arg(anyUsedId());
        if (r < 26)
            return Value::null();
        if (r < 32)
            return QStringLiteral("40000");
        if (r < 38)
            return QStringLiteral("abc");
        m_numericIds.emplace(++m_lastId, type);
        return r < 45 ? QStringLiteral(" %1 ").arg(m_lastId) : QString::number(m_lastId);
    }

    int anyUsedId()
    {
        return std::next(m_numericIds.begin(), bounded(0, static_cast<int>(m_numericIds.size())))
            ->first;
    }

    void writeSensors()
    {
        int n = 0;
        for (const int train : m_trains)
            for (int type = 1; type <= 4; ++type) {
                const int sensors = chance(5) ? 0 : chance(4) ? bounded(2, 4) : 1;
                for (int i = 0; i < sensors; ++i)
                    m_db.source().Execute(
                        QStringLiteral("INSERT INTO %1 (SensorType, TrainNumber, Description, "
                                       "SensorID, Virtual) VALUES (?, ?, ?, ?, ?)")
                            .arg(sensorsTable()),
                        {std::int32_t{type}, std::int32_t{train},
                         QStringLiteral("Sensor %1").arg(++n, 3, 10, QLatin1Char('0')),
                         sensorId(type), false});
                m_keys.push_back({type, train});
            }
        m_keys.push_back({7, m_trains.front()}); // no sensor has these keys
        m_keys.push_back({2, 5});
    }

    // A time stamp within the dates mostly, some at or beyond their bounds.
    DateTime stamp()
    {
        if (chance(12))
            return chance(2) ? *DateTime::parse(start) : DateTime::fromParts(2024, 3, 9, 1, 0);
        return DateTime::fromParts(2024, 3, bounded(4, 8), bounded(0, 24), bounded(0, 60),
                                   bounded(0, 60), chance(3) ? bounded(0, 1000) : 0);
    }

    QString value()
    {
        const QString number = QString::number(bounded(-500, 5000) / 8.0);
        return chance(8) ? QStringLiteral(" %1 ").arg(number) : number;
    }

    // Readings in random order; in every other site a few values that cannot be stored.
    void writeReadings()
    {
        std::vector<std::pair<std::pair<int, int>, Value>> readings;
        for (const auto &key : m_keys)
            for (int i = bounded(0, 10); i > 0; --i)
                readings.push_back({key, value()});
        for (int bad = chance(2) ? 3 : 0; bad > 0 && !readings.empty(); --bad) {
            const std::vector<Value> unstorable{Value::null(),
                                                QStringLiteral("2,5"),
                                                QStringLiteral(""),
                                                QStringLiteral("$5"),
                                                QStringLiteral("NaN"),
                                                QStringLiteral("-Infinity"),
                                                QString(300, QLatin1Char('7'))};
            readings[std::size_t(bounded(0, int(readings.size())))].second =
                unstorable[std::size_t(bounded(0, int(unstorable.size())))];
        }
        for (std::size_t i = readings.size(); i > 1; --i)
            std::swap(readings[i - 1], readings[std::size_t(bounded(0, int(i)))]);
        for (const auto &[key, data] : readings)
            m_db.source().Execute(
                QStringLiteral("INSERT INTO %1 (SensorType, TrainNumber, Data, "
                               "TimeDate) VALUES (?, ?, ?, ?)")
                    .arg(dataTable()),
                {std::int32_t{key.first}, std::int32_t{key.second}, data, stamp()});
    }

    test::DemoDatabases &m_db;
    QRandomGenerator m_random;
    int m_id;
    std::vector<int> m_trains;
    std::vector<std::pair<int, int>> m_keys; // sensor type, train
    std::map<int, int> m_numericIds;         // SensorID -> the sensor type of its first sensor
    int m_lastId = 100;
};

QJsonObject parsed(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << json.toStdString();
    return document.object();
}

std::map<QString, QJsonObject> byKey(const QJsonValue &array)
{
    std::map<QString, QJsonObject> result;
    for (const QJsonValue &v : array.toArray())
        result[v.toObject()[QStringLiteral("readingKey")].toString()] = v.toObject();
    return result;
}

QStringList sensorsOf(const QJsonValue &array)
{
    QStringList result;
    for (const QJsonValue &v : array.toArray())
        result << v.toObject()[QStringLiteral("description")].toString();
    return result;
}

std::string text(const QJsonValue &v)
{
    return QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact).toStdString();
}

void expectSameFields(const QJsonObject &preview, const QJsonObject &report,
                      const QStringList &fields, const QString &where)
{
    for (const QString &field : fields)
        EXPECT_EQ(text(preview[field]), text(report[field]))
            << where.toStdString() << ": " << field.toStdString();
}

// Compares the variables and the data of the preview and of the report, key by key, and notes
// what the site met.
// Where "Variables" made a second variable of a VARNUM that one made before holds, the
// facility's look-up by VARNUM has no order: the server may give either, and a PostgreSQL heap
// that reuses freed space gives the newer one now and then. Such keys are compared without
// their varId.
void expectPreviewIsImport(const QJsonObject &preview, const QJsonObject &report,
                           const std::set<int> &sharedVarIds, Seen &seen)
{
    const QJsonObject pv = preview[QStringLiteral("variables")].toObject();
    const QJsonObject rv = report[QStringLiteral("variables")].toObject();
    for (const char *list : {"created", "existing", "failed"}) {
        EXPECT_EQ(sensorsOf(pv[QLatin1String(list)]).join(", ").toStdString(),
                  sensorsOf(rv[QLatin1String(list)]).join(", ").toStdString())
            << list;
        if (!pv[QLatin1String(list)].toArray().isEmpty())
            seen.insert(QStringLiteral("variables ") + QLatin1String(list));
    }

    const QJsonObject p = preview[QStringLiteral("data")].toObject();
    const QJsonObject r = report[QStringLiteral("data")].toObject();
    expectSameFields(p, r, {"total", "written", "passedOver", "succeeded"}, "data");
    const QJsonObject pf = p[QStringLiteral("failure")].toObject();
    const QJsonObject rf = r[QStringLiteral("failure")].toObject();
    expectSameFields(pf, rf, {"readingKey", "timeStamp", "value", "position", "stored", "reason"},
                     "failure");
    if (!pf.isEmpty()) {
        EXPECT_FALSE(rf[QStringLiteral("reason")].toString().isEmpty());
        seen.insert(QStringLiteral("failure"));
    }

    const auto pVariables = byKey(p[QStringLiteral("perVariable")]);
    const auto rVariables = byKey(r[QStringLiteral("perVariable")]);
    ASSERT_EQ(pVariables.size(), rVariables.size());
    for (const auto &[key, pk] : pVariables) {
        ASSERT_EQ(rVariables.count(key), 1u) << key.toStdString();
        const QJsonObject &rk = rVariables.at(key);
        expectSameFields(pk, rk, {"sensorId", "count", "first", "last"}, key);
        if (pk[QStringLiteral("newVariable")].toBool()) {
            seen.insert(QStringLiteral("new variable"));
        } else if (sharedVarIds.count(pk[QStringLiteral("varId")].toInt()) == 0) {
            EXPECT_EQ(pk[QStringLiteral("varId")], rk[QStringLiteral("varId")])
                << key.toStdString();
        }
    }
    const auto pPassed = byKey(p[QStringLiteral("passedOverByKey")]);
    const auto rPassed = byKey(r[QStringLiteral("passedOverByKey")]);
    ASSERT_EQ(pPassed.size(), rPassed.size());
    for (const auto &[key, pk] : pPassed) {
        ASSERT_EQ(rPassed.count(key), 1u) << key.toStdString();
        expectSameFields(pk, rPassed.at(key), {"sensorId", "reason", "count", "first", "last"},
                         key);
        // "duplicate SensorID 105" and "SensorID 40000 out of range" as kinds of reasons
        static const QRegularExpression id(QStringLiteral("SensorID (?!Null)\\S+"));
        seen.insert(
            pk[QStringLiteral("reason")].toString().replace(id, QStringLiteral("SensorID")));
    }
}

TEST(PreviewIsImport, ForGeneratedSites)
{
    test::DemoDatabases db;
    Seen seen;
    for (quint32 seed = 1; seed <= sites; ++seed) {
        SCOPED_TRACE("site of seed " + std::to_string(seed));
        GeneratedSite site(db, seed);
        site.write();
        site.prepareFacility();
        QStringList choices{"--site",  site.id(), "--facility", facility, "--data",
                            "--start", start,     "--end",      end};
        if (site.chance(2))
            choices << QStringLiteral("--variables");

        QString out;
        QString err;
        db.runBatch(choices + QStringList{"--preview", "--format", "json"}, &out, &err);
        const QJsonObject preview = parsed(out.toUtf8());
        const QString reportPath = db.filePath(QStringLiteral("report.json"));
        db.runBatch(choices + QStringList{"--report", reportPath});
        QFile report(reportPath);
        ASSERT_TRUE(report.open(QIODevice::ReadOnly)) << err.toStdString();
        expectPreviewIsImport(preview, parsed(report.readAll()), site.sharedVarIds(), seen);
    }
    for (const char *met : {"variables created", "variables existing", "variables failed",
                            "failure", "new variable", "no variable", "no sensor",
                            "duplicate SensorID", "SensorID Null", "SensorID out of range"})
        EXPECT_TRUE(seen.contains(QLatin1String(met))) << "no site met " << met;
}

} // namespace
