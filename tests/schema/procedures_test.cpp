// The daily-data procedures of the stand-in facility, called as the daily-data store calls them:
// stored-procedure commands with the declared parameter lists, sent by position.

#include "platform/dal/Command.h"
#include "schema/StandIn.h"
#include "support/TestDatabases.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zarn;
using namespace zarn::dal;

namespace {

struct Declared
{
    const char *name;
    DataTypeEnum type;
    ParameterDirectionEnum direction;
    int size;
};

const std::vector<Declared> kWrite = {
    {"date", adDate, adParamInput, 0},          {"varid", adInteger, adParamInput, 0},
    {"value", adDouble, adParamInput, 0},       {"textvalue", adVarWChar, adParamInput, 255},
    {"audituser", adVarChar, adParamInput, 50}, {"slotstarttime", adDate, adParamInput, 0},
    {"slotendtime", adDate, adParamInput, 0},   {"status", adInteger, adParamInput, 0}};
const std::vector<Declared> kSeek = {
    {"datestamp_1", adDate, adParamInput, 0},     {"varid_2", adInteger, adParamInput, 0},
    {"curvalue_3", adDouble, adParamOutput, 0},   {"textvalue_4", adVarWChar, adParamOutput, 255},
    {"varid_5", adInteger, adParamOutput, 0},     {"audituser", adVarChar, adParamOutput, 50},
    {"audittimestamp", adDate, adParamOutput, 0}, {"datestamp_out", adDate, adParamOutput, 0},
    {"slotstarttime", adDate, adParamInput, 0},   {"slotendtime", adDate, adParamInput, 0},
    {"status", adInteger, adParamOutput, 0},      {"forced", adInteger, adParamOutput, 0}};
const std::vector<Declared> kSeekNext = {{"varid_in", adInteger, adParamInput, 0},
                                         {"slotstart_in", adDate, adParamInput, 0},
                                         {"slotend_in", adDate, adParamInput, 0},
                                         {"topnum_in", adInteger, adParamInput, 0},
                                         {"varid_out", adInteger, adParamOutput, 0},
                                         {"datestamp_out", adDate, adParamOutput, 0},
                                         {"curvalue_out", adDouble, adParamOutput, 0},
                                         {"textvalue_out", adVarWChar, adParamOutput, 255},
                                         {"audituser_out", adVarChar, adParamOutput, 50},
                                         {"audittimestamp_out", adDate, adParamOutput, 0},
                                         {"status_out", adInteger, adParamOutput, 0},
                                         {"forced_out", adInteger, adParamOutput, 0}};
const std::vector<Declared> kDelete = {{"slotstarttime", adDate, adParamInput, 0},
                                       {"varid", adInteger, adParamInput, 0},
                                       {"audituser", adVarChar, adParamInput, 50},
                                       {"slotendtime", adDate, adParamInput, 0}};
const std::vector<Declared> kSetForced = {{"slotstarttime", adDate, adParamInput, 0},
                                          {"slotendtime", adDate, adParamInput, 0},
                                          {"varid", adInteger, adParamInput, 0},
                                          {"audituser", adVarChar, adParamInput, 50},
                                          {"forced", adInteger, adParamInput, 0}};
const std::vector<Declared> kSeekComment = {
    {"varid_in", adInteger, adParamInput, 0},    {"comment_out", adVarWChar, adParamOutput, 2000},
    {"audituser", adVarChar, adParamOutput, 50}, {"audittimestamp", adDate, adParamOutput, 0},
    {"slotstarttime", adDate, adParamInput, 0},  {"slotendtime", adDate, adParamInput, 0}};
const std::vector<Declared> kWriteComment = {
    {"datestamp_1", adDate, adParamInput, 0},       {"varid_2", adInteger, adParamInput, 0},
    {"comment_in", adVarWChar, adParamInput, 2000}, {"audituser", adVarChar, adParamInput, 50},
    {"slotstarttime", adDate, adParamInput, 0},     {"slotendtime", adDate, adParamInput, 0}};
const std::vector<Declared> kDeleteComment = {{"slotstarttime", adDate, adParamInput, 0},
                                              {"varid_2", adInteger, adParamInput, 0},
                                              {"slotendtime", adDate, adParamInput, 0},
                                              {"audituser", adVarChar, adParamInput, 50}};

DateTime at(int hour, int minute, int second = 0, int millisecond = 0)
{
    return DateTime::fromParts(2024, 3, 4, hour, minute, second, millisecond);
}

Value id(int varid)
{
    return Value(static_cast<std::int32_t>(varid));
}

class ProcedureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server = test::makeStandIn(folder.path());
        server->createRootCatalog();
        server->createFacility(QStringLiteral("PROCPLANT"), QStringLiteral("Procedures"));
        facility = schema::openConnection(server->catalogConnectionString("PROCPLANT"));
    }

    // Runs procedure NAME with the declared parameters, the inputs taken in order from
    // inputs, and returns the command so that its outputs can be read by position.
    Command &call(const QString &name, const std::vector<Declared> &declared,
                  const std::vector<Value> &inputs)
    {
        auto command = std::make_unique<Command>();
        command->setActiveConnection(*facility);
        command->setCommandText(name);
        command->setCommandType(adCmdStoredProc);
        auto input = inputs.begin();
        for (const Declared &d : declared) {
            Parameter parameter = Command::CreateParameter(d.name, d.type, d.direction, d.size);
            if (d.direction == adParamInput) {
                EXPECT_NE(input, inputs.end()) << "too few inputs for " << name.toStdString();
                parameter.value = input == inputs.end() ? Value() : *input++;
            }
            command->AppendParameter(parameter);
        }
        EXPECT_EQ(input, inputs.end()) << "too many inputs for " << name.toStdString();
        command->Execute();
        commands.push_back(std::move(command));
        return *commands.back();
    }

    void write(const QString &code, DateTime stamp, int varid, double value, DateTime slot,
               DateTime slotEnd, int status = 0)
    {
        call("WRITEDD" + code, kWrite,
             {stamp, id(varid), value, QStringLiteral(" %1 ").arg(value), "VT2ZRANS", slot, slotEnd,
              id(status)});
    }

    Command &seek(const QString &code, int varid, DateTime slot, DateTime slotEnd)
    {
        return call("SEEKFDD" + code, kSeek, {slot, id(varid), slot, slotEnd});
    }

    Command &seekNext(int varid, DateTime start, DateTime end, int topnum)
    {
        return call("SEEKNEXTDD1", kSeekNext, {id(varid), start, end, id(topnum)});
    }

    QTemporaryDir folder;
    std::unique_ptr<schema::StandInServer> server;
    std::unique_ptr<Connection> facility;
    std::vector<std::unique_ptr<Command>> commands;
};

} // namespace

TEST_F(ProcedureTest, WriteReplacesTheValueOfTheSlot)
{
    write("1", at(10, 0, 12, 500), 5, 3.5, at(10, 0), at(10, 1));
    write("1", at(10, 0, 40), 5, 4.25, at(10, 0), at(10, 1), 2);

    Command &found = seek("1", 5, at(10, 0), at(10, 1));
    EXPECT_EQ(found.Parameters(2).value.toDouble(), 4.25);
    EXPECT_EQ(found.Parameters(3).value.toText(), " 4.25 ");
    EXPECT_EQ(found.Parameters(4).value.toInt32(), 5);
    EXPECT_EQ(found.Parameters(5).value.toText(), "VT2ZRANS");
    EXPECT_FALSE(found.Parameters(6).value.isNull());
    EXPECT_EQ(found.Parameters(7).value.toDateTime(), at(10, 0, 40));
    EXPECT_EQ(found.Parameters(10).value.toInt32(), 2);
    EXPECT_EQ(found.Parameters(11).value.toInt32(), 0);

    // One record in the slot, not two.
    EXPECT_EQ(seekNext(5, at(10, 0), at(11, 0), 1).Parameters(6).value.toDouble(), 4.25);
    EXPECT_TRUE(seekNext(5, at(10, 0), at(11, 0), 2).Parameters(4).value.isNull());
}

TEST_F(ProcedureTest, SeekingAnEmptySlotGivesNullOutputs)
{
    write("1", at(10, 0, 12, 500), 5, 3.5, at(10, 0), at(10, 1));
    for (Command *empty :
         {&seek("1", 5, at(10, 1), at(10, 2)), &seek("1", 6, at(10, 0), at(10, 1))}) {
        for (int output : {2, 3, 4, 5, 6, 7, 10, 11})
            EXPECT_TRUE(empty->Parameters(output).value.isNull()) << output;
    }
    // The window ends before its end: the slot that starts there is not in it.
    EXPECT_TRUE(seek("1", 5, at(9, 59), at(10, 0)).Parameters(4).value.isNull());
}

TEST_F(ProcedureTest, SeekNextCountsTheWindowsRecordsByTimeStamp)
{
    write("1", at(10, 2, 5), 7, 3.0, at(10, 2), at(10, 3));
    write("1", at(10, 0, 30, 250), 7, 1.0, at(10, 0), at(10, 1));
    write("1", at(10, 1, 0), 7, 2.0, at(10, 1), at(10, 2));
    write("1", at(10, 3, 0), 7, 4.0, at(10, 3), at(10, 4));
    write("1", at(10, 1, 0), 8, 9.0, at(10, 1), at(10, 2));

    for (int n = 1; n <= 3; ++n) {
        Command &nth = seekNext(7, at(10, 0), at(10, 3), n);
        EXPECT_EQ(nth.Parameters(4).value.toInt32(), 7);
        EXPECT_EQ(nth.Parameters(6).value.toDouble(), n) << n;
    }
    EXPECT_EQ(seekNext(7, at(10, 0), at(10, 3), 1).Parameters(5).value.toDateTime(),
              at(10, 0, 30, 250));
    EXPECT_TRUE(seekNext(7, at(10, 0), at(10, 3), 4).Parameters(4).value.isNull());
    EXPECT_EQ(seekNext(7, at(10, 0), at(10, 3), 0).Parameters(6).value.toDouble(), 1.0);
    EXPECT_TRUE(seekNext(7, at(11, 0), at(12, 0), 1).Parameters(4).value.isNull());
}

TEST_F(ProcedureTest, DeleteRemovesOnlyTheVariablesRecordsOfTheWindow)
{
    write("1", at(10, 0), 5, 1.0, at(10, 0), at(10, 1));
    write("1", at(10, 1), 5, 2.0, at(10, 1), at(10, 2));
    write("1", at(10, 0), 6, 3.0, at(10, 0), at(10, 1));

    call("DELETEDD1", kDelete, {at(10, 0), id(5), "VT2ZRANS", at(10, 1)});

    EXPECT_TRUE(seek("1", 5, at(10, 0), at(10, 1)).Parameters(4).value.isNull());
    EXPECT_EQ(seek("1", 5, at(10, 1), at(10, 2)).Parameters(2).value.toDouble(), 2.0);
    EXPECT_EQ(seek("1", 6, at(10, 0), at(10, 1)).Parameters(2).value.toDouble(), 3.0);
}

TEST_F(ProcedureTest, ForcedFlagIsSetInTheWindowAndSurvivesAWrite)
{
    write("1", at(10, 0), 5, 1.0, at(10, 0), at(10, 1));
    write("1", at(10, 1), 5, 2.0, at(10, 1), at(10, 2));

    call("SETFDD1", kSetForced, {at(10, 0), at(10, 1), id(5), "OPERATOR", id(1)});
    Command &forced = seek("1", 5, at(10, 0), at(10, 1));
    EXPECT_EQ(forced.Parameters(11).value.toInt32(), 1);
    EXPECT_EQ(forced.Parameters(5).value.toText(), "OPERATOR");
    EXPECT_EQ(seek("1", 5, at(10, 1), at(10, 2)).Parameters(11).value.toInt32(), 0);

    write("1", at(10, 0, 30), 5, 1.5, at(10, 0), at(10, 1));
    EXPECT_EQ(seek("1", 5, at(10, 0), at(10, 1)).Parameters(11).value.toInt32(), 1);
}

TEST_F(ProcedureTest, CommentsAreWrittenSoughtAndDeletedPerSlot)
{
    const auto seekComment = [this](DateTime slot, DateTime slotEnd) -> Command & {
        return call("SEEKDD1_C", kSeekComment, {id(5), slot, slotEnd});
    };
    EXPECT_TRUE(seekComment(at(10, 0), at(10, 1)).Parameters(1).value.isNull());

    call("WRITEDD1_C", kWriteComment,
         {at(10, 0, 20), id(5), "first", "VT2ZRANS", at(10, 0), at(10, 1)});
    call("WRITEDD1_C", kWriteComment,
         {at(10, 0, 30), id(5), "  kept as written  ", "OPERATOR", at(10, 0), at(10, 1)});
    Command &found = seekComment(at(10, 0), at(10, 1));
    EXPECT_EQ(found.Parameters(1).value.toText(), "  kept as written  ");
    EXPECT_EQ(found.Parameters(2).value.toText(), "OPERATOR");
    EXPECT_FALSE(found.Parameters(3).value.isNull());
    EXPECT_TRUE(seekComment(at(10, 1), at(10, 2)).Parameters(1).value.isNull());

    call("DELETEDD1_C", kDeleteComment, {at(10, 0), id(5), at(10, 1), "VT2ZRANS"});
    EXPECT_TRUE(seekComment(at(10, 0), at(10, 1)).Parameters(1).value.isNull());
}

TEST_F(ProcedureTest, HourlyProceduresKeepTheirOwnStore)
{
    write("H", at(10, 17, 3), 5, 8.5, at(10, 0), at(11, 0));
    Command &hourly = seek("H", 5, at(10, 0), at(11, 0));
    EXPECT_EQ(hourly.Parameters(2).value.toDouble(), 8.5);
    EXPECT_EQ(hourly.Parameters(7).value.toDateTime(), at(10, 17, 3));
    EXPECT_TRUE(seek("1", 5, at(10, 0), at(11, 0)).Parameters(4).value.isNull());

    call("DELETEDDH", kDelete, {at(10, 0), id(5), "VT2ZRANS", at(11, 0)});
    EXPECT_TRUE(seek("H", 5, at(10, 0), at(11, 0)).Parameters(4).value.isNull());
    EXPECT_TRUE(call("SEEKDDH_C", kSeekComment, {id(5), at(10, 0), at(11, 0)})
                    .Parameters(1)
                    .value.isNull());
}

TEST_F(ProcedureTest, AWriteWithoutAVariableIsRefused)
{
    EXPECT_THROW(
        call("WRITEDD1", kWrite,
             {at(10, 0), Value::null(), 1.0, "1", "VT2ZRANS", at(10, 0), at(10, 1), id(0)}),
        DatabaseError);
}
