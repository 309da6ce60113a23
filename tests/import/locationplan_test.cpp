// Which locations a site's trains keep, get new or lose: the rule by itself.

#include "import/LocationPlan.h"

#include <gtest/gtest.h>
#include <ostream>

namespace zarn {

void PrintTo(const LocationEntry &l, std::ostream *os)
{
    *os << l.key.toStdString() << '/' << l.name.toStdString() << '/' << l.locId;
}

namespace {

using Entries = std::vector<LocationEntry>;
using Ids = std::vector<std::optional<std::int32_t>>;

Train train(std::int16_t number, const QString &name)
{
    return Train{name, number, 1, 1};
}

TEST(LocationKey, PutsAZeroInFrontOfNumbersBelowTen)
{
    EXPECT_EQ(locationKey(7), QStringLiteral("07"));
    EXPECT_EQ(locationKey(0), QStringLiteral("00"));
    EXPECT_EQ(locationKey(-3), QStringLiteral("0-3"));
    EXPECT_EQ(locationKey(9), QStringLiteral("09"));
    EXPECT_EQ(locationKey(10), QStringLiteral("10"));
    EXPECT_EQ(locationKey(32767), QStringLiteral("32767"));
    EXPECT_EQ(locationKey(-32768), QStringLiteral("0-32768"));
}

TEST(LocationPlan, ARowIsKeptOnlyWhenKeyAndNameBothMatch)
{
    const Entries existing = {{QStringLiteral("01"), QStringLiteral("Train 1"), 4},
                              {QStringLiteral("02"), QStringLiteral("Other site"), 5},
                              {QStringLiteral("13"), QStringLiteral("Train 3"), 6}};
    const LocationPlan plan = planLocations(existing, {train(1, QStringLiteral("Train 1")),
                                                       train(2, QStringLiteral("Train 2")),
                                                       train(3, QStringLiteral("Train 3"))});
    EXPECT_EQ(plan.kept, (Entries{existing[0]}));
    EXPECT_EQ(plan.removed, (Entries{existing[1], existing[2]}));
    EXPECT_EQ(plan.added, (Entries{{QStringLiteral("02"), QStringLiteral("Train 2"), 0},
                                   {QStringLiteral("03"), QStringLiteral("Train 3"), 0}}));
    EXPECT_EQ(plan.keptByTrain, (Ids{4, std::nullopt, std::nullopt}));
}

// Names are compared exactly: a change of case or a trailing blank is another train.
TEST(LocationPlan, NamesMatchExactly)
{
    const Entries existing = {{QStringLiteral("01"), QStringLiteral("train 1"), 1},
                              {QStringLiteral("02"), QStringLiteral("Train 2 "), 2}};
    const LocationPlan plan = planLocations(
        existing, {train(1, QStringLiteral("Train 1")), train(2, QStringLiteral("Train 2"))});
    EXPECT_TRUE(plan.kept.empty());
    EXPECT_EQ(plan.removed, existing);
    EXPECT_EQ(plan.added.size(), 2u);
}

TEST(LocationPlan, EachTrainKeepsOneRowAndEachRowServesOneTrain)
{
    const Entries twice = {{QStringLiteral("01"), QStringLiteral("A"), 1},
                           {QStringLiteral("01"), QStringLiteral("A"), 2}};
    const LocationPlan oneTrain = planLocations(twice, {train(1, QStringLiteral("A"))});
    EXPECT_EQ(oneTrain.kept, (Entries{twice[0]}));
    EXPECT_EQ(oneTrain.removed, (Entries{twice[1]}));
    EXPECT_TRUE(oneTrain.added.empty());

    const LocationPlan twoTrains =
        planLocations({twice[0]}, {train(1, QStringLiteral("A")), train(1, QStringLiteral("A"))});
    EXPECT_EQ(twoTrains.kept, (Entries{twice[0]}));
    EXPECT_EQ(twoTrains.added, (Entries{{QStringLiteral("01"), QStringLiteral("A"), 0}}));
    EXPECT_EQ(twoTrains.keptByTrain, (Ids{1, std::nullopt}));
}

TEST(LocationPlan, AnEmptyFacilityGetsEveryTrainAndAnEmptySiteLosesEveryRow)
{
    const LocationPlan fresh = planLocations({}, {plantWideTrain()});
    EXPECT_EQ(fresh.added, (Entries{{QStringLiteral("01"), QStringLiteral("My Plant"), 0}}));
    EXPECT_TRUE(fresh.kept.empty());
    EXPECT_TRUE(fresh.removed.empty());

    const Entries existing = {{QStringLiteral("01"), QStringLiteral("My Plant"), 3}};
    const LocationPlan none = planLocations(existing, {});
    EXPECT_EQ(none.removed, existing);
    EXPECT_TRUE(none.keptByTrain.empty());
}

TEST(LocationPlan, TheLookupFindsKeptRowsBeforeAddedOnes)
{
    const LocationPlan plan = planLocations(
        {{QStringLiteral("01"), QStringLiteral("A"), 8}, {QStringLiteral("02"), QString(), 9}},
        {train(2, QStringLiteral("B")), train(1, QStringLiteral("A")),
         train(1, QStringLiteral("A2"))});
    EXPECT_EQ(plan.locIdOf(QStringLiteral("01")), 8);
    EXPECT_EQ(plan.locIdOf(QStringLiteral("02")), 0);
    EXPECT_EQ(plan.locIdOf(QStringLiteral("03")), std::nullopt);
}

} // namespace
} // namespace zarn
