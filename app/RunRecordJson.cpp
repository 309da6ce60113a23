#include "app/RunRecordJson.h"

#include "app/ReportFile.h"
#include "app/VerificationJson.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace zarn {

namespace {

QJsonValue stampOrNull(const std::optional<DateTime> &stamp)
{
    return stamp ? QJsonValue(stamp->toIsoText()) : QJsonValue();
}

template <typename Entry, typename Convert>
QJsonArray arrayOf(const std::vector<Entry> &entries, Convert convert)
{
    QJsonArray array;
    for (const Entry &entry : entries)
        array.append(convert(entry));
    return array;
}

QJsonObject stepObject(bool ran, bool succeeded)
{
    return QJsonObject{{QStringLiteral("ran"), ran}, {QStringLiteral("succeeded"), succeeded}};
}

QJsonObject locationsJson(const LocationTally &t)
{
    auto entry = [](const LocationEntry &e) {
        return QJsonObject{
            {QStringLiteral("key"), e.key},
            {QStringLiteral("name"), e.name},
            {QStringLiteral("locId"), e.locId > 0 ? QJsonValue(e.locId) : QJsonValue()}};
    };
    QJsonObject o = stepObject(t.ran, t.succeeded);
    o.insert(QStringLiteral("kept"), arrayOf(t.kept, entry));
    o.insert(QStringLiteral("added"), arrayOf(t.added, entry));
    o.insert(QStringLiteral("removed"), arrayOf(t.removed, entry));
    return o;
}

QJsonObject variablesJson(const VariableTally &t)
{
    auto entry = [](const SensorEntry &e) {
        QJsonObject o{{QStringLiteral("sensorId"), e.sensorId},
                      {QStringLiteral("sensorType"), e.sensorType},
                      {QStringLiteral("trainNumber"), e.trainNumber},
                      {QStringLiteral("description"), e.description}};
        if (!e.reason.isEmpty())
            o.insert(QStringLiteral("reason"), e.reason);
        return o;
    };
    QJsonObject o = stepObject(t.ran, t.succeeded);
    o.insert(QStringLiteral("created"), arrayOf(t.created, entry));
    o.insert(QStringLiteral("existing"), arrayOf(t.existing, entry));
    o.insert(QStringLiteral("failed"), arrayOf(t.failed, entry));
    return o;
}

QJsonObject captionsJson(const CaptionTally &t)
{
    auto entry = [](const CaptionEntry &e) {
        QJsonObject o{{QStringLiteral("field"), e.field},
                      {QStringLiteral("old"), e.oldCaption},
                      {QStringLiteral("new"), e.newCaption}};
        if (!e.oldField.isEmpty())
            o.insert(QStringLiteral("oldField"), e.oldField);
        return o;
    };
    QJsonObject o = stepObject(t.ran, t.succeeded);
    o.insert(QStringLiteral("written"), arrayOf(t.written, entry));
    return o;
}

QJsonValue failureJson(const std::optional<ReadingFailure> &failure)
{
    if (!failure)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("readingKey"), failure->readingKey},
                       {QStringLiteral("timeStamp"), failure->timeStamp},
                       {QStringLiteral("value"), failure->value},
                       {QStringLiteral("position"), double(failure->position)},
                       {QStringLiteral("stored"), double(failure->stored)},
                       {QStringLiteral("inDoubt"), double(failure->inDoubt)},
                       {QStringLiteral("serverText"), failure->serverText},
                       {QStringLiteral("reason"), failure->reason},
                       {QStringLiteral("rerun"), rerunNote()}};
}

// Null, or after how many readings the operator stopped the import, with the readings stored.
QJsonValue stoppedJson(const DataTally &t)
{
    if (t.stoppedAfter == 0)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("after"), double(t.stoppedAfter)},
                       {QStringLiteral("stored"), double(t.written)},
                       {QStringLiteral("rerun"), rerunNote()}};
}

QJsonObject dataJson(const DataTally &t, bool withSlots)
{
    auto variable = [withSlots](const VariableReadings &r) {
        QJsonObject o{
            {QStringLiteral("readingKey"), r.readingKey},
            {QStringLiteral("sensorId"), r.sensorId},
            {QStringLiteral("varId"), r.varId > 0 ? QJsonValue(r.varId) : QJsonValue()},
            {QStringLiteral("newVariable"), r.newVariable},
            {QStringLiteral("count"), double(r.count)},
            {QStringLiteral("first"), r.count > 0 ? QJsonValue(r.first.toIsoText()) : QJsonValue()},
            {QStringLiteral("last"), r.count > 0 ? QJsonValue(r.last.toIsoText()) : QJsonValue()}};
        if (withSlots)
            o.insert(QStringLiteral("slots"), double(r.slotCount));
        return o;
    };
    auto passedOver = [withSlots](const PassedOverReadings &p) {
        return passedOverJson(p, withSlots);
    };
    QJsonObject o = stepObject(t.ran, t.succeeded);
    o.insert(QStringLiteral("total"), double(t.total));
    o.insert(QStringLiteral("written"), double(t.written));
    o.insert(QStringLiteral("passedOver"), double(t.passedOverCount()));
    o.insert(QStringLiteral("perVariable"), arrayOf(t.perVariable, variable));
    o.insert(QStringLiteral("passedOverByKey"), arrayOf(t.passedOver, passedOver));
    o.insert(QStringLiteral("failure"), failureJson(t.failure));
    o.insert(QStringLiteral("stopped"), stoppedJson(t));
    return o;
}

} // namespace

QJsonObject passedOverJson(const PassedOverReadings &p, bool withSlots)
{
    QJsonObject o{
        {QStringLiteral("readingKey"), p.readingKey},
        {QStringLiteral("sensorId"), p.sensorId.isEmpty() ? QJsonValue() : QJsonValue(p.sensorId)},
        {QStringLiteral("reason"), p.reason},
        {QStringLiteral("count"), double(p.count)},
        {QStringLiteral("first"), stampOrNull(p.first)},
        {QStringLiteral("last"), stampOrNull(p.last)}};
    if (withSlots)
        o.insert(QStringLiteral("slots"), double(p.slotCount));
    return o;
}

QString rerunNote()
{
    return QStringLiteral("Running the same import again stores the rest: its writes replace "
                          "the values of the same slots.");
}

QJsonObject toJson(const RunRecord &record)
{
    const bool preview = record.kind == RunRecord::Kind::Preview;
    const QString kinds[] = {QStringLiteral("preview"), QStringLiteral("report"),
                             QStringLiteral("verification")};
    auto message = [](const Message &m) {
        return QJsonObject{{QStringLiteral("kind"), messageKindName(m.icon)},
                           {QStringLiteral("text"), m.text}};
    };
    auto detail = [](const QString &d) { return QJsonValue(d); };
    return QJsonObject{
        {QStringLiteral("kind"), kinds[static_cast<int>(record.kind)]},
        {QStringLiteral("site"), QJsonObject{{QStringLiteral("id"), record.siteId},
                                             {QStringLiteral("name"), record.siteName}}},
        {QStringLiteral("facility"),
         QJsonObject{{QStringLiteral("fileName"), record.facilityFileName},
                     {QStringLiteral("name"), record.facilityName}}},
        {QStringLiteral("chosen"), QJsonObject{{QStringLiteral("variables"), record.variables},
                                               {QStringLiteral("data"), record.data},
                                               {QStringLiteral("start"), record.startDate},
                                               {QStringLiteral("end"), record.endDate}}},
        {QStringLiteral("startedAt"), record.startedAt.toIsoText()},
        {QStringLiteral("endedAt"), record.endedAt.toIsoText()},
        {QStringLiteral("succeeded"), record.succeeded},
        {QStringLiteral("messages"), arrayOf(record.messages, message)},
        {QStringLiteral("details"), arrayOf(record.details, detail)},
        {QStringLiteral("locations"), locationsJson(record.tally.locations)},
        {QStringLiteral("variables"), variablesJson(record.tally.variables)},
        {QStringLiteral("captions"), captionsJson(record.tally.captions)},
        {QStringLiteral("data"), dataJson(record.tally.data, preview)},
        {QStringLiteral("verify"), verificationJson(record.verification)},
    };
}

QByteArray toJsonDocument(const RunRecord &record)
{
    return QJsonDocument(toJson(record)).toJson(QJsonDocument::Indented);
}

std::optional<QString> writeReport(const QString &path, const RunRecord &record)
{
    return writeWholeFile(path, toJsonDocument(record));
}

} // namespace zarn
