#include "app/ImportRun.h"

#include "app/Workspace.h"
#include "import/Importer.h"
#include "platform/Error.h"
#include "platform/UserInterface.h"
#include "platform/dal/Connection.h"

#include <cmath>
#include <optional>

namespace zarn {

namespace {

const QString NoSiteText = QStringLiteral("You must choose a Vantrel Site.");
const QString NoFacilityText = QStringLiteral("You  must choose a ZARN Facility Name.");
const QString NothingChosenText = QStringLiteral("You didn't select any data to import");
const QString InvalidDatesText = QStringLiteral("Invalid Dates");
const QString EndBeforeStartText = QStringLiteral("The end date must come after the start date!");
const QString StepFailedText = QStringLiteral("Failed to Import the Vantrel Site into ZARN");
const QString RunFailedText = QStringLiteral("Program was unable to import the data into ZARN");

constexpr long InvalidPropertyValue = 380;
constexpr std::int64_t msPerDay = 86'400'000;
constexpr std::int64_t msPerHour = 3'600'000;

std::int64_t wholeMilliseconds(DateTime t)
{
    return std::llround(t.days() * static_cast<double>(msPerDay));
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b)
{
    const std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

void tell(UserInterface &ui, const QString &text, MessageIcon icon = MessageIcon::None)
{
    ui.showMessage(Message{text, icon, MessageButtons::Ok, QString(), 0});
}

// Passes everything on to the operator's user interface and notes whether a message told of a
// failure: the import steps report a caught error with an exclamation and a failed step with a
// stop icon, even those steps that return nothing.
class FailureWatch : public UserInterface
{
public:
    explicit FailureWatch(UserInterface &ui) : m_ui(ui) {}

    void showMessage(const Message &message) override
    {
        if (message.icon == MessageIcon::Exclamation || message.icon == MessageIcon::Stop)
            m_sawFailure = true;
        m_ui.showMessage(message);
    }
    void setProgressMax(int max) override { m_ui.setProgressMax(max); }
    void setProgressValue(int value) override { m_ui.setProgressValue(value); }
    void setProgressVisible(bool visible) override { m_ui.setProgressVisible(visible); }
    void setProgressCount(std::int64_t done, std::int64_t total) override
    {
        m_ui.setProgressCount(done, total);
    }
    MousePointer mousePointer() const override { return m_ui.mousePointer(); }
    void setMousePointer(MousePointer pointer) override { m_ui.setMousePointer(pointer); }
    void processEvents() override { m_ui.processEvents(); }
    bool stopRequested() const override { return m_ui.stopRequested(); }
    void reportDetail(const QString &detail) override { m_ui.reportDetail(detail); }

    bool sawFailure() const { return m_sawFailure; }

private:
    UserInterface &m_ui;
    bool m_sawFailure = false;
};

// The key that the hidden twin holds at the position chosen in the visible list. A position
// the list does not have is an invalid property value, as it would be for the list itself.
const QString &keyAt(const std::vector<ListEntry> &entries, int position)
{
    if (position < 0 || static_cast<std::size_t>(position) >= entries.size())
        throw Error(InvalidPropertyValue, QStringLiteral("Invalid property value"));
    return entries[static_cast<std::size_t>(position)].key;
}

// The site and facility of one run, as the import steps take them.
struct Target
{
    QString siteId;
    QString facilityName;
    QString facilityFileName;
};

// The locations, the variables and the captions. Without this run's locations no variable is
// made, since it would be filed under a location that is not its train's; the captions are
// written even when the variables failed.
bool importVariables(Importer &importer, UserInterface &ui, const Target &target)
{
    const bool located = importer.CreateLocations(target.siteId);
    if (!located)
        ui.reportDetail(QStringLiteral("No variables were made, as the locations of this run "
                                       "could not be written."));
    const bool imported =
        located && importer.ImportVars(target.siteId, target.facilityName, target.facilityFileName);
    if (!imported)
        tell(ui, StepFailedText, MessageIcon::Stop);
    importer.UpdateUDCaps();
    return imported;
}

// The readings strictly between the two dates, between which the clock must pass a full hour.
bool importData(Importer &importer, UserInterface &ui, const Target &target,
                const ImportChoices &choices)
{
    const auto range = checkedDateRange(ui, choices.startDate, choices.endDate);
    if (!range)
        return false;
    if (!importer.ImportData(range->first, range->second, target.siteId, target.facilityName,
                             target.facilityFileName)) {
        tell(ui, StepFailedText, MessageIcon::Stop);
        return false;
    }
    return true;
}

// Hands what the importer's steps did to the caller when the run ends, however it ends.
class TallyHandover
{
public:
    TallyHandover(const Importer &importer, ImportTally *tally)
        : m_importer(importer), m_tally(tally)
    {}
    ~TallyHandover()
    {
        if (m_tally)
            *m_tally = m_importer.tally();
    }
    TallyHandover(const TallyHandover &) = delete;
    TallyHandover &operator=(const TallyHandover &) = delete;

private:
    const Importer &m_importer;
    ImportTally *m_tally;
};

// The chosen steps on an open facility connection.
bool runSteps(Workspace &workspace, UserInterface &ui, dal::Connection &cnnFacility,
              const Target &target, const ImportChoices &choices, ImportTally *tally)
{
    Importer importer(ui, workspace.cnnManager().DB_TYPE());
    const TallyHandover handover(importer, tally);
    if (!importer.Init(workspace.cnnSource(), cnnFacility, workspace.cnnRoot(),
                       target.facilityFileName))
        return false;
    bool succeeded = true;
    if (choices.variables)
        succeeded = importVariables(importer, ui, target);
    if (choices.data)
        succeeded = importData(importer, ui, target, choices) && succeeded;
    return succeeded;
}

// The run's message does not say why the facility cannot be reached; the detail does (a file
// name that is no catalog of the server, a server that is down).
void openFacility(dal::Connection &cnnFacility, UserInterface &ui)
{
    try {
        cnnFacility.Open();
    } catch (const Error &e) {
        ui.reportDetail(
            QStringLiteral("The facility connection cannot be opened: %1").arg(e.description()));
        throw;
    }
}

// Checks the choices, then runs the steps on a facility connection of this run's own. Raises
// what the steps do not trap; the connection is closed however the run ends.
bool checkAndImport(Workspace &workspace, UserInterface &ui, const ImportChoices &choices,
                    ImportTally *tally)
{
    if (!choicesComplete(ui, choices.siteName, choices.facilityName, choices.variables,
                         choices.data))
        return false;
    const Target target{keyAt(workspace.sites(), choices.sitePosition), choices.facilityName,
                        keyAt(workspace.facilities(), choices.facilityPosition)};

    dal::Connection cnnFacility;
    workspace.cnnManager().ConfigCnn4FACILITY(cnnFacility, target.facilityFileName);
    openFacility(cnnFacility, ui);
    const bool succeeded = runSteps(workspace, ui, cnnFacility, target, choices, tally);
    cnnFacility.Close();
    return succeeded;
}

} // namespace

bool choicesComplete(UserInterface &ui, const QString &siteName, const QString &facilityName,
                     bool variables, bool data)
{
    if (siteName.isEmpty()) {
        tell(ui, NoSiteText);
        return false;
    }
    if (facilityName.isEmpty()) {
        tell(ui, NoFacilityText);
        return false;
    }
    if (!variables && !data) {
        tell(ui, NothingChosenText);
        return false;
    }
    return true;
}

std::optional<std::pair<DateTime, DateTime>>
checkedDateRange(UserInterface &ui, const QString &startDate, const QString &endDate)
{
    const std::optional<DateTime> start = DateTime::parse(startDate);
    const std::optional<DateTime> end = DateTime::parse(endDate);
    if (!start || !end) {
        tell(ui, InvalidDatesText);
        return std::nullopt;
    }
    if (hourBoundariesBetween(*start, *end) <= 0) {
        tell(ui, EndBeforeStartText);
        return std::nullopt;
    }
    return std::pair(*start, *end);
}

std::int64_t hourBoundariesBetween(DateTime start, DateTime end)
{
    return floorDiv(wholeMilliseconds(end), msPerHour) -
           floorDiv(wholeMilliseconds(start), msPerHour);
}

bool runImport(Workspace &workspace, UserInterface &operatorUi, const ImportChoices &choices,
               ImportTally *tally)
{
    FailureWatch ui(operatorUi);
    const MousePointer remembered = ui.mousePointer();
    try {
        ui.setMousePointer(MousePointer::Hourglass);
        ui.processEvents();
        const bool succeeded = checkAndImport(workspace, ui, choices, tally);
        ui.setMousePointer(remembered);
        return succeeded && !ui.sawFailure();
    } catch (...) {
        ui.setMousePointer(remembered);
        tell(ui, RunFailedText, MessageIcon::Exclamation);
        return false;
    }
}

} // namespace zarn
