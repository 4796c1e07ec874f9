// Article records: the type-dependent answer layouts with their barcode
// blocks, set members, barcode lists and date texts, and the wire orders.
#include <cstring>

#include "test_mirtel_fixture.h"

using namespace mirtel_test;

namespace {

// Everything TRVG_PLURead and its variants can hand out, preset so that an
// output left alone is visible.
struct Article {
    unsigned short numer = 0xEEEE;
    char kod[64] = "preset", nazwa[64] = "preset", podst[64] = "preset", cena[64] = "preset", min[64] = "preset";
    char barcodes[256] = "preset";
    unsigned char typ = 99, opak = 99, mu = 99, vat = 99, format = 99, flaga_ceny = 99, flaga_rab = 99, rabat = 99,
                  grupa = 99, notatnik = 99;
    unsigned short opak_lub_eusl = 0xEEEE;
};

std::vector<V> head(uint8_t type) { return {V::W(12), V::S("Milk"), V::S("5901"), V::N("2"), V::B(type)}; }
std::vector<V> ordinary() {
    auto v = head(0);
    for (V x : {V::B(1), V::N("349"), V::B(4), V::B(5), V::B(6), V::B(1)}) v.push_back(x);
    return v;
}
std::vector<V> operator+(std::vector<V> a, const std::vector<V>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
const std::vector<V> kTail = {V::B(7), V::B(8), V::B(1)};  // discount, group, discount flag

}  // namespace

class MirtelPlu : public MirtelTest {
protected:
    TARVIK_STATUS read(const std::vector<V>& values, Article& a) {
        return TRVG_PLURead(answer(2110, values), &a.numer, a.nazwa, a.podst, a.cena, a.min, &a.typ, &a.opak, &a.mu,
                            &a.vat, &a.format, &a.flaga_ceny, &a.flaga_rab, &a.rabat, &a.grupa, a.barcodes);
    }
};

TEST_F(MirtelPlu, ArticleAnswerByRecordType) {
    // An ordinary article: price after the VAT rate, minimum stock before both.
    Article a;
    ASSERT_EQ(read(ordinary() + kTail + std::vector<V>{V::W(2), V::S("111"), V::S("222")}, a), 0u);
    EXPECT_STREQ(a.min, "2");
    EXPECT_STREQ(a.cena, "349");
    EXPECT_EQ(std::vector<int>({a.typ, a.vat, a.opak, a.mu, a.format, a.flaga_ceny, a.rabat, a.grupa, a.flaga_rab}),
              std::vector<int>({0, 1, 4, 5, 6, 1, 7, 8, 1}));
    EXPECT_STREQ(a.barcodes, "111\n222");

    Article b;  // barcode block with no barcodes
    ASSERT_EQ(read(ordinary() + kTail + std::vector<V>{V::W(0)}, b), 0u);
    EXPECT_STREQ(b.barcodes, "");
    Article c;  // no block at all
    ASSERT_EQ(read(ordinary() + kTail, c), 0u);
    EXPECT_STREQ(c.barcodes, "");

    // A set: eight values, no price, and the outputs it does not carry stay.
    Article s;
    ASSERT_EQ(read(head(1) + kTail, s), 0u);
    EXPECT_STREQ(s.cena, "");
    EXPECT_STREQ(s.barcodes, "");
    EXPECT_EQ(std::vector<int>({s.opak, s.mu, s.vat, s.format, s.flaga_ceny}), std::vector<int>(5, 99));
    EXPECT_EQ(std::vector<int>({s.rabat, s.grupa, s.flaga_rab}), std::vector<int>({7, 8, 1}));
    Article s2;
    ASSERT_EQ(read(head(1) + kTail + std::vector<V>{V::W(1), V::S("333")}, s2), 0u);
    EXPECT_STREQ(s2.barcodes, "333");

    // An e-service article: its number goes to the combined output of v2.
    const auto eservice = head(2) + std::vector<V>{V::B(3), V::B(5), V::W(700)} + kTail;
    Article e;
    ASSERT_EQ(TRVG_v2_PLURead(answer(2110, eservice + std::vector<V>{V::W(1), V::S("444")}), &e.numer, e.nazwa,
                              e.podst, e.cena, e.min, nullptr, &e.opak_lub_eusl, &e.mu, &e.vat, &e.format,
                              &e.flaga_ceny, &e.flaga_rab, &e.rabat, &e.grupa, e.barcodes), 0u);
    EXPECT_EQ(e.opak_lub_eusl, 700);
    EXPECT_EQ(std::vector<int>({e.vat, e.mu, e.format}), std::vector<int>({3, 5, 99}));
    EXPECT_STREQ(e.cena, "");
    EXPECT_STREQ(e.barcodes, "444");
    Article o;
    ASSERT_EQ(TRVG_v2_PLURead(answer(2110, ordinary() + kTail), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              &o.opak_lub_eusl, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr), 0u);
    EXPECT_EQ(o.opak_lub_eusl, 4);

    // An unknown type has no barcode block whatever follows; the surplus
    // value makes no difference to what is read.
    Article u;
    TARVIK_HANDLE h = answer(2110, head(5) + kTail + std::vector<V>{V::W(1), V::S("x")});
    ASSERT_EQ(TRVG_PLURead(h, &u.numer, u.nazwa, u.podst, u.cena, u.min, &u.typ, &u.opak, &u.mu, &u.vat, &u.format,
                           &u.flaga_ceny, &u.flaga_rab, &u.rabat, &u.grupa, u.barcodes), 0u);
    EXPECT_STREQ(u.barcodes, "");
}

TEST_F(MirtelPlu, ByBarcodeAndExtendedLayouts) {
    // By barcode: the asked barcode first, and type 2 has the short layout.
    Article a;
    auto byCode = std::vector<V>{V::S("5901"), V::S("Svc"), V::S("5901"), V::N("0"), V::B(2), V::B(7), V::B(8),
                                 V::B(1)};
    ASSERT_EQ(TRVG_PLUReadByBarcode(answer(2111, byCode), a.kod, a.nazwa, a.podst, a.cena, a.min, &a.typ, &a.opak,
                                    &a.mu, &a.vat, &a.format, &a.flaga_ceny, &a.flaga_rab, &a.rabat, &a.grupa,
                                    a.barcodes), 0u);
    EXPECT_STREQ(a.kod, "5901");
    EXPECT_EQ(std::vector<int>({a.rabat, a.grupa, a.flaga_rab, a.vat, a.mu}), std::vector<int>({7, 8, 1, 99, 99}));
    Article b;
    ASSERT_EQ(TRVG_PLUReadByBarcode(answer(2111, byCode + std::vector<V>{V::W(1), V::S("777")}), nullptr, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, nullptr, b.barcodes), 0u);
    EXPECT_STREQ(b.barcodes, "777");

    // Extended: the notepad flag follows the barcode block, so fifteen values
    // carry no block and the fifteenth is the flag.
    Article e;
    ASSERT_EQ(TRVG_v2_PLUReadEx(answer(2112, ordinary() + kTail + std::vector<V>{V::B(1)}), &e.numer, e.nazwa,
                                e.podst, e.cena, e.min, &e.typ, &e.opak_lub_eusl, &e.mu, &e.vat, &e.format,
                                &e.flaga_ceny, &e.flaga_rab, &e.rabat, &e.grupa, e.barcodes, &e.notatnik), 0u);
    EXPECT_EQ(e.notatnik, 1);
    EXPECT_EQ(e.opak_lub_eusl, 4);
    EXPECT_STREQ(e.barcodes, "");
    Article f;
    const auto eservice = head(2) + std::vector<V>{V::B(3), V::B(5), V::W(0x1234)} + kTail;
    ASSERT_EQ(TRVG_PLUReadEx(answer(2112, eservice + std::vector<V>{V::W(1), V::S("888"), V::B(0)}), nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, &f.opak, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, f.barcodes, &f.notatnik), 0u);
    EXPECT_EQ(f.opak, 0x34);  // low byte of the e-service number
    EXPECT_STREQ(f.barcodes, "888");
    EXPECT_EQ(f.notatnik, 0);

    // Too few values: the pop's status, the request kept.
    TARVIK_HANDLE h = answer(2112, ordinary() + kTail);
    EXPECT_EQ(TRVG_PLUReadEx(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0x10008u);
    EXPECT_EQ(TRVG_Default(h), 0u);
}

TEST_F(MirtelPlu, WireOrders) {
    ASSERT_EQ(TRVS_PLUIns(view, nullptr, 12, "Milk", "5901", "349", "2", 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0), 0u);
    EXPECT_EQ(sent(2100), "V12 S'Milk' S'5901' N349 N2 B1 B2 B3 B4 B5 B6 B7 B8 B9 B10 B11");
    ASSERT_EQ(TRVS_EPLUIns(view, nullptr, 12, "Svc", "", 1, 2, 3, 4, 700, 5, 6, 7, 8, 0), 0u);
    EXPECT_EQ(sent(2101), "V12 S'Svc' S'' B1 B2 B3 B4 V700 B5 B6 B7 B8");
    ASSERT_EQ(TRVS_v2_PLUReadEx(view, nullptr, 12, nullptr, 1, 0), 0u);
    EXPECT_EQ(sent(2112), "V12 S'' B1");
    ASSERT_EQ(TRVS_PluSetItemUpdate(view, nullptr, 3, 12, "2", "150", 0), 0u);
    EXPECT_EQ(sent(2184), "V3 V12 N2 N150");
    ASSERT_EQ(TRVS_PLUDelAll(view, nullptr, 3, 0), 0u);
    EXPECT_EQ(sent(2150), "B3");
    EXPECT_EQ(TRVS_PluPriceUpdateByBarcode(view, nullptr, "5901", "1.5", 0), 0x10104u);

    // Barcode lists: an empty entry between two line feeds is sent, a final
    // line feed adds nothing, an empty list sends the article alone.
    ASSERT_EQ(TRVS_BarcodeIns(view, nullptr, 12, "111\n\n222", 0), 0u);
    EXPECT_EQ(sent(2300), "V12 S'111' S'' S'222'");
    ASSERT_EQ(TRVS_BarcodeIns(view, nullptr, 12, "111\n", 0), 0u);
    EXPECT_EQ(sent(2300), "V12 S'111'");
    ASSERT_EQ(TRVS_BarcodeIns(view, nullptr, 12, "", 0), 0u);
    EXPECT_EQ(sent(2300), "V12");
    EXPECT_EQ(TRVS_BarcodeIns(view, nullptr, 12, nullptr, 0), 0x10104u);
    EXPECT_EQ(TRVS_BarcodeIns(view, nullptr, 12, std::string(70000, 'x').c_str(), 0), 0x10105u);
    EXPECT_TRUE(nothingSent());
}

TEST_F(MirtelPlu, SetMembersInAndOut) {
    const auto setIns = [&](const char* numery, const char* ilosci, const char* ceny, TARVIK_HANDLE* req = nullptr) {
        return TRVS_SetIns(view, req, 3, "Kit", "590", "1", 1, 2, 0, 1, 1, 0, numery, ilosci, ceny, 0);
    };
    ASSERT_EQ(setIns("", "", ""), 0u);
    EXPECT_EQ(sent(2200), "V3 S'Kit' S'590' N1 B1 B2 B0 B1 B1 B0");
    ASSERT_EQ(TRVS_PLUSetIns(view, nullptr, 3, "Kit", "590", "1", 1, 2, 0, 1, 1, 0, "12\n13\n", "1\n2", "100\n200", 0),
              0u);
    EXPECT_EQ(sent(2200), "V3 S'Kit' S'590' N1 B1 B2 B0 B1 B1 B0 V12 N1 N100 V13 N2 N200");

    TARVIK_HANDLE req = nullptr;
    EXPECT_EQ(setIns("12\n13", "1\n2", "100", &req), 0x1010Du);
    EXPECT_TRUE(keptUnposted(req));
    EXPECT_EQ(trv::test::objectOf<trv::TRV_Request>(req)->items.Count(), 10);  // the header only
    TRVG_Default(req);
    EXPECT_EQ(setIns(nullptr, nullptr, nullptr), 0x1010Eu);  // quantities are checked first
    EXPECT_EQ(setIns(nullptr, "1", nullptr), 0x1010Du);
    EXPECT_EQ(setIns("1", "1", nullptr), 0x1010Fu);
    EXPECT_EQ(setIns("12\n13", "1\nx", "1\n2"), 0x1010Eu);
    EXPECT_EQ(setIns("12", "1", "1.5"), 0x1010Fu);
    EXPECT_EQ(TRVS_SetIns(view, nullptr, 3, "Kit", nullptr, "1", 1, 2, 0, 1, 1, 0, "", "", "", 0), 0x10105u);
    EXPECT_TRUE(nothingSent());

    // Reading: texts are copied prices first, then quantities, then numbers,
    // and a copy that does not fit stops the rest.
    const std::vector<V> members = {V::W(3), V::W(12), V::N("1"), V::N("100"), V::W(13), V::N("2"), V::N("200")};
    unsigned short set = 0;
    char numery[64], ilosci[64], ceny[64];
    ASSERT_EQ(TRVG_SetRead(answer(2210, members), &set, numery, ilosci, ceny), 0u);
    EXPECT_EQ(set, 3);
    EXPECT_STREQ(numery, "12\n13");
    EXPECT_STREQ(ilosci, "1\n2");
    EXPECT_STREQ(ceny, "100\n200");

    stringMode(1);
    std::strcpy(numery, "?untouched");
    numery[0] = 64;
    ilosci[0] = 3;  // "1\n2" needs 4
    ceny[0] = 64;
    TARVIK_HANDLE h = answer(2210, members);
    EXPECT_EQ(TRVG_SetRead(h, &set, numery, ilosci, ceny), 0x10007u);
    EXPECT_STREQ(ceny, "100\n200");
    EXPECT_STREQ(numery + 1, "untouched");
    EXPECT_EQ(TRVG_Default(h), 0u);

    // Statistics: quantities, then numbers, then values.
    numery[0] = 3;  // "12\n13" needs 6
    ilosci[0] = 64;
    std::strcpy(ceny, "?untouched");
    ceny[0] = 64;
    h = answer(2260, members);
    EXPECT_EQ(TRVG_PLUSetItemStatRead(h, &set, numery, ilosci, ceny), 0x10007u);
    EXPECT_STREQ(ilosci, "1\n2");
    EXPECT_STREQ(ceny + 1, "untouched");
    EXPECT_EQ(TRVG_Default(h), 0u);
}

TEST_F(MirtelPlu, DatesAndBarcodeLists) {
    unsigned short numer = 0;
    char wartosc[64], ilosc[64], stan[64], data[64];
    const std::vector<V> stat = {V::W(12), V::N("1000"), V::N("4"), V::N("-3"), V::B(5), V::B(3), V::W(2009)};
    ASSERT_EQ(TRVG_PLUStatRead(answer(2160, stat), &numer, wartosc, ilosc, stan, data), 0u);
    EXPECT_STREQ(data, "2009-03-05");
    EXPECT_STREQ(stan, "-3");
    ASSERT_EQ(TRVG_PLUStoreReadByBarcode(answer(2186, {V::S("590"), V::S("Milk"), V::N("1"), V::N("9"), V::B(31),
                                                       V::B(12), V::W(1999)}),
                                         nullptr, nullptr, nullptr, stan, data), 0u);
    EXPECT_STREQ(data, "1999-12-31");

    stringMode(1);
    data[0] = 10;
    TARVIK_HANDLE h = answer(2160, stat);
    EXPECT_EQ(TRVG_PLUStatRead(h, &numer, nullptr, nullptr, nullptr, data), 0x10007u);
    EXPECT_EQ(TRVG_Default(h), 0u);
    data[0] = 11;
    EXPECT_EQ(TRVG_PLUStatRead(answer(2160, stat), &numer, nullptr, nullptr, nullptr, data), 0u);
    EXPECT_STREQ(data, "2009-03-05");

    // Additional barcodes: everything after the article number, up to 255
    // characters each.
    stringMode(0);
    char codes[1024];
    ASSERT_EQ(TRVG_BarcodeRead(answer(2310, {V::W(12), V::S(std::string(255, 'a')), V::S("b")}), &numer, codes), 0u);
    EXPECT_EQ(std::string(codes), std::string(255, 'a') + "\nb");
    ASSERT_EQ(TRVG_BarcodeRead(answer(2310, {V::W(12)}), &numer, codes), 0u);
    EXPECT_STREQ(codes, "");
    h = answer(2310, {V::W(12), V::S(std::string(256, 'a'))});
    EXPECT_EQ(TRVG_BarcodeRead(h, &numer, codes), 0x10007u);
    EXPECT_EQ(TRVG_Default(h), 0u);
}
