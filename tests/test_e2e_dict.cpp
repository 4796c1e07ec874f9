// The small tables and the statistics against the simulated register: what
// is written through the public API reads back, and the statistics agree
// with the sale journal an application reads record by record.
#include <array>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "mirtel_sim.h"

namespace {

using E2E = trvsim::test::MirtelSimTest;
constexpr TARVIK_STATUS exec(uint16_t code) { return TARVIK_STATUS_EXEC_ERROR + code; }

std::string join(const std::vector<std::string>& parts) {
    std::string s;
    for (size_t i = 0; i < parts.size(); ++i) s += (i ? "\n" : "") + parts[i];
    return s;
}

template <size_t N>
std::string join(const std::array<long long, N>& v) {
    std::vector<std::string> parts;
    for (long long x : v) parts.push_back(std::to_string(x));
    return join(parts);
}

// What an application works out from the journal: sales by group, by
// payment form and by hour.
struct Expected {
    struct GroupSums {
        long long total = 0;
        std::array<long long, 7> days{};
        std::array<long long, 12> months{};
    };
    std::map<unsigned short, GroupSums> groups;
    std::map<unsigned short, long long> payForms;
    std::array<std::array<long long, 24>, 3> hours{}, cancelledHours{};  // value, lines, receipts
};

}  // namespace

class E2EDict : public E2E {
protected:
    // Waits for a command without a reader and frees it; its status.
    TARVIK_STATUS run(TARVIK_HANDLE r, TARVIK_STATUS sent) {
        const TARVIK_STATUS st = done(r, sent);
        if (r) TRVG_Default(r);
        return st;
    }

    // The article's group as the application reads it; 0 for an article no
    // longer in the database (the sample set of the journal).
    unsigned char groupOf(unsigned short plu) {
        TARVIK_HANDLE r = nullptr;
        if (done(r, TRVS_PLURead(view, &r, plu, 0, 0)) == exec(104)) {
            TRVG_Default(r);
            return 0;
        }
        unsigned char group = 0;
        EXPECT_EQ(TRVG_PLURead(r, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr, &group, nullptr),
                  0u);
        return group;
    }

    // Reads the whole journal through 451 and sums it up as the register's
    // statistics should.
    Expected fromJournal() {
        struct Line {
            unsigned short plu;
            long long value;
        };
        Expected e;
        std::vector<Line> lines;
        std::vector<std::pair<unsigned short, long long>> payments;
        unsigned short next = 1;
        for (int i = 0; next > 0 && i < 200; ++i) {
            EXPECT_EQ(TRVS_SaleRecGet(view, nullptr, i == 0 ? 1 : 0, 0), 0u);
            TARVIK_HANDLE rec = TRV_PopSalesQueue(view, 5000);
            if (!rec) {
                ADD_FAILURE() << "no journal record";
                break;
            }
            unsigned short type = 0;
            EXPECT_EQ(TRVG_SaleRecGetType(rec, nullptr, &next, &type), 0u);
            char date[64] = "", value[64] = "", code[64], name[64];
            unsigned short number = 0;
            unsigned char vat;
            TARVIK_STATUS st = 0;
            switch (type) {
            case 4:
            case 5:
                st = TRVG_v2_SaleRecGetPLUSet(rec, &vat, &number, code, name, nullptr, value, nullptr);
                lines.push_back({number, std::stoll(value)});
                break;
            case 7:
                st = TRVG_SaleRecGetPayformEx(rec, &number, nullptr, nullptr, value, nullptr, nullptr, nullptr,
                                              nullptr);
                payments.emplace_back(number, std::stoll(value));
                break;
            case 8:
                st = TRVG_SaleRecGetCurrencyEx(rec, &number, nullptr, value, nullptr, nullptr, nullptr, nullptr,
                                               nullptr, nullptr);
                payments.emplace_back(number, std::stoll(value));
                break;
            case 2:
            case 3: {
                if (type == 2)
                    st = TRVG_v2_SaleRecGetFinished(rec, nullptr, date, nullptr, nullptr, nullptr, value, nullptr,
                                                    nullptr);
                else
                    st = TRVG_v2_SaleRecGetCancelled(rec, date, nullptr, nullptr, nullptr, nullptr, value, nullptr,
                                                     nullptr, nullptr);
                // "YYYY-MM-DD HH:MM"
                const int year = std::stoi(std::string(date, 4)), month = std::stoi(std::string(date + 5, 2)),
                          day = std::stoi(std::string(date + 8, 2)), hour = std::stoi(std::string(date + 11, 2));
                auto& hours = type == 2 ? e.hours : e.cancelledHours;
                hours[0][static_cast<size_t>(hour)] += std::stoll(value);
                hours[1][static_cast<size_t>(hour)] += static_cast<long long>(lines.size());
                hours[2][static_cast<size_t>(hour)] += 1;
                if (type == 2) {
                    using namespace std::chrono;
                    const year_month_day ymd{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                             std::chrono::day{static_cast<unsigned>(day)}};
                    const unsigned weekday = std::chrono::weekday{sys_days{ymd}}.iso_encoding() - 1;
                    for (const Line& l : lines) {
                        auto& g = e.groups[groupOf(l.plu)];
                        g.total += l.value;
                        g.days[weekday] += l.value;
                        g.months[static_cast<size_t>(month - 1)] += l.value;
                    }
                    for (const auto& [form, amount] : payments) e.payForms[form] += amount;
                }
                lines.clear();
                payments.clear();
                break;
            }
            default:
                st = TRVG_Default(rec);
            }
            EXPECT_EQ(st, 0u) << "record type " << type;
        }
        return e;
    }

    void expectGroupStat(unsigned short group, const Expected::GroupSums& want) {
        SCOPED_TRACE("group " + std::to_string(group));
        TARVIK_HANDLE r = nullptr;
        ASSERT_EQ(done(r, TRVS_GroupStatRead(view, &r, group, 0, 0)), 0u);
        unsigned short n = 0;
        char total[64], days[256], months[256];
        ASSERT_EQ(TRVG_GroupStatRead(r, &n, total, days, months), 0u);
        EXPECT_EQ(n, group);
        EXPECT_EQ(total, std::to_string(want.total));
        EXPECT_EQ(days, join(want.days));
        EXPECT_EQ(months, join(want.months));
    }

    std::string payFormTurnover(unsigned short form, unsigned char clear = 0) {
        TARVIK_HANDLE r = nullptr;
        EXPECT_EQ(done(r, TRVS_PayformStatRead(view, &r, form, clear, 0)), 0u);
        char turnover[64] = "?";
        EXPECT_EQ(TRVG_PayformStatRead(r, nullptr, turnover), 0u);
        return turnover;
    }

    std::array<std::string, 3> hoursStat(unsigned char typ) {
        TARVIK_HANDLE r = nullptr;
        EXPECT_EQ(done(r, TRVS_HoursStatRead(view, &r, typ, 0)), 0u);
        std::array<std::string, 3> out;
        char w[512] = "", p[512] = "", c[512] = "";
        EXPECT_EQ(TRVG_HoursStatRead(r, w, p, c), 0u);
        return {w, p, c};
    }

    void expectAgreement() {
        const Expected e = fromJournal();
        for (unsigned short g : {1, 2}) expectGroupStat(g, e.groups.count(g) ? e.groups.at(g) : Expected::GroupSums{});
        for (unsigned short f : {1, 2, 3})
            EXPECT_EQ(payFormTurnover(f), std::to_string(e.payForms.count(f) ? e.payForms.at(f) : 0)) << "form " << f;
        EXPECT_EQ(hoursStat(0), (std::array<std::string, 3>{join(e.hours[0]), join(e.hours[1]), join(e.hours[2])}));
        EXPECT_EQ(hoursStat(1), (std::array<std::string, 3>{join(e.cancelledHours[0]), join(e.cancelledHours[1]),
                                                            join(e.cancelledHours[2])}));
    }

    // The register sells: one article line and its receipt, closed at when.
    void sell(unsigned short plu, long long value, const trvsim::DateTime& when) {
        trvsim::Values line, receipt;
        line.byte(1).word(plu).str("").str("TOWAR").num(1).num(value);
        reg.addJournalRecord({trvsim::journal::kArticle, line.items});
        trvsim::Values pay;
        pay.word(1).str("GOTOWKA").byte(0).num(value).str("").str("KASA 1").str("ANNA").word(1);
        reg.addJournalRecord({trvsim::journal::kPayment, pay.items});
        receipt.dword(100).dateHM(when).str("KASA 1").str("ANNA").word(1).num(value).num(value).dword(1100);
        reg.addJournalRecord({trvsim::journal::kFinished, receipt.items});
    }
};

TEST_F(E2EDict, StatisticsAgreeWithTheJournal) {
    // The sample journal, then a sale on a Sunday evening in another month.
    expectAgreement();
    sell(2, 420, {2009, 4, 12, 18, 30, 0});
    sell(1, 35, {2009, 4, 12, 18, 45, 0});
    expectAgreement();

    // The sample figures themselves, so that an empty journal cannot agree
    // with empty statistics: CHLEB 700 on Thursday 5 March, then 35.
    Expected::GroupSums bread;
    bread.total = 735;
    bread.days = {0, 0, 0, 700, 0, 0, 35};
    bread.months = {0, 0, 700, 35};
    expectGroupStat(1, bread);
    EXPECT_EQ(hoursStat(0)[2], "0\n0\n0\n0\n0\n0\n0\n0\n0\n1\n1\n0\n0\n0\n0\n0\n0\n0\n2\n0\n0\n0\n0\n0");

    // Reading with clearing answers the figures, then counts from zero.
    TARVIK_HANDLE r = nullptr;
    ASSERT_EQ(done(r, TRVS_GroupStatRead(view, &r, 1, 1, 0)), 0u);
    char total[64];
    ASSERT_EQ(TRVG_GroupStatRead(r, nullptr, total, nullptr, nullptr), 0u);
    EXPECT_STREQ(total, "735");
    expectGroupStat(1, {});
    EXPECT_NE(payFormTurnover(1, 1), "0");
    EXPECT_EQ(payFormTurnover(1), "0");
    sell(1, 50, {2009, 4, 13, 8, 0, 0});
    Expected::GroupSums monday;
    monday.total = 50;
    monday.days[0] = 50;
    monday.months[3] = 50;
    expectGroupStat(1, monday);
    EXPECT_EQ(payFormTurnover(1), "50");

    // Clearing all of them; then the journal is emptied and sales go on: the
    // clearing stays where it was and the new sale counts.
    EXPECT_EQ(run(r, TRVS_GroupStatClearAll(view, &r, 0)), 0u);
    EXPECT_EQ(run(r, TRVS_PayformStatClearAll(view, &r, 0)), 0u);
    expectGroupStat(2, {});
    EXPECT_EQ(payFormTurnover(2), "0");
    EXPECT_EQ(run(r, TRVS_SaleRecDelAll(view, &r, 0)), 0u);
    sell(1, 60, {2009, 4, 14, 8, 0, 0});
    Expected::GroupSums tuesday;
    tuesday.total = 60;
    tuesday.days[1] = 60;
    tuesday.months[3] = 60;
    expectGroupStat(1, tuesday);
    expectAgreement();  // the hours count the journal as it is now
}

TEST_F(E2EDict, GroupsInEveryForm) {
    TARVIK_HANDLE r = nullptr;
    unsigned short n = 0;
    ASSERT_EQ(done(r, TRVS_GroupNextFreeGet(view, &r, 1, 0)), 0u);
    ASSERT_EQ(TRVG_GroupNextFreeGet(r, &n), 0u);
    EXPECT_EQ(n, 3);
    ASSERT_EQ(run(r, TRVS_GroupInsExEx(view, &r, 3, "OWOCE", 4, "1250", 1, 2, 0, 0, 0)), 0u);

    char name[256];
    unsigned char rabat = 0, weighed = 0, printer = 0;
    char price[64];
    ASSERT_EQ(done(r, TRVS_GroupRead(view, &r, 3, 0)), 0u);
    ASSERT_EQ(TRVG_GroupRead(r, &n, name), 0u);
    EXPECT_STREQ(name, "OWOCE");
    ASSERT_EQ(done(r, TRVS_XEL_GroupReadEx(view, &r, 3, 0)), 0u);
    ASSERT_EQ(TRVG_XEL_GroupReadEx(r, &n, name, &rabat), 0u);
    EXPECT_EQ(rabat, 4);

    // Overwriting needs its flag; a name alone keeps the rest of the record.
    EXPECT_EQ(run(r, TRVS_GroupIns(view, &r, 3, "OWOCE I WARZYWA", 0, 0, 0)), exec(105));
    ASSERT_EQ(run(r, TRVS_GroupIns(view, &r, 3, "OWOCE I WARZYWA", 1, 0, 0)), 0u);
    ASSERT_EQ(done(r, TRVS_GroupReadExEx(view, &r, 3, 0)), 0u);
    ASSERT_EQ(TRVG_GroupReadExEx(r, &n, name, &rabat, price, &weighed, &printer), 0u);
    EXPECT_STREQ(name, "OWOCE I WARZYWA");
    EXPECT_EQ(std::vector<int>({n, rabat, weighed, printer}), std::vector<int>({3, 4, 1, 2}));
    EXPECT_STREQ(price, "1250");

    // A name of 255 characters through the long buffer.
    const std::string longName(255, 'G');
    ASSERT_EQ(run(r, TRVS_GroupInsEx(view, &r, 4, longName.c_str(), 0, 0, 0, 0)), 0u);
    ASSERT_EQ(done(r, TRVS_GroupReadEx(view, &r, 4, 0)), 0u);
    ASSERT_EQ(TRVG_GroupReadEx(r, nullptr, name, nullptr), 0u);
    EXPECT_EQ(name, longName);
    ASSERT_EQ(done(r, TRVS_GroupGetByName(view, &r, "OWOCE I WARZYWA", 0)), 0u);
    ASSERT_EQ(TRVG_GroupGetByName(r, &n), 0u);
    EXPECT_EQ(n, 3);

    // Deleting with the related records takes the group's articles along.
    ASSERT_EQ(run(r, TRVS_PLUIns(view, &r, 300, "JABLKA", "", "399", "0", 0, 2, 0, 3, 1, 0, 0, 1, 0, 0, 0, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_GroupDel(view, &r, 3, 1, 0, 0)), 0u);
    EXPECT_FALSE(reg.article(300).has_value());
    EXPECT_EQ(run(r, TRVS_GroupRead(view, &r, 3, 0)), exec(104));

    // Groups with sales stay unless deleted with their totals.
    EXPECT_EQ(run(r, TRVS_GroupDel(view, &r, 1, 0, 0, 0)), exec(109));
    ASSERT_EQ(run(r, TRVS_GroupDelAll(view, &r, 0, 0)), 0u);
    size_t left = 0;
    reg.withState([&](trvsim::State& s) { left = s.groups.size(); });
    EXPECT_EQ(left, 2u);  // 1 and 2 sold, 4 went
    ASSERT_EQ(run(r, TRVS_GroupDelAll(view, &r, 1, 0)), 0u);
    reg.withState([&](trvsim::State& s) { left = s.groups.size(); });
    EXPECT_EQ(left, 0u);
    EXPECT_TRUE(reg.article(1).has_value());  // articles stay
}

TEST_F(E2EDict, SmallTablesKeepWhatIsWritten) {
    TARVIK_HANDLE r = nullptr;
    unsigned short n = 0, free = 0, a = 0, b = 0;
    char t1[64], t2[64], num[64];
    unsigned char byte = 0;

    // Units.
    ASSERT_EQ(run(r, TRVS_MUIns(view, &r, 4, "METR", "m", 0, 0)), 0u);
    EXPECT_EQ(run(r, TRVS_MUIns(view, &r, 4, "METR BIEZACY", "mb", 0, 0)), exec(105));
    ASSERT_EQ(done(r, TRVS_MURead(view, &r, 4, 0)), 0u);
    ASSERT_EQ(TRVG_MURead(r, &n, t1, t2), 0u);
    EXPECT_EQ(std::string(t1) + "/" + t2, "METR/m");
    ASSERT_EQ(done(r, TRVS_MUGetByName(view, &r, "KILOGRAM", 0)), 0u);
    ASSERT_EQ(TRVG_MUGetByName(r, &n), 0u);
    EXPECT_EQ(n, 2);
    ASSERT_EQ(done(r, TRVS_MUNextFreeGet(view, &r, 3, 0)), 0u);
    ASSERT_EQ(TRVG_MUNextFreeGet(r, &free), 0u);
    EXPECT_EQ(free, 5);
    ASSERT_EQ(run(r, TRVS_MUDel(view, &r, 4, 0, 0)), 0u);
    EXPECT_EQ(run(r, TRVS_MURead(view, &r, 4, 0)), exec(104));
    ASSERT_EQ(run(r, TRVS_MUDelAll(view, &r, 0, 0)), 0u);
    EXPECT_EQ(run(r, TRVS_MURead(view, &r, 1, 0)), exec(104));

    // Payment forms: a currency needs its code; a form with turnover is
    // deleted only with its totals.
    EXPECT_EQ(run(r, TRVS_PayformIns(view, &r, 5, "FUNT", 5, 1, "", "51000", 0, 0, 0)), exec(103));
    ASSERT_EQ(run(r, TRVS_PayformIns(view, &r, 5, "FUNT", 5, 1, "GBP", "51000", 0, 0, 0)), 0u);
    unsigned short flags = 0;
    ASSERT_EQ(done(r, TRVS_PayformRead(view, &r, 5, 0)), 0u);
    ASSERT_EQ(TRVG_PayformRead(r, &n, t1, &byte, &flags, t2, num), 0u);
    EXPECT_EQ(std::string(t1) + "/" + t2 + "/" + num, "FUNT/GBP/51000");
    EXPECT_EQ(std::vector<int>({n, byte, flags}), std::vector<int>({5, 5, 1}));
    ASSERT_EQ(done(r, TRVS_PayformGetByName(view, &r, "KARTA", 0)), 0u);
    ASSERT_EQ(TRVG_PayformGetByName(r, &n), 0u);
    EXPECT_EQ(n, 3);
    ASSERT_EQ(done(r, TRVS_PayformNextFreeGet(view, &r, 0, 0)), 0u);
    ASSERT_EQ(TRVG_PayformNextFreeGet(r, &free), 0u);
    EXPECT_EQ(free, 4);
    EXPECT_EQ(run(r, TRVS_PayformDel(view, &r, 1, 0, 0)), exec(109));
    ASSERT_EQ(run(r, TRVS_PayformDel(view, &r, 5, 0, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_PayformDelAll(view, &r, 0, 0)), 0u);
    EXPECT_EQ(run(r, TRVS_PayformRead(view, &r, 3, 0)), exec(104));  // no turnover: gone
    ASSERT_EQ(run(r, TRVS_PayformRead(view, &r, 1, 0)), 0u);          // turnover: stays

    // Barcode formats in the register's syntax.
    EXPECT_EQ(run(r, TRVS_CodeFmtIns(view, &r, 3, "29XXXXXQQQQQC", 0, 0)), exec(103));
    ASSERT_EQ(run(r, TRVS_CodeFmtIns(view, &r, 3, "29PPPPPQQQQQC", 0, 0)), 0u);
    ASSERT_EQ(done(r, TRVS_CodeFmtRead(view, &r, 3, 0)), 0u);
    ASSERT_EQ(TRVG_CodeFmtRead(r, &n, t1), 0u);
    EXPECT_STREQ(t1, "29PPPPPQQQQQC");
    ASSERT_EQ(done(r, TRVS_CodeFmtNextFreeGet(view, &r, 1, 0)), 0u);
    ASSERT_EQ(TRVG_CodeFmtNextFreeGet(r, &free), 0u);
    EXPECT_EQ(free, 4);
    ASSERT_EQ(run(r, TRVS_CodeFmtDel(view, &r, 3, 0)), 0u);
    EXPECT_EQ(run(r, TRVS_CodeFmtDel(view, &r, 3, 0)), exec(104));
    ASSERT_EQ(run(r, TRVS_CodeFmtDelAll(view, &r, 0)), 0u);
    EXPECT_EQ(run(r, TRVS_CodeFmtRead(view, &r, 1, 0)), exec(104));

    // Cash-out descriptions: an insert replaces.
    ASSERT_EQ(run(r, TRVS_CashoutDescIns(view, &r, 2, "ZAKUP MATERIALOW", 0, 0)), 0u);
    ASSERT_EQ(done(r, TRVS_CashoutDescRead(view, &r, 2, 0)), 0u);
    ASSERT_EQ(TRVG_CashoutDescRead(r, &n, t1), 0u);
    EXPECT_STREQ(t1, "ZAKUP MATERIALOW");
    ASSERT_EQ(done(r, TRVS_CashoutDescNextFreeGet(view, &r, 1, 0)), 0u);
    ASSERT_EQ(TRVG_CashoutDescNextFreeGet(r, &free), 0u);
    EXPECT_EQ(free, 3);
    ASSERT_EQ(run(r, TRVS_CashoutDescDel(view, &r, 2, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_CashoutDescDelAll(view, &r, 0)), 0u);
    EXPECT_EQ(run(r, TRVS_CashoutDescRead(view, &r, 1, 0)), exec(104));

    // Operator messages.
    EXPECT_EQ(run(r, TRVS_ErrMsgIns(view, &r, 7, 105, 3, "ZA DUZO", 0)), exec(103));
    ASSERT_EQ(run(r, TRVS_ErrMsgIns(view, &r, 7, 105, 2, "REKORD ISTNIEJE", 0)), 0u);
    ASSERT_EQ(done(r, TRVS_ErrMsgRead(view, &r, 7, 0)), 0u);
    ASSERT_EQ(TRVG_ErrMsgRead(r, &n, &a, &b, t1), 0u);
    EXPECT_EQ(std::vector<int>({n, a, b}), std::vector<int>({7, 105, 2}));
    EXPECT_STREQ(t1, "REKORD ISTNIEJE");
    ASSERT_EQ(done(r, TRVS_ErrMsgNextFreeGet(view, &r, 1, 0)), 0u);
    ASSERT_EQ(TRVG_ErrMsgNextFreeGet(r, &free), 0u);
    EXPECT_EQ(free, 3);
    ASSERT_EQ(run(r, TRVS_ErrMsgDel(view, &r, 7, 0)), 0u);
    ASSERT_EQ(run(r, TRVS_ErrMsgDelAll(view, &r, 0)), 0u);
    EXPECT_EQ(run(r, TRVS_ErrMsgRead(view, &r, 1, 0)), exec(104));

    // Article descriptions.
    ASSERT_EQ(run(r, TRVS_PLUDescIns(view, &r, 2, "MLEKO 3,2% 1 L", 0)), 0u);
    ASSERT_EQ(done(r, TRVS_PLUDescRead(view, &r, 2, 0)), 0u);
    ASSERT_EQ(TRVG_PLUDescRead(r, &n, t1), 0u);
    EXPECT_STREQ(t1, "MLEKO 3,2% 1 L");
    ASSERT_EQ(run(r, TRVS_PLUDescDel(view, &r, 2, 0)), 0u);
    EXPECT_EQ(run(r, TRVS_PLUDescRead(view, &r, 2, 0)), exec(104));
    ASSERT_EQ(run(r, TRVS_PLUDescDelAll(view, &r, 0)), 0u);
    EXPECT_EQ(run(r, TRVS_PLUDescRead(view, &r, 1, 0)), exec(104));

    // Record numbers outside a table, and a text longer than its reader takes.
    EXPECT_EQ(run(r, TRVS_MUIns(view, &r, 0, "ZERO", "", 0, 0)), exec(103));
    EXPECT_EQ(run(r, TRVS_CodeFmtIns(view, &r, 11, "21PPPPPQQQQQC", 0, 0)), exec(103));
    EXPECT_EQ(run(r, TRVS_CashoutDescIns(view, &r, 1, std::string(64, 'x').c_str(), 0, 0)), exec(103));
}
