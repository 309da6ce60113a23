#include "import/ImportPreview.h"

#include "facility/SlotArithmetic.h"
#include "import/Importer.h"
#include "import/LocationPlan.h"
#include "import/SourceText.h"
#include "import/UserDefinedCaptions.h"
#include "import/VariableRule.h"
#include "platform/Error.h"
#include "platform/dal/ReadSnapshot.h"
#include "platform/dal/Recordset.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <set>
#include <utility>

namespace zarn {

namespace {

constexpr std::int32_t minutesInDay = 1440;

Value columnOr(dal::Recordset &rs, const QString &column, const Value &fallback)
{
    const Value &v = rs.Fields(column).Value();
    return v.isNull() ? fallback : v;
}

// Runs one conversion of a column, naming the column in the error it raises.
template <typename Conversion> auto convert(const QString &column, Conversion conversion)
{
    try {
        return conversion();
    } catch (const Error &e) {
        throw Error(e.number(), column + QStringLiteral(": ") + e.description());
    }
}

// The fields of a sensor row that decide where its variable goes.
struct SourceSensor
{
    std::int16_t sensorId = 0;
    std::int16_t sensorType = 0;
    QString locationKey;
};

// Reads the current row as the sensor record builder does, every column converted as it
// converts it; raises the first conversion that fails, naming its column.
SourceSensor readSensor(dal::Recordset &rs)
{
    SourceSensor s;
    auto int16Of = [&](const char *column, const Value &fallback) {
        const QString name = QLatin1String(column);
        return convert(name, [&] {
            return (fallback.isEmpty() ? rs.Fields(name).Value() : columnOr(rs, name, fallback))
                .toInt16();
        });
    };
    s.sensorId = int16Of("SensorID", Value());
    s.sensorType = int16Of("SensorType", Value());
    s.locationKey = convert(QStringLiteral("TrainNumber"), [&] {
        const QString train = columnOr(rs, QStringLiteral("TrainNumber"), "1").toText();
        const std::optional<double> number = parseNumber(train);
        if (!number)
            throw typeMismatch();
        return *number < 10 ? QStringLiteral("0") + train : train;
    });
    for (const char *column : {"Description", "Units", "DataType"})
        convert(QLatin1String(column),
                [&] { return columnOr(rs, QLatin1String(column), "").toText(); });
    for (const char *column : {"HiHi", "Hi", "Lo", "LoLo", "MaxDisplay", "MinDisplay"})
        convert(QLatin1String(column),
                [&] { return columnOr(rs, QLatin1String(column), 0.0).toDouble(); });
    int16Of("DisplayOrder", std::int16_t{1});
    convert(QStringLiteral("Virtual"),
            [&] { return rs.Fields(QStringLiteral("Virtual")).Value().toBool(); });
    return s;
}

// A sensor row as the tally shows it: its columns' texts as the source gives them.
SensorEntry describeSensor(dal::Recordset &rs)
{
    auto text = [&](const char *column) {
        return rs.Fields(QLatin1String(column)).Value().toTextOrEmpty();
    };
    return SensorEntry{text("SensorID"),    text("SensorType"), text("TrainNumber"),
                       text("Description"), QString(),          0};
}

// Where the readings of one reading key would go.
struct KeyTarget
{
    QString sensorId;
    std::int32_t varId = 0;
    bool newVariable = false;
    QString reason; // why its readings are passed over

    bool mapped() const { return varId > 0 || newVariable; }
};

// The readings of one reading key.
struct KeyCount
{
    std::int64_t count = 0;
    std::optional<DateTime> first;
    std::optional<DateTime> last;
    std::vector<std::int64_t> slotStarts; // one-minute slot starts, in minutes

    void add(std::optional<DateTime> stamp)
    {
        ++count;
        if (!stamp)
            return;
        first = first ? std::min(*first, *stamp) : *stamp;
        last = last ? std::max(*last, *stamp) : *stamp;
        const DateTime slot = slot::slotStart(*stamp, minutesInDay);
        slotStarts.push_back(std::llround(slot.days() * minutesInDay));
    }
    std::int64_t distinctSlots()
    {
        std::sort(slotStarts.begin(), slotStarts.end());
        return std::unique(slotStarts.begin(), slotStarts.end()) - slotStarts.begin();
    }
};

class PreviewRun
{
public:
    PreviewRun(UserInterface &notes, dal::Connection &source, dal::Connection &facility,
               dal::Connection &root, const PreviewRequest &request)
        : m_notes(notes), m_source(source), m_facility(facility), m_importer(notes, 0),
          m_request(request)
    {
        m_importer.Init(source, facility, root, QString());
    }

    ImportTally run()
    {
        const dal::ReadSnapshot snapshot(m_facility);
        if (m_request.variables) {
            previewLocations();
            previewVariables();
            previewCaptions();
        }
        if (m_request.data)
            previewData();
        return m_tally;
    }

private:
    // Runs a step's reads; a failure marks the step as not succeeded and is told as a detail.
    template <typename Step> void guarded(const QString &stepName, bool &succeeded, Step step)
    {
        try {
            step();
        } catch (const Error &e) {
            succeeded = false;
            m_notes.reportDetail(stepName + QStringLiteral(": ") + e.description());
        }
    }

    void previewLocations()
    {
        LocationTally &t = m_tally.locations;
        t.ran = true;
        guarded(QStringLiteral("Locations"), t.succeeded, [&] {
            LocationPlan plan = m_importer.PlanLocations(m_request.siteId);
            t.kept = std::move(plan.kept);
            t.added = std::move(plan.added);
            t.removed = std::move(plan.removed);
            t.succeeded = true;
        });
        for (const LocationEntry &kept : t.kept)
            m_keptLocations.emplace(kept.key, static_cast<std::int16_t>(kept.locId));
        for (const LocationEntry &added : t.added)
            m_addedLocations.insert(added.key);
    }

    void previewVariables()
    {
        VariableTally &t = m_tally.variables;
        t.ran = true;
        if (!m_tally.locations.succeeded) {
            m_notes.reportDetail(QStringLiteral("Variables: none is created when the locations "
                                                "cannot be written"));
            return;
        }
        const QString sensorsTable = m_importer.GetSensorsTableName(m_request.siteId);
        if (sensorsTable.isEmpty())
            return;
        guarded(QStringLiteral("Variables"), t.succeeded, [&] {
            dal::Recordset sensors = m_importer.GetSensorDefinitions(sensorsTable);
            if (!sensors.isOpen())
                return;
            for (; !sensors.Eof(); sensors.MoveNext())
                previewVariable(sensors, t);
            t.succeeded = true;
        });
    }

    // Files the sensor of the current row as created, existing or failed, as the variable
    // import would after the locations step.
    void previewVariable(dal::Recordset &sensors, VariableTally &t)
    {
        SensorEntry entry = describeSensor(sensors);
        SourceSensor sensor;
        try {
            sensor = readSensor(sensors);
        } catch (const Error &e) {
            entry.reason = e.description();
            t.failed.push_back(entry);
            return;
        }
        // A train that the locations step adds has a new LocID, under which nothing exists yet;
        // a key that no location has files the variable under LocID 1.
        const bool newLocation = m_addedLocations.contains(sensor.locationKey);
        const auto kept = m_keptLocations.find(sensor.locationKey);
        const std::int16_t locId = kept != m_keptLocations.end() ? kept->second : 1;
        entry.locId = newLocation ? 0 : locId; // a new location has no LocID yet
        const QString where =
            newLocation ? QStringLiteral("new ") + sensor.locationKey : QString::number(locId);
        if (m_madeInRun.contains({where, sensor.sensorType})) {
            entry.reason = QStringLiteral("a sensor before it has the same location and type");
            t.existing.push_back(entry);
        } else if (!newLocation && variableExists(m_facility, locId, sensor.sensorType)) {
            entry.reason = QStringLiteral("the facility has a variable of LocID %1 and type %2")
                               .arg(locId)
                               .arg(sensor.sensorType);
            t.existing.push_back(entry);
        } else {
            t.created.push_back(entry);
            m_madeInRun.insert({where, sensor.sensorType});
            m_createdSensorIds.insert(sensor.sensorId);
        }
    }

    void previewCaptions()
    {
        CaptionTally &t = m_tally.captions;
        t.ran = true;
        guarded(QStringLiteral("Captions"), t.succeeded, [&] {
            dal::Recordset rs;
            rs.Open(QStringLiteral("UDCaps"), m_facility, dal::adOpenStatic, dal::adLockReadOnly,
                    dal::adCmdTable);
            for (const auto &[field, caption] : userDefinedCaptions()) {
                if (rs.Eof()) {
                    m_notes.reportDetail(QStringLiteral("Captions: UDCaps has fewer than nine "
                                                        "rows; the step would fail at %1")
                                             .arg(field));
                    return;
                }
                const QString oldField =
                    rs.Fields(QStringLiteral("FieldName")).Value().toTextOrEmpty();
                const QString oldCaption =
                    rs.Fields(QStringLiteral("Caption")).Value().toTextOrEmpty();
                if (oldField != field || oldCaption != caption)
                    t.written.push_back(
                        {field, oldCaption, caption, oldField == field ? QString() : oldField});
                rs.MoveNext();
            }
            t.succeeded = true;
        });
    }

    void previewData()
    {
        DataTally &t = m_tally.data;
        t.ran = true;
        const QString dataTable = m_importer.GetDataTableName(m_request.siteId);
        if (dataTable.isEmpty())
            return;
        guarded(QStringLiteral("Data"), t.succeeded, [&] {
            // As the import: the sensors before the readings' stream.
            const std::map<QString, KeyTarget> targets = variableMap();
            dal::Recordset readings =
                m_importer.GetDataRows(m_request.start, m_request.end, dataTable);
            if (!readings.isOpen())
                return;
            countReadings(readings, targets, t);
            readings.Close();
            t.succeeded = !t.failure;
        });
    }

    // Each reading key's target, as the data import's variable map would hold it.
    std::map<QString, KeyTarget> variableMap()
    {
        std::map<QString, KeyTarget> targets;
        const QString sensorsTable = m_importer.GetSensorsTableName(m_request.siteId);
        if (sensorsTable.isEmpty())
            return targets;
        dal::Recordset sensors = m_importer.GetSensorDefinitions(sensorsTable);
        if (!sensors.isOpen())
            return targets;
        std::map<QString, int> idUses;
        for (; !sensors.Eof(); sensors.MoveNext())
            ++idUses[sensors.Fields(QStringLiteral("SensorID")).Value().toTextOrEmpty()];
        if (sensors.RecordCount() > 0)
            sensors.MoveFirst();
        for (; !sensors.Eof(); sensors.MoveNext()) {
            const QString key = readingKey(sensors.Fields(QStringLiteral("SensorType")).Value(),
                                           sensors.Fields(QStringLiteral("TrainNumber")).Value());
            const KeyTarget target =
                targetOf(sensors.Fields(QStringLiteral("SensorID")).Value(), idUses);
            const auto found = targets.find(key);
            if (found == targets.end())
                targets.emplace(key, target);
            else if (!found->second.mapped() && target.mapped())
                found->second = target;
        }
        return targets;
    }

    KeyTarget targetOf(const Value &sensorId, const std::map<QString, int> &idUses)
    {
        KeyTarget target;
        target.sensorId = sensorId.toTextOrEmpty();
        if (sensorId.isNull()) {
            target.reason = QStringLiteral("no SensorID");
            return target;
        }
        std::int16_t id = 0;
        try {
            id = sensorId.toInt16();
        } catch (const Error &) {
            target.reason =
                QStringLiteral("SensorID %1 is not a 16-bit number").arg(target.sensorId);
            return target;
        }
        if (idUses.at(target.sensorId) > 1) {
            target.reason = QStringLiteral("duplicate SensorID %1").arg(target.sensorId);
            return target;
        }
        dal::Recordset rs = m_facility.Execute(
            QStringLiteral("select VARID from vardesc where VARNUM=?"), {Value(id)});
        const Value varId = rs.Eof() ? Value::null() : rs.Fields(0).Value();
        if (!varId.isNull() && varId.isNumeric() && varId.toDouble() > 0)
            target.varId = varId.toInt32();
        else if (m_createdSensorIds.contains(id))
            target.newVariable = true;
        else
            target.reason = QStringLiteral("no variable");
        return target;
    }

    // Counts the readings per reading key in the source's order, up to the first one that the
    // import could not store.
    void countReadings(dal::Recordset &readings, const std::map<QString, KeyTarget> &targets,
                       DataTally &t)
    {
        std::map<QString, KeyCount> counts;
        dal::Field &sensorType = readings.Fields(QStringLiteral("SensorType"));
        dal::Field &trainNumber = readings.Fields(QStringLiteral("TrainNumber"));
        dal::Field &data = readings.Fields(QStringLiteral("Data"));
        dal::Field &timeDate = readings.Fields(QStringLiteral("TimeDate"));
        t.total = readings.RecordCount();
        for (std::int64_t i = 0; i < t.total; ++i) {
            const QString key = readingKey(sensorType.Value(), trainNumber.Value());
            const auto target = targets.find(key);
            if (target != targets.end() && target->second.mapped()) {
                try {
                    const DateTime stamp = timeDate.Value().toDateTime();
                    data.Value().toDouble();
                    data.Value().toText();
                    counts[key].add(stamp);
                    ++t.written;
                } catch (const Error &e) {
                    t.failure = ReadingFailure{
                        key,       asRead(timeDate.Value()), asRead(data.Value()), i + 1, t.written,
                        QString(), e.description()};
                    break;
                }
            } else {
                counts[key].add(stampOrNothing(timeDate.Value()));
            }
            readings.MoveNext();
        }
        for (auto &[key, count] : counts)
            fileCount(key, count, targets, t);
    }

    static std::optional<DateTime> stampOrNothing(const Value &timeDate)
    {
        try {
            return timeDate.toDateTime();
        } catch (const Error &) {
            return std::nullopt;
        }
    }

    static void fileCount(const QString &key, KeyCount &count,
                          const std::map<QString, KeyTarget> &targets, DataTally &t)
    {
        const auto target = targets.find(key);
        if (target != targets.end() && target->second.mapped()) {
            VariableReadings r;
            r.readingKey = key;
            r.varId = target->second.varId;
            r.count = count.count;
            r.first = count.first.value_or(DateTime());
            r.last = count.last.value_or(DateTime());
            r.sensorId = target->second.sensorId;
            r.slotCount = count.distinctSlots();
            r.newVariable = target->second.newVariable;
            t.perVariable.push_back(r);
            return;
        }
        PassedOverReadings p;
        p.readingKey = key;
        p.count = count.count;
        p.reason = target != targets.end() ? target->second.reason
                                           : QStringLiteral("no sensor has this reading key");
        p.sensorId = target != targets.end() ? target->second.sensorId : QString();
        p.first = count.first;
        p.last = count.last;
        p.slotCount = count.distinctSlots();
        t.passedOver.push_back(p);
    }

    UserInterface &m_notes;
    dal::Connection &m_source;
    dal::Connection &m_facility;
    Importer m_importer;
    PreviewRequest m_request;
    ImportTally m_tally;
    std::map<QString, std::int16_t> m_keptLocations; // location key -> LocID
    std::set<QString> m_addedLocations;
    std::set<std::pair<QString, std::int16_t>> m_madeInRun; // location, sensor type
    std::set<std::int16_t> m_createdSensorIds;
};

} // namespace

ImportTally computePreview(UserInterface &notes, dal::Connection &source, dal::Connection &facility,
                           dal::Connection &root, const PreviewRequest &request)
{
    return PreviewRun(notes, source, facility, root, request).run();
}

} // namespace zarn
