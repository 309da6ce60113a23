#pragma once

#include "app/RunRecord.h"

#include <QString>
#include <QStringList>
#include <vector>

namespace zarn {

// One table of a preview or a report, as the batch mode prints it and the window shows it.
struct RunTable
{
    QString title;
    QStringList headers;
    std::vector<QStringList> rows;
    // Columns that hold numbers, sorted as numbers and aligned right.
    std::vector<int> numericColumns;
};

// A preview or a report for the reader: summary lines, then the tables of the steps that ran.
struct RunView
{
    QString heading;
    QStringList summary;
    std::vector<RunTable> tables;
};

RunView viewOf(const RunRecord &record);

// The view as plain text: the heading, the summary lines and each table in aligned columns.
QString toText(const RunView &view);

} // namespace zarn
