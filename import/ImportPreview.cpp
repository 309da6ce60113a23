#include "import/ImportPreview.h"

#include "facility/SlotArithmetic.h"
#include "import/Importer.h"
#include "import/LocationPlan.h"
#include "import/PlannedReadings.h"
#include "import/ReadingPlan.h"
#include "import/ReadingValue.h"
#include "import/SensorRecord.h"
#include "import/UserDefinedCaptions.h"
#include "import/VariableRule.h"
#include "platform/Error.h"
#include "platform/dal/Recordset.h"
#include "platform/dal/Transaction.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

namespace zarn {

namespace {

// The one-minute slots that the readings of each reading key fall into.
class SlotCounts : public ReadingVisitor
{
public:
    void written(const QString &key, ReadingRoute, const PendingWrite &write) override
    {
        add(key, write.stamp);
    }

    void passedOver(const QString &key, std::optional<DateTime> stamp) override
    {
        if (stamp)
            add(key, *stamp);
    }

    std::int64_t distinct(const QString &key)
    {
        std::vector<std::int64_t> &starts = m_starts[key];
        std::sort(starts.begin(), starts.end());
        return std::unique(starts.begin(), starts.end()) - starts.begin();
    }

private:
    void add(const QString &key, DateTime stamp)
    {
        m_starts[key].push_back(slotNumber(slot::slotStart(stamp, readingSlotsPerDay)));
    }

    std::map<QString, std::vector<std::int64_t>> m_starts; // in minutes
};

class PreviewRun
{
public:
    PreviewRun(UserInterface &notes, dal::Connection &source, dal::Connection &facility,
               dal::Connection &root, const PreviewRequest &request)
        : m_notes(notes), m_facility(facility), m_importer(notes, 0), m_request(request)
    {
        m_importer.Init(source, facility, root, QString());
    }

    ImportTally run()
    {
        const dal::Transaction snapshot(m_facility, dal::Transaction::Mode::ReadSnapshot);
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
            m_locations = m_importer.PlanLocations(m_request.siteId);
            t.kept = m_locations.kept;
            t.added = m_locations.added;
            t.removed = m_locations.removed;
            t.succeeded = true;
        });
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

    // The LocID that the location lookup finds for a key once the locations are written: a kept
    // row's, 0 for a row still to be added, Null when no location has the key.
    Value locationAfterPlan(const QString &key) const
    {
        const std::optional<std::int32_t> locId = m_locations.locIdOf(key);
        return locId ? Value(*locId) : Value::null();
    }

    // Files the sensor of the current row as created, existing or failed, as the variable
    // import would after the locations step.
    void previewVariable(dal::Recordset &sensors, VariableTally &t)
    {
        SensorEntry entry = sensorEntryOf(sensors);
        const std::optional<SensorRecord> sensor = sensorOfRow(
            sensors, [this](const QString &key) { return locationAfterPlan(key); }, entry.reason);
        if (!sensor) {
            t.failed.push_back(entry);
            return;
        }
        // A train that the locations step adds has a new LocID, under which nothing exists yet.
        entry.locId = sensor->LocID;
        const bool newLocation = sensor->LocID == 0;
        const QString where = newLocation ? QStringLiteral("new ") + sensor->TrainNumber
                                          : QString::number(sensor->LocID);
        if (m_madeInRun.contains({where, sensor->SensorType})) {
            entry.reason = QStringLiteral("a sensor before it has the same location and type");
            t.existing.push_back(entry);
        } else if (!newLocation && variableExists(m_facility, sensor->LocID, sensor->SensorType)) {
            entry.reason = QStringLiteral("the facility has a variable of LocID %1 and type %2")
                               .arg(sensor->LocID)
                               .arg(sensor->SensorType);
            t.existing.push_back(entry);
        } else {
            t.created.push_back(entry);
            m_madeInRun.insert({where, sensor->SensorType});
            m_createdSensorIds.insert(sensor->SensorID);
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

    // The data import's steps up to its writes, with the same plan of the readings.
    void previewData()
    {
        DataTally &t = m_tally.data;
        t.ran = true;
        const QString dataTable = m_importer.GetDataTableName(m_request.siteId);
        if (dataTable.isEmpty())
            return;
        guarded(QStringLiteral("Data"), t.succeeded, [&] {
            // As the import: the sensors before the readings' stream.
            HashTable variableMap;
            ReadingPlan plan(variableMap, t);
            m_importer.PlanReadings(plan, m_request.siteId,
                                    [this](std::int16_t sensorId) { return variableOf(sensorId); });
            dal::Recordset readings =
                m_importer.GetDataRows(m_request.start, m_request.end, dataTable);
            countReadings(readings, plan, t);
            readings.Close();
            t.succeeded = !t.failure;
        });
    }

    // The variable that the data import finds for a SensorID: the facility's, or the one that
    // "Variables" makes first.
    std::optional<MappedVariable> variableOf(std::int16_t sensorId)
    {
        if (const std::optional<MappedVariable> existing = facilityVariable(m_facility, sensorId))
            return existing;
        if (m_createdSensorIds.contains(sensorId))
            return MappedVariable{0, true};
        return std::nullopt;
    }

    // Counts the readings by the plan in the source's order, up to the first one that the import
    // could not store, and the slots they fall into.
    static void countReadings(dal::Recordset &readings, ReadingPlan &plan, DataTally &t)
    {
        SlotCounts slotCounts;
        walkReadings(readings, plan, t, slotCounts);
        for (VariableReadings &r : t.perVariable)
            r.slotCount = slotCounts.distinct(r.readingKey);
        for (PassedOverReadings &p : t.passedOver)
            p.slotCount = slotCounts.distinct(p.readingKey);
    }

    UserInterface &m_notes;
    dal::Connection &m_facility;
    Importer m_importer;
    PreviewRequest m_request;
    ImportTally m_tally;
    LocationPlan m_locations;
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
