#include "facility/clsAction_History.h"

#include "facility/Utility.h"
#include "platform/dal/Command.h"

#include <utility>
#include <vector>

namespace zarn {

namespace {

constexpr qsizetype longestValueText = 2000;
constexpr qsizetype keptOfLongValueText = 1996;
constexpr qsizetype longestComment = 255;

// The fields that every audited table carries for itself; the trail does not repeat them.
bool isSkippedField(const QString &upperName)
{
    return upperName == QLatin1String("AUDITUSER") || upperName == QLatin1String("AUDITTIMESTAMP");
}

Value nullWhenEmpty(const Value &v)
{
    return v.toTextOrEmpty().isEmpty() ? Value::null() : v;
}

// A number slot may hold a text that reads as a number; the column takes the number.
Value asNumber(const Value &v)
{
    return v.kind() == Value::Kind::Text || v.kind() == Value::Kind::Bool ? Value(v.toDouble()) : v;
}

bool sameDecodedPassword(const QString &oldText, const QString &newText)
{
    return DecodePassword(oldText.trimmed()) == DecodePassword(newText.trimmed());
}

} // namespace

clsAction_History::clsAction_History(dal::Connection &auditConnection, QString auditUser,
                                     Value loginHistoryId, std::int16_t databaseKind)
    : m_connection(auditConnection), m_auditUser(std::move(auditUser)),
      m_loginHistoryId(std::move(loginHistoryId)), m_databaseKind(databaseKind)
{}

void clsAction_History::RecordKey::assign(const Value &which)
{
    if (which.isDate())
        date = which;
    else if (which.isNumeric())
        number = which;
    else
        text = which;
}

void clsAction_History::RecordID(const Value &which)
{
    m_recordId.assign(which);
}

void clsAction_History::RecordID2(const Value &which)
{
    m_recordId2.assign(which);
}

void clsAction_History::System_Comment(const QString &what)
{
    m_systemComment = Value(what.left(longestComment));
}

void clsAction_History::Justification(const QString &what)
{
    m_justification = Value(what.left(longestComment));
}

void clsAction_History::TruncateValue(QString &text)
{
    if (text.size() > longestValueText)
        text = text.left(keptOfLongValueText) + QStringLiteral("...");
}

void clsAction_History::oldValuesFromRecord(dal::Recordset &whatrs)
{
    try {
        for (int i = 0; i < whatrs.FieldCount(); ++i) {
            const dal::Field &field = whatrs.Fields(i);
            const QString name = field.Name().toUpper();
            if (isSkippedField(name))
                continue;
            QString text = field.Value().toTextOrEmpty();
            TruncateValue(text);
            m_oldValues.setItem(name, Value(text));
        }
    } catch (...) {
        // The trail never disturbs the change it records.
    }
}

void clsAction_History::oldValueMANUAL(const QString &FieldName, const Value &value)
{
    m_oldValues.setItem(FieldName.toUpper(), Value(value.toTextOrEmpty()));
}

void clsAction_History::newValueMANUAL(const QString &FieldName, const Value &value)
{
    const QString key = FieldName.toUpper();
    if (m_oldValues.Exists(key))
        m_newValues.setItem(key, Value(value.toTextOrEmpty()));
}

void clsAction_History::PostTransactionMANUAL(std::int32_t Action)
{
    if (m_newValues.Count() == 0)
        return;
    try {
        const std::int32_t id = InsertTrans(Action);
        if (id == 0)
            return;
        for (const Value &key : m_newValues.Keys()) {
            const QString name = key.toText();
            InsertDetail(id, name, m_oldValues.item(name), m_newValues.item(name));
        }
    } catch (...) {
        // Detail rows written before the failure stay.
    }
}

void clsAction_History::PostTransactionRECORD(std::int32_t Action, dal::Recordset &whatrs)
{
    try {
        std::vector<DetailEntry> entries;
        for (int i = 0; i < whatrs.FieldCount(); ++i) {
            const dal::Field &field = whatrs.Fields(i);
            const QString name = field.Name().toUpper();
            if (isSkippedField(name))
                continue;
            const bool hasOld = m_oldValues.Exists(name);
            const Value oldValue = hasOld ? m_oldValues.item(name) : Value::null();
            QString newText = field.Value().toTextOrEmpty();
            TruncateValue(newText);
            switch (Action) {
            case 1:
                entries.push_back({name, Value::null(), Value(newText)});
                break;
            case 2:
                if (hasOld) {
                    const QString oldText = oldValue.toText();
                    if (name == QLatin1String("PASSWORD") && sameDecodedPassword(oldText, newText))
                        continue;
                    if (oldText == newText)
                        continue;
                }
                entries.push_back({name, oldValue, Value(newText)});
                break;
            case 3:
                entries.push_back({name, oldValue, Value::null()});
                break;
            default:
                break;
            }
        }
        if (entries.empty())
            return;

        const std::int32_t id = InsertTrans(Action);
        if (id == 0)
            return;
        for (const DetailEntry &entry : entries)
            InsertDetail(id, entry.fieldName, entry.oldValue, entry.newValue);
    } catch (...) {
        // Nothing is written when the row cannot be read; detail rows written before a failure
        // stay.
    }
}

std::int32_t clsAction_History::InsertTrans(std::int32_t Action)
{
    if (m_tableName.isEmpty())
        return 0;
    std::int32_t id = 0;
    try {
        guarded([&] {
            dal::Recordset rs;
            rs.Open(QStringLiteral("select * from action_history_trans where id =-1"), m_connection,
                    dal::adOpenStatic, dal::adLockPessimistic, dal::adCmdText);
            rs.AddNew();
            rs.Fields(QStringLiteral("audituser")).SetValue(m_auditUser);
            rs.Fields(QStringLiteral("filename")).SetValue(m_facility);
            rs.Fields(QStringLiteral("login_history_id")).SetValue(m_loginHistoryId);
            rs.Fields(QStringLiteral("tablename")).SetValue(m_tableName);
            writeRecordKey(rs, m_recordId, QStringLiteral("recidnum"), QStringLiteral("reciddate"),
                           QStringLiteral("recidtext"));
            writeRecordKey(rs, m_recordId2, QStringLiteral("recidnum2"),
                           QStringLiteral("reciddate2"), QStringLiteral("recidtext2"));
            if (!m_systemComment.isNull())
                rs.Fields(QStringLiteral("system_comment")).SetValue(m_systemComment);
            if (!m_justification.isNull())
                rs.Fields(QStringLiteral("justification")).SetValue(m_justification);
            rs.Fields(QStringLiteral("action")).SetValue(Action);
            rs.Update();
            if (m_databaseKind == 1)
                rs.Resync(dal::adAffectCurrent, dal::adResyncAllValues);
            id = rs.Fields(QStringLiteral("id")).Value().toInt32();
            rs.Close();
        });
    } catch (...) {
        return 0;
    }
    return id;
}

void clsAction_History::writeRecordKey(dal::Recordset &rs, const RecordKey &key,
                                       const QString &numberColumn, const QString &dateColumn,
                                       const QString &textColumn) const
{
    if (key.number.isNumeric())
        rs.Fields(numberColumn).SetValue(asNumber(key.number));
    if (key.date.isDate())
        rs.Fields(dateColumn).SetValue(key.date.toDateTime());
    if (!key.text.toTextOrEmpty().isEmpty())
        rs.Fields(textColumn).SetValue(key.text.toTextOrEmpty());
}

void clsAction_History::InsertDetail(std::int32_t transid, const QString &fieldname, Value oldvalue,
                                     Value newvalue)
{
    oldvalue = nullWhenEmpty(oldvalue);
    newvalue = nullWhenEmpty(newvalue);
    guarded([&] {
        dal::Command cmd;
        cmd.setCommandType(dal::adCmdText);
        cmd.setActiveConnection(m_connection);
        cmd.setCommandText(QStringLiteral("insert into action_history_detail values(?,?,?,?)"));
        if (m_databaseKind == 1) {
            cmd.AppendParameter(dal::Command::CreateParameter(
                QStringLiteral("transid"), dal::adInteger, dal::adParamInput, 0));
            cmd.AppendParameter(dal::Command::CreateParameter(
                QStringLiteral("fieldname"), dal::adVarWChar, dal::adParamInput, 255));
            cmd.AppendParameter(dal::Command::CreateParameter(
                QStringLiteral("oldvalue"), dal::adVarWChar, dal::adParamInput, 2000));
            cmd.AppendParameter(dal::Command::CreateParameter(
                QStringLiteral("newvalue"), dal::adVarWChar, dal::adParamInput, 2000));
        } else {
            for (int i = 0; i < 4; ++i)
                cmd.AppendParameter(dal::Parameter{});
        }
        cmd.Parameters(0).value = transid;
        cmd.Parameters(1).value = fieldname;
        cmd.Parameters(2).value = oldvalue;
        cmd.Parameters(3).value = newvalue;
        cmd.Execute();
    });
}

void clsAction_History::guarded(const std::function<void()> &step)
{
    // On servers where a failed statement spoils the whole transaction, a savepoint keeps an
    // enclosing transaction (the location import's) usable. Outside a transaction some servers
    // refuse savepoints; there a failure spoils nothing anyway. Where the provider's savepoints
    // do not last, its driver undoes a failed statement by itself.
    bool inSavepoint = m_connection.provider().keepsSavepoints();
    if (inSavepoint) {
        try {
            m_connection.Execute(QStringLiteral("SAVEPOINT zarn_audit_step"));
        } catch (...) {
            inSavepoint = false;
        }
    }
    try {
        step();
    } catch (...) {
        if (inSavepoint) {
            m_connection.Execute(QStringLiteral("ROLLBACK TO SAVEPOINT zarn_audit_step"));
            m_connection.Execute(QStringLiteral("RELEASE SAVEPOINT zarn_audit_step"));
        }
        throw;
    }
    if (inSavepoint)
        m_connection.Execute(QStringLiteral("RELEASE SAVEPOINT zarn_audit_step"));
}

} // namespace zarn
