// Import runs through the window under Qt's offscreen platform, on the server under test: the
// operator's clicks on the real controls, the messages recorded instead of shown.

#include "ImportDatabases.h"
#include "app/window/RunRecordDialog.h"
#include "app/window/frmMain.h"
#include "support/RecordingUserInterface.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>

void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace zarn {
void PrintTo(const Message &m, std::ostream *os)
{
    *os << "{icon " << int(m.icon) << ": \"" << m.text.toStdString() << "\"}";
}
} // namespace zarn

using namespace zarn;

namespace {

Message notice(const QString &text)
{
    return Message{text, MessageIcon::None, MessageButtons::Ok, QString(), 0};
}
Message exclamation(const QString &text)
{
    return Message{text, MessageIcon::Exclamation, MessageButtons::Ok, QString(), 0};
}
Message stop(const QString &text)
{
    return Message{text, MessageIcon::Stop, MessageButtons::Ok, QString(), 0};
}

const Message created = notice(QStringLiteral("Created 3 ZARN Variables.\r\n"));
const Message stepFailed = stop(QStringLiteral("Failed to Import the Vantrel Site into ZARN"));
const Message endBeforeStart =
    notice(QStringLiteral("The end date must come after the start date!"));

Message inserted(int count)
{
    return notice(QStringLiteral("Inserted %1 data records into ZARN database.").arg(count));
}

// Records the messages, and lets a test act while the run lets window events run, or when a
// message is shown.
struct OperatorUi : test::RecordingUserInterface
{
    void showMessage(const Message &message) override
    {
        RecordingUserInterface::showMessage(message);
        pointerAtMessage.push_back(pointer);
        if (onMessage)
            onMessage(message);
    }
    void processEvents() override
    {
        RecordingUserInterface::processEvents();
        if (duringRun)
            std::exchange(duringRun, nullptr)();
    }
    void setProgressCount(std::int64_t done, std::int64_t total) override
    {
        RecordingUserInterface::setProgressCount(done, total);
        if (duringData)
            std::exchange(duringData, nullptr)();
    }

    std::function<void()> duringRun;  // once, at the next chance events get
    std::function<void()> duringData; // once, when the data import next shows its count
    std::function<void(const Message &)> onMessage;
    std::vector<MousePointer> pointerAtMessage;
};

// Answers the next question box that opens with the button of the given text.
void answerNextQuestion(const QString &answer)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        timer->stop();
        timer->deleteLater();
        for (QAbstractButton *button : box->buttons())
            if (button->text() == answer)
                button->click();
    });
    timer->start(10);
}

struct WindowImport : ::testing::Test
{
    void SetUp() override
    {
        db.addFacilityWithoutCatalog(QStringLiteral("GHOST"), QStringLiteral("Ghost Plant"));
        ASSERT_TRUE(window.start(db.iniPath()));
    }

    template <typename Control = QWidget> Control *control(const char *name)
    {
        return window.findChild<Control *>(QLatin1String(name));
    }

    void pick(const char *list, const QString &text)
    {
        auto *box = control<QComboBox>(list);
        box->setCurrentIndex(box->findText(text));
    }
    void tick(const char *box, bool ticked)
    {
        // On the box itself: a click beyond the caption's end misses the check box.
        QWidget *check = control(box);
        if (control<QAbstractButton>(box)->isChecked() != ticked)
            QTest::mouseClick(check, Qt::LeftButton, {}, QPoint(6, check->height() / 2));
        EXPECT_EQ(control<QAbstractButton>(box)->isChecked(), ticked) << box;
    }
    void type(const char *field, const QString &text)
    {
        control<QLineEdit>(field)->clear();
        QTest::keyClicks(control(field), text);
    }

    // Makes the choices as the operator would and clicks "Import"; returns the messages shown.
    std::vector<Message> import(const QString &site, const QString &facility, bool variables,
                                bool data, const QString &start = {}, const QString &end = {})
    {
        pick("cboSource", site);
        pick("cboFacility", facility);
        tick("chkVars", variables);
        tick("chkData", data);
        type("txtStartDate", start);
        type("txtEndDate", end);
        ui.messages.clear();
        QTest::mouseClick(control("btnImport"), Qt::LeftButton);
        EXPECT_EQ(ui.pointer, MousePointer::Default);
        return ui.messages;
    }

    test::ImportDatabases db;
    OperatorUi ui;
    frmMain window{ui};
};

const QString site = QStringLiteral("North Works");
const QString facility = QStringLiteral("North Plant");

// Each check stops the run with its message before anything is written. Nothing ticked opens
// no connection: the facility chosen then has no catalog at all.
TEST_F(WindowImport, ChecksRefuseTheChoicesWithTheirMessages)
{
    const struct
    {
        QString site, facility;
        bool variables, data;
        QString start, end, message;
    } cases[] = {
        {"", "", true, true, "2024-03-05", "2024-03-06", "You must choose a Vantrel Site."},
        {site, "", true, false, "", "", "You  must choose a ZARN Facility Name."},
        {site, "Ghost Plant", false, false, "", "", "You didn't select any data to import"},
        {site, facility, false, true, "", "2024-03-06", "Invalid Dates"},
        {site, facility, false, true, "2024-03-05", "6 March", "Invalid Dates"},
        {site, facility, false, true, "2024-03-05 10:00", "2024-03-05 10:59", endBeforeStart.text},
        {site, facility, false, true, "2024-03-06", "2024-03-05", endBeforeStart.text},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message.toStdString() + " " + c.start.toStdString());
        EXPECT_EQ(import(c.site, c.facility, c.variables, c.data, c.start, c.end),
                  std::vector<Message>{notice(c.message)});
    }
    EXPECT_EQ(db.locations() + db.variables() + db.storedReadings(), 0);
}

TEST_F(WindowImport, VariablesOnly)
{
    EXPECT_EQ(import(site, facility, true, false), std::vector<Message>{created});
    EXPECT_EQ(db.locations(), 2);
    EXPECT_EQ(db.variables(), 3);
    EXPECT_EQ(db.importedCaptions(), 2);
    EXPECT_EQ(db.storedReadings(), 0);
    EXPECT_FALSE(ui.progressShown);
}

// The data import writes the readings of sensors that have variables, strictly between the
// dates; the reading of a sensor without one is passed over.
TEST_F(WindowImport, DataOnlyAfterTheVariables)
{
    import(site, facility, true, false);
    EXPECT_EQ(import(site, facility, false, true, "2024-03-05", "2024-03-06"),
              std::vector<Message>{inserted(3)});
    EXPECT_EQ(db.storedReadings(), 3);
    EXPECT_TRUE(ui.progressShown);
    EXPECT_EQ(db.locations(), 2);
}

// 10:59 to 11:00 passes a full hour; the one reading between them is written.
TEST_F(WindowImport, BothStepsOverOneHourBoundary)
{
    EXPECT_EQ(import(site, facility, true, true, "2024-03-05 10:59", "2024-03-05 11:00"),
              (std::vector<Message>{created, inserted(1)}));
    EXPECT_EQ(db.variables(), 3);
    EXPECT_EQ(db.storedReadings(), 1);
}

TEST_F(WindowImport, EqualDatesStillImportTheVariablesFirst)
{
    EXPECT_EQ(import(site, facility, true, true, "2024-03-05 10:00", "2024-03-05 10:00"),
              (std::vector<Message>{created, endBeforeStart}));
    EXPECT_EQ(db.variables(), 3);
    EXPECT_EQ(db.storedReadings(), 0);
}

// The sensors table is missing while the variables are imported and back by the time the data
// is: the captions are still written and the data import still runs.
TEST_F(WindowImport, FailedVariablesAreFollowedByTheCaptionsAndTheData)
{
    import(site, facility, true, false);
    db.executeOnFacility(QStringLiteral("UPDATE UDCaps SET Caption = 'Old'"));
    db.executeOnSource(QStringLiteral("UPDATE SYSTEMS SET SensorsName = 'GONE' WHERE "
                                      "SystemID = 17"));
    ui.onMessage = [this](const Message &message) {
        if (message == stepFailed)
            db.executeOnSource(QStringLiteral("UPDATE SYSTEMS SET SensorsName = 'SENSORS_17' "
                                              "WHERE SystemID = 17"));
    };
    const std::vector<Message> shown =
        import(site, facility, true, true, "2024-03-05", "2024-03-06");
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[shown.size() - 3],
              exclamation(QStringLiteral("Program was unable to import the variables into ZARN")));
    EXPECT_EQ(shown[shown.size() - 2], stepFailed);
    EXPECT_EQ(shown.back(), inserted(3));
    EXPECT_EQ(db.importedCaptions(), 2);
    EXPECT_EQ(db.storedReadings(), 3);
}

// The pointer is restored before the message says so.
TEST_F(WindowImport, AFacilityThatCannotBeOpenedEndsTheRun)
{
    EXPECT_EQ(import(site, QStringLiteral("Ghost Plant"), true, true, "2024-03-05", "2024-03-06"),
              std::vector<Message>{
                  exclamation(QStringLiteral("Program was unable to import the data into ZARN"))});
    EXPECT_EQ(ui.pointerAtMessage, std::vector<MousePointer>{MousePointer::Default});
    EXPECT_TRUE(control("btnImport")->isEnabled());
}

// While the run lets window events run, "Import" and "Exit" take no clicks.
TEST_F(WindowImport, ImportAndExitAreRefusedDuringARun)
{
    bool importEnabled = true, exitEnabled = true;
    MousePointer pointer = MousePointer::Default;
    ui.duringRun = [&] {
        importEnabled = control("btnImport")->isEnabled();
        exitEnabled = control("btnCancel")->isEnabled();
        pointer = ui.pointer;
        QTest::mouseClick(control("btnImport"), Qt::LeftButton);
        QTest::mouseClick(control("btnCancel"), Qt::LeftButton);
    };
    EXPECT_EQ(import(site, facility, true, false), std::vector<Message>{created});
    EXPECT_FALSE(importEnabled);
    EXPECT_FALSE(exitEnabled);
    EXPECT_EQ(pointer, MousePointer::Hourglass);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.workspace().cnnRoot().isOpen());
    EXPECT_TRUE(control("btnImport")->isEnabled());
    EXPECT_TRUE(control("btnCancel")->isEnabled());
}

// Closing the window during a run asks whether to stop it; "Close when it ends" leaves the
// connections to the run, and the window closes when the run has ended.
TEST_F(WindowImport, ClosingDuringARunClosesWhenItEnds)
{
    bool closedAtOnce = true;
    ui.duringRun = [&] {
        answerNextQuestion(QStringLiteral("Close when it ends"));
        closedAtOnce = window.close();
        EXPECT_TRUE(window.workspace().cnnSource().isOpen());
    };
    EXPECT_EQ(import(site, facility, true, true, "2024-03-05", "2024-03-06"),
              (std::vector<Message>{created, inserted(3)}));
    EXPECT_FALSE(closedAtOnce);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.workspace().cnnSource().isOpen());
    EXPECT_FALSE(window.workspace().cnnRoot().isOpen());
}

// A data import long enough to show its progress: 20,000 readings of four sensors.
struct LongWindowImport : WindowImport
{
    void SetUp() override
    {
        schema::SiteSpec site;
        site.systemId = 300;
        site.name = QStringLiteral("Long Works");
        site.trains = {1};
        site.readings = total;
        // Two minutes apart, so that no two readings of a sensor share a one-minute slot.
        site.secondsBetweenReadings = 120;
        db.addGeneratedSite(site);
        WindowImport::SetUp();
    }

    // The readings the stop message says were gone through and stored.
    static std::pair<int, int> stoppedAfterAndStored(const Message &message)
    {
        const QRegularExpressionMatch m =
            QRegularExpression(
                QStringLiteral(R"(^The data import was stopped after (\d+) of 20000 )"
                               R"(readings: (\d+) data records were stored in the ZARN )"
                               R"(database\.\r\nRunning the same import again completes it\.$)"))
                .match(message.text);
        EXPECT_TRUE(m.hasMatch()) << message.text.toStdString();
        return {m.captured(1).toInt(), m.captured(2).toInt()};
    }

    // The summary of the last import's report, as its dialog shows it.
    QString lastReportText()
    {
        window.findChild<QAction *>(QStringLiteral("actLastReport"))->trigger();
        QApplication::processEvents();
        const auto dialogs = window.findChildren<RunRecordDialog *>();
        return dialogs.isEmpty() ? QString() : dialogs.last()->text();
    }

    static constexpr int total = 20000;
    const QString longSite = QStringLiteral("Long Works");
};

// The status line under the bar counts the readings with the rate and the time left; "Stop"
// ends the import after the batch being written, with exactly the readings before the stop
// stored, and the report says so. Closing the window and answering "Stop and close" does the
// same, and the second run wrote over the same slots.
TEST_F(LongWindowImport, StopEndsTheImportWithTheReadingsBeforeItStored)
{
    QString status;
    bool stopInSight = false;
    ui.duringData = [&] {
        status = control<QLabel>("lblProgress")->text();
        stopInSight = control("btnStop")->isVisible() && control("btnStop")->isEnabled();
        QTest::mouseClick(control("btnStop"), Qt::LeftButton);
    };
    std::vector<Message> shown = import(longSite, facility, true, true,
                                        QStringLiteral("2024-03-01"), QStringLiteral("2024-04-01"));
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral(R"(^\d+/20000 readings  \d+(\.\d)? readings/s  \d+:\d\d left$)"))
                    .match(status)
                    .hasMatch())
        << status.toStdString();
    EXPECT_TRUE(stopInSight);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], notice(QStringLiteral("Created 4 ZARN Variables.\r\n")));
    EXPECT_EQ(shown[2], stepFailed);
    const auto [after, stored] = stoppedAfterAndStored(shown[1]);
    EXPECT_GT(after, 0);
    EXPECT_LT(after, total);
    EXPECT_EQ(stored, after) << "every sensor has a variable";
    EXPECT_EQ(db.storedReadings(), stored);
    EXPECT_TRUE(lastReportText().contains(
        QStringLiteral("Stopped by the operator after reading %1 of 20000").arg(after)));
    EXPECT_TRUE(control("btnStop")->isHidden());
    EXPECT_TRUE(control("pbInsert")->isHidden());

    ui.duringData = [&] {
        answerNextQuestion(QStringLiteral("Stop and close"));
        window.close();
    };
    shown = import(longSite, facility, false, true, QStringLiteral("2024-03-01"),
                   QStringLiteral("2024-04-01"));
    ASSERT_EQ(shown.size(), 2u);
    const int secondStored = stoppedAfterAndStored(shown[0]).second;
    EXPECT_EQ(db.storedReadings(), std::max(stored, secondStored));
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.workspace().cnnRoot().isOpen());
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
