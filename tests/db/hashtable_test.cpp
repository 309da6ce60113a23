#include "db/HashTable.h"
#include "platform/Error.h"

#include <QStringList>
#include <functional>
#include <gtest/gtest.h>

namespace zarn {

// Reads the slot layout that the public members hide.
struct HashTableInspector
{
    static std::int32_t slotOf(const HashTable &table, const QString &key)
    {
        std::int32_t bucket = 0;
        std::int32_t prev = 0;
        return table.LocateSlot(key, bucket, prev);
    }
    static std::int32_t bucketOf(const HashTable &table, const QString &key)
    {
        return table.bucketOf(key);
    }
    // Slots 1 to the upper bound.
    static std::size_t slotCount(const HashTable &table) { return table.m_slots.size() - 1; }
};

} // namespace zarn

using zarn::HashTable;
using zarn::HashTableInspector;
using zarn::Value;

namespace {

struct Raised
{
    long number = 0;
    QString description;
};

Raised raisedBy(const std::function<void()> &action)
{
    try {
        action();
    } catch (const zarn::Error &e) {
        return {e.number(), e.description()};
    }
    return {};
}

QStringList keysOf(const HashTable &table)
{
    QStringList keys;
    for (const Value &key : table.Keys())
        keys << key.toText();
    return keys;
}

} // namespace

TEST(HashTableHash, BytesXoredInGroupsOfFour)
{
    EXPECT_EQ(HashTable::KeyHash("abc"), 0x00636261);
    EXPECT_EQ(HashTable::KeyHash("abcd"), 0x64636261);
    EXPECT_EQ(HashTable::KeyHash("abcde"), 0x64636261 ^ 0x65);
    EXPECT_EQ(HashTable::KeyHash("abcdabcd"), 0);
    HashTable table;
    EXPECT_EQ(HashTableInspector::bucketOf(table, "abc"), 609);
}

TEST(HashTableHash, SingleByteCodePage)
{
    EXPECT_EQ(HashTable::KeyHash(QString::fromUtf8("é")), 0xE9);
    EXPECT_EQ(HashTable::KeyHash(QString::fromUtf8("€")), 0x80);
    EXPECT_EQ(HashTable::KeyHash(QString::fromUtf8("xŸ")), 0x9F78);
    // Characters outside the code page count as '?'.
    EXPECT_EQ(HashTable::KeyHash(QString::fromUtf8("Ā")), '?');
    EXPECT_EQ(HashTable::KeyHash(QString::fromUtf8("Ω")), HashTable::KeyHash("?"));
}

TEST(HashTableHash, NegativeHashStillFindsABucket)
{
    const QString key = QString::fromUtf8("aaaÿ"); // top byte 0xFF: a negative hash
    ASSERT_LT(HashTable::KeyHash(key), 0);
    HashTable table;
    table.SetSize(1000);
    const std::int32_t bucket = HashTableInspector::bucketOf(table, key);
    EXPECT_GE(bucket, 0);
    EXPECT_LT(bucket, 1000);
    table.Add(key, 7);
    EXPECT_EQ(table.item(key), Value(7));
    EXPECT_EQ(keysOf(table), QStringList{key});
}

TEST(HashTableKeys, EmptyKeyIsInvalidEverywhere)
{
    HashTable table;
    for (const auto &action : std::vector<std::function<void()>>{
             [&] { table.Exists(""); }, [&] { table.Add("", 1); }, [&] { table.item(""); },
             [&] { table.setItem("", 1); }, [&] { table.Remove(""); }}) {
        const Raised raised = raisedBy(action);
        EXPECT_EQ(raised.number, 1001);
        EXPECT_EQ(raised.description, "Invalid key");
    }
    EXPECT_EQ(table.Count(), 0);
}

TEST(HashTableKeys, CaseMattersUnlessIgnored)
{
    HashTable exact;
    exact.Add("abc", 1);
    exact.Add("ABC", 2);
    EXPECT_EQ(exact.Count(), 2);
    EXPECT_EQ(exact.item("abc"), Value(1));
    EXPECT_FALSE(exact.Exists("Abc"));

    HashTable folded;
    folded.setIgnoreCase(true);
    EXPECT_TRUE(folded.IgnoreCase());
    folded.Add("abc", 1);
    EXPECT_EQ(raisedBy([&] { folded.Add("ABC", 2); }).number, zarn::errc::KeyAlreadyExists);
    folded.setItem("aBc", 3);
    EXPECT_EQ(folded.Count(), 1);
    EXPECT_EQ(folded.item("ABC"), Value(3));
    EXPECT_EQ(keysOf(folded), QStringList{"ABC"});
    folded.Remove("Abc");
    EXPECT_EQ(folded.Count(), 0);
}

TEST(HashTableItems, GetMissingIsEmptyAndLetAddsOrReplaces)
{
    HashTable table;
    EXPECT_TRUE(table.item("nothing").isEmpty());
    EXPECT_EQ(table.Count(), 0);
    table.setItem("k", "first");
    EXPECT_EQ(table.Count(), 1);
    table.setItem("k", Value::null());
    EXPECT_EQ(table.Count(), 1);
    EXPECT_TRUE(table.item("k").isNull());
    EXPECT_TRUE(table.Exists("k"));
}

TEST(HashTableItems, AddingAPresentKeyChangesNothing)
{
    HashTable table;
    table.Add("k", 1);
    const Raised raised = raisedBy([&] { table.Add("k", 2); });
    EXPECT_EQ(raised.number, 457);
    EXPECT_EQ(raised.description,
              "This key is already associated with an element of this collection");
    EXPECT_EQ(table.Count(), 1);
    EXPECT_EQ(table.item("k"), Value(1));
}

TEST(HashTableItems, RemovingAnAbsentKeyIsInvalid)
{
    HashTable table;
    table.Add("k", 1);
    const Raised raised = raisedBy([&] { table.Remove("x"); });
    EXPECT_EQ(raised.number, 5);
    EXPECT_EQ(raised.description, "Invalid procedure call or argument");
    table.Remove("k");
    EXPECT_EQ(raisedBy([&] { table.Remove("k"); }).number, 5);
    EXPECT_EQ(table.Count(), 0);
}

TEST(HashTableSlots, TheEntryAfterTheInitialSlotsGrowsTheArrayByOneChunk)
{
    HashTable table;
    for (int i = 1; i <= 2048; ++i)
        table.Add(QString::number(i), i);
    EXPECT_EQ(HashTableInspector::slotCount(table), 2048u);
    table.Add("2049", 2049);
    EXPECT_EQ(HashTableInspector::slotCount(table), 3072u);
    EXPECT_EQ(HashTableInspector::slotOf(table, "2049"), 2049);
    EXPECT_EQ(table.Count(), 2049);
    for (int i = 1; i <= 2049; ++i)
        ASSERT_EQ(table.item(QString::number(i)), Value(i)) << i;
    EXPECT_EQ(table.Keys().size(), 2049u);
}

TEST(HashTableSlots, ANewKeyTakesTheSlotFreedLast)
{
    HashTable table;
    table.Add("one", 1);
    table.Add("two", 2);
    table.Add("three", 3);
    const std::int32_t freedFirst = HashTableInspector::slotOf(table, "one");
    const std::int32_t freedLast = HashTableInspector::slotOf(table, "two");
    table.Remove("one");
    table.Remove("two");
    table.Add("four", 4);
    EXPECT_EQ(HashTableInspector::slotOf(table, "four"), freedLast);
    table.Add("five", 5);
    EXPECT_EQ(HashTableInspector::slotOf(table, "five"), freedFirst);
    EXPECT_EQ(HashTableInspector::slotCount(table), 2048u);
    EXPECT_TRUE(table.item("one").isEmpty());
    EXPECT_EQ(table.item("four"), Value(4));
}

TEST(HashTableOrder, BucketsAscendingAndChainsInOrderOfAdding)
{
    // "ab", "af" and "ar" share bucket 609 with 1024 buckets; "a" is in bucket 97, "b" in 98.
    HashTable table;
    table.Add("ar", 1);
    table.Add("b", 2);
    table.Add("ab", 3);
    table.Add("af", 4);
    table.Add("a", 5);
    EXPECT_EQ(keysOf(table), (QStringList{"a", "b", "ar", "ab", "af"}));
    const std::vector<Value> values = table.Values();
    EXPECT_EQ(values, (std::vector<Value>{5, 2, 1, 3, 4}));

    // Unlinking from the middle and the head of a chain keeps the rest reachable.
    table.Remove("ab");
    EXPECT_EQ(keysOf(table), (QStringList{"a", "b", "ar", "af"}));
    table.Remove("ar");
    EXPECT_EQ(keysOf(table), (QStringList{"a", "b", "af"}));
    EXPECT_EQ(table.item("af"), Value(4));
    table.Add("ab", 6); // appended to the end of its chain
    EXPECT_EQ(keysOf(table), (QStringList{"a", "b", "af", "ab"}));
}

TEST(HashTableModes, IgnoreCaseOnlyOnAnEmptyTable)
{
    HashTable table;
    table.Add("k", 1);
    const Raised raised = raisedBy([&] { table.setIgnoreCase(true); });
    EXPECT_EQ(raised.number, 1001);
    EXPECT_EQ(raised.description, "The Hash Table isn't empty");
    EXPECT_FALSE(table.IgnoreCase());
    table.RemoveAll();
    EXPECT_EQ(table.Count(), 0);
    EXPECT_FALSE(table.Exists("k"));
    table.setIgnoreCase(true);
    EXPECT_TRUE(table.IgnoreCase());
}

TEST(HashTableModes, SetSizeDiscardsEntriesAndKeepsTheMode)
{
    HashTable table;
    table.setIgnoreCase(true);
    table.Add("k", 1);
    table.SetSize(7, 2);
    EXPECT_EQ(table.Count(), 0);
    EXPECT_TRUE(table.IgnoreCase());
    EXPECT_EQ(HashTableInspector::slotCount(table), 2u);
    table.Add("a", 1);
    table.Add("b", 2);
    table.Add("c", 3); // the chunk size stays 1024
    EXPECT_EQ(HashTableInspector::slotCount(table), 1026u);
    table.RemoveAll();
    EXPECT_EQ(HashTableInspector::slotCount(table), 2u);
    EXPECT_EQ(raisedBy([&] { table.SetSize(0); }).number, zarn::errc::InvalidProcedureCall);
}
