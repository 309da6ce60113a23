#pragma once

#include "db/HashTable.h"
#include "import/ImportTally.h"
#include "import/LocationPlan.h"
#include "import/ReadingPlan.h"
#include "import/SensorRecord.h"
#include "platform/DateTime.h"
#include "platform/UserInterface.h"
#include "platform/dal/Connection.h"
#include "platform/dal/Recordset.h"

#include <QString>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

namespace zarn {

class DataDDInt;

// Imports one Vantrel site into one ZARN facility: locations, variables, captions and data.
// It borrows the three open connections and reports to the operator through the user interface.
class Importer
{
public:
    // databaseKind: the ZARN server's configured database type, which the audit trail needs.
    Importer(UserInterface &ui, std::int16_t databaseKind);
    ~Importer();

    bool Init(dal::Connection &vtConn, dal::Connection &pelkConn, dal::Connection &rootConn,
              const QString &FacilFileName);

    // True when the locations were written; false after the failure message, with the earlier
    // locations left as they were.
    bool CreateLocations(const QString &VantrelID);
    bool ImportVars(const QString &VantrelID, const QString &FacilityName,
                    const QString &FacilityFileName);
    void UpdateUDCaps();
    bool ImportData(DateTime StartDate, DateTime EndDate, const QString &VantrelID,
                    const QString &FacilityName, const QString &FacilityFileName);

    // How often the data import moves the progress bar and lets window events run; zero means
    // after every reading.
    void setProgressInterval(std::chrono::milliseconds interval) { m_progressInterval = interval; }

    // What the steps run on this importer did, for the run report.
    const ImportTally &tally() const { return m_tally; }

    // The building blocks of the steps.
    QString GetDataTableName(const QString &VantrelID);
    QString GetSensorsTableName(const QString &VantrelID);
    dal::Recordset GetDataRows(DateTime StartDate, DateTime EndDate, const QString &DataTable);
    dal::Recordset GetSensorDefinitions(const QString &SensorsTable);
    SensorRecord CreateSensorFromRecordset(dal::Recordset &rs);
    // The LocID of the first location with the key, or Null when there is none. Raises
    // DatabaseError when the lookup fails, so that no sensor is filed under a location that
    // merely could not be read.
    Value GetLocIDByUD1(const QString &key);
    void UpdateProgress(double current, double total);

    // Routes the reading keys of the site's sensors in plan, each sensor's variable found through
    // lookUp. The plan stays empty when SYSTEMS names no sensors table (after the reader's
    // message). Raises when the sensors cannot be read or a look-up fails.
    void PlanReadings(ReadingPlan &plan, const QString &VantrelID,
                      const ReadingPlan::VariableLookUp &lookUp);

    // What CreateLocations would do with the facility's locations for the site's trains, as
    // they stand now. Writes nothing; raises DatabaseError.
    LocationPlan PlanLocations(const QString &VantrelID);

private:
    enum class VariableOutcome { Created, Existing, Failed };

    QString lookUpSiteTable(const QString &VantrelID, const QString &column,
                            const QString &missingText, const QString &failureText);
    // The sensor record of the current row, or nothing after the failure message, with the
    // reason in failure. A time-out or a lost connection is raised after the message.
    std::optional<SensorRecord> buildSensor(dal::Recordset &rs, QString &failure);
    // Builds the current row's sensor, adds its variable and notes the outcome in the tally.
    VariableOutcome importSensor(dal::Recordset &sensors);
    // A time-out or a lost connection is raised after the message: each further sensor would
    // wait as long, or fail as well.
    VariableOutcome CreateVarFromSensor(const SensorRecord &sensor, QString &failure);
    std::vector<Train> readTrains(const QString &VantrelID);
    std::vector<LocationEntry> readLocations(dal::Recordset &locations);
    void replaceLocations(const std::vector<Train> &trains);
    // Sets every field of the current location row, stores it and records it in the audit
    // trail; returns the row's LocID.
    std::int32_t writeLocation(dal::Recordset &locations, const Train &train, std::int32_t action);
    void tell(const QString &text, MessageIcon icon);
    // Passes the reason a step or a reader failed on to the details (batch mode: standard error).
    void reportFailure(const QString &what, const QString &failure);

    UserInterface &m_ui;
    std::int16_t m_databaseKind;
    dal::Connection *m_vtConn = nullptr;
    dal::Connection *m_pelkConn = nullptr;
    dal::Connection *m_rootConn = nullptr;
    std::unique_ptr<DataDDInt> m_dataStore;
    HashTable m_variableMap;
    QString m_facilFileName;
    std::chrono::milliseconds m_progressInterval{50};
    ImportTally m_tally;
};

} // namespace zarn
