#include "import/Importer.h"

#include "facility/DataDDInt.h"
#include "platform/Error.h"

#include <QRegularExpression>
#include <cmath>

namespace zarn {

namespace {

constexpr qsizetype longestTableNamePart = 128;
constexpr int mostTableNameParts = 3;

// Table names come from the source database's own SYSTEMS rows and are spliced into SQL, so a
// name is taken only as one to three dot-separated parts (table, schema.table or
// catalog.schema.table), each of letters, digits and "_" not beginning with a digit, and each
// quoted for the server on its own. The blanks of a fixed-width column are dropped.
QString checkedTableName(const dal::Connection &conn, const QString &name)
{
    static const QRegularExpression namePart(
        QStringLiteral("^[\\p{L}_][\\p{L}\\p{M}\\p{Nd}_]{0,%1}$").arg(longestTableNamePart - 1));
    const QStringList parts = name.trimmed().split(u'.');
    QStringList quoted;
    for (const QString &part : parts) {
        if (parts.size() > mostTableNameParts || !namePart.match(part).hasMatch())
            throw DatabaseError(QStringLiteral("The table name \"%1\" is refused: a table name is "
                                               "one to three names of letters, digits and \"_\" "
                                               "joined by dots.")
                                    .arg(name.left(longestTableNamePart)));
        quoted.append(conn.quoteIdentifier(part));
    }
    return quoted.join(u'.');
}

} // namespace

Importer::Importer(UserInterface &ui, std::int16_t databaseKind)
    : m_ui(ui), m_databaseKind(databaseKind)
{}

Importer::~Importer() = default;

bool Importer::Init(dal::Connection &vtConn, dal::Connection &pelkConn, dal::Connection &rootConn,
                    const QString &FacilFileName)
{
    m_vtConn = &vtConn;
    m_pelkConn = &pelkConn;
    m_rootConn = &rootConn;
    m_facilFileName = FacilFileName;
    return true;
}

void Importer::tell(const QString &text, MessageIcon icon)
{
    m_ui.showMessage(Message{text, icon, MessageButtons::Ok, QString(), 0});
}

void Importer::reportFailure(const QString &what, const QString &failure)
{
    m_ui.reportDetail(what + QStringLiteral(": ") + failure);
}

QString Importer::GetDataTableName(const QString &VantrelID)
{
    return lookUpSiteTable(VantrelID, QStringLiteral("TableName"),
                           QStringLiteral("ZARN Vantrel DB Importer cannot find data table for "),
                           QStringLiteral("Program was unable to get the data table name"));
}

QString Importer::GetSensorsTableName(const QString &VantrelID)
{
    return lookUpSiteTable(
        VantrelID, QStringLiteral("SensorsName"),
        QStringLiteral("ZARN Vantrel DB Importer cannot find sensors table for "),
        QStringLiteral("Program was unable to get the sensors table name"));
}

QString Importer::lookUpSiteTable(const QString &VantrelID, const QString &column,
                                  const QString &missingText, const QString &failureText)
{
    try {
        // The identifier is compared as text whatever the column's type, so that a text that is
        // not a number selects nothing instead of failing.
        dal::Recordset rs;
        rs.Open(QStringLiteral("SELECT %1 FROM SYSTEMS WHERE CAST(SystemID AS VARCHAR(255))=?")
                    .arg(column),
                *m_vtConn, dal::adOpenStatic, dal::adLockReadOnly, dal::adCmdText,
                {Value(VantrelID)});
        QString result;
        if (!rs.Bof() && !rs.Eof())
            result = rs.Fields(column).Value().toText();
        else
            tell(missingText + VantrelID + QStringLiteral("."), MessageIcon::Information);
        rs.Close();
        return result;
    } catch (...) {
        tell(failureText, MessageIcon::Exclamation);
        return QString();
    }
}

dal::Recordset Importer::GetDataRows(DateTime StartDate, DateTime EndDate, const QString &DataTable)
{
    dal::Recordset rs;
    try {
        // Streamed: a site can hold millions of readings; the count comes from the same snapshot.
        rs.Open(QStringLiteral("SELECT SensorType, TrainNumber, Data, TimeDate FROM %1 WHERE %2")
                    .arg(checkedTableName(*m_vtConn, DataTable),
                         m_vtConn->provider().dateTimeBetween(QStringLiteral("TimeDate"))),
                *m_vtConn, dal::adOpenForwardOnly, dal::adLockReadOnly, dal::adCmdText,
                {Value(StartDate), Value(EndDate)});
    } catch (...) {
        tell(QStringLiteral("Program was unable to get Vantrel data"), MessageIcon::Exclamation);
        reportFailure(QStringLiteral("The readings could not be read"),
                      describedError(std::current_exception()));
    }
    return rs;
}

dal::Recordset Importer::GetSensorDefinitions(const QString &SensorsTable)
{
    dal::Recordset rs;
    try {
        rs.Open(QStringLiteral("SELECT SensorType, TrainNumber, Description, Units, SensorID, "
                               "HiHi, Hi, Lo,LoLo,MaxDisplay, MinDisplay, DisplayOrder, "
                               "DataType, Virtual FROM %1 ORDER By TrainNumber, Description")
                    .arg(checkedTableName(*m_vtConn, SensorsTable)),
                *m_vtConn, dal::adOpenStatic, dal::adLockReadOnly, dal::adCmdText);
    } catch (...) {
        tell(QStringLiteral("Program was unable to get Vantrel Sensor Definitions"),
             MessageIcon::Exclamation);
        reportFailure(QStringLiteral("The sensors could not be read"),
                      describedError(std::current_exception()));
    }
    return rs;
}

SensorRecord Importer::CreateSensorFromRecordset(dal::Recordset &rs)
{
    QString failure;
    try {
        return buildSensor(rs, failure).value_or(SensorRecord{});
    } catch (const UnavailableError &) {
        return SensorRecord{};
    }
}

std::optional<SensorRecord> Importer::buildSensor(dal::Recordset &rs, QString &failure)
{
    auto fail = [&] {
        tell(QStringLiteral("Program was unable to create a Vantrel Sensor from recordset"),
             MessageIcon::Exclamation);
    };
    try {
        std::optional<SensorRecord> sensor = sensorOfRow(
            rs, [this](const QString &key) { return GetLocIDByUD1(key); }, failure);
        if (!sensor)
            fail();
        return sensor;
    } catch (const UnavailableError &) {
        fail();
        throw;
    }
}

Value Importer::GetLocIDByUD1(const QString &key)
{
    dal::Recordset rs =
        m_pelkConn->Execute(QStringLiteral("select LocID from LOCATION where UD1=?"), {Value(key)});
    return rs.Eof() ? Value::null() : rs.Fields(0).Value();
}

void Importer::UpdateProgress(double current, double total)
{
    if (current < total && current > 0)
        m_ui.setProgressValue(
            static_cast<int>(std::floor(static_cast<float>(current * 100.0 / total))));
}

} // namespace zarn
