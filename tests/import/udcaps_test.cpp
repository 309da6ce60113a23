#include "import/StandInFixture.h"

namespace zarn {
namespace {

using test::exclamation;

using Pairs = std::vector<std::pair<QString, QString>>;

const Pairs captions = {{QStringLiteral("UD1"), QStringLiteral("SensorType")},
                        {QStringLiteral("UD2"), QStringLiteral("HiHi")},
                        {QStringLiteral("UD3"), QStringLiteral("Hi")},
                        {QStringLiteral("UD4"), QStringLiteral("Lo")},
                        {QStringLiteral("UD5"), QStringLiteral("LoLo")},
                        {QStringLiteral("UD6"), QStringLiteral("MaxDisplay")},
                        {QStringLiteral("UD7"), QStringLiteral("MinDisplay")},
                        {QStringLiteral("UD8"), QStringLiteral("DisplayOrder")},
                        {QStringLiteral("UD9"), QStringLiteral("DataType")}};

class CaptionsTest : public test::StandInFixture
{
protected:
    // Replaces the table's rows, in this order.
    void fill(const Pairs &rows)
    {
        facility->Execute(QStringLiteral("DELETE FROM UDCaps"));
        std::int32_t id = 1;
        for (const auto &[field, caption] : rows)
            facility->Execute(QStringLiteral("INSERT INTO UDCaps (UDCapID, FieldName, Caption) "
                                             "VALUES (?, ?, ?)"),
                              {id++, field, caption});
    }

    Pairs contents()
    {
        Pairs result;
        for (const auto &row : rows(*facility, QStringLiteral("SELECT FieldName, Caption FROM "
                                                              "UDCaps ORDER BY UDCapID")))
            result.emplace_back(row[0].toText(), row[1].toText());
        return result;
    }

    static Pairs placeholders(int from, int to)
    {
        Pairs result;
        for (int i = from; i <= to; ++i)
            result.emplace_back(QStringLiteral("X%1").arg(i), QStringLiteral("Old %1").arg(i));
        return result;
    }
};

TEST_F(CaptionsTest, TheNineRowsOfANewFacilityGetTheCaptions)
{
    importer->UpdateUDCaps();
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(contents(), captions);
}

TEST_F(CaptionsTest, RowsPastTheNinthAreLeftAlone)
{
    fill(placeholders(1, 12));
    importer->UpdateUDCaps();
    EXPECT_TRUE(ui.messages.empty());
    Pairs expected = captions;
    for (const auto &pair : placeholders(10, 12))
        expected.push_back(pair);
    EXPECT_EQ(contents(), expected);
}

TEST_F(CaptionsTest, RowsAreTakenByPositionNotByFieldName)
{
    Pairs shuffled(captions.rbegin(), captions.rend());
    fill(shuffled);
    importer->UpdateUDCaps();
    EXPECT_EQ(contents(), captions);

    // The tally has each row as it was and as it is now.
    const CaptionTally &tally = importer->tally().captions;
    EXPECT_TRUE(tally.ran && tally.succeeded);
    ASSERT_EQ(tally.written.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(tally.written[i].oldField, shuffled[i].first);
        EXPECT_EQ(tally.written[i].oldCaption, shuffled[i].second);
        EXPECT_EQ(tally.written[i].field, captions[i].first);
        EXPECT_EQ(tally.written[i].newCaption, captions[i].second);
    }
}

TEST_F(CaptionsTest, FiveRowsTakeTheFirstFivePairsAndTheStepFails)
{
    fill(placeholders(1, 5));
    importer->UpdateUDCaps();
    EXPECT_EQ(ui.messages, (std::vector<Message>{exclamation(QStringLiteral(
                               "Program was unable to update User Defined Captions"))}));
    EXPECT_EQ(contents(), Pairs(captions.begin(), captions.begin() + 5));
    const CaptionTally &tally = importer->tally().captions;
    EXPECT_FALSE(tally.succeeded);
    EXPECT_FALSE(tally.failure.isEmpty());
    ASSERT_EQ(tally.written.size(), 5u);
    EXPECT_EQ(tally.written[4].oldCaption, QStringLiteral("Old 5"));
    EXPECT_EQ(tally.written[4].newCaption, QStringLiteral("LoLo"));
    EXPECT_EQ(ui.details.size(), 1u);
}

TEST_F(CaptionsTest, AnEmptyTableFailsTheStep)
{
    fill({});
    importer->UpdateUDCaps();
    EXPECT_EQ(ui.messages, (std::vector<Message>{exclamation(QStringLiteral(
                               "Program was unable to update User Defined Captions"))}));
    EXPECT_TRUE(contents().empty());
}

} // namespace
} // namespace zarn
