// Hotkeys and packagings by hand: the two-step read of a key, the report
// key's selectors chosen by their kind, and the layouts whose wire order or
// widths are not what the argument list suggests.
#include "test_mirtel_fixture.h"

using namespace mirtel_test;

namespace {

std::vector<V> operator+(std::vector<V> a, const std::vector<V>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

class MirtelHotkey : public MirtelTest {
protected:
    // An answered 3210 whose number and type were read; the request stays for
    // the action's reader.
    TARVIK_HANDLE key(uint16_t type, const std::vector<V>& action) {
        TARVIK_HANDLE h = answer(3210, std::vector<V>{V::W(17), V::W(type)} + action);
        unsigned short numer = 0, typ = 0;
        EXPECT_EQ(TRVG_HotkeyReadGetType(h, &numer, &typ), 0u);
        EXPECT_EQ(numer, 17);
        EXPECT_EQ(typ, type);
        EXPECT_EQ(TRV_GetRequestState(h), TARVIK_STATE_COMPLETED);
        return h;
    }
};

TEST_F(MirtelHotkey, TypeThenActionOnOneRequest) {
    ASSERT_EQ(TRVS_HotkeyRead(view, nullptr, 17, 0), 0u);
    EXPECT_EQ(sent(3210), "V17");

    // The type reader keeps the request; the action's reader frees it.
    unsigned char numer = 0;
    unsigned long port = 0;
    ASSERT_EQ(TRVG_HotkeyReadGetFunction(key(5, {V::B(12), V::L(0xDEADBEEF)}), &numer, &port), 0u);
    EXPECT_EQ(numer, 12);
    EXPECT_EQ(port, 0xDEADBEEFul);

    // A quick-sale key with the weighed-article flag: the short reader leaves
    // the flag unread and still succeeds, the long one reads it.
    const std::vector<V> weighed = {V::W(300), V::N("1500"), V::B(2), V::B(1)};
    unsigned short plu = 0;
    unsigned char platnosc = 0, czy_wazony = 0;
    char ilosc[32] = "";
    ASSERT_EQ(TRVG_HotkeyReadGetQuickSale(key(1, weighed), &plu, ilosc, &platnosc), 0u);
    EXPECT_EQ(plu, 300);
    EXPECT_STREQ(ilosc, "1500");
    EXPECT_EQ(platnosc, 2);
    ASSERT_EQ(TRVG_v2_HotkeyReadGetQuickSale(key(1, weighed), nullptr, nullptr, nullptr, &czy_wazony), 0u);
    EXPECT_EQ(czy_wazony, 1);
    // Without the flag the long reader runs out of values and the request
    // stays, unless the caller did not ask for the flag.
    const std::vector<V> plain = {V::W(300), V::N("1500"), V::B(2)};
    TARVIK_HANDLE h = key(1, plain);
    EXPECT_NE(TRVG_v2_HotkeyReadGetQuickSale(h, &plu, ilosc, &platnosc, &czy_wazony), 0u);
    EXPECT_EQ(TRV_GetRequestState(h), TARVIK_STATE_COMPLETED);
    EXPECT_EQ(TRVG_Default(h), 0u);
    plu = 0;
    ASSERT_EQ(TRVG_v2_HotkeyReadGetQuickSale(key(1, plain), &plu, nullptr, nullptr, nullptr), 0u);
    EXPECT_EQ(plu, 300);

    // An answer of another command: nothing is read, the request stays.
    h = answer(3220, {V::W(4), V::W(1)});
    unsigned short typ = 99;
    EXPECT_EQ(TRVG_HotkeyReadGetType(h, nullptr, &typ), 0x10005u);
    EXPECT_EQ(typ, 99);
    EXPECT_EQ(TRVG_Default(h), 0u);
    EXPECT_EQ(TRVG_HotkeyReadGetType(nullptr, nullptr, nullptr), 0x10006u);
}

TEST_F(MirtelHotkey, ReportKeySelectorsFollowTheirKind) {
    unsigned short raport = 0, od = 0, do_ = 0;
    unsigned char zakres = 0, rekordy = 0;
    auto report = [&](std::vector<V> tail, uint8_t kind) {
        od = do_ = 999;
        return key(8, std::vector<V>{V::W(1101), V::B(3), V::B(kind)} + tail);
    };

    ASSERT_EQ(TRVG_HotkeyReadGetReport(report({V::W(10), V::W(20)}, 2), &raport, &zakres, &rekordy, &od, &do_), 0u);
    EXPECT_EQ(raport, 1101);
    EXPECT_EQ(zakres, 3);
    EXPECT_EQ(rekordy, 2);
    EXPECT_EQ(od, 10);
    EXPECT_EQ(do_, 20);

    // One Word (kinds 1 and 7) or one Byte (kinds 4 and 5) is both ends.
    for (uint8_t kind : {1, 7}) {
        ASSERT_EQ(TRVG_HotkeyReadGetReport(report({V::W(4000)}, kind), nullptr, nullptr, &rekordy, &od, &do_), 0u);
        EXPECT_EQ(rekordy, kind);
        EXPECT_EQ(od, 4000);
        EXPECT_EQ(do_, 4000);
    }
    for (uint8_t kind : {4, 5}) {
        ASSERT_EQ(TRVG_HotkeyReadGetReport(report({V::B(3)}, kind), nullptr, nullptr, nullptr, &od, &do_), 0u);
        EXPECT_EQ(od, 3);
        EXPECT_EQ(do_, 3);
    }
    // The single value with null outputs, and kinds without selectors.
    ASSERT_EQ(TRVG_HotkeyReadGetReport(report({V::B(3)}, 4), nullptr, nullptr, nullptr, nullptr, nullptr), 0u);
    for (uint8_t kind : {0, 3, 6, 8, 200}) {
        ASSERT_EQ(TRVG_HotkeyReadGetReport(report({}, kind), nullptr, nullptr, &rekordy, &od, &do_), 0u);
        EXPECT_EQ(rekordy, kind);
        EXPECT_EQ(od, 999);
        EXPECT_EQ(do_, 999);
    }

    // A range cut short: the first end is written, the pop's code returned,
    // the request kept.
    TARVIK_HANDLE h = report({V::W(10)}, 2);
    EXPECT_NE(TRVG_HotkeyReadGetReport(h, nullptr, nullptr, nullptr, &od, &do_), 0u);
    EXPECT_EQ(od, 10);
    EXPECT_EQ(do_, 999);
    EXPECT_EQ(TRVG_Default(h), 0u);
    // A Byte where a Word belongs is refused, not widened.
    h = report({V::B(10)}, 1);
    EXPECT_NE(TRVG_HotkeyReadGetReport(h, nullptr, nullptr, nullptr, &od, &do_), 0u);
    EXPECT_EQ(od, 999);
    EXPECT_EQ(TRVG_Default(h), 0u);
    h = answer(3220, {V::W(1101), V::B(3), V::B(0)});
    EXPECT_EQ(TRVG_HotkeyReadGetReport(h, &raport, nullptr, nullptr, nullptr, nullptr), 0x10005u);
    EXPECT_EQ(TRVG_Default(h), 0u);
}

TEST_F(MirtelHotkey, LayoutsThatDifferFromTheArgumentList) {
    // The weighed-article flag follows the overwrite flag.
    ASSERT_EQ(TRVS_HotkeyPLUInsEx(view, nullptr, 5, 300, "2", 1, 0, 1, 0), 0u);
    EXPECT_EQ(sent(3207), "V5 V300 N2 V1 B0 B1");
    // Two zero Bytes of our own between the key and the record number.
    ASSERT_EQ(TRVS_HotkeyRepMUIns(view, nullptr, 6, 7, 1, 0), 0u);
    EXPECT_EQ(sent(3414), "V6 B0 B0 V7 B1");
    ASSERT_EQ(TRVS_HotkeyRepRepSetIns(view, nullptr, 6, 9, 0, 0), 0u);
    EXPECT_EQ(sent(3416), "V6 B0 B0 V9 B0");

    // The inactive-article date is one argument on three values; an invalid
    // date has its code and sends nothing.
    ASSERT_EQ(TRVS_HotkeyRepInactivePLUIns(view, nullptr, 8, "2008-02-29", 1, 0), 0u);
    EXPECT_EQ(sent(3460), "V8 B29 B2 V2008 B1");
    TARVIK_HANDLE h = nullptr;
    EXPECT_EQ(TRVS_HotkeyRepInactivePLUIns(view, &h, 8, "2008-02-30", 1, 0), 0x10104u);
    EXPECT_TRUE(keptUnposted(h));
    EXPECT_EQ(TRVG_Default(h), 0u);
    EXPECT_TRUE(nothingSent());

    // A null quantity: the key and the article were pushed, the request is
    // neither posted nor freed.
    EXPECT_EQ(TRVS_HotkeyPLUIns(view, &h, 5, 300, nullptr, 1, 0, 0), 0x10105u);
    EXPECT_TRUE(keptUnposted(h));
    EXPECT_EQ(trv::test::objectOf<trv::TRV_Request>(h)->items.Count(), 2);
    EXPECT_EQ(TRVG_Default(h), 0u);

    // Numbers the insertions send as Words come back as Bytes.
    unsigned char numer = 0, tryb = 0;
    char ilosc[32] = "";
    ASSERT_EQ(TRVG_HotkeyReadGetPack(key(4, {V::B(3), V::N("6"), V::B(1)}), &numer, ilosc, &tryb), 0u);
    EXPECT_EQ(numer, 3);
    EXPECT_STREQ(ilosc, "6");
    EXPECT_EQ(tryb, 1);
    h = key(2, {V::W(3)});
    EXPECT_NE(TRVG_HotkeyReadGetDiscount(h, &numer), 0u);
    EXPECT_EQ(TRVG_Default(h), 0u);

    // A packaging read by barcode answers the barcode first.
    char kod[64] = "", nazwa[64] = "";
    h = answer(2711, {V::S("5900000000307"), V::S("BUTELKA"), V::N("50"), V::N("100"), V::B(1)});
    ASSERT_EQ(TRVG_PackReadByBarcode(h, kod, nazwa, nullptr, nullptr, nullptr), 0u);
    EXPECT_STREQ(kod, "5900000000307");
    EXPECT_STREQ(nazwa, "BUTELKA");
}
