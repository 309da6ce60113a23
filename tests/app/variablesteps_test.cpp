// The "Variables" steps of an import run when the locations cannot be written: no variable is
// made without its location, the captions are still written and the data import still runs.

#include "ImportDatabases.h"
#include "app/ImportRun.h"
#include "app/Workspace.h"
#include "support/RecordingUserInterface.h"
#include "support/WriteLock.h"

#include <functional>
#include <gtest/gtest.h>

using namespace zarn;

namespace {

// Records the messages and lets a test act at the moment one is shown.
class ReactingUserInterface : public test::RecordingUserInterface
{
public:
    void showMessage(const Message &message) override
    {
        RecordingUserInterface::showMessage(message);
        if (onMessage)
            onMessage(message);
    }

    std::function<void(const Message &)> onMessage;
};

int positionOf(const std::vector<ListEntry> &entries, const QString &key)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].key == key)
            return static_cast<int>(i);
    return -1;
}

struct VariableSteps : ::testing::Test
{
    void SetUp() override
    {
        // The lock below is waited for one second at a time.
        db.addIniLine(QStringLiteral("PELKZARN_CONNECTION_COMMAND_TIMEOUT=1"));
        ASSERT_TRUE(workspace.Start(db.iniPath()));
        choices.siteName = QStringLiteral("North Works");
        choices.sitePosition = positionOf(workspace.sites(), QStringLiteral("17"));
        choices.facilityName = QStringLiteral("North Plant");
        choices.facilityPosition = positionOf(workspace.facilities(), QStringLiteral("NORTH"));
        choices.variables = true;
        choices.data = true;
        choices.startDate = QStringLiteral("2024-03-05");
        choices.endDate = QStringLiteral("2024-03-06");
    }
    void TearDown() override { workspace.Close(); }

    std::vector<Message> messages() const { return ui.messages; }

    test::ImportDatabases db;
    ReactingUserInterface ui;
    Workspace workspace{ui};
    ImportChoices choices;
};

TEST_F(VariableSteps, LockedLocationsMakeNoVariablesButTheCaptionsAndTheDataStillRun)
{
    test::WriteLock lock(
        db.facilityConnectionString(),
        {QStringLiteral("LOCATION"), QStringLiteral("VARDESC"), QStringLiteral("UDCaps")});
    // The other writer is done once the locations have failed.
    ui.onMessage = [&](const Message &message) {
        if (message.text == QStringLiteral("Program was unable to create locations"))
            lock.release();
    };
    EXPECT_FALSE(runImport(workspace, ui, choices));
    EXPECT_EQ(messages(),
              (std::vector<Message>{{QStringLiteral("Program was unable to create locations"),
                                     MessageIcon::Exclamation, MessageButtons::Ok, QString(), 0},
                                    {QStringLiteral("Failed to Import the Vantrel Site into ZARN"),
                                     MessageIcon::Stop, MessageButtons::Ok, QString(), 0},
                                    {QStringLiteral("Inserted 0 data records into ZARN database."),
                                     MessageIcon::None, MessageButtons::Ok, QString(), 0}}));
    ASSERT_GE(ui.details.size(), 2u); // the data import may add its own
    EXPECT_TRUE(ui.details[0].startsWith(QStringLiteral("The locations could not be written: ")));
    EXPECT_EQ(ui.details[1], QStringLiteral("No variables were made, as the locations of this run "
                                            "could not be written."));
    EXPECT_EQ(db.locations(), 0);
    EXPECT_EQ(db.variables(), 0);
    EXPECT_EQ(db.importedCaptions(), 2);

    // The next run makes every variable under its own train's location, once.
    ui.onMessage = nullptr;
    ui.messages.clear();
    EXPECT_TRUE(runImport(workspace, ui, choices));
    EXPECT_EQ(db.variables(), 3);
    EXPECT_EQ(db.countInFacility(QStringLiteral(
                  "SELECT COUNT(*) FROM VARDESC v JOIN LOCATION l ON l.LocID=v.LOCID WHERE "
                  "l.UD1=CASE WHEN v.VARNUM=173 THEN '02' ELSE '01' END")),
              3);
    EXPECT_EQ(db.storedReadings(), 3);
}

} // namespace
