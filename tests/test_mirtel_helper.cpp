// The shared shape of libmirtel: argument checks and codes, post modes, the
// answer checks, the string result rule, and the text helpers.
#include <cstdlib>
#include <cstring>

#include "tarvik_mirtel_helper.h"
#include "test_mirtel_fixture.h"

using namespace mirtel;
using namespace mirtel_test;

TEST(MirtelHelpers, DatesAndTimes) {
    unsigned char d = 0, mo = 0, h = 0, mi = 0, s = 0;
    unsigned short y = 0;
    EXPECT_FALSE(ParseDateTimeSec("2009-02-29 10:00:00", d, mo, y, h, mi, s));
    EXPECT_FALSE(ParseDateTimeSec("2008-02-29 24:00:00", d, mo, y, h, mi, s));
    EXPECT_FALSE(ParseDateTimeSec("1900-02-29 10:00:00", d, mo, y, h, mi, s));
    EXPECT_EQ(d, 0);  // nothing written on failure
    ASSERT_TRUE(ParseDateTimeSec("2008/02/29T23.59.59", d, mo, y, h, mi, s));
    EXPECT_EQ(std::vector<int>({d, mo, y, h, mi, s}), std::vector<int>({29, 2, 2008, 23, 59, 59}));
    EXPECT_TRUE(ParseDate("2000-02-29", d, mo, y));
    EXPECT_FALSE(ParseDate("2008-2-29", d, mo, y));  // fixed positions
    EXPECT_FALSE(ParseDate("2008-02-", d, mo, y));
    EXPECT_FALSE(ParseDate(nullptr, d, mo, y));

    ASSERT_TRUE(ParseTime("07:05", h, mi, s));
    EXPECT_EQ(std::vector<int>({h, mi, s}), std::vector<int>({7, 5, 0}));
    ASSERT_TRUE(ParseTime(" 7: 5: 9", h, mi, s));
    EXPECT_EQ(std::vector<int>({h, mi, s}), std::vector<int>({7, 5, 9}));
    EXPECT_FALSE(ParseTime("07", h, mi, s));
    EXPECT_FALSE(ParseTime("07:60", h, mi, s));

    // ParseDateTime ignores everything after the minutes.
    EXPECT_TRUE(ParseDateTime("2008-03-09 14:05:99", d, mo, y, h, mi));

    EXPECT_EQ(to_interval(90061), "1:01:01:01");
    EXPECT_EQ(to_interval(59), "0:00:00:59");
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(time_to_date2000(0), "2000-01-01 00-00-00");
    EXPECT_EQ(time_to_date2000(86400 * 366 + 3661), "2001-01-01 01-01-01");
}

TEST(MirtelHelpers, AddressesListsAndTrim) {
    unsigned long ip = 99;
    EXPECT_EQ(str2ip("10.0.0", &ip), -1);
    EXPECT_EQ(ip, 0u);
    ip = 99;
    EXPECT_EQ(str2ip("10.0.0.256", &ip), -2);
    EXPECT_EQ(ip, 0u);
    EXPECT_EQ(str2ip("10.0.-1.1", &ip), -2);
    EXPECT_EQ(str2ip("10.0.0.99999999999999999999", &ip), -2);
    EXPECT_EQ(str2ip("10.0.0.1", &ip), 0);
    EXPECT_EQ(ip, 0x0A000001u);
    EXPECT_EQ(str2ip("192.168.1.2 trailing", &ip), 0);
    EXPECT_EQ(ip, 0xC0A80102u);

    using L = std::vector<std::string>;
    EXPECT_FALSE(explode('\n', "").has_value());
    EXPECT_FALSE(explode('\n', nullptr).has_value());
    EXPECT_EQ(explode('\n', "\n").value(), L({""}));
    EXPECT_EQ(explode('\n', "a\n").value(), L({"a"}));
    EXPECT_EQ(explode('\n', "a\n\nb").value(), L({"a", "", "b"}));
    EXPECT_EQ(explode(',', ",x,").value(), L({"", "x"}));

    EXPECT_EQ(trim("\t a b \r\n"), "a b");
    EXPECT_EQ(trim(" \x01 "), "");
    EXPECT_EQ(trim("\xC3\xB3"), "\xC3\xB3");  // bytes above 127 stay
    EXPECT_EQ(stringtoi("2147483648"), -1);
    EXPECT_EQ(stringtoi("12a"), -1);
}

class MirtelConventions : public MirtelTest {};

TEST_F(MirtelConventions, DeviceAndModeChecksComeFirst) {
    TARVIK_HANDLE req = nullptr;
    EXPECT_EQ(TRVS_TimeGet(nullptr, &req, 2), 0x10006u);
    EXPECT_EQ(TRVS_TimeGet(view, &req, 2), 0x10009u);
    EXPECT_EQ(TRVS_TimeGet(view, nullptr, 1), 0x10009u);
    EXPECT_EQ(req, nullptr);  // nothing was created
    EXPECT_TRUE(nothingSent());

    // Mode 0 without a handle posts normally; mode 3 is passed through.
    EXPECT_EQ(TRVS_TimeGet(view, nullptr, 0), 0u);
    EXPECT_EQ(sent(14), "");
    EXPECT_EQ(TRVS_PLURead(view, &req, 7, 1, 3), 0u);
    EXPECT_EQ(sent(2110), "V7 B1");
}

TEST_F(MirtelConventions, ArgumentCodesFollowPositions) {
    TARVIK_HANDLE req = nullptr;
    // The record number is 3, the name 4, the price 6, the minimum stock 7.
    EXPECT_EQ(TRVS_PLUIns(view, &req, 1, nullptr, "5901", "100", "0", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), 0x10104u);
    EXPECT_TRUE(keptUnposted(req));
    EXPECT_EQ(TRVG_Default(req), 0u);
    EXPECT_EQ(TRVS_PLUIns(view, &req, 1, "Milk", "5901", "1.5", "0", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), 0x10106u);
    EXPECT_EQ(TRVG_Default(req), 0u);
    EXPECT_EQ(TRVS_PLUIns(view, &req, 1, "Milk", "5901", "100", "x", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), 0x10107u);
    EXPECT_EQ(TRVG_Default(req), 0u);
    // The first failure stops everything after it.
    EXPECT_EQ(TRVS_PLUIns(view, &req, 1, nullptr, nullptr, "x", "x", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), 0x10104u);
    EXPECT_EQ(trv::test::objectOf<trv::TRV_Request>(req)->items.Count(), 1);
    EXPECT_EQ(TRVG_Default(req), 0u);
    EXPECT_TRUE(nothingSent());

    // Without a handle for the caller a failed request is freed at once (the
    // sanitizer run would report it otherwise), and so is a refused post.
    EXPECT_EQ(TRVS_PLUGetByName(view, nullptr, nullptr, 0), 0x10103u);
    uint32_t one = 1;
    ASSERT_EQ(TRV_SetDeviceParam(view, TARVIK_PARAM_OUTQUEUEMAXLEN, &one), 0u);
    ASSERT_EQ(TRVS_DateGet(view, nullptr, 0), 0u);
    EXPECT_EQ(sent(15), "");
    EXPECT_EQ(TRVS_DateGet(view, nullptr, 0), 32u);

    // A reader's required output follows its position too.
    TARVIK_HANDLE h = answer(452, {V::B(9)});
    EXPECT_EQ(TRVG_SaleSizeGet(h, nullptr), 0x10102u);
    EXPECT_EQ(TRVG_Default(h), 0u);
}

TEST_F(MirtelConventions, ReaderChecksStatusAndCommand) {
    unsigned short n = 0;
    EXPECT_EQ(TRVG_PLUNextFreeGet(nullptr, &n), 0x10006u);
    EXPECT_EQ(TRVG_Default(nullptr), 0x10006u);
    EXPECT_EQ(TRVG_Default(view), 0x10006u);  // not a request

    TARVIK_HANDLE h = answer(2130, {V::W(5)});
    EXPECT_EQ(TRVG_PLUNextFreeGet(h, &n), 0x10005u);  // another command: kept
    EXPECT_EQ(TRVG_PLUGetByName(h, &n), 0u);           // destroys it
    EXPECT_EQ(n, 5);

    h = TRV_CreateRequest(view, 2120);
    EXPECT_EQ(TRVG_PLUNextFreeGet(h, &n), 0x10004u);  // not answered yet
    auto* r = trv::test::objectOf<trv::TRV_Request>(h);
    for (int v : {0, 0, 12, 0}) {  // an error answer: execution error 12
        auto* it = new trv::TRV_DataItem;
        it->SetShort(static_cast<uint16_t>(v));
        r->response.Add(it);
    }
    r->state = TARVIK_STATE_ERROR;
    EXPECT_EQ(TRVG_PLUNextFreeGet(h, &n), 0x43000Cu);
    EXPECT_EQ(TRVG_Default(h), 0u);

    // A failing pop keeps the request and what was already written.
    unsigned char trwa = 0;
    h = answer(8, {V::B(1), V::B(2)});
    unsigned short st = 77;
    EXPECT_EQ(TRVG_WaitStatusGet(h, &trwa, &st), 0x10002u);
    EXPECT_EQ(trwa, 1);
    EXPECT_EQ(st, 77);
    EXPECT_EQ(TRVG_Default(h), 0u);
}

TEST_F(MirtelConventions, StringResultRule) {
    const std::string nine = "123456789";
    char buf[300];

    // Non-zero mode: the buffer's first byte declares its capacity.
    stringMode(1);
    TARVIK_HANDLE h = answer(321, {V::S(nine)});
    buf[0] = 10;
    EXPECT_EQ(TRVG_CashregParGet(h, buf), 0u);
    EXPECT_STREQ(buf, nine.c_str());

    h = answer(321, {V::S(nine + "0")});
    buf[0] = 10;
    EXPECT_EQ(TRVG_CashregParGet(h, buf), 0x10007u);
    EXPECT_EQ(TRVG_Default(h), 0u);

    h = answer(321, {V::S("")});
    buf[0] = 0;
    EXPECT_EQ(TRVG_CashregParGet(h, buf), 0x10007u);  // not even the NUL fits
    EXPECT_EQ(TRVG_Default(h), 0u);

    // 200 declared: a 199-character barcode list fits, 200 do not.
    h = answer(2310, {V::W(1), V::S(std::string(199, 'x'))});
    buf[0] = static_cast<char>(200);
    EXPECT_EQ(TRVG_BarcodeRead(h, nullptr, buf), 0u);
    EXPECT_EQ(std::strlen(buf), 199u);
    h = answer(2310, {V::W(1), V::S(std::string(99, 'x')), V::S(std::string(100, 'y'))});
    buf[0] = static_cast<char>(200);
    EXPECT_EQ(TRVG_BarcodeRead(h, nullptr, buf), 0x10007u);
    EXPECT_EQ(TRVG_Default(h), 0u);

    // Mode 0: the first byte means nothing.
    stringMode(0);
    h = answer(321, {V::S(nine + "0")});
    buf[0] = 1;
    EXPECT_EQ(TRVG_CashregParGet(h, buf), 0u);
    EXPECT_STREQ(buf, "1234567890");

    // The local buffer still bounds what a value may be: 64 bytes here.
    h = answer(321, {V::S(std::string(64, 'x'))});
    EXPECT_EQ(TRVG_CashregParGet(h, nullptr), 0x10007u);
    EXPECT_EQ(TRVG_Default(h), 0u);
    h = answer(321, {V::S(std::string(63, 'x'))});
    EXPECT_EQ(TRVG_CashregParGet(h, nullptr), 0u);  // a null output drops the value
}

TEST_F(MirtelConventions, DatesAndTimesOutOfRangeAreBadDataInEveryMode) {
    char buf[32];
    stringMode(1);
    TARVIK_HANDLE h = answer(14, {V::B(255), V::B(0), V::B(0)});
    std::memset(buf, 'Z', sizeof buf);
    buf[0] = sizeof buf;
    EXPECT_EQ(TRVG_TimeGet(h, buf), 0x10002u);
    EXPECT_EQ(buf[1], 'Z');  // nothing written
    EXPECT_EQ(TRVG_Default(h), 0u);  // the request stayed with the caller
    // A date that is no date is bad data even when nobody takes it.
    h = answer(15, {V::B(30), V::B(2), V::W(2009)});
    EXPECT_EQ(TRVG_DateGet(h, nullptr), 0x10002u);
    EXPECT_EQ(TRVG_Default(h), 0u);
    // The all-zero date is a register's "no date".
    h = answer(15, {V::B(0), V::B(0), V::W(0)});
    buf[0] = sizeof buf;
    EXPECT_EQ(TRVG_DateGet(h, buf), 0u);
    EXPECT_STREQ(buf, "0000-00-00");
}

TEST_F(MirtelConventions, ListsLongerThanStatedAreBadDataInMode0) {
    // The register holds 10 header lines: 10 of 255 characters fill the 2560
    // bytes the header states; an 11th is no answer of it.
    auto header = [](int lines) {
        std::vector<V> v = {V::B(static_cast<uint8_t>(lines))};
        for (int i = 0; i < lines; ++i) {
            v.push_back(V::B(1));
            v.push_back(V::S(std::string(255, 'x')));
        }
        return v;
    };
    std::vector<char> flags(40), lines(2560);
    stringMode(0);
    ASSERT_EQ(TRVG_HeaderGet(answer(18, header(10)), flags.data(), lines.data()), 0u);
    EXPECT_EQ(std::strlen(lines.data()), 2559u);
    std::memset(lines.data(), 'Z', lines.size());
    TARVIK_HANDLE h = answer(18, header(11));
    EXPECT_EQ(TRVG_HeaderGet(h, flags.data(), lines.data()), 0x10002u);
    EXPECT_EQ(lines[0], 'Z');
    EXPECT_EQ(TRVG_Default(h), 0u);
    // With the buffer's size in its first byte the library checks the size
    // itself, as before.
    stringMode(1);
    h = answer(18, header(11));
    flags[0] = 40;
    lines[0] = static_cast<char>(255);
    EXPECT_EQ(TRVG_HeaderGet(h, flags.data(), lines.data()), 0x10007u);
    EXPECT_EQ(TRVG_Default(h), 0u);
}

TEST_F(MirtelConventions, NumbersThatAreNoNumbersAreBadData) {
    // An all-FF Numeric: the request API and the readers refuse it alike.
    TARVIK_HANDLE h = TRV_CreateRequest(view, 3060);
    auto* r = trv::test::objectOf<trv::TRV_Request>(h);
    auto* number = new trv::TRV_DataItem;
    number->SetShort(4);
    r->response.Add(number);
    const uint8_t ff[7] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    auto* stat = new trv::TRV_DataItem;
    stat->setBcdVal(ff, TARVIK_TYPE_NUMERIC);
    r->response.Add(stat);
    r->state = TARVIK_STATE_COMPLETED;
    char buf[64] = "";
    unsigned short n = 0;
    EXPECT_EQ(TRVG_DiscntStatRead(h, &n, buf), 0x10002u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(TRV_GetResponseValueType(h), TARVIK_TYPE_NONE);
    EXPECT_EQ(TRV_PopResponseValueNumeric(h, buf, sizeof buf), 0x10002u);
    EXPECT_EQ(TRVG_Default(h), 0u);
}
