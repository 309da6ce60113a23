#include "import/Importer.h"
#include "import/VariableRule.h"

namespace zarn {

bool Importer::ImportVars(const QString &VantrelID, const QString & /*FacilityName*/,
                          const QString & /*FacilityFileName*/)
{
    VariableTally &tally = m_tally.variables;
    tally = VariableTally{};
    tally.ran = true;
    const QString sensorsTable = GetSensorsTableName(VantrelID);
    if (sensorsTable.isEmpty()) {
        tally.failure = QStringLiteral("No sensors table was found for the site.");
        return false;
    }
    try {
        dal::Recordset sensors = GetSensorDefinitions(sensorsTable);
        long created = 0;
        long failed = 0;
        if (!sensors.Bof() && !sensors.Eof()) {
            sensors.MoveLast();
            const long n = sensors.RecordCount();
            sensors.MoveFirst();
            for (long i = 1; i <= n; ++i) {
                if (importSensor(sensors) == VariableOutcome::Created)
                    ++created;
                else
                    ++failed;
                sensors.MoveNext();
            }
        } else {
            tell(QStringLiteral("This Vantrel site does not have any sensors defined."),
                 MessageIcon::None);
        }

        QString summary = QStringLiteral("Created %1 ZARN Variables.\r\n").arg(created);
        if (failed > 0)
            summary += QStringLiteral("Failed to create %1 ZARN Variables.").arg(failed);
        tell(summary, MessageIcon::None);
        sensors.Close();
        tally.succeeded = true;
        return true;
    } catch (...) {
        tally.failure = describedError(std::current_exception());
        tell(QStringLiteral("Program was unable to import the variables into ZARN"),
             MessageIcon::Exclamation);
        reportFailure(QStringLiteral("The variables could not be imported"), tally.failure);
        return false;
    }
}

Importer::VariableOutcome Importer::importSensor(dal::Recordset &sensors)
{
    VariableTally &tally = m_tally.variables;
    SensorEntry entry = sensorEntryOf(sensors);
    VariableOutcome outcome = VariableOutcome::Failed;
    try {
        // A row that cannot be built is skipped, not filed as an empty variable.
        if (const std::optional<SensorRecord> sensor = buildSensor(sensors, entry.reason)) {
            entry.locId = sensor->LocID;
            outcome = CreateVarFromSensor(*sensor, entry.reason);
        }
    } catch (const UnavailableError &) {
        tally.failed.push_back(entry);
        throw;
    }
    (outcome == VariableOutcome::Created    ? tally.created
     : outcome == VariableOutcome::Existing ? tally.existing
                                            : tally.failed)
        .push_back(entry);
    return outcome;
}

// Adds the sensor's variable unless one exists already for its location and sensor type.
Importer::VariableOutcome Importer::CreateVarFromSensor(const SensorRecord &sensor,
                                                        QString &failure)
{
    auto fail = [&] {
        failure = describedError(std::current_exception());
        tell(QStringLiteral("Program was unable to create ZARN variable from Vantrel Sensor"),
             MessageIcon::Exclamation);
    };
    try {
        dal::Recordset rs =
            openVariablesOf(*m_pelkConn, sensor.LocID, sensor.SensorType, dal::adLockOptimistic);
        if (rs.RecordCount() > 0) {
            rs.Close();
            return VariableOutcome::Existing;
        }
        const Value emptyText(QStringLiteral(""));
        const Value zero(std::int16_t{0});
        auto set = [&](const QString &field, const Value &value) {
            rs.Fields(field).SetValue(value);
        };
        rs.AddNew();
        set(QStringLiteral("AuditUser"), QStringLiteral("VT2ZARN"));
        set(QStringLiteral("AuditTimeStamp"), DateTime::now());
        set(QStringLiteral("VARNUM"), sensor.SensorID);
        set(QStringLiteral("UD1"), sensor.SensorType);
        set(QStringLiteral("vartype"), QStringLiteral("1"));
        set(QStringLiteral("name"), sensor.Description);
        set(QStringLiteral("LOCID"), sensor.LocID);
        set(QStringLiteral("Units"), sensor.Units);
        set(QStringLiteral("UD2"), sensor.HiHi);
        set(QStringLiteral("UD3"), sensor.Hi);
        set(QStringLiteral("UD4"), sensor.Lo);
        set(QStringLiteral("UD5"), sensor.LoLo);
        set(QStringLiteral("UD6"), sensor.MaxDisplay);
        set(QStringLiteral("UD7"), sensor.MinDisplay);
        set(QStringLiteral("UD8"), sensor.DisplayOrder);
        set(QStringLiteral("UD9"), sensor.DataType);
        set(QStringLiteral("allowsymbol"), zero);
        set(QStringLiteral("BARCODE"), QStringLiteral("None"));
        set(QStringLiteral("CASCADERULE"), std::int16_t{1});
        set(QStringLiteral("CHKROLLOVER"), zero);
        set(QStringLiteral("DECPLACES"), std::int16_t{2});
        for (int rule = 1; rule <= 10; ++rule)
            set(QStringLiteral("SYMBOLRULE%1").arg(rule), zero);
        set(QStringLiteral("SHORTNAME"), emptyText);
        set(QStringLiteral("PRIOPERATOR"), emptyText);
        set(QStringLiteral("PRIOPPRT"), emptyText);
        set(QStringLiteral("SECOPERATOR"), emptyText);
        set(QStringLiteral("SECOPPRT"), emptyText);
        set(QStringLiteral("DESCRIPTION"), zero);
        rs.Update();
        rs.Close();
        return VariableOutcome::Created;
    } catch (const UnavailableError &) {
        fail();
        throw;
    } catch (...) {
        fail();
        return VariableOutcome::Failed;
    }
}

} // namespace zarn
