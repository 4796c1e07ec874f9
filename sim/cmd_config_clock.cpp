// Clock, VAT rates, register number and status blocks, time-outs and the
// control commands of the simulated register.
#include <array>

#include "sim_commands.h"

namespace trvsim {

void cmd_config_clock::addCommands(Handlers& h) {
    h.add(cmd::TimeGet, [](State& s, Args&, Values& v) {
        const DateTime t = s.now();
        v.byte(static_cast<uint8_t>(t.hour)).byte(static_cast<uint8_t>(t.minute)).byte(static_cast<uint8_t>(t.second));
    });
    h.add(cmd::DateGet, [](State& s, Args&, Values& v) { v.date(s.now()); });
    h.add(cmd::DateTimeSet, [](State& s, Args& in, Values&) {
        // The time comes first on the wire: hour, minute, second, day, month, year.
        DateTime t;
        t.hour = in.byte();
        t.minute = in.byte();
        t.second = in.byte();
        t.day = in.byte();
        t.month = in.byte();
        t.year = in.word();
        if (!validDateTime(t)) throw ExecError{err::kBadValue};
        s.setClock(t);
    });
    h.add(cmd::VATGet, [](State& s, Args&, Values& v) {
        for (uint16_t r : s.vat) v.word(r);
    });
    h.add(cmd::VATSet, [](State& s, Args& in, Values&) {
        const DateTime from = in.dateTime();
        std::array<uint16_t, 7> r{};
        for (uint16_t& x : r) x = in.word();
        if (!validDateTime(from)) throw ExecError{err::kBadValue};
        for (uint16_t x : r)
            if (x > 10001) throw ExecError{err::kBadValue};
        // A change of rates is written to the fiscal memory, as long as it
        // has room for one.
        const size_t changes = s.fiscalCount(fiscal::kVatChange);
        if (changes >= fiscal::kVatChangeLimit) throw ExecError{err::kFull};
        s.vat = r;
        Values rec;
        rec.dateHM(s.now()).word(static_cast<uint16_t>(changes + 1));
        for (uint16_t x : s.vat) rec.word(x);
        s.fiscalMemory.push_back({fiscal::kVatChange, std::move(rec.items)});
    });
    h.add(cmd::TimeoutsGet, [](State& s, Args&, Values& v) { v.byte(s.logoutTimeout).byte(0).byte(s.offTimeout); });
    h.add(cmd::TimeoutsGetEx, [](State& s, Args&, Values& v) {
        v.byte(s.logoutTimeout).byte(0).byte(s.offTimeout).byte(s.lockFlag).word(s.unlockHour);
    });
    h.add(cmd::TimeoutsSet, [](State& s, Args& in, Values&) {
        const uint8_t logout = in.byte();
        in.byte();  // always 0
        const uint8_t off = in.byte();
        if (in.more()) {
            const uint8_t lock = in.byte();
            const uint16_t hour = in.word();
            s.lockFlag = lock;
            s.unlockHour = hour;
        }
        s.logoutTimeout = logout;
        s.offTimeout = off;
    });
    h.add(cmd::CashregParGet, [](State& s, Args&, Values& v) { v.str(s.cashregNumber); });
    h.add(cmd::CashregParSet, [](State& s, Args& in, Values&) { s.cashregNumber = in.str(); });
    h.add(cmd::CashregStatusGet, [](State& s, Args&, Values& v) {
        v.byte(1).str(s.cashregNumber).word(0).byte(1).byte(0).byte(s.header.empty() ? 0 : 1).byte(0);
        v.dateTime(s.fiscalised).dateTime(s.now()).str(s.nip).str(s.uniqueNumber).str(s.firmware);
    });
    // Database status: articles, then the smaller tables (users, discounts,
    // packagings, ...), each as size and programmed count.
    const auto dbStatus = [](int pairs) {
        return [pairs](State& s, Args&, Values& v) {
            v.byte(1).byte(0);
            v.word(s.pluCapacity).word(static_cast<uint16_t>(s.articles.size()));
            static const uint16_t sizes[] = {32, 64, 64, 32, 16, 16, 64, 16, 8, 32, 16, 16};
            for (int k = 0; k < pairs; ++k) v.word(sizes[k]).word(0);
        };
    };
    h.add(cmd::DBStatusGet, dbStatus(9));
    h.add(cmd::DBStatusGetEx, dbStatus(12));
    h.add(cmd::TransStatusGet, [](State& s, Args&, Values& v) {
        v.byte(0).byte(0).byte(0).word(s.lastReceipt).dateTime(s.now());
        for (int k = 0; k < 9; ++k) v.num(0);
    });
}

}  // namespace trvsim
