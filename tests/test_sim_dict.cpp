// The simulator's statistics over journals an application cannot produce
// through the library: records of a wrong layout, sales outside the day.
#include <gtest/gtest.h>

#include "sim_commands.h"
#include "sim_sales.h"

using namespace trvsim;

namespace {

Record finished(const DateTime& when, int64_t value) {
    Values v;
    v.dword(1).dateHM(when).str("KASA").str("JAN").word(1).num(value).num(value).dword(1);
    return {journal::kFinished, v.items};
}

Record line(uint16_t plu, int64_t value) {
    Values v;
    v.byte(0).word(plu).str("").str("X").num(1).num(value);
    return {journal::kArticle, v.items};
}

}  // namespace

TEST(SimDict, StatisticsPassOverRecordsOfAnotherLayout) {
    State s;
    s.journal.clear();
    s.journal.push_back(line(1, 100));
    s.journal.push_back({journal::kArticle, Values().str("not a line").items});
    s.journal.push_back(finished({2009, 13, 1, 10, 0, 0}, 100));  // no such month: not a receipt
    s.journal.push_back(line(1, 5));
    s.journal.push_back(finished({2009, 3, 6, 23, 59, 0}, 105));
    ASSERT_EQ(receipts(s).size(), 1u);
    EXPECT_EQ(receipts(s)[0].lines.size(), 2u);  // its lines and those of the unreadable one
    EXPECT_EQ(groupTotals(s, 1).total, 105);
    EXPECT_EQ(groupTotals(s, 1).days[4], 105);  // a Friday
    const auto hours = hourTotals(s, false);
    EXPECT_EQ(hours[23].receipts, 1u);
    EXPECT_EQ(hours[23].value, 105);

    // The answers in full: 21 values for a group, 72 for the hours; an
    // unknown kind of hourly statistics is refused.
    Values v;
    ASSERT_TRUE(s.execute(2860, Values().word(1).byte(0).items, v));
    EXPECT_EQ(v.items.size(), 21u);
    Values h;
    ASSERT_TRUE(s.execute(3700, Values().byte(0).items, h));
    EXPECT_EQ(h.items.size(), 72u);
    try {
        s.execute(3700, Values().byte(2).items, h);
        ADD_FAILURE() << "typ 2 accepted";
    } catch (const ExecError& e) {
        EXPECT_EQ(e.code, err::kBadValue);
    }
}
