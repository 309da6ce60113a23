#include "import/ReadingPlan.h"

#include "import/SourceText.h"
#include "platform/Error.h"

#include <QStringList>
#include <algorithm>
#include <limits>
#include <unordered_map>

namespace zarn {

namespace {

const QString noVariableReason = QStringLiteral("no variable");
const QString noSensorReason = QStringLiteral("no sensor");

bool isPositiveNumber(const Value &v)
{
    return !v.isNull() && !v.isEmpty() && v.isNumeric() && v.toDouble() > 0;
}

std::optional<std::int16_t> sixteenBitId(const Value &v)
{
    try {
        return v.toInt16();
    } catch (const Error &) {
        return std::nullopt;
    }
}

// Says which sensors share a SensorID: one variable cannot tell their readings apart.
void reportSharedIds(const std::vector<SourceSensor> &sensors,
                     const std::unordered_map<std::int16_t, int> &holders, UserInterface &notes)
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
        notes.reportDetail(QStringLiteral("SensorID %1 is held by the sensors %2: the readings of "
                                          "neither are imported.")
                               .arg(id)
                               .arg(names[id].join(QStringLiteral(" and "))));
}

} // namespace

std::vector<SourceSensor> readSourceSensors(dal::Recordset &sensors)
{
    std::vector<SourceSensor> result;
    const long count = sensors.RecordCount();
    if (count <= 0)
        return result;
    const dal::Field &sensorType = sensors.Fields(QStringLiteral("SensorType"));
    const dal::Field &trainNumber = sensors.Fields(QStringLiteral("TrainNumber"));
    const dal::Field &sensorId = sensors.Fields(QStringLiteral("SensorID"));
    const dal::Field &description = sensors.Fields(QStringLiteral("Description"));
    for (long i = 0; i < count; ++i) {
        result.push_back({readingKey(sensorType.Value(), trainNumber.Value()),
                          sixteenBitId(sensorId.Value()), asRead(sensorId.Value()),
                          description.Value().toTextOrEmpty()});
        sensors.MoveNext();
    }
    sensors.Close();
    return result;
}

std::optional<MappedVariable> facilityVariable(dal::Connection &facility, std::int16_t sensorId)
{
    dal::Recordset rs = facility.Execute(
        QStringLiteral("select VARID from vardesc where VARNUM='%1'").arg(sensorId));
    const Value varId = rs.Eof() ? Value::null() : rs.Fields(0).Value();
    if (!isPositiveNumber(varId))
        return std::nullopt;
    return MappedVariable{varId.toInt32(), false};
}

ReadingPlan::ReadingPlan(HashTable &map, DataTally &tally) : m_map(map), m_tally(tally) {}

void ReadingPlan::routeSensors(const std::vector<SourceSensor> &sensors,
                               const VariableLookUp &lookUp, UserInterface &notes)
{
    if (!sensors.empty())
        m_map.SetSize(static_cast<std::int32_t>(std::min<std::size_t>(
                          4 * sensors.size(), std::numeric_limits<std::int32_t>::max())),
                      0, 0);
    std::unordered_map<std::int16_t, int> holders;
    for (const SourceSensor &s : sensors) {
        if (s.id)
            ++holders[*s.id];
    }
    reportSharedIds(sensors, holders, notes);

    struct Unmapped
    {
        const SourceSensor *sensor;
        QString reason;
    };
    std::vector<Unmapped> unmapped; // routed last: a later sensor of the key may have a variable
    for (const SourceSensor &s : sensors) {
        if (holds(s.key))
            continue;
        if (!s.id) {
            unmapped.push_back(
                {&s, s.idText == QLatin1String("Null")
                         ? QStringLiteral("SensorID Null")
                         : QStringLiteral("SensorID %1 out of range").arg(s.idText)});
            notes.reportDetail(QStringLiteral("The sensor %1 has the SensorID %2, which no "
                                              "variable can have: its readings are passed over.")
                                   .arg(s.name(), s.idText));
            continue;
        }
        const std::optional<MappedVariable> variable = lookUp(*s.id);
        if (!variable)
            unmapped.push_back({&s, noVariableReason});
        else if (holders.at(*s.id) > 1)
            addPassedOver(s.key, QStringLiteral("duplicate SensorID %1").arg(*s.id), s.idText);
        else
            addVariable(s.key, *variable, s.idText);
    }
    for (const Unmapped &u : unmapped) {
        if (!holds(u.sensor->key))
            addPassedOver(u.sensor->key, u.reason, u.sensor->idText);
    }
}

ReadingRoute ReadingPlan::route(const QString &key)
{
    const Value route = m_map.item(key);
    return route.isEmpty() ? addPassedOver(key, noSensorReason) : ReadingRoute(route.toInt32());
}

const VariableReadings &ReadingPlan::variable(ReadingRoute route) const
{
    return m_tally.perVariable[static_cast<std::size_t>(route.m_index)];
}

const PassedOverReadings &ReadingPlan::passedOver(ReadingRoute route) const
{
    return m_tally.passedOver[static_cast<std::size_t>(-1 - route.m_index)];
}

void ReadingPlan::countStored(ReadingRoute route, DateTime stamp)
{
    VariableReadings &v = m_tally.perVariable[static_cast<std::size_t>(route.m_index)];
    if (v.count++ == 0)
        v.first = v.last = stamp;
    v.first = std::min(v.first, stamp);
    v.last = std::max(v.last, stamp);
}

void ReadingPlan::countPassedOver(ReadingRoute route, std::optional<DateTime> stamp)
{
    PassedOverReadings &p = m_tally.passedOver[static_cast<std::size_t>(-1 - route.m_index)];
    ++p.count;
    if (!stamp)
        return;
    p.first = p.first ? std::min(*p.first, *stamp) : *stamp;
    p.last = p.last ? std::max(*p.last, *stamp) : *stamp;
}

void ReadingPlan::addVariable(const QString &key, const MappedVariable &variable,
                              const QString &sensorId)
{
    m_map.Add(key, static_cast<std::int32_t>(m_tally.perVariable.size()));
    VariableReadings readings;
    readings.readingKey = key;
    readings.varId = variable.varId;
    readings.newVariable = variable.isNew;
    readings.sensorId = sensorId;
    m_tally.perVariable.push_back(readings);
}

ReadingRoute ReadingPlan::addPassedOver(const QString &key, const QString &reason,
                                        const QString &sensorId)
{
    const auto index = static_cast<std::int32_t>(-1 - std::ssize(m_tally.passedOver));
    m_map.Add(key, index);
    PassedOverReadings passedOver;
    passedOver.readingKey = key;
    passedOver.reason = reason;
    passedOver.sensorId = sensorId;
    m_tally.passedOver.push_back(passedOver);
    return ReadingRoute(index);
}

} // namespace zarn
