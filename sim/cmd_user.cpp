// The user (cashier) database of the simulated register, the cashiers'
// statistics counted from the sale journal, and the remote login of the
// application.
#include <algorithm>
#include <cstring>

#include "sim_commands.h"

namespace trvsim {

bool UserStats::zero() const {
    return manualDiscounts == 0 && manualSurcharges == 0 && openings == 0 && packSold == 0 && packReturned == 0 &&
           cashIn == 0 && cashOut == 0 && sales == 0 && receipts == 0 && cancelled == 0 && voids == 0 &&
           authorisations == 0 && cancelledValue == 0 && voidValue == 0 && authorisedValue == 0 &&
           payforms.empty() && discounts.empty() && payments.empty();
}

// ---- statistics from the sale journal

namespace {

// Whether a record body starts with values of these type letters, so that a
// record added by hand with another layout is passed over, not misread.
bool fits(const Record& r, const char* letters) {
    const size_t n = std::strlen(letters);
    if (r.body.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (r.body[i].Type() != static_cast<unsigned char>(letters[i])) return false;
    return true;
}

int64_t num(const Record& r, size_t i) { return trv::TRV_DataItem::bcd2largewsign(r.body[i].bcd()); }
uint16_t word(const Record& r, size_t i) { return r.body[i].GetShort(); }

UserStats* statsOf(State& s, uint32_t cashier) {
    auto it = s.users.find(static_cast<uint16_t>(cashier));
    return cashier <= 0xFFFF && it != s.users.end() ? &it->second.stats : nullptr;
}

void countDiscount(State& s, UserStats* u, uint16_t number, int64_t amount) {
    if (number == 0) {  // given by hand, not from the database
        if (u) (amount < 0 ? u->manualDiscounts : u->manualSurcharges) += amount;
        return;
    }
    if (u) u->discounts[number] += amount;
    auto d = s.discounts.find(number);
    if (d != s.discounts.end()) d->second.total += amount;
}

// One line of a finished receipt, for the cashier who finished it.
void countLine(State& s, UserStats* u, const Record& r) {
    switch (r.type) {
    case journal::kPackaging:  // number, barcode, quantity, value (negative: returned)
        if (u && fits(r, "VSNN")) {
            const int64_t value = num(r, 3);
            if (value < 0) u->packReturned -= value;
            else u->packSold += value;
        }
        break;
    case journal::kPayment:  // form number, name, type, amount
        if (u && fits(r, "VSBN")) u->payforms[word(r, 0)] += num(r, 3);
        break;
    case journal::kCurrency:  // form number, name, value in the home currency, ...
        if (u && fits(r, "VSN")) u->payforms[word(r, 0)] += num(r, 2);
        break;
    case journal::kCashback:  // payment number, name, type, amount
        if (u && fits(r, "VSBN")) u->payments[word(r, 0)] += num(r, 3);
        break;
    case journal::kDiscount:  // name, type, discount number, amount
        if (fits(r, "SBVN")) countDiscount(s, u, word(r, 2), num(r, 3));
        break;
    case journal::kArticleDiscount:  // name, discount number, article, VAT, amount
        if (fits(r, "SVVBN")) countDiscount(s, u, word(r, 1), num(r, 4));
        break;
    default: break;
    }
}

}  // namespace

void countSale(State& s, const Record& r) {
    switch (r.type) {
    case journal::kFinished:  // number, date and time, till, cashier's name and number, value, to pay
        if (fits(r, "LBBVBBSSVNN")) {
            UserStats* u = statsOf(s, word(r, 8));
            for (const Record& line : s.openReceipt) countLine(s, u, line);
            if (u) {
                ++u->receipts;
                ++u->openings;  // the drawer opens for the payment
                u->sales += num(r, 10);
            }
        }
        s.openReceipt.clear();
        break;
    case journal::kCancelled:  // date and time, till, cashier's name and number, authoriser, value, to pay
        if (fits(r, "BBVBBSSVVNN")) {
            if (UserStats* u = statsOf(s, word(r, 7))) {
                ++u->cancelled;
                u->cancelledValue += num(r, 9);
                if (fits(r, "BBVBBSSVVNNLN")) {
                    u->voids += r.body[11].GetLong();
                    u->voidValue += num(r, 12);
                }
            }
        }
        s.openReceipt.clear();  // its lines count for nobody
        break;
    case journal::kAuthorisation:  // cashier number (Long), name, amount
        if (fits(r, "LSN"))
            if (UserStats* u = statsOf(s, r.body[0].GetLong())) {
                ++u->authorisations;
                u->authorisedValue += num(r, 2);
            }
        break;
    case journal::kPackaging:
    case journal::kPayment:
    case journal::kCurrency:
    case journal::kCashback:
    case journal::kDiscount:
    case journal::kArticleDiscount: s.openReceipt.push_back(r); break;
    default: break;
    }
}

// ---- handlers

namespace {

constexpr size_t kMaxText = 63;  // what the library's readers take

std::string text(Args& in) {
    std::string t = in.str();
    if (t.size() > kMaxText) throw ExecError{err::kBadValue};
    return t;
}

User& userByNumber(State& s, uint16_t n) {
    auto it = s.users.find(n);
    if (it == s.users.end()) throw ExecError{err::kNotFound};
    return it->second;
}

// 2500 with Word rights, 2501 with a receipt limit, 2502 with both and Long rights.
void cmdUserIns(State& s, uint16_t cmd, Args& in, Values&) {
    User u;
    u.number = in.word();
    u.name = text(in);
    u.password = text(in);
    u.card = text(in);
    u.pin = text(in);
    u.rights = cmd == 2502 ? in.dword() : in.word();
    u.reportRights = in.byte();
    u.keyRights = in.byte();
    const bool withLimit = cmd != 2500;
    if (withLimit) u.receiptLimit = in.num();
    const uint8_t overwrite = in.byte(), overwriteNonZero = in.byte();
    if (u.number == 0 || u.number > s.userCapacity || u.name.empty() || u.receiptLimit < 0)
        throw ExecError{err::kBadValue};
    auto old = s.users.find(u.number);
    if (old != s.users.end()) {
        if (!overwrite) throw ExecError{err::kExists};
        if (!old->second.stats.zero() && !overwriteNonZero) throw ExecError{err::kNonZero};
        u.stats = old->second.stats;
        if (!withLimit) u.receiptLimit = old->second.receiptLimit;
    }
    s.users[u.number] = std::move(u);
}

// 2510 and 2511 answer the rights' low 16 bits, 2511 and 2512 the limit.
void cmdUserRead(State& s, uint16_t cmd, Args& in, Values& v) {
    const User& u = userByNumber(s, in.word());
    v.word(u.number).str(u.name).str(u.password).str(u.card).str(u.pin);
    if (cmd == 2512) v.dword(u.rights);
    else v.word(static_cast<uint16_t>(u.rights & 0xFFFF));
    v.byte(u.reportRights).byte(u.keyRights);
    if (cmd != 2510) v.num(u.receiptLimit);
}

void cmdUserNextFree(State& s, uint16_t, Args& in, Values& v) {
    for (uint32_t n = std::max<uint16_t>(1, in.word()); n <= s.userCapacity; ++n)
        if (!s.users.count(static_cast<uint16_t>(n))) {
            v.word(static_cast<uint16_t>(n));
            return;
        }
    throw ExecError{err::kFull};
}

void cmdUserByName(State& s, uint16_t, Args& in, Values& v) {
    const std::string name = in.str();
    for (const auto& [n, u] : s.users)
        if (u.name == name) {
            v.word(n);
            return;
        }
    throw ExecError{err::kNotFound};
}

void cmdUserDel(State& s, uint16_t, Args& in, Values&) {
    const uint16_t n = userByNumber(s, in.word()).number;
    const uint8_t nonZero = in.byte();
    if (!s.users.at(n).stats.zero() && !nonZero) throw ExecError{err::kNonZero};
    s.users.erase(n);
}

void cmdUserDelAll(State& s, uint16_t, Args& in, Values&) {
    const uint8_t flags = in.byte();  // bit 0: users with statistics too
    std::erase_if(s.users, [flags](const auto& e) { return (flags & 1) || e.second.stats.zero(); });
}

void pairs(const std::map<uint16_t, int64_t>& m, Values& v) {
    for (const auto& [n, amount] : m) v.word(n).num(amount);
}

uint8_t count(const std::map<uint16_t, int64_t>& m) { return static_cast<uint8_t>(std::min<size_t>(m.size(), 255)); }

// Clearing starts a new period: everything is zero, the login times too.
void clearStats(User& u) { u.stats = UserStats{}; }

// 2560 the short layout with the first login; 2561 adds the openings and the
// authorisations and answers the last login; 2562 is 2561 with the first
// login and the payments after the discounts.
void cmdUserStat(State& s, uint16_t cmd, Args& in, Values& v) {
    User& u = userByNumber(s, in.word());
    const uint8_t clear = in.byte();
    const UserStats& t = u.stats;
    const bool extended = cmd != 2560;
    v.word(u.number).num(t.manualDiscounts).num(t.manualSurcharges);
    v.dword(cmd == 2561 ? t.lastLogin : t.firstLogin).dword(t.lastLogout).dword(t.workSeconds);
    if (extended) v.dword(t.openings);
    v.num(t.packSold).num(t.packReturned).num(t.cashIn).num(t.cashOut).num(t.sales);
    v.dword(t.receipts).dword(t.cancelled).num(t.cancelledValue).dword(t.voids).num(t.voidValue);
    if (extended) v.dword(t.authorisations).num(t.authorisedValue);
    v.byte(count(t.payforms)).byte(count(t.discounts));
    pairs(t.payforms, v);
    pairs(t.discounts, v);
    if (cmd == 2562) {
        v.byte(count(t.payments));
        pairs(t.payments, v);
    }
    if (clear) clearStats(u);
}

void cmdUserStatClearAll(State& s, uint16_t, Args& in, Values&) {
    in.byte();  // the register's own flag; every user's statistics are cleared
    for (auto& [n, u] : s.users) clearStats(u);
}

void cmdRemoteLogin(State& s, uint16_t, Args& in, Values&) {
    if (in.str() != s.remotePassword) throw ExecError{err::kBadPassword};
    s.remoteLoggedIn = true;
}

void cmdRemoteLogout(State& s, uint16_t, Args&, Values&) { s.remoteLoggedIn = false; }

void cmdRemoteParamGet(State& s, uint16_t, Args&, Values& v) { v.byte(s.remoteFlags).str(s.remotePassword); }

void cmdRemoteParamSet(State& s, uint16_t, Args& in, Values&) {
    const uint8_t flags = in.byte();
    s.remotePassword = text(in);
    s.remoteFlags = flags;
}

using Fn = void (*)(State&, uint16_t, Args&, Values&);
void add(Handlers& h, uint16_t cmd, Fn f) {
    h.add(cmd, [cmd, f](State& s, Args& in, Values& v) { f(s, cmd, in, v); });
}

}  // namespace

void cmd_user::addCommands(Handlers& h) {
    add(h, cmd::RemoteLogin, cmdRemoteLogin);
    add(h, cmd::RemoteLogout, cmdRemoteLogout);
    add(h, cmd::RemoteLoginParamGet, cmdRemoteParamGet);
    add(h, cmd::RemoteLoginParamSet, cmdRemoteParamSet);
    for (uint16_t cmd : {2500, 2501, 2502}) add(h, cmd, cmdUserIns);
    for (uint16_t cmd : {2510, 2511, 2512}) add(h, cmd, cmdUserRead);
    add(h, cmd::UserNextFreeGet, cmdUserNextFree);
    add(h, cmd::UserGetByName, cmdUserByName);
    add(h, cmd::UserDel, cmdUserDel);
    add(h, cmd::UserDelAll, cmdUserDelAll);
    for (uint16_t cmd : {2560, 2561, 2562}) add(h, cmd, cmdUserStat);
    add(h, cmd::UserStatClearAll, cmdUserStatClearAll);
}

}  // namespace trvsim
