// The window's "Preview", "Last import report" and "Verify" under Qt's offscreen platform, on
// the server under test: where they are, the dialog they open, and that a preview and a
// verification leave the facility as it was.

#include "DemoDatabases.h"
#include "app/window/RunRecordDialog.h"
#include "app/window/frmMain.h"
#include "support/RecordingUserInterface.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>
#include <ostream>

void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

using namespace zarn;

namespace {

struct PreviewWindow : ::testing::Test
{
    void SetUp() override { ASSERT_TRUE(window.start(db.iniPath())); }

    template <typename Control = QWidget> Control *control(const char *name)
    {
        return window.findChild<Control *>(QLatin1String(name));
    }
    void choose()
    {
        auto pick = [&](const char *list, const QString &text) {
            auto *box = control<QComboBox>(list);
            box->setCurrentIndex(box->findText(text));
        };
        pick("cboSource", QStringLiteral("Hilltop Water Plant"));
        pick("cboFacility", QStringLiteral("North Plant"));
        control<QAbstractButton>("chkVars")->setChecked(true);
    }
    // The dialog that the last action opened, once the event loop has shown it.
    RunRecordDialog *openedDialog()
    {
        QApplication::processEvents();
        const auto dialogs = window.findChildren<RunRecordDialog *>();
        return dialogs.isEmpty() ? nullptr : dialogs.last();
    }
    static int rows(RunRecordDialog &dialog, const char *table)
    {
        auto *t = dialog.findChild<QTableWidget *>(QLatin1String(table));
        return t ? t->rowCount() : -1;
    }

    test::DemoDatabases db;
    test::RecordingUserInterface ui;
    frmMain window{ui};
};

TEST_F(PreviewWindow, TheActionsAreOnTheImportButtonAndHaveShortcuts)
{
    auto *import = control<QPushButton>("btnImport");
    EXPECT_EQ(import->contextMenuPolicy(), Qt::ActionsContextMenu);
    ASSERT_EQ(import->actions().size(), 3);
    QAction *preview = import->actions()[0];
    QAction *report = import->actions()[1];
    EXPECT_EQ(import->actions()[2]->text(), "Verify");
    EXPECT_EQ(import->actions()[2]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+V")));
    EXPECT_EQ(preview->text(), "Preview");
    EXPECT_EQ(preview->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    EXPECT_EQ(report->text(), "Last import report");
    EXPECT_EQ(report->shortcut(), QKeySequence(QStringLiteral("Ctrl+R")));
    EXPECT_FALSE(report->isEnabled()) << "there is no report before an import";
    EXPECT_TRUE(window.actions().contains(preview));
}

TEST_F(PreviewWindow, APreviewShowsItsTablesSortsThemAndCopiesThem)
{
    choose();
    const QStringList before = db.facilityRows();
    control<QPushButton>("btnImport")->actions()[0]->trigger();
    RunRecordDialog *dialog = openedDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Preview");
    EXPECT_EQ(rows(*dialog, "tableLocations"), 4);
    EXPECT_EQ(rows(*dialog, "tableVariables"), 16);
    EXPECT_EQ(rows(*dialog, "tableCaptions"), 9);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(db.facilityRows(), before);

    // SensorID sorts as a number: 7 before 10.
    auto *variables = dialog->findChild<QTableWidget *>(QStringLiteral("tableVariables"));
    variables->sortItems(1, Qt::AscendingOrder);
    EXPECT_EQ(variables->item(0, 1)->text(), "7");
    EXPECT_EQ(variables->item(15, 1)->text(), "22");
    EXPECT_EQ(variables->editTriggers(), QAbstractItemView::NoEditTriggers);

    QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("btnCopy")), Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->text(), dialog->text());
    EXPECT_TRUE(dialog->text().contains("Variables: 16 to create, 0 already there, 0 failed"));
}

TEST_F(PreviewWindow, TheLastImportReportShowsTheRunThatEnded)
{
    choose();
    QTest::mouseClick(control("btnImport"), Qt::LeftButton);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Created 16 ZARN Variables.\r\n");

    QAction *report = control<QPushButton>("btnImport")->actions()[1];
    EXPECT_TRUE(report->isEnabled());
    report->trigger();
    RunRecordDialog *dialog = openedDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Last import report");
    EXPECT_TRUE(dialog->text().startsWith("Report of site 102 \"Hilltop Water Plant\""));
    EXPECT_TRUE(dialog->text().contains("[message] Created 16 ZARN Variables."));
    EXPECT_EQ(ui.messages.size(), 1u) << "the report shows no message box";
}

// "Verify" after the import of the demo site's readings: its dialog shows every slot matching,
// the progress line counted every reading, and the facility is as the import left it.
TEST_F(PreviewWindow, VerifyAfterTheImportShowsEverySlotMatching)
{
    choose();
    control<QAbstractButton>("chkData")->setChecked(true);
    control<QLineEdit>("txtStartDate")->setText(QStringLiteral("2024-03-03"));
    control<QLineEdit>("txtEndDate")->setText(QStringLiteral("2024-03-09"));
    QTest::mouseClick(control("btnImport"), Qt::LeftButton);
    ASSERT_EQ(ui.messages.size(), 2u);
    const QStringList before = db.facilityRows();

    QTest::mouseClick(control("btnVerify"), Qt::LeftButton);
    RunRecordDialog *dialog = openedDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Verification");
    EXPECT_EQ(rows(*dialog, "tableSlots per variable"), 16);
    EXPECT_TRUE(dialog->text().contains("Slots: 2304 checked, 2304 matching, 0 missing"))
        << dialog->text().toStdString();
    ASSERT_FALSE(ui.progressCounts.empty());
    EXPECT_EQ(ui.progressCounts.back(), (std::pair<std::int64_t, std::int64_t>(2304, 2304)));
    EXPECT_FALSE(ui.progressVisible);
    EXPECT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(db.facilityRows(), before);
    EXPECT_TRUE(control("btnImport")->isEnabled());
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
