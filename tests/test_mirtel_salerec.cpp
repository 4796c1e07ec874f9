// The sale journal: header then body on one request, optional tails by
// value count, date texts and the totalizer list.
#include <cstring>

#include "test_mirtel_fixture.h"

using namespace mirtel_test;

namespace {

std::vector<V> header(uint16_t type) { return {V::B(0), V::W(1), V::W(type)}; }
std::vector<V> operator+(std::vector<V> a, const std::vector<V>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

class MirtelSaleRec : public MirtelTest {
protected:
    // Reads the header and checks the type; the request stays for the body.
    TARVIK_HANDLE record(const std::vector<V>& body, uint16_t type = 4) {
        TARVIK_HANDLE h = answer(451, header(type) + body);
        unsigned char pelny = 9;
        unsigned short nastepny = 9, typ = 0;
        EXPECT_EQ(TRVG_SaleRecGetType(h, &pelny, &nastepny, &typ), 0u);
        EXPECT_EQ(typ, type);
        EXPECT_EQ(TRV_GetRequestState(h), TARVIK_STATE_COMPLETED);  // kept
        return h;
    }
};

TEST_F(MirtelSaleRec, FinishedAndCancelledReceipts) {
    ASSERT_EQ(TRVS_SaleRecGet(view, nullptr, 2, 0), 0u);
    EXPECT_EQ(sent(451), "B2");

    const auto finished = std::vector<V>{V::L(70001), V::B(1), V::B(12), V::W(2008), V::B(9), V::B(5),
                                         V::S("K1"), V::S("Anna"), V::W(3), V::N("1250"), V::N("1250")};
    unsigned long numer = 0, niefiskalny = 0;
    unsigned short kasjer = 0;
    char data[32], kasa[64], imie[64], wartosc[64];
    ASSERT_EQ(TRVG_SaleRecGetFinished(record(finished), &numer, data, kasa, imie, &kasjer, wartosc, nullptr), 0u);
    EXPECT_EQ(numer, 70001u);
    EXPECT_STREQ(data, "2008-12-01 09:05");
    EXPECT_STREQ(imie, "Anna");
    ASSERT_EQ(TRVG_v2_SaleRecGetFinished(record(finished + std::vector<V>{V::L(4000000000u)}), nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr, &niefiskalny), 0u);
    EXPECT_EQ(niefiskalny, 4000000000ul);

    // The date is copied before anything after it is read.
    stringMode(1);
    data[0] = 16;
    std::strcpy(kasa, "?untouched");
    kasa[0] = 64;
    TARVIK_HANDLE h = record(finished);
    EXPECT_EQ(TRVG_XEL_SaleRecGetFinished(h, &numer, data, kasa, nullptr, nullptr, nullptr, nullptr, nullptr),
              0x10007u);
    EXPECT_STREQ(kasa + 1, "untouched");
    EXPECT_EQ(TRVG_Default(h), 0u);
    stringMode(0);

    // The short reader stops after the amount to pay, even when the voided
    // lines follow, and still takes the request.
    const auto cancelled = std::vector<V>{V::B(2), V::B(1), V::W(2009), V::B(23), V::B(0), V::S("K1"), V::S("Ewa"),
                                          V::W(3), V::W(1), V::N("500"), V::N("0")};
    const auto voided = std::vector<V>{V::L(2), V::N("300")};
    unsigned short auth = 0;
    ASSERT_EQ(TRVG_SaleRecGetCancelled(record(cancelled + voided), data, nullptr, nullptr, nullptr, &auth, nullptr,
                                       nullptr), 0u);
    EXPECT_STREQ(data, "2009-01-02 23:00");
    EXPECT_EQ(auth, 1);
    unsigned long storna = 0;
    ASSERT_EQ(TRVG_v2_SaleRecGetCancelled(record(cancelled + voided), nullptr, nullptr, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, &storna, wartosc), 0u);
    EXPECT_EQ(storna, 2u);
    EXPECT_STREQ(wartosc, "300");
    h = record(cancelled);
    EXPECT_EQ(TRVG_v2_SaleRecGetCancelled(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &storna,
                                          wartosc), 0x10008u);
    EXPECT_EQ(TRVG_Default(h), 0u);
}

TEST_F(MirtelSaleRec, OptionalTailsFollowTheValueCount) {
    const auto line = std::vector<V>{V::B(1), V::W(12), V::S("5901"), V::S("Milk"), V::N("2"), V::N("698")};
    char addon[64] = "preset", nazwa[64];
    unsigned short plu = 0;
    ASSERT_EQ(TRVG_v2_SaleRecGetPLUSet(record(line), nullptr, &plu, nullptr, nazwa, nullptr, nullptr, addon), 0u);
    EXPECT_STREQ(addon, "");
    EXPECT_EQ(plu, 12);
    ASSERT_EQ(TRVG_v2_SaleRecGetPLUSet(record(line + std::vector<V>{V::S("extra")}), nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, addon), 0u);
    EXPECT_STREQ(addon, "extra");
    // The plain reader never looks for it.
    ASSERT_EQ(TRVG_SaleRecGetPLUSet(record(line + std::vector<V>{V::S("extra")}), nullptr, nullptr, nullptr, nazwa,
                                    nullptr, nullptr), 0u);

    const auto rebate = std::vector<V>{V::S("Promo"), V::B(1), V::W(4), V::N("-100")};
    char karta[64] = "mine", kwota[64];
    ASSERT_EQ(TRVG_SaleRecGetRebate(record(rebate), nullptr, nullptr, nullptr, kwota, karta), 0u);
    EXPECT_STREQ(karta, "mine");
    EXPECT_STREQ(kwota, "-100");
    ASSERT_EQ(TRVG_SaleRecGetRebate(record(rebate + std::vector<V>{V::S("CARD9")}), nullptr, nullptr, nullptr,
                                    nullptr, karta), 0u);
    EXPECT_STREQ(karta, "CARD9");
}

TEST_F(MirtelSaleRec, FiscalDayAndSmallRecords) {
    std::vector<V> fiscal = {V::B(31), V::B(1), V::W(2010), V::W(8), V::W(120), V::W(2)};
    for (int i = 0; i < 7; ++i) fiscal.push_back(V::N(std::to_string(1000 * (i + 1))));
    fiscal.push_back(V::N("77"));
    fiscal.push_back(V::L(5));
    char data[32], totals[128], anul[64];
    unsigned long zmian = 0;
    unsigned short paragonow = 0;
    ASSERT_EQ(TRVG_SaleRecGetFiscal(record(fiscal), data, nullptr, &paragonow, nullptr, totals, anul, &zmian), 0u);
    EXPECT_STREQ(data, "2010-01-31");
    EXPECT_STREQ(totals, "1000\n2000\n3000\n4000\n5000\n6000\n7000");
    EXPECT_STREQ(anul, "77");
    EXPECT_EQ(zmian, 5u);
    EXPECT_EQ(paragonow, 120);

    // Room for six of the seven totals only.
    stringMode(1);
    totals[0] = 30;  // the seven need 35 bytes with the NUL, six 30
    std::strcpy(anul, "?untouched");
    anul[0] = 64;
    TARVIK_HANDLE h = record(fiscal);
    EXPECT_EQ(TRVG_SaleRecGetFiscal(h, nullptr, nullptr, nullptr, nullptr, totals, anul, &zmian), 0x10007u);
    EXPECT_STREQ(anul + 1, "untouched");
    EXPECT_EQ(TRVG_Default(h), 0u);
    stringMode(0);

    // Sizes: the output is required.
    unsigned char limit = 0;
    ASSERT_EQ(TRVG_SaleSizeGet(answer(452, {V::B(80)}), &limit), 0u);
    EXPECT_EQ(limit, 80);
    // A body reader on a request of another command is refused.
    h = answer(452, {V::B(80)});
    EXPECT_EQ(TRVG_SaleRecGetPack(h, nullptr, nullptr, nullptr, nullptr), 0x10005u);
    EXPECT_EQ(TRVG_Default(h), 0u);
}
