#pragma once

#include "platform/DateTime.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <utility>

namespace zarn {

class UserInterface;
class Workspace;
struct ImportTally;

// What the operator chose for one import, as the window shows it: the texts of the site and
// facility lists with their positions (whose keys the hidden twins hold), the two check boxes
// and the two date texts.
struct ImportChoices
{
    QString siteName;
    int sitePosition = -1;
    QString facilityName;
    int facilityPosition = -1;
    bool variables = false;
    bool data = false;
    QString startDate;
    QString endDate;
};

// One click on "Import": checks the choices, opens a connection to the chosen facility for this
// run only, runs the variable steps and then the data import as chosen, telling the operator
// each outcome through ui, and closes the connection again. The hourglass shows while it runs.
// Returns true when every chosen step ran and succeeded: no check refused the choices, no step
// returned false and no step reported a caught error or a failure. When tally is given, it
// receives what the steps did, however the run ended.
bool runImport(Workspace &workspace, UserInterface &ui, const ImportChoices &choices,
               ImportTally *tally = nullptr);

// The import's own checks of the choices, in the order it makes them, each telling the operator
// what it refuses: a site and a facility chosen, and something to import.
bool choicesComplete(UserInterface &ui, const QString &siteName, const QString &facilityName,
                     bool variables, bool data);
// The date range of a data import: both texts valid dates, a full hour of the clock apart;
// nothing, with the operator told why, otherwise.
std::optional<std::pair<DateTime, DateTime>>
checkedDateRange(UserInterface &ui, const QString &startDate, const QString &endDate);

// How many times the clock passes a full hour from start to end (negative when end comes
// first), counted on whole milliseconds so that 10:59 to 11:00 counts one.
std::int64_t hourBoundariesBetween(DateTime start, DateTime end);

} // namespace zarn
