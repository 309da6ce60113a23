#pragma once

#include "app/RunRecord.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

namespace zarn {

// The record as one JSON object; its fields are described in the README ("Preview and run
// report").
QJsonObject toJson(const RunRecord &record);
QByteArray toJsonDocument(const RunRecord &record);

// Writes the record as one JSON document to path, whole or not at all (writeWholeFile), so that
// a half-written report never stands and an earlier report stays until the new one is whole.
// Returns what failed, naming the file, or nothing.
std::optional<QString> writeReport(const QString &path, const RunRecord &record);

// A key's readings passed over, as the data section lists them (with the slots, in a preview).
QJsonObject passedOverJson(const PassedOverReadings &p, bool withSlots);

// The sentence a report of a failed data import carries about running it again.
QString rerunNote();

} // namespace zarn
