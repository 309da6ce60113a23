#pragma once

#include "platform/DateTime.h"
#include "platform/Value.h"
#include "platform/dal/Command.h"
#include "platform/dal/Connection.h"
#include "platform/dal/Transaction.h"

#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace zarn {

// The record that a value seek found, as SeekData gives it: its time stamp, its value and its
// text without blanks around it.
struct FoundValue
{
    DateTime DateOut;
    double value = 0;
    QString textvalue;
};

// The facility's daily-data store: reads, writes and deletes the value and the comment of one
// ZARN variable in one time slot through eight stored procedures of the facility database, one
// family of procedures per slot length. Failures are raised to the caller, except in SetStatus.
class DataDDInt
{
public:
    // The eight commands, in the order in which ConnectTo builds them.
    enum CommandIndex {
        WriteValue,
        SeekValue,
        SeekNthValue,
        DeleteValue,
        SetForcedFlag,
        SeekCommentText,
        WriteCommentText,
        DeleteCommentText,
        CommandCount
    };

    DataDDInt();
    ~DataDDInt();
    DataDDInt(const DataDDInt &) = delete;
    DataDDInt &operator=(const DataDDInt &) = delete;

    // Keeps the connection for the next ConnectTo and the audit user for every later call.
    void Init(dal::Connection &dbConn, const QString &AuditUser);
    // Sets the slot length and builds the eight commands on the connection held from Init.
    // Sends nothing to the database. 0 slots raise zarn::Error 11 after IntervalsInDay and the
    // interval code changed, leaving the slot length and the earlier commands as they were.
    void ConnectTo(std::int32_t IntervalsInDay);

    void DeleteComment(DateTime SlotStartDatetime, std::int32_t VarId);
    void WriteComment(DateTime SlotStartDatetime, DateTime NewDateTime, std::int32_t VarId,
                      const QString &Comment);
    // A comment that is Null or empty counts as none. The comment and its audit user keep
    // their blanks.
    void SeekComment(DateTime SlotStartDatetime, std::int32_t VarId, QString &comment_out,
                     Value *AuditUser = nullptr, Value *AuditTimeStamp = nullptr);
    // The optional outputs are written only when given: the audit user as trimmed text, the
    // audit time stamp (the number 0 when Null), the status and forced flag as returned, Null
    // included.
    void SeekData(DateTime SlotStartDatetime, std::int32_t VarId, DateTime &DateOut, double &value,
                  QString &textvalue, Value *AuditUser = nullptr, Value *AuditTimeStamp = nullptr,
                  Value *Status = nullptr, Value *FORCED = nullptr);
    void DeleteData(DateTime SlotStartDatetime, std::int32_t VarId);
    void WriteData(DateTime SlotStartDatetime, DateTime NewDateTime, std::int32_t VarId,
                   double value, const QString &textvalue, std::int32_t Status = 0);
    // Writes the record of the slot containing DateTimeStamp again with the new status, when
    // there is one with another status. Never raises: a failure ends it silently.
    void SetStatus(DateTime DateTimeStamp, std::int32_t VarId, std::int32_t Status) noexcept;
    void SetForced(DateTime DateTimeStamp, std::int32_t VarId, std::int32_t FORCED);
    bool NoMatch() const { return m_noMatch; }

    std::int32_t GetCurrentIntervalsInDay() const { return m_intervalsInDay; }
    std::int32_t GetMinutesPerInterval() const { return m_minutesPerInterval; }
    DateTime GetSlotStartDateTime(DateTime SDate) const;

    // The n-th record (1 for the first; anything below 1 counts as 1) of the caller's window.
    void SeekNext(DateTime SlotStartDatetime, DateTime SlotEndDatetime, std::int32_t VarId,
                  DateTime &DateOut, double &value, QString &textvalue,
                  std::int32_t GetNthRecord = 0, Value *AuditUser = nullptr,
                  Value *AuditTimeStamp = nullptr, Value *Status = nullptr,
                  Value *FORCED = nullptr);

    // WriteData for many values in a row: the same procedure with the same inputs, queued and
    // sent together by FlushWrites, which raises dal::BatchError with the number of queued
    // writes that succeeded before the first that failed.
    void QueueWriteData(DateTime SlotStartDatetime, DateTime NewDateTime, std::int32_t VarId,
                        double value, const QString &textvalue, std::int32_t Status = 0);
    void FlushWrites();
    // FlushWrites, then the commit of the transaction (of the connection held from Init), sent
    // with the last writes where the provider can. The transaction ends there; it raises as
    // dal::Transaction::commit does.
    void FlushWritesAndCommit(dal::Transaction &transaction);

    // SeekData for many slots in a row: the same procedure with the same inputs, queued and sent
    // together by FetchSeeks where the provider can. FetchSeeks returns what each seek found, in
    // the order queued: nothing where it found no record. NoMatch then tells of the last seek.
    // A seek that fails, or whose record's value or time stamp does not convert, raises, and
    // nothing of the seeks is returned.
    void QueueSeekData(DateTime SlotStartDatetime, std::int32_t VarId);
    std::vector<std::optional<FoundValue>> FetchSeeks();

    // A command as ConnectTo built it; raises zarn::Error before the first ConnectTo.
    const dal::Command &command(CommandIndex index) const;

private:
    dal::Command &built(CommandIndex index) const;
    DateTime slotEndOf(DateTime slotStart) const;
    void assignSeekInputs(DateTime SlotStartDatetime, std::int32_t VarId);
    void assignWriteInputs(DateTime SlotStartDatetime, DateTime NewDateTime, std::int32_t VarId,
                           double value, const QString &textvalue, std::int32_t Status);
    void buildCommands();

    dal::Connection *m_connection = nullptr;
    QString m_auditUser;
    std::int32_t m_intervalsInDay = -1;
    std::int32_t m_minutesPerInterval = 0;
    QString m_intervalCode;
    bool m_noMatch = true;
    std::array<std::unique_ptr<dal::Command>, CommandCount> m_commands;
};

} // namespace zarn
