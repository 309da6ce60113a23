#include "facility/DataDDInt.h"

#include "facility/SlotArithmetic.h"
#include "platform/Error.h"

#include <vector>

namespace zarn {

namespace {

using namespace dal;

struct ParameterSpec
{
    const char *name;
    DataTypeEnum type;
    ParameterDirectionEnum direction;
    int size;
};

struct CommandSpec
{
    const char *baseName;
    bool comment; // the comment procedures carry "_C" after the interval code
    std::vector<ParameterSpec> parameters;
};

// The wire contract with the facility database: each procedure's parameters in the order,
// with the types, directions and sizes in which the database declares them.
const std::array<CommandSpec, DataDDInt::CommandCount> &commandSpecs()
{
    static const std::array<CommandSpec, DataDDInt::CommandCount> specs{{
        {"WRITEDD",
         false,
         {{"date", adDate, adParamInput, 0},
          {"varid", adInteger, adParamInput, 0},
          {"value", adDouble, adParamInput, 0},
          {"textvalue", adVarWChar, adParamInput, 255},
          {"audituser", adVarChar, adParamInput, 50},
          {"slotstarttime", adDate, adParamInput, 0},
          {"slotendtime", adDate, adParamInput, 0},
          {"status", adInteger, adParamInput, 0}}},
        {"SEEKFDD",
         false,
         {{"datestamp_1", adDate, adParamInput, 0},
          {"varid_2", adInteger, adParamInput, 0},
          {"curvalue_3", adDouble, adParamOutput, 0},
          {"textvalue_4", adVarWChar, adParamOutput, 255},
          {"varid_5", adInteger, adParamOutput, 0},
          {"audituser", adVarChar, adParamOutput, 50},
          {"audittimestamp", adDate, adParamOutput, 0},
          {"datestamp_out", adDate, adParamOutput, 0},
          {"slotstarttime", adDate, adParamInput, 0},
          {"slotendtime", adDate, adParamInput, 0},
          {"status", adInteger, adParamOutput, 0},
          {"forced", adInteger, adParamOutput, 0}}},
        {"SEEKNEXTDD",
         false,
         {{"varid_in", adInteger, adParamInput, 0},
          {"slotstart_in", adDate, adParamInput, 0},
          {"slotend_in", adDate, adParamInput, 0},
          {"topnum_in", adInteger, adParamInput, 0},
          {"varid_out", adInteger, adParamOutput, 0},
          {"datestamp_out", adDate, adParamOutput, 0},
          {"curvalue_out", adDouble, adParamOutput, 0},
          {"textvalue_out", adVarWChar, adParamOutput, 255},
          {"audituser_out", adVarChar, adParamOutput, 50},
          {"audittimestamp_out", adDate, adParamOutput, 0},
          {"status_out", adInteger, adParamOutput, 0},
          {"forced_out", adInteger, adParamOutput, 0}}},
        {"DELETEDD",
         false,
         {{"slotstarttime", adDate, adParamInput, 0},
          {"varid", adInteger, adParamInput, 0},
          {"audituser", adVarChar, adParamInput, 50},
          {"slotendtime", adDate, adParamInput, 0}}},
        {"SETFDD",
         false,
         {{"slotstarttime", adDate, adParamInput, 0},
          {"slotendtime", adDate, adParamInput, 0},
          {"varid", adInteger, adParamInput, 0},
          {"audituser", adVarChar, adParamInput, 50},
          {"forced", adInteger, adParamInput, 0}}},
        {"SEEKDD",
         true,
         {{"varid_in", adInteger, adParamInput, 0},
          {"comment_out", adVarWChar, adParamOutput, 2000},
          {"audituser", adVarChar, adParamOutput, 50},
          {"audittimestamp", adDate, adParamOutput, 0},
          {"slotstarttime", adDate, adParamInput, 0},
          {"slotendtime", adDate, adParamInput, 0}}},
        {"WRITEDD",
         true,
         {{"datestamp_1", adDate, adParamInput, 0},
          {"varid_2", adInteger, adParamInput, 0},
          {"comment_in", adVarWChar, adParamInput, 2000},
          {"audituser", adVarChar, adParamInput, 50},
          {"slotstarttime", adDate, adParamInput, 0},
          {"slotendtime", adDate, adParamInput, 0}}},
        {"DELETEDD",
         true,
         {{"slotstarttime", adDate, adParamInput, 0},
          {"varid_2", adInteger, adParamInput, 0},
          {"slotendtime", adDate, adParamInput, 0},
          {"audituser", adVarChar, adParamInput, 50}}},
    }};
    return specs;
}

std::unique_ptr<Command> buildCommand(const CommandSpec &spec, Connection &connection,
                                      const QString &intervalCode)
{
    auto command = std::make_unique<Command>();
    command->setActiveConnection(connection);
    QString name = QString::fromLatin1(spec.baseName) + intervalCode;
    if (spec.comment)
        name += QStringLiteral("_C");
    command->setCommandText(name);
    command->setCommandType(adCmdStoredProc);
    for (const ParameterSpec &p : spec.parameters)
        command->AppendParameter(
            Command::CreateParameter(QString::fromLatin1(p.name), p.type, p.direction, p.size));
    return command;
}

// A record the seek did not find leaves the output Null; a provider that assigned nothing at
// all is read the same way.
bool isMissing(const Value &v)
{
    return v.isNull() || v.isEmpty();
}

Value timeStampOrZero(const Value &v)
{
    return isMissing(v) ? Value(std::int32_t{0}) : v;
}

Value &output(Command &command, int position)
{
    return command.Parameters(position).value;
}

void assign(Command &command, int position, const Value &value)
{
    command.Parameters(position).value = value;
}

// A value seek's record from its outputs, in this order: the value, the time stamp, the text.
void assignFound(const Value &curvalue, const Value &datestamp, const Value &text,
                 DateTime &DateOut, double &value, QString &textvalue)
{
    value = curvalue.toDouble();
    DateOut = datestamp.toDateTime();
    textvalue = trimSpaces(text.toTextOrEmpty());
}

} // namespace

DataDDInt::DataDDInt() = default;
DataDDInt::~DataDDInt() = default;

void DataDDInt::Init(Connection &dbConn, const QString &AuditUser)
{
    m_connection = &dbConn;
    m_auditUser = AuditUser;
}

void DataDDInt::ConnectTo(std::int32_t IntervalsInDay)
{
    m_intervalsInDay = IntervalsInDay;
    m_intervalCode = slot::intervalCode(IntervalsInDay);
    m_minutesPerInterval = slot::minutesPerInterval(IntervalsInDay);
    buildCommands();
}

void DataDDInt::buildCommands()
{
    if (m_connection == nullptr)
        throw Error(errc::InvalidProcedureCall,
                    QStringLiteral("The daily-data store has no connection: Init must come "
                                   "before ConnectTo"));
    std::array<std::unique_ptr<Command>, CommandCount> commands;
    for (int i = 0; i < CommandCount; ++i)
        commands[i] = buildCommand(commandSpecs()[i], *m_connection, m_intervalCode);
    m_commands = std::move(commands);
}

const Command &DataDDInt::command(CommandIndex index) const
{
    return built(index);
}

Command &DataDDInt::built(CommandIndex index) const
{
    if (index < 0 || index >= CommandCount || !m_commands[index])
        throw Error(errc::InvalidProcedureCall,
                    QStringLiteral("The daily-data store is not connected: ConnectTo has not run"));
    return *m_commands[index];
}

DateTime DataDDInt::slotEndOf(DateTime slotStart) const
{
    return slot::slotEnd(slotStart, m_minutesPerInterval);
}

DateTime DataDDInt::GetSlotStartDateTime(DateTime SDate) const
{
    return slot::slotStart(SDate, m_intervalsInDay);
}

void DataDDInt::DeleteComment(DateTime SlotStartDatetime, std::int32_t VarId)
{
    Command &command = built(DeleteCommentText);
    assign(command, 0, SlotStartDatetime);
    assign(command, 1, VarId);
    assign(command, 2, slotEndOf(SlotStartDatetime));
    assign(command, 3, m_auditUser);
    command.Execute();
}

void DataDDInt::WriteComment(DateTime SlotStartDatetime, DateTime NewDateTime, std::int32_t VarId,
                             const QString &Comment)
{
    Command &command = built(WriteCommentText);
    assign(command, 0, NewDateTime);
    assign(command, 1, VarId);
    assign(command, 2, Comment);
    assign(command, 3, m_auditUser);
    assign(command, 4, SlotStartDatetime);
    assign(command, 5, slotEndOf(SlotStartDatetime));
    command.Execute();
}

void DataDDInt::SeekComment(DateTime SlotStartDatetime, std::int32_t VarId, QString &comment_out,
                            Value *AuditUser, Value *AuditTimeStamp)
{
    Command &command = built(SeekCommentText);
    assign(command, 0, VarId);
    assign(command, 4, SlotStartDatetime);
    assign(command, 5, slotEndOf(SlotStartDatetime));
    command.Execute();

    const Value &comment = output(command, 1);
    if (comment.toTextOrEmpty().isEmpty()) {
        m_noMatch = true;
        return;
    }
    m_noMatch = false;
    comment_out = comment.toText();
    if (AuditUser)
        *AuditUser = output(command, 2).toTextOrEmpty();
    if (AuditTimeStamp)
        *AuditTimeStamp = timeStampOrZero(output(command, 3));
}

void DataDDInt::SeekData(DateTime SlotStartDatetime, std::int32_t VarId, DateTime &DateOut,
                         double &value, QString &textvalue, Value *AuditUser, Value *AuditTimeStamp,
                         Value *Status, Value *FORCED)
{
    assignSeekInputs(SlotStartDatetime, VarId);
    Command &command = built(SeekValue);
    command.Execute();

    if (isMissing(output(command, 4))) {
        m_noMatch = true;
        return;
    }
    m_noMatch = false;
    assignFound(output(command, 2), output(command, 7), output(command, 3), DateOut, value,
                textvalue);
    if (AuditUser)
        *AuditUser = trimSpaces(output(command, 5).toTextOrEmpty());
    if (AuditTimeStamp)
        *AuditTimeStamp = timeStampOrZero(output(command, 6));
    if (Status)
        *Status = output(command, 10);
    if (FORCED)
        *FORCED = output(command, 11);
}

void DataDDInt::assignSeekInputs(DateTime SlotStartDatetime, std::int32_t VarId)
{
    Command &command = built(SeekValue);
    assign(command, 0, SlotStartDatetime);
    assign(command, 1, VarId);
    assign(command, 8, SlotStartDatetime);
    assign(command, 9, slotEndOf(SlotStartDatetime));
}

void DataDDInt::QueueSeekData(DateTime SlotStartDatetime, std::int32_t VarId)
{
    assignSeekInputs(SlotStartDatetime, VarId);
    built(SeekValue).QueueRead();
}

std::vector<std::optional<FoundValue>> DataDDInt::FetchSeeks()
{
    const std::vector<std::vector<Value>> calls = built(SeekValue).FetchRead();
    std::vector<std::optional<FoundValue>> found;
    found.reserve(calls.size());
    for (const std::vector<Value> &outputs : calls) {
        if (isMissing(outputs[4])) {
            found.emplace_back();
            continue;
        }
        std::optional<FoundValue> &record = found.emplace_back(FoundValue{});
        assignFound(outputs[2], outputs[7], outputs[3], record->DateOut, record->value,
                    record->textvalue);
    }
    if (!found.empty())
        m_noMatch = !found.back();
    return found;
}

void DataDDInt::DeleteData(DateTime SlotStartDatetime, std::int32_t VarId)
{
    Command &command = built(DeleteValue);
    assign(command, 0, SlotStartDatetime);
    assign(command, 1, VarId);
    assign(command, 2, m_auditUser);
    assign(command, 3, slotEndOf(SlotStartDatetime));
    command.Execute();
}

void DataDDInt::assignWriteInputs(DateTime SlotStartDatetime, DateTime NewDateTime,
                                  std::int32_t VarId, double value, const QString &textvalue,
                                  std::int32_t Status)
{
    Command &command = built(WriteValue);
    assign(command, 0, NewDateTime);
    assign(command, 1, VarId);
    assign(command, 2, value);
    assign(command, 3, textvalue);
    assign(command, 4, m_auditUser);
    assign(command, 5, SlotStartDatetime);
    assign(command, 6, slotEndOf(SlotStartDatetime));
    assign(command, 7, Status);
}

void DataDDInt::WriteData(DateTime SlotStartDatetime, DateTime NewDateTime, std::int32_t VarId,
                          double value, const QString &textvalue, std::int32_t Status)
{
    assignWriteInputs(SlotStartDatetime, NewDateTime, VarId, value, textvalue, Status);
    built(WriteValue).Execute();
}

void DataDDInt::QueueWriteData(DateTime SlotStartDatetime, DateTime NewDateTime, std::int32_t VarId,
                               double value, const QString &textvalue, std::int32_t Status)
{
    assignWriteInputs(SlotStartDatetime, NewDateTime, VarId, value, textvalue, Status);
    built(WriteValue).Queue();
}

void DataDDInt::FlushWrites()
{
    built(WriteValue).Flush();
}

void DataDDInt::FlushWritesAndCommit(dal::Transaction &transaction)
{
    transaction.commit(built(WriteValue));
}

void DataDDInt::SetStatus(DateTime DateTimeStamp, std::int32_t VarId, std::int32_t Status) noexcept
{
    try {
        const DateTime slotStart = GetSlotStartDateTime(DateTimeStamp);
        DateTime stamp;
        double value = 0;
        QString text;
        Value auditUser, auditTimeStamp, status, forced;
        SeekData(slotStart, VarId, stamp, value, text, &auditUser, &auditTimeStamp, &status,
                 &forced);
        if (m_noMatch)
            return;
        // The record's status and flag are taken as whole numbers: a Null one ends here.
        const std::int32_t storedStatus = status.toInt32();
        static_cast<void>(forced.toInt32());
        if (storedStatus != Status)
            WriteData(slotStart, stamp, VarId, value, text, Status);
    } catch (...) {
        // Setting a status is best effort: its callers go on whatever happened.
    }
}

void DataDDInt::SetForced(DateTime DateTimeStamp, std::int32_t VarId, std::int32_t FORCED)
{
    Command &command = built(SetForcedFlag);
    const DateTime slotStart = GetSlotStartDateTime(DateTimeStamp);
    assign(command, 0, slotStart);
    assign(command, 1, slotEndOf(slotStart));
    assign(command, 2, VarId);
    assign(command, 3, m_auditUser);
    assign(command, 4, FORCED);
    command.Execute();
}

void DataDDInt::SeekNext(DateTime SlotStartDatetime, DateTime SlotEndDatetime, std::int32_t VarId,
                         DateTime &DateOut, double &value, QString &textvalue,
                         std::int32_t GetNthRecord, Value *AuditUser, Value *AuditTimeStamp,
                         Value *Status, Value *FORCED)
{
    Command &command = built(SeekNthValue);
    assign(command, 0, VarId);
    assign(command, 1, SlotStartDatetime);
    assign(command, 2, SlotEndDatetime);
    assign(command, 3, GetNthRecord < 1 ? std::int32_t{1} : GetNthRecord);
    command.Execute();

    if (isMissing(output(command, 4))) {
        m_noMatch = true;
        return;
    }
    m_noMatch = false;
    assignFound(output(command, 6), output(command, 5), output(command, 7), DateOut, value,
                textvalue);
    if (AuditUser)
        *AuditUser = trimSpaces(output(command, 8).toTextOrEmpty());
    if (AuditTimeStamp)
        *AuditTimeStamp = timeStampOrZero(output(command, 9));
    if (Status)
        *Status = output(command, 10);
    if (FORCED)
        *FORCED = output(command, 11);
}

} // namespace zarn
