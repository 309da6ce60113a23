#pragma once

#include "db/HashTable.h"
#include "platform/Value.h"
#include "platform/dal/Connection.h"
#include "platform/dal/Recordset.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace zarn {

// Records one change to one row of a facility table in the facility's audit trail: a row of
// action_history_trans and one row of action_history_detail per recorded field. One object
// serves one posting. It never shows a message and never raises: a posting that fails ends
// silently, and the caller cannot tell.
class clsAction_History
{
public:
    // auditConnection: the facility connection on which both audit tables are written;
    // auditUser and loginHistoryId go into every transaction row; databaseKind is the ZARN
    // server's database type (1 declares the detail command's parameters).
    clsAction_History(dal::Connection &auditConnection, QString auditUser, Value loginHistoryId,
                      std::int16_t databaseKind);

    void TableName(const QString &strTableName) { m_tableName = strTableName; }
    void Facility(const QString &which) { m_facility = which; }
    void RecordID(const Value &which);
    void RecordID2(const Value &which);
    void FieldName(const QString &strFieldName) { m_fieldName = strFieldName; }
    void System_Comment(const QString &what);
    void Justification(const QString &what);

    void oldValuesFromRecord(dal::Recordset &whatrs);
    void oldValueMANUAL(const QString &FieldName, const Value &value);
    void newValueMANUAL(const QString &FieldName, const Value &value);
    void PostTransactionMANUAL(std::int32_t Action);
    void PostTransactionRECORD(std::int32_t Action, dal::Recordset &whatrs);

private:
    // One key of the audited row, kept in whichever slot its value reads as.
    struct RecordKey
    {
        Value number; // Empty: no value
        Value date;   // Empty: no value
        Value text = QString();

        void assign(const Value &which);
    };

    struct DetailEntry
    {
        QString fieldName;
        Value oldValue;
        Value newValue;
    };

    static void TruncateValue(QString &text);
    std::int32_t InsertTrans(std::int32_t Action);
    void InsertDetail(std::int32_t transid, const QString &fieldname, Value oldvalue,
                      Value newvalue);
    void writeRecordKey(dal::Recordset &rs, const RecordKey &key, const QString &numberColumn,
                        const QString &dateColumn, const QString &textColumn) const;
    // Runs one database step so that its failure leaves an enclosing transaction usable.
    void guarded(const std::function<void()> &step);

    dal::Connection &m_connection;
    QString m_auditUser;
    Value m_loginHistoryId;
    std::int16_t m_databaseKind;

    HashTable m_oldValues;
    HashTable m_newValues;
    QString m_tableName;
    QString m_fieldName;
    Value m_systemComment = Value::null();
    Value m_justification = Value::null();
    RecordKey m_recordId;
    RecordKey m_recordId2;
    QString m_facility;
};

} // namespace zarn
