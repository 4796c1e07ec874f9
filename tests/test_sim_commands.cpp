// The simulator's command table: wire patterns, the request check before a
// handler runs, and the default answers of commands no family models.
#include <gtest/gtest.h>

#include "sim_commands.h"

using namespace trvsim;

namespace {

Items items(const std::string& letters) {
    Items v;
    for (char c : letters) {
        trv::TRV_DataItem& it = v.emplace_back();
        switch (c) {
        case 'B': it.SetChar(1); break;
        case 'V': it.SetShort(1); break;
        case 'L': it.SetLong(1); break;
        case 'S': it.SetString("x"); break;
        default: it.SetNumeric("1"); break;
        }
    }
    return v;
}

}  // namespace

TEST(SimCommands, PatternsWithGroupsCountsAndAlternatives) {
    const Pattern article("VSSNBBNBBBBBBB(VS*)?B|VSSNBBBB(VS*)?B");
    EXPECT_TRUE(article.matches(items("VSSNBBNBBBBBBBB")));
    EXPECT_TRUE(article.matches(items("VSSNBBNBBBBBBBVB")));      // a block without barcodes
    EXPECT_TRUE(article.matches(items("VSSNBBNBBBBBBBVSSSB")));   // ... with three
    EXPECT_TRUE(article.matches(items("VSSNBBBBVSB")));           // the second alternative
    EXPECT_FALSE(article.matches(items("VSSNBBNBBBBBBBVSS")));    // the last Byte is missing
    EXPECT_FALSE(article.matches(items("VSSNBBNBBBBBBBSB")));

    const Pattern pairs("BB(VV)3");
    EXPECT_TRUE(pairs.matches(items("BBVVVVVV")));
    EXPECT_FALSE(pairs.matches(items("BBVVVV")));
    EXPECT_FALSE(pairs.matches(items("BBVVVVVVVV")));
    EXPECT_EQ(pairs.sample().size(), 8u);

    EXPECT_TRUE(Pattern("").matches(items("")));
    EXPECT_FALSE(Pattern("").matches(items("B")));
    EXPECT_TRUE(Pattern("V(VNN)*").matches(items("VVNNVNN")));
    EXPECT_FALSE(Pattern("V(VNN)*").matches(items("VVN")));
}

TEST(SimCommands, RequestsAreCheckedBeforeTheirHandlerRuns) {
    State s;
    Values v;
    // Command 2120 takes one Word: a Byte is refused, and so is a second value.
    try {
        s.execute(2120, items("B"), v);
        FAIL() << "a Byte for a Word was taken";
    } catch (const ExecError& e) {
        EXPECT_EQ(e.code, err::kBadLayout);
        EXPECT_EQ(e.detail, "TRVS_PLUNextFreeGet (command 2120, layout V): value 1 (numer_rekordu) is B");
    }
    // Too many values, too few, and a hand-written layout (no value names).
    const CommandTable& t = commandTable();
    EXPECT_EQ(t.requestMismatch(2120, items("VV")),
              "TRVS_PLUNextFreeGet (command 2120, layout V): value 2 is V, past the layout's end");
    EXPECT_EQ(t.requestMismatch(2110, items("V")), "TRVS_PLURead (command 2110, layout VB): 1 value, too few: z_kodem is missing");
    EXPECT_EQ(t.answerMismatch(2110, items("VSSNBBBBS")),
              "TRVG_PLURead (command 2110, layout VSSNBBNBBBBBBB(VS*)?|VSSNBBBVBBB(VS*)?|VSSNBBBB(VS*)?): "
              "value 9 is S");
    EXPECT_EQ(t.requestMismatch(2120, items("V")), "");
    // The two layouts of command 311 (three Bytes, or five values) both fit.
    EXPECT_TRUE(s.execute(311, items("BBBBV"), v));
    EXPECT_TRUE(s.execute(311, items("BBB"), v));
    EXPECT_THROW(s.execute(311, items("BBBB"), v), ExecError);
    // Commands the table does not know go to their handler unchecked, or
    // nowhere.
    EXPECT_FALSE(s.execute(7777, items("B"), v));
}

TEST(SimCommands, CommandsNobodyModelsAnswerInTheirLayout) {
    const CommandTable& t = commandTable();
    ASSERT_TRUE(t.knows(502));
    const Items status = t.defaultAnswer(502);  // type, totalizers, ten (size, count) pairs
    ASSERT_EQ(status.size(), 22u);
    EXPECT_EQ(status[0].Type(), TARVIK_TYPE_BYTE);
    EXPECT_EQ(status[2].Type(), TARVIK_TYPE_WORD);
    EXPECT_TRUE(t.answerFits(502, status));
    EXPECT_FALSE(t.answerFits(502, items("BB")));
    // Commands whose answers no reader reads (settings) answer with nothing.
    EXPECT_TRUE(t.defaultAnswer(329).empty());
    EXPECT_TRUE(t.answerFits(451, items("B")));  // a type reader leaves the journal unchecked
}

TEST(SimCommands, LongRequestsAreMatchedInOnePass) {
    // A header of 16,000 lines (the most one frame holds): matching it takes
    // one step per value, and no stack per value.
    Items lines;
    for (int i = 0; i < 16000; ++i) {
        lines.emplace_back().SetChar(1);
        lines.emplace_back().SetString("");
    }
    EXPECT_TRUE(Pattern("(BS)*").matches(lines));
    EXPECT_TRUE(Pattern("B(BS)*|(BS)*").matches(lines));
    Items odd(lines.begin(), lines.end() - 1);
    EXPECT_FALSE(Pattern("(BS)*").matches(odd));
    // The register takes at most ten: an execution error, not a crash.
    State s;
    Values v;
    try {
        s.execute(19, lines, v);
        FAIL() << "16,000 header lines were taken";
    } catch (const ExecError& e) {
        EXPECT_EQ(e.code, err::kBadValue);
    }
}
