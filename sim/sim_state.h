// The register's in-memory database and settings. Nothing here knows about
// frames, threads or sockets: a command's handler (sim_commands.h) takes the
// decoded values of a request and fills the values of the answer, or throws
// ExecError with the execution error the register reports.
// The Register (sim_register.h) serialises every call with its own mutex.
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim_settings.h"
#include "trvlib_dataitem.h"
#include "trvlib_protocol.h"

namespace trvsim {

using Items = std::vector<trv::TRV_DataItem>;

// Execution errors, the third value of an error answer, and the
// transmission errors, the second: the protocol's (trvlib_protocol.h).
namespace err = trv::proto::exec;
namespace trans {
constexpr uint16_t kCrc = trv::proto::kTransCrc;
constexpr uint16_t kMalformed = trv::proto::kTransMalformed;
constexpr uint16_t kInjected = trv::proto::kTransDefault;
}  // namespace trans

struct ExecError {
    ExecError(uint16_t c, std::string d = {}) : code(c), detail(std::move(d)) {}
    uint16_t code;
    std::string detail;  // what did not fit (kBadLayout), for the log
};

struct DateTime {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    bool operator==(const DateTime&) const = default;
};
bool validDateTime(const DateTime& t);
int64_t toEpoch(const DateTime& t);  // seconds, calendar without time zone
DateTime fromEpoch(int64_t s);

// Answer values in wire order.
class Values {
public:
    Values& byte(uint8_t v);
    Values& word(uint16_t v);
    Values& dword(uint32_t v);
    Values& str(const std::string& v);
    Values& num(int64_t v);  // a Numeric; clamped to the 12-digit range
    Values& date(const DateTime& t);         // day, month, year Word
    Values& dateHM(const DateTime& t);       // day, month, year Word, hour, minute
    Values& dateTime(const DateTime& t);     // day, month, year Word, hour, minute, second
    Items items;
};

// Request values in wire order; a missing value or one of another type ends
// the command with err::kBadParams. Numeric fields accept Numeric, Currency
// and Quantity values and keep the number in the units it arrived in.
class Args {
public:
    explicit Args(const Items& v) : v_(v) {}
    uint8_t byte();
    uint16_t word();
    uint32_t dword();
    std::string str();
    int64_t num();
    // Dates and times in the layouts Values writes them.
    DateTime date();                 // day, month, year Word
    DateTime dateHM();               // + hour, minute
    DateTime dateTime();             // + hour, minute, second
    void hourMinute(DateTime& t);    // hour, minute into t
    bool more() const { return i_ < v_.size(); }
    size_t remaining() const { return v_.size() - i_; }
    TARVIK_DATA_TYPE peekType() const { return more() ? v_[i_].Type() : TARVIK_TYPE_NONE; }

private:
    const trv::TRV_DataItem& next(TARVIK_DATA_TYPE t);
    const Items& v_;
    size_t i_ = 0;
};

struct SetMember {
    uint16_t plu = 0;
    int64_t qty = 0;
    int64_t price = 0;
};

// One record of the article database.
struct Article {
    uint16_t number = 0;
    uint8_t type = 0;  // 0 ordinary article, 1 set, 2 e-service article
    std::string name;
    std::string barcode;                // primary barcode
    std::vector<std::string> barcodes;  // additional barcodes
    int64_t price = 0;
    int64_t minStock = 0;
    uint8_t packaging = 0, unit = 0, discount = 0, group = 0, vat = 0, qtyFormat = 0;
    uint8_t fixedPrice = 0, discountFlag = 0, notepad = 0;
    uint16_t eservice = 0;
    uint8_t forbidden = 0;  // sets only
    std::vector<SetMember> members;
    int64_t stock = 0;
    DateTime stockDate;
    int64_t statValue = 0, statQty = 0;
    DateTime statDate;
};

// One record of the packaging database. Articles refer to it by number.
struct Packaging {
    uint16_t number = 0;
    std::string name;
    std::string barcode;
    int64_t price = 0;
    int64_t minStock = 0;
    uint8_t fixedPrice = 0;
    int64_t sold = 0, returned = 0, valueSold = 0, valueReturned = 0;  // totals
    int64_t stock = 0;
};

// One programmed hotkey: its type, the command that programmed it, and the
// action's values as the register answers them after the number and type.
struct Hotkey {
    uint16_t type = 0;
    uint16_t command = 0;
    Items action;
};

// Hotkey types (the Word type of the 3210 answer).
namespace hotkey {
constexpr uint16_t kQuickSale = 1, kDiscount = 2, kPayment = 3, kPackaging = 4, kFunction = 5, kReportSet = 6,
                   kCurrency = 7, kReport = 8;
}

// Records of the small tables (sim/cmd_dict.cpp). The statistics of groups
// and payment forms are not kept here: they are counted from the sale
// journal (sim_sales.h), from the journal position of their last clearing on.
struct Group {
    std::string name;
    uint8_t discount = 0;
    int64_t price = 0;
    uint8_t weighed = 0, printer = 0;
    uint64_t statsFrom = 0;  // sale record number (State::saleRecordEnd) at the last clearing
};
struct Unit {
    std::string name, abbreviation;
};
struct PayForm {
    std::string name;
    uint8_t type = 0;
    uint16_t flags = 0;
    std::string currency;
    int64_t rate = 0;  // exchange rate or cashback amount
    uint64_t statsFrom = 0;
};
struct CashoutDesc {
    std::string name;
    uint8_t flags = 0;
};
struct ErrorMessage {
    uint16_t error = 0, handling = 0;
    std::string text;
};

// What a cashier did since the statistics were last cleared. Times are
// seconds since 2000-01-01 00:00:00 of the register's clock; amounts are
// kept in the units of the sale journal, discounts negative.
struct UserStats {
    int64_t manualDiscounts = 0, manualSurcharges = 0;
    uint32_t firstLogin = 0, lastLogin = 0, lastLogout = 0, workSeconds = 0, openings = 0;
    int64_t packSold = 0, packReturned = 0, cashIn = 0, cashOut = 0, sales = 0;
    uint32_t receipts = 0, cancelled = 0, voids = 0, authorisations = 0;
    int64_t cancelledValue = 0, voidValue = 0, authorisedValue = 0;
    std::map<uint16_t, int64_t> payforms, discounts, payments;  // amounts by number
    bool zero() const;
};

// One record of the user (cashier) database.
struct User {
    uint16_t number = 0;
    std::string name, password, card, pin;
    uint32_t rights = 0;  // 16 bits in the older layouts
    uint8_t reportRights = 0, keyRights = 0;
    int64_t receiptLimit = 0;  // 0: none
    UserStats stats;
};

// One record of the discount database.
struct Discount {
    uint16_t number = 0;
    std::string name;
    uint8_t kind = 0;  // 0 standard, 1 programmed (thresholds), 2 promotional M for N
    uint8_t withSurcharges = 0, withDiscounts = 0;
    uint8_t type = 0;  // bit 0 amount (else percentage), bit 1 surcharge (else discount)
    int64_t value = 0;
    std::vector<std::pair<int64_t, int64_t>> thresholds;  // (value, threshold amount)
    uint8_t m = 0, n = 0;
    int64_t total = 0;  // statistics: the amount the discount gave
};

// One automatic discount: switches a discount on in a time window.
struct AutoDiscount {
    uint16_t number = 0, discount = 0;
    uint8_t kind = 0;  // 0 every day between the dates, 1 once, from start to end
    DateTime from, to;  // seconds not used
};

// The last discount the computer handed over (332 manual, 333 from the database).
struct PcDiscount {
    uint16_t command = 0, errorCode = 0, number = 0;
    std::string name;
    uint8_t type = 0, withSurcharges = 0, withDiscounts = 0;
    int64_t value = 0;
};

// A record of the sale journal or of the fiscal memory: its type code and
// its values after the header.
struct Record {
    uint16_t type = 0;
    Items body;
};

// Sale journal record types (the Word type of the 451 header).
namespace journal {
constexpr uint16_t kDaily = 1, kFinished = 2, kCancelled = 3, kArticle = 4, kSetLine = 5,
                   kPackaging = 6, kPayment = 7, kCurrency = 8, kDiscount = 9,
                   kArticleDiscount = 10, kCashback = 11, kAuthorisation = 12, kOrder = 13,
                   kInventory = 14;
}
// Fiscal memory record types (the Word type of 401-405), and how many
// records of a type the memory takes.
namespace fiscal {
constexpr uint16_t kDaily = 1, kFiscalisation = 2, kVatChange = 3, kRamClear = 4, kSaleStart = 5;
constexpr uint16_t kDailyLimit = 2100, kVatChangeLimit = 30, kRamClearLimit = 200;
}

// The sales of the running day, written to the fiscal memory by the daily
// report and then started afresh.
struct Day {
    uint16_t receipts = 0, cancelled = 0;
    std::array<int64_t, 7> totals{};  // turnover of VAT rates A-G
    int64_t cancelledValue = 0;
    uint32_t articleChanges = 0;  // articles written or deleted
};

// The last context initialisation of a kind of record (2000-2016).
struct Context {
    uint8_t flag1 = 0, flag2 = 0;
    std::optional<DateTime> date;  // inactive articles only
};

struct State {
    State();

    // Clock: the register's time is the system time plus an offset, counted
    // as plain calendar seconds (no time zone of its own).
    int64_t clockOffset = 0;
    DateTime now() const;
    void setClock(const DateTime& t);

    std::array<uint16_t, 7> vat{};  // rates A-G in hundredths of a percent
    std::vector<std::pair<uint8_t, std::string>> header, footer;
    std::string cashregNumber = "TRV00012345";
    std::string nip = "5250001009";
    std::string uniqueNumber = "ABC12345678";
    std::string firmware = "TRV-SIM 1.0";
    DateTime fiscalised;
    uint8_t logoutTimeout = 5, offTimeout = 30, lockFlag = 0;
    uint16_t unlockHour = 0;
    uint16_t lastReceipt = 0;

    uint16_t pluCapacity = 5000;  // record numbers 1..pluCapacity
    static constexpr size_t kMaxBarcodesPerArticle = 16;
    std::map<uint16_t, Article> articles;
    std::map<std::string, uint16_t> byBarcode;  // primary and additional barcodes

    // Packagings 1..packCapacity: an article names its packaging in a Byte.
    uint16_t packCapacity = 255;
    std::map<uint16_t, Packaging> packagings;

    uint16_t hotkeyCapacity = 128;  // keys 1..hotkeyCapacity
    std::map<uint16_t, Hotkey> hotkeys;

    // Users 1..userCapacity, the remote login of the application.
    uint16_t userCapacity = 32;
    std::map<uint16_t, User> users;
    std::string remotePassword = "1234";
    uint8_t remoteFlags = 0;
    bool remoteLoggedIn = false;
    // Discounts 1..discountCapacity, automatic discounts 1..autoDiscountCapacity.
    uint16_t discountCapacity = 64, autoDiscountCapacity = 32;
    std::map<uint16_t, Discount> discounts;
    std::map<uint16_t, AutoDiscount> autoDiscounts;
    std::optional<PcDiscount> pcDiscount;
    // Journal lines of the receipt in progress: they count for the cashier
    // and the discounts once the receipt is finished, not when it is cancelled.
    std::vector<Record> openReceipt;

    static constexpr size_t kJournalCapacity = 2000;
    std::vector<Record> journal;
    size_t journalNext = 0;  // index of the record the next plain read returns
    size_t journalLast = 0;  // index of the record read last (for re-reading)
    std::vector<Record> fiscalMemory;  // record n is fiscalMemory[n - 1]
    // Sale records ever written are numbered on: journal[i] is sale record
    // journalRemoved + i, so that a clearing of statistics stays in its place
    // when 453 empties the journal.
    uint64_t journalRemoved = 0;
    uint64_t saleRecordEnd() const { return journalRemoved + journal.size(); }

    std::map<uint16_t, Group> groups;
    std::map<uint16_t, Unit> units;
    std::map<uint16_t, PayForm> payForms;
    std::map<uint16_t, std::string> codeFormats;
    std::map<uint16_t, CashoutDesc> cashoutDescs;
    std::map<uint16_t, ErrorMessage> errorMessages;
    std::map<uint16_t, std::string> pluDescriptions;

    Settings settings;  // selling, accessories, printing, displays, ports
    size_t fiscalCount(uint16_t type) const;
    Day today;
    std::map<uint16_t, Context> contexts;  // by command

    // What the register printed and nobody has taken yet: one text per
    // printout (the Register hands them to its paper sink).
    std::vector<std::string> printed;
    uint32_t printouts = 0;  // printouts made so far, for their numbers

    // Article helpers; barcodes are kept in byBarcode as well.
    const Article* findBarcode(const std::string& code) const;
    void putArticle(Article a);
    void eraseArticle(uint16_t number);
    bool inSomeSet(uint16_t plu) const;

    void fillSamples();

    // Runs one command: checks the request against the command table, then
    // runs its handler, or answers with the table's layout when no family
    // models it. False for a command nobody knows (it is then answered
    // without values); ExecError for a failed execution.
    bool execute(uint16_t cmd, const Items& params, Values& answer);
};

}  // namespace trvsim
