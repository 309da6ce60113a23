#include "facility/DataDDInt.h"
#include "import/GroupedWriter.h"
#include "import/Importer.h"
#include "import/SourceText.h"
#include "platform/Error.h"

#include <QStringList>
#include <algorithm>
#include <chrono>
#include <exception>
#include <limits>
#include <unordered_map>

namespace zarn {

namespace {

using Clock = std::chrono::steady_clock;

const QString dataAuditUser = QStringLiteral("VT2ZRANS");
const QString noVariableReason = QStringLiteral("no variable");
const QString noSensorReason = QStringLiteral("no sensor");

QString serverText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const DatabaseError &e) {
        return e.description();
    } catch (...) {
        return QString();
    }
}

// The columns of a record set of readings or sensors, found by name once.
struct SourceColumns
{
    explicit SourceColumns(dal::Recordset &rs)
        : sensorType(rs.Fields(QStringLiteral("SensorType"))),
          trainNumber(rs.Fields(QStringLiteral("TrainNumber")))
    {}
    QString key() const { return readingKey(sensorType.Value(), trainNumber.Value()); }

    dal::Field &sensorType;
    dal::Field &trainNumber;
};

bool isPositiveNumber(const Value &v)
{
    return !v.isNull() && !v.isEmpty() && v.isNumeric() && v.toDouble() > 0;
}

// One row of the sensors table, as far as the variable map needs it.
struct SourceSensor
{
    QString key;
    std::optional<std::int16_t> id; // none when the SensorID is Null or fits no 16-bit number
    QString idText;                 // as read
    QString description;

    QString name() const { return QStringLiteral("%1 (%2)").arg(key, description); }
};

std::optional<std::int16_t> sixteenBitId(const Value &v)
{
    try {
        return v.toInt16();
    } catch (const Error &) {
        return std::nullopt;
    }
}

std::vector<SourceSensor> readSensors(dal::Recordset &sensors)
{
    std::vector<SourceSensor> result;
    const long count = sensors.RecordCount();
    if (count <= 0)
        return result;
    const SourceColumns columns(sensors);
    const dal::Field &sensorId = sensors.Fields(QStringLiteral("SensorID"));
    const dal::Field &description = sensors.Fields(QStringLiteral("Description"));
    for (long i = 0; i < count; ++i) {
        result.push_back({columns.key(), sixteenBitId(sensorId.Value()), asRead(sensorId.Value()),
                          description.Value().toTextOrEmpty()});
        sensors.MoveNext();
    }
    sensors.Close();
    return result;
}

// The VARID of the variable whose VARNUM is the sensor's id, or Null when there is none. Unlike
// GetFirstValue, a look-up that fails raises: readings must never be passed over because the
// facility could not be asked.
Value lookUpVariable(dal::Connection &facility, std::int16_t sensorId)
{
    dal::Recordset rs = facility.Execute(
        QStringLiteral("select VARID from vardesc where VARNUM='%1'").arg(sensorId));
    return rs.Eof() ? Value::null() : rs.Fields(0).Value();
}

// Where the readings of each reading key go, kept in the importer's hash table. A key's value is
// the index of its entry in the tally: of its variable (0, 1, ...) or of its passed-over readings
// (-1, -2, ...), so that a reading costs one look-up, its counting included.
class ReadingRoutes
{
public:
    ReadingRoutes(HashTable &map, DataTally &tally) : m_map(map), m_tally(tally) {}

    bool holds(const QString &key) const { return m_map.Exists(key); }

    void addVariable(const QString &key, std::int32_t varId, const QString &sensorId)
    {
        m_map.Add(key, static_cast<std::int32_t>(m_tally.perVariable.size()));
        VariableReadings readings;
        readings.readingKey = key;
        readings.varId = varId;
        readings.sensorId = sensorId;
        m_tally.perVariable.push_back(readings);
    }

    std::int32_t addPassedOver(const QString &key, const QString &reason,
                               const QString &sensorId = QString())
    {
        const auto route = static_cast<std::int32_t>(-1 - std::ssize(m_tally.passedOver));
        m_map.Add(key, route);
        PassedOverReadings passedOver;
        passedOver.readingKey = key;
        passedOver.reason = reason;
        passedOver.sensorId = sensorId;
        m_tally.passedOver.push_back(passedOver);
        return route;
    }

    // A key that no sensor has is passed over from its first reading on.
    std::int32_t route(const QString &key)
    {
        const Value route = m_map.item(key);
        return route.isEmpty() ? addPassedOver(key, noSensorReason) : route.toInt32();
    }

    static bool isVariable(std::int32_t route) { return route >= 0; }
    VariableReadings &variable(std::int32_t route) { return m_tally.perVariable[route]; }
    PassedOverReadings &passedOver(std::int32_t route) { return m_tally.passedOver[-1 - route]; }

private:
    HashTable &m_map;
    DataTally &m_tally;
};

// Says which sensors share a SensorID: one variable cannot tell their readings apart.
void reportSharedIds(const std::vector<SourceSensor> &sensors,
                     const std::unordered_map<std::int16_t, int> &holders, UserInterface &ui)
{
    std::unordered_map<std::int16_t, QStringList> names;
    std::vector<std::int16_t> order;
    for (const SourceSensor &s : sensors) {
        if (!s.id || holders.at(*s.id) < 2)
            continue;
        if (names[*s.id].isEmpty())
            order.push_back(*s.id);
        names[*s.id].append(s.name());
    }
    for (const std::int16_t id : order)
        ui.reportDetail(QStringLiteral("SensorID %1 is held by the sensors %2: the readings of "
                                       "neither are imported.")
                            .arg(id)
                            .arg(names[id].join(QStringLiteral(" and "))));
}

// Routes each sensor's reading key, in the sensors' order. The first sensor of a key that has a
// variable takes the key, as before; but when its SensorID is shared with another sensor, the
// key's readings are passed over. A sensor whose SensorID fits no variable has none.
void routeSensors(ReadingRoutes &routes, const std::vector<SourceSensor> &sensors,
                  dal::Connection &facility, UserInterface &ui)
{
    std::unordered_map<std::int16_t, int> holders;
    for (const SourceSensor &s : sensors) {
        if (s.id)
            ++holders[*s.id];
    }
    reportSharedIds(sensors, holders, ui);

    struct Unmapped
    {
        const SourceSensor *sensor;
        QString reason;
    };
    std::vector<Unmapped> unmapped; // routed last: a later sensor of the key may have a variable
    for (const SourceSensor &s : sensors) {
        if (routes.holds(s.key))
            continue;
        if (!s.id) {
            unmapped.push_back(
                {&s, s.idText == QLatin1String("Null")
                         ? QStringLiteral("SensorID Null")
                         : QStringLiteral("SensorID %1 out of range").arg(s.idText)});
            ui.reportDetail(QStringLiteral("The sensor %1 has the SensorID %2, which no variable "
                                           "can have: its readings are passed over.")
                                .arg(s.name(), s.idText));
            continue;
        }
        const Value varId = lookUpVariable(facility, *s.id);
        if (!isPositiveNumber(varId))
            unmapped.push_back({&s, noVariableReason});
        else if (holders.at(*s.id) > 1)
            routes.addPassedOver(s.key, QStringLiteral("duplicate SensorID %1").arg(*s.id),
                                 s.idText);
        else
            routes.addVariable(s.key, varId.toInt32(), s.idText);
    }
    for (const Unmapped &u : unmapped) {
        if (!routes.holds(u.sensor->key))
            routes.addPassedOver(u.sensor->key, u.reason, u.sensor->idText);
    }
}

// Says when the progress bar and the window's events are due: at most once per interval, and
// after every reading when the interval is zero.
class ProgressClock
{
public:
    explicit ProgressClock(std::chrono::milliseconds interval)
        : m_interval(interval), m_last(Clock::now())
    {}

    bool due()
    {
        if (m_interval.count() <= 0)
            return true;
        const Clock::time_point now = Clock::now();
        if (now - m_last < m_interval)
            return false;
        m_last = now;
        return true;
    }

private:
    std::chrono::milliseconds m_interval;
    Clock::time_point m_last;
};

// The written count that the bar last moved to when it was moved after every reading: the bar
// moves only while fewer than all readings are written, so with all of them written it stands
// where the last but one left it.
std::int64_t lastCountShown(std::int64_t written, std::int64_t total)
{
    return written < total ? written : total - 1;
}

// A reading handed to the writer, kept until the writer has stored it: it is counted for its
// variable then, and named when the writer fails on it.
struct HandedReading
{
    std::int64_t position; // 1-based, in the source's order
    std::int32_t route;
    DateTime stamp;
    QString value;
};

// Where the readings go and how the run is shown while they do.
struct ReadingTarget
{
    Importer &importer; // moves the progress bar
    UserInterface &ui;
    DataDDInt &store;
    dal::Connection &facility;
    ReadingRoutes &routes;
    DataTally &tally;
    std::chrono::milliseconds progressInterval;
};

// Writes each of the readings whose sensor has a variable, in the order the source gives them.
class ReadingWriter
{
public:
    ReadingWriter(const ReadingTarget &target, dal::Recordset &readings)
        : m_target(target), m_writer(target.store, target.facility), m_columns(readings),
          m_data(readings.Fields(QStringLiteral("Data"))),
          m_timeDate(readings.Fields(QStringLiteral("TimeDate")))
    {}

    // Returns how many were written. On a failure the readings before the failing one are
    // stored, the failure is kept in the tally and raised.
    std::int32_t writeAll(dal::Recordset &readings, std::int64_t total)
    {
        ProgressClock progress(m_target.progressInterval);
        try {
            for (std::int64_t i = 0; i < total; ++i) {
                writeCurrent(i + 1);
                moveNext(readings, i + 2);
                m_writer.commitIfDue();
                countStored();
                if (progress.due())
                    showProgress(i + 1, total);
            }
            m_writer.finish();
            countStored();
        } catch (...) {
            m_writer.finishQuietly();
            countStored();
            keepFailure(std::current_exception());
            throw;
        }
        showFinalProgress(total);
        return m_written;
    }

private:
    void moveNext(dal::Recordset &readings, std::int64_t position)
    {
        m_position = position;
        m_onRow = false;
        readings.MoveNext();
        m_onRow = true;
    }

    void writeCurrent(std::int64_t position)
    {
        const std::int32_t route = m_target.routes.route(m_columns.key());
        if (!ReadingRoutes::isVariable(route)) {
            ++m_target.routes.passedOver(route).count;
            return;
        }
        const DateTime stamp = m_timeDate.Value().toDateTime();
        PendingWrite write{m_target.store.GetSlotStartDateTime(stamp), stamp,
                           m_target.routes.variable(route).varId, m_data.Value().toDouble(),
                           m_data.Value().toText()};
        m_handed.push_back({position, route, stamp, write.text});
        m_writer.write(std::move(write));
        ++m_written;
    }

    // Counts the readings that the writer has stored since the last call for their variables.
    void countStored()
    {
        const auto stored = static_cast<std::size_t>(m_writer.stored() - m_storedBefore);
        if (stored == 0)
            return;
        for (std::size_t k = 0; k < stored; ++k) {
            const HandedReading &h = m_handed[k];
            VariableReadings &v = m_target.routes.variable(h.route);
            if (v.count++ == 0)
                v.first = v.last = h.stamp;
            v.first = std::min(v.first, h.stamp);
            v.last = std::max(v.last, h.stamp);
        }
        m_handed.erase(m_handed.begin(), m_handed.begin() + static_cast<std::ptrdiff_t>(stored));
        m_storedBefore = m_writer.stored();
        m_target.tally.written = m_storedBefore;
    }

    // The failing reading is the first handed one that was not stored, or the one being read.
    void keepFailure(std::exception_ptr error)
    {
        ReadingFailure failure;
        failure.stored = m_writer.stored();
        failure.serverText = serverText(error);
        if (!m_handed.empty()) {
            const HandedReading &h = m_handed.front();
            failure.position = h.position;
            failure.readingKey = m_target.routes.variable(h.route).readingKey;
            failure.timeStamp = h.stamp.toIsoText();
            failure.value = h.value;
        } else {
            failure.position = m_position;
            if (m_onRow) {
                failure.readingKey = m_columns.key();
                failure.timeStamp = asRead(m_timeDate.Value());
                failure.value = asRead(m_data.Value());
            }
        }
        m_target.ui.reportDetail(
            QStringLiteral("The data import stopped at reading %1 of %2 (sensor %3, time stamp "
                           "%4, value %5): %6. %7 readings before it were stored.")
                .arg(failure.position)
                .arg(m_target.tally.total)
                .arg(failure.readingKey, failure.timeStamp, failure.value, describedError(error))
                .arg(failure.stored));
        m_target.tally.failure = failure;
    }

    void showProgress(std::int64_t done, std::int64_t total)
    {
        m_target.importer.UpdateProgress(m_written, static_cast<double>(total));
        m_target.ui.setProgressCount(done, total);
        m_target.ui.processEvents();
    }

    // The bar ends where it would stand had it moved after every reading.
    void showFinalProgress(std::int64_t total)
    {
        m_target.importer.UpdateProgress(static_cast<double>(lastCountShown(m_written, total)),
                                         static_cast<double>(total));
        m_target.ui.setProgressCount(total, total);
        m_target.ui.processEvents();
    }

    const ReadingTarget &m_target;
    GroupedWriter m_writer;
    const SourceColumns m_columns;
    const dal::Field &m_data;
    const dal::Field &m_timeDate;
    std::vector<HandedReading> m_handed; // handed to the writer and not yet stored, in order
    std::int64_t m_storedBefore = 0;
    std::int64_t m_position = 1; // of the reading the record set stands on
    bool m_onRow = true;
    std::int32_t m_written = 0;
};

} // namespace

bool Importer::ImportData(DateTime StartDate, DateTime EndDate, const QString &VantrelID,
                          const QString & /*FacilityName*/, const QString & /*FacilityFileName*/)
{
    m_tally.data = DataTally();
    DataTally &tally = m_tally.data;
    tally.ran = true;
    const QString dataTable = GetDataTableName(VantrelID);
    if (dataTable.isEmpty())
        return false;
    try {
        // The sensors are read before the readings' stream opens, so that the source connection
        // never has two statements open: some drivers allow one active statement only.
        m_variableMap = HashTable();
        ReadingRoutes routes(m_variableMap, tally);
        const QString sensorsTable = GetSensorsTableName(VantrelID);
        if (!sensorsTable.isEmpty()) {
            dal::Recordset sensorRows = GetSensorDefinitions(sensorsTable);
            const std::vector<SourceSensor> sensors = readSensors(sensorRows);
            if (!sensors.empty())
                m_variableMap.SetSize(
                    static_cast<std::int32_t>(std::min<std::size_t>(
                        4 * sensors.size(), std::numeric_limits<std::int32_t>::max())),
                    0, 0);
            routeSensors(routes, sensors, *m_pelkConn, m_ui);
        }

        dal::Recordset readings = GetDataRows(StartDate, EndDate, dataTable);
        const long total = readings.RecordCount();
        tally.total = std::max<long>(total, 0);
        if (total <= 0) {
            tell(QStringLiteral("This site has no data for the date ranges that you chose"),
                 MessageIcon::None);
            readings.Close();
            tally.succeeded = true;
            return true;
        }

        m_ui.setProgressMax(100);
        m_ui.setProgressValue(0);
        m_ui.setProgressVisible(true);
        if (!m_dataStore)
            m_dataStore = std::make_unique<DataDDInt>();
        m_dataStore->Init(*m_pelkConn, dataAuditUser);
        m_dataStore->ConnectTo(1440);
        m_ui.processEvents();

        const ReadingTarget target{*this,  m_ui,  *m_dataStore,      *m_pelkConn,
                                   routes, tally, m_progressInterval};
        const std::int32_t written = ReadingWriter(target, readings).writeAll(readings, total);

        tell(QStringLiteral("Inserted %1 data records into ZARN database.").arg(written),
             MessageIcon::None);
        m_ui.setProgressVisible(false);
        readings.Close();
        tally.succeeded = true;
        return true;
    } catch (...) {
        if (!tally.failure) {
            // Before the first reading: the map, the readings' count or the store's set-up.
            const QString text = describedError(std::current_exception());
            tally.failure = ReadingFailure{};
            tally.failure->serverText = serverText(std::current_exception());
            m_ui.reportDetail(QStringLiteral("The data import failed before its first reading: "
                                             "%1")
                                  .arg(text));
        }
        tell(QStringLiteral("Program was unable to import the data into ZARN"),
             MessageIcon::Exclamation);
        return false;
    }
}

} // namespace zarn
