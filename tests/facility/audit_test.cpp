#include "facility/clsAction_History.h"
#include "import/StandInFixture.h"
#include "platform/dal/Transaction.h"

namespace zarn {
namespace {

using test::Rows;

const QString transColumns = QStringLiteral(
    "SELECT audituser, filename, login_history_id, tablename, recidnum, reciddate, recidtext, "
    "recidnum2, reciddate2, recidtext2, system_comment, justification, action, id "
    "FROM action_history_trans ORDER BY id");
enum TransColumn {
    AuditUser,
    FileName,
    LoginHistoryId,
    TableName,
    RecIdNum,
    RecIdDate,
    RecIdText,
    RecIdNum2,
    RecIdDate2,
    RecIdText2,
    SystemComment,
    Justification,
    Action,
    Id
};

class AuditTrailTest : public test::StandInFixture
{
protected:
    void SetUp() override
    {
        StandInFixture::SetUp();
        facility->Execute(QStringLiteral("CREATE TABLE audited (id INTEGER PRIMARY KEY, "
                                         "AuditUser TEXT, AuditTimeStamp TEXT, Name TEXT, "
                                         "Notes TEXT, Password TEXT)"));
        facility->Execute(QStringLiteral("INSERT INTO audited VALUES (1, 'someone', "
                                         "'2024-03-05 10:00:00', 'Pump', NULL, 'xxSECRETyyy')"));
    }

    clsAction_History writer(std::int16_t kind = databaseKind)
    {
        clsAction_History history(*facility, QStringLiteral("VT2ZARN"), Value::null(), kind);
        history.TableName(QStringLiteral("audited"));
        return history;
    }

    dal::Recordset openRow(const QString &columns)
    {
        dal::Recordset rs;
        rs.Open(QStringLiteral("SELECT %1 FROM audited WHERE id=1").arg(columns), *facility,
                dal::adOpenStatic, dal::adLockOptimistic, dal::adCmdText);
        return rs;
    }

    Rows trans() { return rows(*facility, transColumns); }
    Rows details()
    {
        return rows(*facility, QStringLiteral("SELECT transid, fieldname, oldvalue, newvalue FROM "
                                              "action_history_detail ORDER BY transid, fieldname"));
    }
};

TEST_F(AuditTrailTest, ANewRowGivesOneTransactionAndADetailPerFieldButTheAuditFields)
{
    for (std::int16_t kind : {std::int16_t{1}, std::int16_t{2}}) {
        dal::Recordset rs = openRow(QStringLiteral("AuditUser, AuditTimeStamp, Name, Notes"));
        clsAction_History history = writer(kind);
        history.PostTransactionRECORD(1, rs);
    }
    const Rows t = trans();
    ASSERT_EQ(t.size(), 2u);
    for (const auto &row : t) {
        EXPECT_EQ(row[AuditUser].toText(), QStringLiteral("VT2ZARN"));
        EXPECT_TRUE(row[LoginHistoryId].isNull());
        EXPECT_EQ(row[TableName].toText(), QStringLiteral("audited"));
        EXPECT_EQ(row[FileName].toTextOrEmpty(), QString());
        EXPECT_EQ(row[Action].toInt32(), 1);
        for (int unset :
             {RecIdNum, RecIdDate, RecIdNum2, RecIdDate2, RecIdText2, SystemComment, Justification})
            EXPECT_TRUE(row[unset].isNull()) << unset;
    }
    const Rows d = details();
    ASSERT_EQ(d.size(), 4u);
    for (std::size_t i = 0; i < 2; ++i) {
        const auto &name = d[2 * i];
        const auto &notes = d[2 * i + 1];
        EXPECT_EQ(name[0].toInt32(), t[i][Id].toInt32());
        EXPECT_EQ(name[1].toText(), QStringLiteral("NAME"));
        EXPECT_TRUE(name[2].isNull());
        EXPECT_EQ(name[3].toText(), QStringLiteral("Pump"));
        EXPECT_EQ(notes[1].toText(), QStringLiteral("NOTES"));
        EXPECT_TRUE(notes[2].isNull());
        EXPECT_TRUE(notes[3].isNull());
    }
}

TEST_F(AuditTrailTest, AChangedRowRecordsOnlyTheChangedFieldsAndAnUnchangedOneNothing)
{
    dal::Recordset rs = openRow(QStringLiteral("id, AuditUser, Name, Notes"));
    {
        clsAction_History unchanged = writer();
        unchanged.oldValuesFromRecord(rs);
        rs.Fields(QStringLiteral("AuditUser")).SetValue(QStringLiteral("another"));
        rs.Update();
        unchanged.PostTransactionRECORD(2, rs);
    }
    EXPECT_TRUE(trans().empty());
    EXPECT_TRUE(details().empty());

    clsAction_History changed = writer();
    changed.oldValuesFromRecord(rs);
    rs.Fields(QStringLiteral("Name")).SetValue(QStringLiteral("Valve"));
    rs.Fields(QStringLiteral("Notes")).SetValue(QStringLiteral("new"));
    rs.Update();
    changed.PostTransactionRECORD(2, rs);
    const Rows d = details();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0][1].toText(), QStringLiteral("NAME"));
    EXPECT_EQ(d[0][2].toText(), QStringLiteral("Pump"));
    EXPECT_EQ(d[0][3].toText(), QStringLiteral("Valve"));
    EXPECT_EQ(d[1][1].toText(), QStringLiteral("NOTES"));
    EXPECT_TRUE(d[1][2].isNull()); // an empty old text is written as Null
    EXPECT_EQ(d[1][3].toText(), QStringLiteral("new"));
    EXPECT_EQ(trans().at(0)[Action].toInt32(), 2);
}

TEST_F(AuditTrailTest, AFieldWithoutSnapshotIsRecordedWithANullOldValue)
{
    dal::Recordset rs = openRow(QStringLiteral("id, Name"));
    clsAction_History history = writer();
    history.oldValueMANUAL(QStringLiteral("id"), std::int32_t{1});
    history.PostTransactionRECORD(2, rs);
    const Rows d = details();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_EQ(d[0][1].toText(), QStringLiteral("NAME"));
    EXPECT_TRUE(d[0][2].isNull());
    EXPECT_EQ(d[0][3].toText(), QStringLiteral("Pump"));
}

TEST_F(AuditTrailTest, PasswordsAreComparedByTheirMiddle)
{
    dal::Recordset rs = openRow(QStringLiteral("id, Password"));
    clsAction_History sameMiddle = writer();
    sameMiddle.oldValueMANUAL(QStringLiteral("id"), std::int32_t{1});
    sameMiddle.oldValueMANUAL(QStringLiteral("PASSWORD"), QStringLiteral(" abSECRETzzz "));
    sameMiddle.PostTransactionRECORD(2, rs);
    EXPECT_TRUE(trans().empty());

    clsAction_History otherMiddle = writer();
    otherMiddle.oldValueMANUAL(QStringLiteral("id"), std::int32_t{1});
    otherMiddle.oldValueMANUAL(QStringLiteral("PASSWORD"), QStringLiteral("xxSECRFTyyy"));
    otherMiddle.PostTransactionRECORD(2, rs);
    ASSERT_EQ(details().size(), 1u);

    // A stored password too short to transform ends the posting before anything is written,
    // even though another field changed.
    clsAction_History tooShort = writer();
    tooShort.oldValueMANUAL(QStringLiteral("id"), std::int32_t{2});
    tooShort.oldValueMANUAL(QStringLiteral("PASSWORD"), QStringLiteral("abcd"));
    tooShort.PostTransactionRECORD(2, rs);
    EXPECT_EQ(trans().size(), 1u);
    EXPECT_EQ(details().size(), 1u);
}

TEST_F(AuditTrailTest, ADeletedRowRecordsTheSnapshotAndOtherActionsNothing)
{
    dal::Recordset rs = openRow(QStringLiteral("id, Name"));
    clsAction_History other = writer();
    other.PostTransactionRECORD(4, rs);
    EXPECT_TRUE(trans().empty());

    clsAction_History deleted = writer();
    deleted.oldValuesFromRecord(rs);
    deleted.PostTransactionRECORD(3, rs);
    const Rows d = details();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0][1].toText(), QStringLiteral("ID"));
    EXPECT_EQ(d[0][2].toText(), QStringLiteral("1"));
    EXPECT_TRUE(d[0][3].isNull());
    EXPECT_EQ(d[1][2].toText(), QStringLiteral("Pump"));
    EXPECT_EQ(trans().at(0)[Action].toInt32(), 3);
}

TEST_F(AuditTrailTest, LongValuesAreCutAfter2000Characters)
{
    facility->Execute(QStringLiteral("UPDATE audited SET Name=?, Notes=?"),
                      {QString(2000, u'n'), QString(2001, u'o')});
    dal::Recordset rs = openRow(QStringLiteral("Name, Notes"));
    clsAction_History history = writer();
    history.PostTransactionRECORD(1, rs);
    const Rows d = details();
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0][3].toText(), QString(2000, u'n'));
    EXPECT_EQ(d[1][3].toText(), QString(1996, u'o') + QStringLiteral("..."));

    // The snapshot is cut the same way.
    clsAction_History deleted = writer();
    deleted.oldValuesFromRecord(rs);
    deleted.PostTransactionRECORD(3, rs);
    const Rows all = details();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[3][2].toText().size(), 1999);
}

TEST_F(AuditTrailTest, CommentsAreCutTo255AndRecordKeysFillTheirSlots)
{
    dal::Recordset rs = openRow(QStringLiteral("Name"));
    clsAction_History history = writer();
    history.System_Comment(QString(300, u'c'));
    history.Justification(QStringLiteral("because"));
    history.Facility(QStringLiteral("PLANT1"));
    history.RecordID(std::int32_t{17});
    history.RecordID(QStringLiteral("2024-03-05 10:15:00")); // fills the date, keeps the number
    history.RecordID(QStringLiteral("key-A"));
    history.PostTransactionRECORD(1, rs);

    const Rows t = trans();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0][SystemComment].toText(), QString(255, u'c'));
    EXPECT_EQ(t[0][Justification].toText(), QStringLiteral("because"));
    EXPECT_EQ(t[0][FileName].toText(), QStringLiteral("PLANT1"));
    EXPECT_EQ(t[0][RecIdNum].toDouble(), 17.0);
    EXPECT_EQ(t[0][RecIdDate].toDateTime(), DateTime::fromParts(2024, 3, 5, 10, 15));
    EXPECT_EQ(t[0][RecIdText].toText(), QStringLiteral("key-A"));
    EXPECT_TRUE(t[0][RecIdNum2].isNull());
    EXPECT_TRUE(t[0][RecIdDate2].isNull());
    EXPECT_TRUE(t[0][RecIdText2].isNull());
}

TEST_F(AuditTrailTest, ManualPostingKeepsOnlyNewValuesOfKnownFields)
{
    clsAction_History nothingKept = writer();
    nothingKept.newValueMANUAL(QStringLiteral("Name"), QStringLiteral("ignored"));
    nothingKept.PostTransactionMANUAL(2);
    EXPECT_TRUE(trans().empty());

    clsAction_History history = writer();
    history.oldValueMANUAL(QStringLiteral("Name"), QStringLiteral("Pump"));
    history.oldValueMANUAL(QStringLiteral("Units"), QStringLiteral("gpm"));
    history.oldValueMANUAL(QStringLiteral("Notes"), QString());
    history.newValueMANUAL(QStringLiteral("NAME"), QStringLiteral("Valve"));
    history.newValueMANUAL(QStringLiteral("units"), QStringLiteral("gpm"));
    history.newValueMANUAL(QStringLiteral("Other"), QStringLiteral("no old value"));
    history.newValueMANUAL(QStringLiteral("Notes"), QString());
    history.PostTransactionMANUAL(7);

    const Rows t = trans();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0][Action].toInt32(), 7);
    const Rows d = details();
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d[0][1].toText(), QStringLiteral("NAME"));
    EXPECT_EQ(d[0][2].toText(), QStringLiteral("Pump"));
    EXPECT_EQ(d[0][3].toText(), QStringLiteral("Valve"));
    EXPECT_EQ(d[1][1].toText(), QStringLiteral("NOTES"));
    EXPECT_TRUE(d[1][2].isNull());
    EXPECT_TRUE(d[1][3].isNull());
    EXPECT_EQ(d[2][1].toText(), QStringLiteral("UNITS")); // equal values are still recorded
    EXPECT_EQ(d[2][3].toText(), QStringLiteral("gpm"));
}

TEST_F(AuditTrailTest, WithoutATableNameNothingIsPosted)
{
    dal::Recordset rs = openRow(QStringLiteral("Name"));
    clsAction_History history = writer();
    history.TableName(QString());
    history.PostTransactionRECORD(1, rs);
    EXPECT_TRUE(trans().empty());
}

TEST_F(AuditTrailTest, AFailingPostingIsSilentAndLeavesAnEnclosingTransactionUsable)
{
    facility->Execute(QStringLiteral("DROP TABLE action_history_detail"));
    {
        dal::Transaction transaction(*facility);
        facility->Execute(QStringLiteral("INSERT INTO audited (id, Name) VALUES (2, 'before')"));
        dal::Recordset rs = openRow(QStringLiteral("Name"));
        clsAction_History history = writer();
        history.PostTransactionRECORD(1, rs);
        facility->Execute(QStringLiteral("INSERT INTO audited (id, Name) VALUES (3, 'after')"));
        transaction.commit();
    }
    EXPECT_EQ(count(QStringLiteral("audited")), 3);
    // The transaction row written before the failing detail stays.
    EXPECT_EQ(trans().size(), 1u);

    // A record set that is not open posts nothing and raises nothing.
    dal::Recordset closed;
    clsAction_History history = writer();
    history.PostTransactionRECORD(1, closed);
    history.oldValuesFromRecord(closed);
    EXPECT_EQ(trans().size(), 1u);
}

} // namespace
} // namespace zarn
