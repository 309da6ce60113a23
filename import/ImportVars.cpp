#include "import/Importer.h"

namespace zarn {

bool Importer::ImportVars(const QString &VantrelID, const QString & /*FacilityName*/,
                          const QString & /*FacilityFileName*/)
{
    const QString sensorsTable = GetSensorsTableName(VantrelID);
    if (sensorsTable.isEmpty())
        return false;
    try {
        dal::Recordset sensors = GetSensorDefinitions(sensorsTable);
        long created = 0;
        long failed = 0;
        if (!sensors.Bof() && !sensors.Eof()) {
            sensors.MoveLast();
            const long n = sensors.RecordCount();
            sensors.MoveFirst();
            for (long i = 1; i <= n; ++i) {
                // A row that cannot be built is skipped, not filed as an empty variable.
                const std::optional<SensorRecord> sensor = buildSensor(sensors);
                if (sensor && CreateVarFromSensor(*sensor))
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
        return true;
    } catch (...) {
        tell(QStringLiteral("Program was unable to import the variables into ZARN"),
             MessageIcon::Exclamation);
        return false;
    }
}

// Adds the sensor's variable unless one exists already for its location and sensor type.
bool Importer::CreateVarFromSensor(const SensorRecord &sensor)
{
    try {
        dal::Recordset rs;
        rs.Open(QStringLiteral(
                    "SELECT AuditUser, AuditTimeStamp,VARNUM,ud1,ud2, ud3, ud4, ud5,ud6,ud7,ud8,"
                    "ud9, vartype, name, locid, units, allowsymbol,BARCODE,CASCADERULE,"
                    "CHKROLLOVER,DECPLACES,SYMBOLRULE1,SYMBOLRULE2,SYMBOLRULE3,SYMBOLRULE4,"
                    "SYMBOLRULE5,SYMBOLRULE6,SYMBOLRULE7,SYMBOLRULE8,SYMBOLRULE9,SYMBOLRULE10,"
                    "SHORTNAME , PRIOPERATOR, PRIOPPRT, SECOPERATOR, SECOPPRT,DESCRIPTION FROM "
                    "VARDESC WHERE LOCID=? AND UD1=?"),
                *m_pelkConn, dal::adOpenStatic, dal::adLockOptimistic, dal::adCmdText,
                {Value(sensor.LocID), Value(sensor.SensorType)});
        bool result = false;
        if (rs.RecordCount() == 0) {
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
            result = true;
        }
        rs.Close();
        return result;
    } catch (...) {
        tell(QStringLiteral("Program was unable to create ZARN variable from Vantrel Sensor"),
             MessageIcon::Exclamation);
        return false;
    }
}

} // namespace zarn
