#include "app/RunTables.h"

#include "app/RunRecordJson.h"
#include "app/VerificationTables.h"

#include <algorithm>

namespace zarn {

namespace {

// Verbs of a summary, in the preview's conditional or the report's past.
struct Wording
{
    bool preview;
    QString done(const char *past, const char *conditional) const
    {
        return QLatin1String(preview ? conditional : past);
    }
};

QString count(std::size_t n)
{
    return QString::number(n);
}

QString stampText(const std::optional<DateTime> &stamp)
{
    return stamp ? stamp->toIsoText() : QString();
}

QString headingOf(const RunRecord &r)
{
    const QString kinds[] = {QStringLiteral("Preview"), QStringLiteral("Report"),
                             QStringLiteral("Verification")};
    QStringList steps;
    if (r.variables)
        steps << QStringLiteral("Variables");
    if (r.data)
        steps << QStringLiteral("Data from %1 to %2 (both excluded)").arg(r.startDate, r.endDate);
    return QStringLiteral("%1 of site %2 \"%3\" into facility %4 \"%5\": %6")
        .arg(kinds[static_cast<int>(r.kind)], r.siteId, r.siteName, r.facilityFileName,
             r.facilityName,
             steps.isEmpty() ? QStringLiteral("nothing chosen") : steps.join(QStringLiteral(", ")));
}

QString outcome(bool succeeded)
{
    return succeeded ? QString() : QStringLiteral(" (the step failed)");
}

void addLocations(const LocationTally &t, const Wording &w, RunView &view)
{
    view.summary << QStringLiteral("Locations: %1 kept, %2 added, %3 removed%4")
                        .arg(count(t.kept.size()), count(t.added.size()), count(t.removed.size()),
                             outcome(t.succeeded));
    RunTable table{QStringLiteral("Locations"),
                   {QStringLiteral("Action"), QStringLiteral("Key"), QStringLiteral("Name"),
                    QStringLiteral("LocID")},
                   {},
                   {3}};
    auto add = [&](const std::vector<LocationEntry> &entries, const QString &action) {
        for (const LocationEntry &e : entries)
            table.rows.push_back({action, e.key, e.name,
                                  e.locId > 0 ? QString::number(e.locId) : QStringLiteral("new")});
    };
    add(t.kept, w.done("kept", "keep"));
    add(t.added, w.done("added", "add"));
    add(t.removed, w.done("removed", "remove"));
    view.tables.push_back(table);
}

void addVariables(const VariableTally &t, const Wording &w, RunView &view)
{
    view.summary << QStringLiteral("Variables: %1 %2, %3 already there, %4 failed%5")
                        .arg(count(t.created.size()), w.done("created", "to create"),
                             count(t.existing.size()), count(t.failed.size()),
                             outcome(t.succeeded));
    RunTable table{QStringLiteral("Variables"),
                   {QStringLiteral("Action"), QStringLiteral("SensorID"),
                    QStringLiteral("SensorType"), QStringLiteral("Train"),
                    QStringLiteral("Description"), QStringLiteral("Why")},
                   {},
                   {1, 2}};
    auto add = [&](const std::vector<SensorEntry> &entries, const QString &action) {
        for (const SensorEntry &e : entries)
            table.rows.push_back(
                {action, e.sensorId, e.sensorType, e.trainNumber, e.description, e.reason});
    };
    add(t.created, w.done("created", "create"));
    add(t.existing, QStringLiteral("exists"));
    add(t.failed, QStringLiteral("fails"));
    view.tables.push_back(table);
}

void addCaptions(const CaptionTally &t, const Wording &w, RunView &view)
{
    view.summary << QStringLiteral("Captions: %1 %2%3")
                        .arg(count(t.written.size()), w.done("written", "to change"),
                             outcome(t.succeeded));
    RunTable table{
        QStringLiteral("Captions"),
        {QStringLiteral("Field"), QStringLiteral("Old caption"), QStringLiteral("New caption")},
        {},
        {}};
    for (const CaptionEntry &e : t.written) {
        const QString old = e.oldField.isEmpty()
                                ? e.oldCaption
                                : QStringLiteral("%1 (as %2)").arg(e.oldCaption, e.oldField);
        table.rows.push_back({e.field, old, e.newCaption});
    }
    view.tables.push_back(table);
}

void addData(const DataTally &t, const Wording &w, RunView &view)
{
    view.summary << QStringLiteral("Data: %1 readings between the dates, %2 %3, %4 passed over "
                                   "(no variable maps them)%5")
                        .arg(t.total)
                        .arg(t.written)
                        .arg(w.done("written", "to write"))
                        .arg(t.passedOverCount())
                        .arg(outcome(t.succeeded));
    if (t.failure) {
        const ReadingFailure &f = *t.failure;
        view.summary << QStringLiteral("Stopped at reading %1 (%2 at %3, value \"%4\"): %5; %6 "
                                       "readings before it %7.")
                            .arg(f.position)
                            .arg(f.readingKey, f.timeStamp, f.value,
                                 f.serverText.isEmpty() ? f.reason : f.serverText)
                            .arg(f.stored)
                            .arg(w.done("were stored", "would be stored"));
        if (!w.preview)
            view.summary << rerunNote();
    }
    if (t.stoppedAfter > 0)
        view.summary << QStringLiteral("Stopped by the operator after reading %1 of %2; the %3 "
                                       "readings written before the stop are stored.")
                            .arg(t.stoppedAfter)
                            .arg(t.total)
                            .arg(t.written)
                     << rerunNote();
    RunTable table{QStringLiteral("Data"),
                   {QStringLiteral("Reading key"), QStringLiteral("SensorID"),
                    QStringLiteral("Variable"), QStringLiteral("Readings"), QStringLiteral("First"),
                    QStringLiteral("Last")},
                   {},
                   {3}};
    if (w.preview) {
        table.headers << QStringLiteral("Slots");
        table.numericColumns.push_back(6);
    }
    for (const VariableReadings &r : t.perVariable) {
        QStringList row{r.readingKey,
                        r.sensorId,
                        r.newVariable ? QStringLiteral("new") : QString::number(r.varId),
                        QString::number(r.count),
                        r.first.toIsoText(),
                        r.last.toIsoText()};
        if (w.preview)
            row << QString::number(r.slotCount);
        table.rows.push_back(row);
    }
    for (const PassedOverReadings &p : t.passedOver) {
        QStringList row{p.readingKey,       p.sensorId,       p.reason, QString::number(p.count),
                        stampText(p.first), stampText(p.last)};
        if (w.preview)
            row << QString::number(p.slotCount);
        table.rows.push_back(row);
    }
    view.tables.push_back(table);
}

QString iconLabel(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QStringLiteral("[information]");
    case MessageIcon::Exclamation:
        return QStringLiteral("[exclamation]");
    case MessageIcon::Stop:
        return QStringLiteral("[stop]");
    case MessageIcon::None:
        break;
    }
    return QStringLiteral("[message]");
}

// The table in columns as wide as their widest cell, two blanks apart; numbers to the right.
QString tableText(const RunTable &table)
{
    std::vector<qsizetype> widths(static_cast<std::size_t>(table.headers.size()), 0);
    auto measure = [&](const QStringList &row) {
        for (qsizetype c = 0; c < row.size() && c < table.headers.size(); ++c)
            widths[std::size_t(c)] = std::max(widths[std::size_t(c)], row[c].size());
    };
    measure(table.headers);
    for (const QStringList &row : table.rows)
        measure(row);
    auto line = [&](const QStringList &row) {
        QStringList cells;
        for (qsizetype c = 0; c < row.size() && c < table.headers.size(); ++c) {
            const bool numeric = std::find(table.numericColumns.begin(), table.numericColumns.end(),
                                           c) != table.numericColumns.end();
            const int width = int(widths[std::size_t(c)]);
            cells << (numeric ? row[c].rightJustified(width) : row[c].leftJustified(width));
        }
        return QStringLiteral("  ") + cells.join(QStringLiteral("  ")).trimmed() +
               QLatin1Char('\n');
    };
    QString text = table.title + QLatin1Char('\n');
    if (table.rows.empty())
        return text + QStringLiteral("  (none)\n");
    text += line(table.headers);
    for (const QStringList &row : table.rows)
        text += line(row);
    return text;
}

} // namespace

RunView viewOf(const RunRecord &record)
{
    const Wording w{record.kind == RunRecord::Kind::Preview};
    RunView view;
    view.heading = headingOf(record);
    const ImportTally &t = record.tally;
    if (t.locations.ran)
        addLocations(t.locations, w, view);
    if (t.variables.ran)
        addVariables(t.variables, w, view);
    if (t.captions.ran)
        addCaptions(t.captions, w, view);
    if (t.data.ran)
        addData(t.data, w, view);
    if (record.verification.ran)
        addVerification(record.verification, view);
    for (const Message &m : record.messages)
        view.summary
            << iconLabel(m.icon) + QLatin1Char(' ') +
                   QString(m.text).replace(QStringLiteral("\r\n"), QStringLiteral(" ")).trimmed();
    for (const QString &detail : record.details)
        view.summary << detail;
    return view;
}

QString toText(const RunView &view)
{
    QString text = view.heading + QLatin1Char('\n');
    for (const QString &line : view.summary)
        text += QStringLiteral("  ") + line + QLatin1Char('\n');
    for (const RunTable &table : view.tables)
        text += QLatin1Char('\n') + tableText(table);
    return text;
}

} // namespace zarn
