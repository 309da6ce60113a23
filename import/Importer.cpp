#include "import/Importer.h"

#include "facility/DataDDInt.h"
#include "facility/Utility.h"
#include "platform/Error.h"

#include <QRegularExpression>
#include <cmath>

namespace zarn {

namespace {

constexpr qsizetype longestUnits = 10;

// The value of a column, or the fallback when the column is Null.
Value columnOr(dal::Recordset &rs, const QString &column, const Value &fallback)
{
    const Value &v = rs.Fields(column).Value();
    return v.isNull() ? fallback : v;
}

// Table names come from the source database's own SYSTEMS rows and are spliced into SQL, so
// only plain identifiers are accepted, and they are quoted for the server.
QString checkedTableName(const dal::Connection &conn, const QString &name)
{
    static const QRegularExpression plainIdentifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!plainIdentifier.match(name).hasMatch())
        throw DatabaseError(QStringLiteral("Not a plain table name: %1").arg(name));
    return conn.quoteIdentifier(name);
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

QString Importer::locationKey(const QString &trainNumberText)
{
    const std::optional<double> number = parseNumber(trainNumberText);
    if (!number)
        throw typeMismatch();
    return *number < 10 ? QStringLiteral("0") + trainNumberText : trainNumberText;
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
    }
    return rs;
}

SensorRecord Importer::CreateSensorFromRecordset(dal::Recordset &rs)
{
    return buildSensor(rs).value_or(SensorRecord{});
}

std::optional<SensorRecord> Importer::buildSensor(dal::Recordset &rs)
{
    try {
        SensorRecord s;
        s.SensorID = rs.Fields(QStringLiteral("SensorID")).Value().toInt16();
        s.SensorType = rs.Fields(QStringLiteral("SensorType")).Value().toInt16();
        s.TrainNumber =
            locationKey(columnOr(rs, QStringLiteral("TrainNumber"), QStringLiteral("1")).toText());
        const Value locId = GetLocIDByUD1(s.TrainNumber);
        s.LocID = locId.isNull() ? std::int16_t{1} : locId.toInt16();
        s.Description =
            columnOr(rs, QStringLiteral("Description"), QStringLiteral("Undefined")).toText();
        s.Units =
            columnOr(rs, QStringLiteral("Units"), QStringLiteral("")).toText().left(longestUnits);
        s.HiHi = columnOr(rs, QStringLiteral("HiHi"), 100.0).toDouble();
        s.Hi = columnOr(rs, QStringLiteral("Hi"), 90.0).toDouble();
        s.Lo = columnOr(rs, QStringLiteral("Lo"), 0.0).toDouble();
        s.LoLo = columnOr(rs, QStringLiteral("LoLo"), 0.0).toDouble();
        s.MaxDisplay = columnOr(rs, QStringLiteral("MaxDisplay"), 100.0).toDouble();
        s.MinDisplay = columnOr(rs, QStringLiteral("MinDisplay"), 0.0).toDouble();
        s.DisplayOrder = columnOr(rs, QStringLiteral("DisplayOrder"), std::int16_t{1}).toInt16();
        s.DataType = columnOr(rs, QStringLiteral("DataType"), QStringLiteral("")).toText();
        s.Virtual = rs.Fields(QStringLiteral("Virtual")).Value().toBool();
        return s;
    } catch (...) {
        tell(QStringLiteral("Program was unable to create a Vantrel Sensor from recordset"),
             MessageIcon::Exclamation);
        return std::nullopt;
    }
}

Value Importer::GetLocIDByUD1(const QString &key)
{
    return GetFirstValue(*m_pelkConn, QStringLiteral("select LocID from LOCATION where UD1=?"),
                         {Value(key)});
}

void Importer::UpdateProgress(double current, double total)
{
    if (current < total && current > 0)
        m_ui.setProgressValue(
            static_cast<int>(std::floor(static_cast<float>(current * 100.0 / total))));
}

} // namespace zarn
