// The batch mode's progress on the error stream: lines for files and pipes, a bar on a
// terminal, and where each ends.

#include "app/BatchUserInterface.h"

#include <QRegularExpression>
#include <csignal>
#include <gtest/gtest.h>

using namespace zarn;

namespace {

struct BatchProgress : ::testing::Test
{
    QString outText;
    QString errText;
    QTextStream out{&outText};
    QTextStream err{&errText};

    // What an import of three readings, of which the second is written, shows: the bar at 0,
    // a count on the way and the final value and count after the last reading.
    static void importThree(BatchUserInterface &ui)
    {
        ui.setProgressMax(100);
        ui.setProgressValue(0);
        ui.setProgressVisible(true);
        ui.setProgressValue(33);
        ui.setProgressCount(2, 3);
        ui.setProgressValue(33);
        ui.setProgressCount(3, 3);
        Message message;
        message.text = QStringLiteral("Inserted 1 data records into ZARN database.");
        ui.showMessage(message);
        ui.setProgressVisible(false);
    }
};

TEST_F(BatchProgress, OffATerminalALinePerPercentAndTheCountLast)
{
    BatchUserInterface ui(out, err, ProgressStyle::Lines);
    importThree(ui);
    EXPECT_EQ(errText, "0%\n33%\n3/3 readings\n");
    EXPECT_EQ(outText, "[message]\nInserted 1 data records into ZARN database.\n");
}

// Each state is drawn over the one before; the last one stays with its figures and its own line
// end, and the count message follows on standard output.
TEST_F(BatchProgress, OnATerminalTheBarsLastStateStaysAboveTheCountMessage)
{
    BatchUserInterface ui(out, err, ProgressStyle::Bar);
    importThree(ui);
    ASSERT_TRUE(errText.endsWith('\n'));
    EXPECT_EQ(errText.count('\n'), 1);
    const QString last = errText.mid(errText.lastIndexOf('\r') + 1).chopped(1);
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral(
                        R"(^\[#####\.+\]  33%  3/3 readings  \d+(\.\d)? readings/s  0:00 left *$)"))
                    .match(last)
                    .hasMatch())
        << last.toStdString();
    EXPECT_EQ(errText.count('\r'), 4); // 0%, 33%, then each count
    EXPECT_EQ(outText, "[message]\nInserted 1 data records into ZARN database.\n");
}

// While the data import shows its progress, an interrupt or a termination signal asks it to
// stop instead of ending the program, and a second one would end it; before and after, the
// signal has its own action.
TEST_F(BatchProgress, ASignalWhileTheProgressShowsAsksTheImportToStop)
{
    for (const int signal : {SIGINT, SIGTERM}) {
        BatchUserInterface ui(out, err, ProgressStyle::Lines);
        ui.setProgressVisible(true);
        EXPECT_FALSE(ui.stopRequested());
        std::raise(signal);
        EXPECT_TRUE(ui.stopRequested()) << signal;
        EXPECT_EQ(std::signal(signal, SIG_DFL), SIG_DFL) << "a second one ends the program";
        ui.setProgressVisible(false);
        EXPECT_FALSE(ui.stopRequested());
        EXPECT_EQ(std::signal(signal, SIG_DFL), SIG_DFL) << "the program's own action is back";
    }
}

TEST(ProgressBarLine, ShowsTheCountTheRateInReadingsAndTheTimeLeft)
{
    EXPECT_EQ(progressBarLine(0, 0, 0, 0), "[................]   0%");
    EXPECT_EQ(progressBarLine(0, 0, 2304, 0),
              "[................]   0%  0/2304 readings  -- readings/s  --:-- left");
    EXPECT_EQ(progressBarLine(50, 1152, 2304, 2),
              "[########........]  50%  1152/2304 readings  576 readings/s  0:02 left");
    EXPECT_EQ(progressBarLine(99, 2304, 2304, 0.5),
              "[###############.]  99%  2304/2304 readings  4608 readings/s  0:00 left");
    // One reading in 100 s leaves 9900 s for the other 99; a part of a second counts whole.
    EXPECT_TRUE(progressBarLine(1, 1, 100, 100).endsWith("  0.0 readings/s  2:45:00 left"));
    EXPECT_TRUE(progressBarLine(3, 3, 100, 1).endsWith("  3.0 readings/s  0:33 left"));
    // Millions of readings still fit a terminal of 80 columns, the cursor staying on the line.
    EXPECT_LT(progressBarLine(33, 999'999, 3'000'000, 12).size(), 80);
}

} // namespace
