// PostgreSQL servers whose database and role names were made as operators make them: by
// createdb TAVROOT / createuser TAVDBA (the case kept as written), or by unquoted SQL (folded to
// lower case). The batch listing and a full import (variables and data) on each, with database
// type 1 (each catalog is a role) and type 2 (each catalog is a database).

#include "ImportDatabases.h"
#include "app/BatchMode.h"

#include <QTextStream>
#include <gtest/gtest.h>
#include <ostream>
#include <tuple>

using namespace zarn;

namespace {

struct SetUpCase
{
    bool namesAsWritten;
    int databaseType;
};

void PrintTo(const SetUpCase &c, std::ostream *os)
{
    *os << (c.namesAsWritten ? "names as written" : "folded names") << ", type " << c.databaseType;
}

struct ServerNames : ::testing::TestWithParam<SetUpCase>
{
    int run(const QStringList &arguments)
    {
        outText.clear();
        errText.clear();
        QTextStream out(&outText);
        QTextStream err(&errText);
        return runBatchMode(QStringList{"--batch", "--config", db.iniPath()} + arguments, out, err);
    }

    test::ImportDatabases db{{GetParam().namesAsWritten, GetParam().databaseType == 1, QString()},
                             GetParam().databaseType};
    QString outText;
    QString errText;
};

TEST_P(ServerNames, ListingAndAFullImport)
{
    EXPECT_EQ(run({"--list"}), exitStatus::Success)
        << outText.toStdString() << errText.toStdString();
    EXPECT_EQ(outText, "facility\tNORTH\tNorth Plant\nfacility\tSOUTH\tSouth Plant\n"
                       "site\t5\tEast Yard\nsite\t17\tNorth Works\n");

    EXPECT_EQ(run({"--site", "17", "--facility", "NORTH", "--variables", "--data", "--start",
                   "2024-03-05", "--end", "2024-03-06"}),
              exitStatus::Success)
        << outText.toStdString() << errText.toStdString();
    EXPECT_EQ(outText, "[message]\nCreated 3 ZARN Variables.\r\n\n"
                       "[message]\nInserted 3 data records into ZARN database.\n");
    EXPECT_EQ(db.variables(), 3);
    EXPECT_EQ(db.locations(), 2);
    EXPECT_EQ(db.storedReadings(), 3);
}

INSTANTIATE_TEST_SUITE_P(PostgreSQL, ServerNames,
                         ::testing::Values(SetUpCase{true, 2}, SetUpCase{false, 2},
                                           SetUpCase{true, 1}, SetUpCase{false, 1}));

} // namespace
