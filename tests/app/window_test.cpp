// The main window under Qt's offscreen platform: its controls, its lists after start-up, every
// start-up failure, exit, and the Qt user interface the import steps report through.

#include "StartupDatabases.h"
#include "app/window/QtUserInterface.h"
#include "app/window/RunRecordDialog.h"
#include "app/window/frmMain.h"
#include "platform/Error.h"
#include "support/RecordingUserInterface.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <ostream>
#include <utility>
#include <vector>

// Readable failures: gtest finds this for QString by argument-dependent lookup.
void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

using namespace zarn;
using test::RecordingUserInterface;
using test::StartupDatabases;

namespace {

template <typename Control = QWidget> Control *control(const QWidget &window, const char *name)
{
    return window.findChild<Control *>(QLatin1String(name));
}

QString captionOf(const QWidget &widget)
{
    if (const auto *frame = qobject_cast<const QGroupBox *>(&widget))
        return frame->title();
    if (const auto *label = qobject_cast<const QLabel *>(&widget))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(&widget))
        return button->text();
    return {};
}

// The visible list and its hidden twin, entry by entry.
std::vector<std::pair<QString, QString>> listPairs(const QWidget &window, const char *visible,
                                                   const char *twin)
{
    const auto *names = control<QComboBox>(window, visible);
    const auto *keys = control<QComboBox>(window, twin);
    EXPECT_EQ(names->count(), keys->count());
    std::vector<std::pair<QString, QString>> pairs;
    for (int i = 0; i < names->count(); ++i)
        pairs.emplace_back(names->itemText(i), keys->itemText(i));
    return pairs;
}

using Pairs = std::vector<std::pair<QString, QString>>;

// ---------------------------------------------------------------------------------------------
// Layout

struct Placement
{
    const char *name;
    const char *kind;
    const char *container;
    const char *caption;
    int left, top, width, height; // twips
};

const Placement layout[] = {
    {"Frame1", "QGroupBox", "frmMain", "Choose Databases", 240, 165, 5010, 1860},
    {"Label1", "QLabel", "Frame1", "Vantrel Site:", 135, 540, 1230, 420},
    {"cboSource", "QComboBox", "Frame1", "", 1350, 540, 3390, 315},
    {"cboSiteID", "QComboBox", "Frame1", "", 4320, 270, 330, 315},
    {"Label2", "QLabel", "Frame1", "ZARN Facility:", 135, 1215, 1230, 285},
    {"cboFacility", "QComboBox", "Frame1", "", 1350, 1215, 3390, 315},
    {"cboFileName", "QComboBox", "Frame1", "", 4410, 540, 330, 315},
    {"Frame3", "QGroupBox", "frmMain", "Date Range", 5535, 135, 3255, 1230},
    {"Label3", "QLabel", "Frame3", "Start Date:", 135, 405, 1095, 285},
    {"txtStartDate", "QLineEdit", "Frame3", "", 1350, 405, 1500, 285},
    {"Label4", "QLabel", "Frame3", "End Date:", 135, 810, 1095, 285},
    {"txtEndDate", "QLineEdit", "Frame3", "", 1350, 810, 1500, 285},
    {"Frame4", "QGroupBox", "frmMain", "Import Selection", 5535, 1620, 1770, 1230},
    {"chkVars", "QCheckBox", "Frame4", "Variables", 135, 405, 1230, 285},
    {"chkData", "QCheckBox", "Frame4", "Data", 135, 810, 1500, 285},
    {"btnImport", "QPushButton", "frmMain", "Import", 7560, 1755, 1230, 420},
    {"btnCancel", "QPushButton", "frmMain", "Exit", 7560, 2430, 1230, 420},
    {"pbInsert", "QProgressBar", "frmMain", "", 270, 2430, 5010, 420},
};

// The layout's client area stands at the top of the window, at its size; the additions (the
// progress's status line, the buttons in sight) take a band below it.
TEST(WindowLayout, EveryControlHasItsNameKindCaptionAndTwipsAt96Dpi)
{
    RecordingUserInterface ui;
    frmMain window(ui);
    ASSERT_EQ(window.screen()->logicalDotsPerInchX(), 96.0);
    ASSERT_EQ(window.screen()->logicalDotsPerInchY(), 96.0);

    EXPECT_EQ(window.objectName(), QStringLiteral("frmMain"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("ZARN Vantrel Import Tool"));
    EXPECT_EQ(window.width(), 9045 / 15);
    EXPECT_GT(window.height(), 3105 / 15);
    EXPECT_EQ(window.minimumSize(), window.size());

    for (const Placement &p : layout) {
        SCOPED_TRACE(p.name);
        const QWidget *widget = control(window, p.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_STREQ(widget->metaObject()->className(), p.kind);
        EXPECT_EQ(widget->parentWidget()->objectName(), QLatin1String(p.container));
        EXPECT_EQ(captionOf(*widget), QLatin1String(p.caption));
        EXPECT_EQ(widget->geometry(), QRect(p.left / 15, p.top / 15, p.width / 15, p.height / 15));
    }
}

// Made wider, the window widens the lists, the date boxes and the bar, and moves what stands
// right of them along; it keeps its height.
TEST(WindowLayout, AWiderWindowWidensTheFieldsAndMovesTheButtons)
{
    RecordingUserInterface ui;
    frmMain window(ui);
    window.show();
    const QSize first = window.size();
    auto geometry = [&](const char *name) { return control(window, name)->geometry(); };
    std::map<QString, QRect> before;
    for (const Placement &p : layout)
        before[p.name] = geometry(p.name);

    window.resize(first.width() + 200, first.height() + 100);
    QApplication::processEvents();
    EXPECT_EQ(window.height(), first.height());
    const struct
    {
        const char *name;
        int moved, widened;
    } expected[] = {{"Frame1", 0, 100},   {"cboSource", 0, 100},    {"cboFacility", 0, 100},
                    {"Frame3", 100, 100}, {"txtStartDate", 0, 100}, {"txtEndDate", 0, 100},
                    {"Frame4", 100, 0},   {"btnImport", 200, 0},    {"btnCancel", 200, 0},
                    {"pbInsert", 0, 100}, {"Label1", 0, 0},         {"chkData", 0, 0}};
    for (const auto &e : expected) {
        SCOPED_TRACE(e.name);
        const QRect was = before[e.name];
        EXPECT_EQ(geometry(e.name),
                  QRect(was.left() + e.moved, was.top(), was.width() + e.widened, was.height()));
    }
}

TEST(WindowLayout, StartsWithTwinsAndProgressHiddenAndNothingChosen)
{
    RecordingUserInterface ui;
    frmMain window(ui);
    for (const Placement &p : layout) {
        const bool hidden = QByteArray(p.name) == "cboSiteID" ||
                            QByteArray(p.name) == "cboFileName" || QByteArray(p.name) == "pbInsert";
        EXPECT_EQ(control(window, p.name)->isHidden(), hidden) << p.name;
    }
    for (const char *list : {"cboSource", "cboSiteID", "cboFacility", "cboFileName"})
        EXPECT_FALSE(control<QComboBox>(window, list)->isEditable()) << list;
    for (const char *dateBox : {"txtStartDate", "txtEndDate"}) {
        EXPECT_TRUE(control<QLineEdit>(window, dateBox)->text().isEmpty());
        // The grey text of an empty box cannot be taken for a date given.
        const QString grey = control<QLineEdit>(window, dateBox)->placeholderText();
        EXPECT_FALSE(grey.isEmpty());
        EXPECT_FALSE(DateTime::parse(grey)) << grey.toStdString();
    }
    EXPECT_FALSE(control<QAbstractButton>(window, "chkVars")->isChecked());
    EXPECT_FALSE(control<QAbstractButton>(window, "chkData")->isChecked());
}

// Tab visits the focusable controls in the layout's order, then the buttons added below them;
// the hidden twins and the greyed "Last import report" are passed over.
TEST(WindowLayout, TabMovesThroughTheControlsInTheLayoutOrder)
{
    RecordingUserInterface ui;
    frmMain window(ui);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    control(window, "btnImport")->setFocus();

    QStringList visited;
    for (int i = 0; i < 11; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited, (QStringList{"btnCancel", "cboSource", "txtStartDate", "txtEndDate",
                                    "chkVars", "chkData", "cboFacility", "btnHelp", "btnPreview",
                                    "btnVerify", "btnImport"}));
}

// Help, Preview, Verify and the last import's report are buttons in sight, each naming its
// key; F1 opens the help: the README's sections on running an import, the dates and the
// configuration.
TEST(WindowLayout, HelpPreviewAndTheReportAreInSightWithTheirKeys)
{
    RecordingUserInterface ui;
    frmMain window(ui);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const struct
    {
        const char *button, *caption, *key;
    } buttons[] = {{"btnHelp", "Help", "F1"},
                   {"btnPreview", "Preview", "Ctrl+P"},
                   {"btnVerify", "Verify", "Ctrl+Shift+V"},
                   {"btnLastReport", "Last import report", "Ctrl+R"}};
    for (const auto &b : buttons) {
        SCOPED_TRACE(b.button);
        auto *button = control<QAbstractButton>(window, b.button);
        ASSERT_NE(button, nullptr);
        EXPECT_TRUE(button->isVisible());
        EXPECT_EQ(button->text(), QLatin1String(b.caption));
        EXPECT_TRUE(button->toolTip().contains(QLatin1String(b.key)))
            << button->toolTip().toStdString();
    }
    EXPECT_FALSE(control(window, "btnLastReport")->isEnabled()) << "no import has run yet";

    QTest::keyClick(&window, Qt::Key_F1);
    auto *help = window.findChild<QDialog *>(QStringLiteral("HelpDialog"));
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    const QString text = help->findChild<QTextBrowser *>()->toMarkdown();
    for (const char *part : {"Running an import", "In the window", "2024-3-5", "In batch mode",
                             "Configuration", "PELKZARN_CONNECTION_DATASOURCE"})
        EXPECT_TRUE(text.contains(QLatin1String(part))) << part;
    EXPECT_FALSE(text.contains(QLatin1String("Benchmark")));
}

// The tables of a preview or a report open sorted ascending on their first column.
TEST(RunRecordTables, OpenSortedAscending)
{
    RunRecord record;
    record.tally.data.ran = true;
    for (const char *key : {"2_0", "3_0", "1_0"}) {
        VariableReadings readings;
        readings.readingKey = QLatin1String(key);
        record.tally.data.perVariable.push_back(readings);
    }
    const RunRecordDialog dialog(record);
    const auto *table = dialog.findChild<QTableWidget *>(QStringLiteral("tableData"));
    ASSERT_NE(table, nullptr);
    QStringList keys;
    for (int row = 0; row < table->rowCount(); ++row)
        keys << table->item(row, 0)->text();
    EXPECT_EQ(keys, (QStringList{"1_0", "2_0", "3_0"}));
}

// ---------------------------------------------------------------------------------------------
// The lists after start-up

TEST(WindowLists, KeepQueryOrderWithTwinsAlignedAndNothingChosen)
{
    StartupDatabases db;
    // Keys in another order than names: a list that sorted itself would part from its twin.
    db.addFacility("F1", "Bravo");
    db.addFacility("F3", "Alpha");
    db.addFacility("F2", "Charlie");
    db.addSite(17, "North");
    db.addSite(3, "West");
    db.addSite(8, "Harbour", QStringLiteral("0"));
    db.addSite(5, "East");

    RecordingUserInterface ui;
    frmMain window(ui);
    ASSERT_TRUE(window.start(db.writeIni()));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(window.isVisible());

    EXPECT_EQ(listPairs(window, "cboFacility", "cboFileName"),
              (Pairs{{"Alpha", "F3"}, {"Bravo", "F1"}, {"Charlie", "F2"}}));
    EXPECT_EQ(listPairs(window, "cboSource", "cboSiteID"),
              (Pairs{{"East", "5"}, {"North", "17"}, {"West", "3"}}));
    for (const char *list : {"cboSource", "cboSiteID", "cboFacility", "cboFileName"}) {
        EXPECT_EQ(control<QComboBox>(window, list)->currentIndex(), -1) << list;
        EXPECT_TRUE(control<QComboBox>(window, list)->currentText().isEmpty()) << list;
    }
}

TEST(WindowLists, FacilityWithoutFileNameIsLeftOutAndOneWithoutNameReadsNull)
{
    StartupDatabases db;
    db.addFacility(Value::null(), "Ghost");
    db.addFacility("FN", Value::null());
    db.addFacility("FA", "Alpha");
    db.addFacility("FB", "Alpha");
    db.addSite(1, "Plant");

    RecordingUserInterface ui;
    frmMain window(ui);
    ASSERT_TRUE(window.start(db.writeIni()));

    // Where the server sorts a Null name, and the order of equal names, are the server's own.
    Pairs facilities = listPairs(window, "cboFacility", "cboFileName");
    std::sort(facilities.begin(), facilities.end());
    EXPECT_EQ(facilities, (Pairs{{"Alpha", "FA"}, {"Alpha", "FB"}, {"Null", "FN"}}));
}

// ---------------------------------------------------------------------------------------------
// Start-up failures: one message, the window never shown

struct StartupFailure : ::testing::Test
{
    // Starts a window on the configuration file and expects it to fail with one message.
    Message failedStart(const QString &iniPath)
    {
        RecordingUserInterface ui;
        frmMain window(ui);
        EXPECT_FALSE(window.start(iniPath));
        EXPECT_FALSE(window.isVisible());
        EXPECT_EQ(ui.messages.size(), 1u);
        return ui.messages.empty() ? Message{} : ui.messages.front();
    }

    static Message message(const QString &text, MessageIcon icon)
    {
        Message m;
        m.text = text;
        m.icon = icon;
        return m;
    }

    StartupDatabases db;
};

TEST_F(StartupFailure, MissingConfigurationFile)
{
    QTemporaryDir empty;
    const QString path = empty.filePath(QStringLiteral("ZARN_Vantrel_DB_importer.ini"));
    EXPECT_EQ(failedStart(path),
              message(QStringLiteral("Program was unable to load or parse ") + path,
                      MessageIcon::Exclamation));
}

TEST_F(StartupFailure, ConfigurationWithoutSettings)
{
    const Message shown = failedStart(db.writeIni(QString()));
    EXPECT_EQ(shown.title,
              QStringLiteral("Invalid or Missing connection parameters to Pelk ZARN Server"));
    EXPECT_EQ(shown.buttons, MessageButtons::OkHelp);
    EXPECT_EQ(shown.helpContext, 10483);
}

TEST_F(StartupFailure, RootCatalogThatCannotBeOpenedShowsTheErrorNumberAndDescription)
{
    db.addFacility("F1", "Alpha");
    const QString ini =
        db.writeIni(db.zarnSettings(QStringLiteral("NoSuchProvider")) +
                    QStringLiteral("VT_CONN_STRING=") + db.sourceConnectionString());
    const Message shown = failedStart(ini);
    EXPECT_TRUE(shown.text.startsWith(QStringLiteral("Error %1: ").arg(errc::Database)))
        << shown.text.toStdString();
    // What to check next, and where.
    EXPECT_TRUE(shown.text.endsWith(QStringLiteral("\r\n\r\nCheck the ZARN server's settings "
                                                   "PELKZARN_CONNECTION_DBTYPE, "
                                                   "PELKZARN_CONNECTION_PROVIDER and "
                                                   "PELKZARN_CONNECTION_DATASOURCE in %1.")
                                        .arg(shownPath(ini))))
        << shown.text.toStdString();
    EXPECT_TRUE(shown.text.contains(QStringLiteral("NoSuchProvider"))) << shown.text.toStdString();
    EXPECT_EQ(shown.icon, MessageIcon::None);
    EXPECT_EQ(shown.buttons, MessageButtons::Ok);
    EXPECT_TRUE(shown.title.isEmpty());
}

// Nothing checks the source connection string before the source connection opens.
TEST_F(StartupFailure, SourceThatCannotBeOpenedShowsTheErrorNumberAndDescription)
{
    db.addFacility("F1", "Alpha");
    db.addSite(1, "Plant");
    const QString ini = db.writeIni(db.zarnSettings());
    const Message shown = failedStart(ini);
    EXPECT_TRUE(shown.text.startsWith(QStringLiteral("Error %1: ").arg(errc::Database)))
        << shown.text.toStdString();
    EXPECT_TRUE(shown.text.endsWith(QStringLiteral("Check the source database's setting "
                                                   "VT_CONN_STRING in %1.")
                                        .arg(shownPath(ini))))
        << shown.text.toStdString();
    EXPECT_EQ(shown.icon, MessageIcon::None);
}

TEST_F(StartupFailure, NoFacilities)
{
    db.addSite(1, "Plant");
    EXPECT_EQ(failedStart(db.writeIni()),
              message(QStringLiteral("ZARN Vantrel DB Importer cannot find any active facilities "
                                     "on the server database.\r\n\r\nAt least 1 facility must be "
                                     "active before you can login."),
                      MessageIcon::Information));
}

TEST_F(StartupFailure, FacilityTableThatCannotBeRead)
{
    db.addSite(1, "Plant");
    db.executeOnRoot(QStringLiteral("DROP TABLE FACILITY"));
    EXPECT_EQ(failedStart(db.writeIni()),
              message(QStringLiteral("Program was unable to load ZARN Facilities"),
                      MessageIcon::Exclamation));
}

TEST_F(StartupFailure, NoActiveSites)
{
    db.addFacility("F1", "Alpha");
    db.addSite(1, "Plant", QStringLiteral("0"));
    EXPECT_EQ(
        failedStart(db.writeIni()),
        message(QStringLiteral("ZARN Vantrel DB Importer cannot find any active Vantrel sites."),
                MessageIcon::Information));
}

TEST_F(StartupFailure, SiteTableThatCannotBeRead)
{
    db.addFacility("F1", "Alpha");
    db.executeOnSource(QStringLiteral("DROP TABLE SYSTEMS"));
    EXPECT_EQ(failedStart(db.writeIni()),
              message(QStringLiteral("Program was unabled to load Vantrel Sites"),
                      MessageIcon::Exclamation));
}

TEST_F(StartupFailure, SiteWithoutName)
{
    db.addFacility("F1", "Alpha");
    db.addSite(1, "Plant");
    db.addSite(2, Value::null());
    EXPECT_EQ(failedStart(db.writeIni()),
              message(QStringLiteral("Program was unabled to load Vantrel Sites"),
                      MessageIcon::Exclamation));
}

// ---------------------------------------------------------------------------------------------
// Exit

struct WindowExit : ::testing::Test
{
    void SetUp() override
    {
        db.addFacility("F1", "Alpha");
        db.addSite(1, "Plant");
        ASSERT_TRUE(window.start(db.writeIni()));
        ASSERT_TRUE(window.workspace().cnnRoot().isOpen());
        ASSERT_TRUE(window.workspace().cnnSource().isOpen());
    }

    StartupDatabases db;
    RecordingUserInterface ui;
    frmMain window{ui};
};

TEST_F(WindowExit, ExitClosesTheWindowAndBothConnections)
{
    QTest::mouseClick(control(window, "btnCancel"), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.workspace().cnnSource().isOpen());
    EXPECT_FALSE(window.workspace().cnnRoot().isOpen());
}

TEST_F(WindowExit, ClosingTheWindowClosesBothConnections)
{
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.workspace().cnnSource().isOpen());
    EXPECT_FALSE(window.workspace().cnnRoot().isOpen());
}

// Enter (either key) presses the focused button, as it does in a dialog.
TEST_F(WindowExit, EnterOnTheFocusedButtonsPressesThem)
{
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        ui.messages.clear();
        control(window, "btnImport")->setFocus();
        QTest::keyClick(control(window, "btnImport"), key);
        ASSERT_EQ(ui.messages.size(), 1U);
        EXPECT_EQ(ui.messages[0].text, QStringLiteral("You must choose a Vantrel Site."));
    }
    EXPECT_TRUE(window.isVisible());
    control(window, "btnCancel")->setFocus();
    QTest::keyClick(control(window, "btnCancel"), Qt::Key_Return);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.workspace().cnnRoot().isOpen());
}

// ---------------------------------------------------------------------------------------------
// The Qt user interface

// Runs action on the next message box that opens while the caller waits in it.
void onNextMessageBox(std::function<void(QMessageBox &)> action)
{
    auto *timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, action = std::move(action)] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            action(*box);
        }
    });
    timer->start(10);
}

struct QtInterface : ::testing::Test
{
    QWidget window;
    QtUserInterface ui{window};
};

TEST_F(QtInterface, MessageBoxHasTheApplicationTitleIconAndOnlyOk)
{
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    qsizetype buttons = 0;
    onNextMessageBox([&](QMessageBox &box) {
        title = box.windowTitle();
        text = box.text();
        icon = box.icon();
        buttons = box.buttons().size();
        box.button(QMessageBox::Ok)->click();
    });
    Message message;
    message.text = QStringLiteral("First\r\n\r\nSecond");
    message.icon = MessageIcon::Exclamation;
    ui.showMessage(message);

    EXPECT_EQ(title, QStringLiteral("ZARN Vantrel Importer"));
    EXPECT_EQ(text, QStringLiteral("First\n\nSecond"));
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, 1);
}

Message settingsBox()
{
    Message message;
    message.text = QStringLiteral("Settings");
    message.icon = MessageIcon::Stop;
    message.buttons = MessageButtons::OkHelp;
    message.title = QStringLiteral("Own title");
    message.helpContext = 10483;
    return message;
}

// Help shows how the configuration file is written, over the settings box, which stays open
// until "OK".
TEST_F(QtInterface, HelpShowsTheConfigurationSectionAndOkClosesTheBox)
{
    QString title, helpText;
    bool openAfterHelp = false;
    onNextMessageBox([&](QMessageBox &box) {
        title = box.windowTitle();
        onNextMessageBox([&helpText](QMessageBox &help) {
            helpText = help.text();
            help.button(QMessageBox::Ok)->click();
        });
        box.button(QMessageBox::Help)->click();
        QApplication::processEvents();
        openAfterHelp = box.isVisible();
        box.button(QMessageBox::Ok)->click();
    });
    ui.showMessage(settingsBox());

    EXPECT_EQ(title, QStringLiteral("Own title"));
    EXPECT_TRUE(openAfterHelp);
    EXPECT_TRUE(helpText.startsWith(QStringLiteral("`ZARN_Vantrel_DB_importer.ini`, one")))
        << helpText.left(80).toStdString();
    EXPECT_TRUE(helpText.contains(QStringLiteral("PELKZARN_CONNECTION_PROVIDER=PostgreSQL")));
    EXPECT_TRUE(helpText.contains(QStringLiteral("Provider=ODBC;")));
    EXPECT_FALSE(helpText.contains(QStringLiteral("## Benchmark")));
}

// Esc and the window's close button end the settings box as "OK" does.
TEST_F(QtInterface, EscAndTheCloseButtonCloseTheSettingsBox)
{
    const std::vector<std::function<void(QMessageBox &)>> closings = {
        [](QMessageBox &box) { QTest::keyClick(&box, Qt::Key_Escape); },
        [](QMessageBox &box) { box.close(); },
    };
    for (const auto &closeBox : closings) {
        bool closed = false;
        QAbstractButton *answer = nullptr;
        onNextMessageBox([&](QMessageBox &box) {
            closeBox(box);
            QApplication::processEvents();
            closed = !box.isVisible();
            answer = box.clickedButton();
            if (!closed)
                box.button(QMessageBox::Ok)->click();
        });
        ui.showMessage(settingsBox());
        EXPECT_TRUE(closed);
        EXPECT_NE(answer, nullptr);
    }
}

// A box shown during an hourglass run has the arrow; the hourglass is back once it closes.
TEST_F(QtInterface, MessageBoxDuringARunShowsTheArrow)
{
    ui.setMousePointer(MousePointer::Hourglass);
    Qt::CursorShape during = Qt::WaitCursor;
    onNextMessageBox([&](QMessageBox &box) {
        during = QApplication::overrideCursor()->shape();
        box.button(QMessageBox::Ok)->click();
    });
    ui.showMessage(Message{});
    EXPECT_EQ(during, Qt::ArrowCursor);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(ui.mousePointer(), MousePointer::Hourglass);
    ui.setMousePointer(MousePointer::Default);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Setting the hourglass twice must not leave it behind when the pointer is restored once.
TEST_F(QtInterface, HourglassIsTheWaitCursorAndRestoresOnce)
{
    ui.setMousePointer(MousePointer::Hourglass);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    ui.setMousePointer(MousePointer::Hourglass);
    EXPECT_EQ(ui.mousePointer(), MousePointer::Hourglass);
    ui.setMousePointer(MousePointer::Default);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(ui.mousePointer(), MousePointer::Default);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
