// The hotkeys of the simulated register: each key keeps the action it was
// programmed with, in the form the register answers it (3210), so that
// reading a key gives back what was written.
#include <algorithm>

#include "sim_commands.h"

namespace trvsim {

namespace {

uint16_t keyNumber(const State& s, uint16_t key) {
    if (key == 0 || key > s.hotkeyCapacity) throw ExecError{err::kBadValue};
    return key;
}

// The answer carries discount, payment form, currency, packaging and function
// numbers as Bytes; a larger number could not be read back.
uint8_t byteNumber(Args& in) {
    const uint16_t n = in.word();
    if (n > 0xFF) throw ExecError{err::kBadValue};
    return static_cast<uint8_t>(n);
}

void put(State& s, uint16_t key, uint8_t overwrite, uint16_t type, uint16_t cmd, Values action) {
    if (s.hotkeys.count(key) && !overwrite) throw ExecError{err::kExists};
    s.hotkeys[key] = Hotkey{type, cmd, std::move(action.items)};
}

// ---- actions: key, the action's values, the overwrite flag

void cmd3200_3207(State& s, uint16_t cmd, Args& in, Values&) {
    const uint16_t key = keyNumber(s, in.word());
    Values a;
    a.word(in.word()).num(in.num()).byte(byteNumber(in));
    const uint8_t overwrite = in.byte();
    // The weighed-article flag comes after the overwrite flag; a key
    // programmed without it answers 0, so both readers find their values.
    a.byte(cmd == 3207 ? in.byte() : 0);
    put(s, key, overwrite, hotkey::kQuickSale, cmd, std::move(a));
}

void cmd3201_3202_3206(State& s, uint16_t cmd, Args& in, Values&) {
    const uint16_t key = keyNumber(s, in.word());
    Values a;
    a.byte(byteNumber(in));
    const uint16_t type = cmd == 3201 ? hotkey::kDiscount : cmd == 3202 ? hotkey::kPayment : hotkey::kCurrency;
    put(s, key, in.byte(), type, cmd, std::move(a));
}

void cmd3203(State& s, uint16_t cmd, Args& in, Values&) {
    const uint16_t key = keyNumber(s, in.word());
    Values a;
    a.byte(byteNumber(in)).num(in.num()).byte(in.byte());
    put(s, key, in.byte(), hotkey::kPackaging, cmd, std::move(a));
}

void cmd3204(State& s, uint16_t cmd, Args& in, Values&) {
    const uint16_t key = keyNumber(s, in.word());
    Values a;
    a.byte(byteNumber(in)).dword(in.dword());
    put(s, key, in.byte(), hotkey::kFunction, cmd, std::move(a));
}

void cmd3205(State& s, uint16_t cmd, Args& in, Values&) {
    const uint16_t key = keyNumber(s, in.word());
    Values a;
    a.word(in.word());
    put(s, key, in.byte(), hotkey::kReportSet, cmd, std::move(a));
}

// ---- report keys: the report (the command that programmed the key), its
// range, the kind of record selectors, and the selectors themselves.
// Kinds: 0 none, 1 a record number, 2 a range of two, 4 a VAT rate, 5 a group,
// 7 a report set.

void cmdReport(State& s, uint16_t cmd, Args& in, Values&) {
    const uint16_t key = keyNumber(s, in.word());
    uint8_t range = 0, kind = 0;
    Values sel;
    switch (cmd) {
    case 3401:
    case 3402:
    case 3403:
    case 3404:
        in.byte();  // identifier
        in.byte();  // report type
        range = in.byte();
        if (cmd == 3402) {
            kind = 2;
            sel.word(in.word()).word(in.word());
        } else if (cmd == 3401) {
            kind = 1;
            sel.word(in.word());
        } else {
            kind = cmd == 3403 ? 4 : 5;
            sel.byte(in.byte());
        }
        break;
    case 3410:
    case 3411:
    case 3412:
    case 3413:
    case 3418:
    case 3420:
        in.byte();  // report type
        range = in.byte();
        kind = 1;
        sel.word(in.word());
        break;
    case 3414:
    case 3415:
    case 3416:
    case 3417:
    case 3421:
        in.byte();  // the two zero Bytes
        in.byte();
        kind = cmd == 3416 ? 7 : 1;
        sel.word(in.word());
        break;
    case 3419:
        in.byte();  // report kind
        in.byte();  // report type
        range = in.byte();
        kind = 1;
        sel.word(in.word());
        break;
    case 3422:
        in.byte();  // report type
        break;
    case 3423:
        in.byte();  // record type
        range = in.byte();
        break;
    case 3460: {
        DateTime d;
        d.day = in.byte();
        d.month = in.byte();
        d.year = in.word();
        if (!validDateTime(d)) throw ExecError{err::kBadValue};
        break;
    }
    default:  // keys without selectors
        break;
    }
    Values a;
    a.word(cmd).byte(range).byte(kind);
    a.items.insert(a.items.end(), sel.items.begin(), sel.items.end());
    put(s, key, in.byte(), hotkey::kReport, cmd, std::move(a));
}

// ---- reading and deleting

void cmd3210(State& s, uint16_t, Args& in, Values& v) {
    const uint16_t key = in.word();
    auto it = s.hotkeys.find(key);
    if (it == s.hotkeys.end()) throw ExecError{err::kNotFound};
    v.word(key).word(it->second.type);
    v.items.insert(v.items.end(), it->second.action.begin(), it->second.action.end());
}

void cmd3220(State& s, uint16_t, Args& in, Values& v) {
    for (uint32_t k = std::max<uint16_t>(1, in.word()); k <= s.hotkeyCapacity; ++k)
        if (!s.hotkeys.count(static_cast<uint16_t>(k))) {
            v.word(static_cast<uint16_t>(k));
            return;
        }
    throw ExecError{err::kFull};
}

void cmd3240(State& s, uint16_t, Args& in, Values&) {
    if (!s.hotkeys.erase(in.word())) throw ExecError{err::kNotFound};
}

void cmd3250(State& s, uint16_t, Args&, Values&) { s.hotkeys.clear(); }

using Fn = void (*)(State&, uint16_t, Args&, Values&);
void add(Handlers& h, uint16_t cmd, Fn f) {
    h.add(cmd, [cmd, f](State& s, Args& in, Values& v) { f(s, cmd, in, v); });
}

}  // namespace

void cmd_hotkey::addCommands(Handlers& h) {
    add(h, cmd::HotkeyPLUIns, cmd3200_3207);
    add(h, cmd::HotkeyPLUInsEx, cmd3200_3207);
    add(h, cmd::HotkeyDiscntIns, cmd3201_3202_3206);
    add(h, cmd::HotkeyFormIns, cmd3201_3202_3206);
    add(h, cmd::HotkeyCurrencyIns, cmd3201_3202_3206);
    add(h, cmd::HotkeyPackIns, cmd3203);
    add(h, cmd::HotkeyFuncIns, cmd3204);
    add(h, cmd::HotkeyRepSetIns, cmd3205);
    for (uint16_t cmd : {3211, 3401, 3402, 3403, 3404, 3405, 3410, 3411, 3412, 3413, 3414, 3415, 3416, 3417,
                         3418, 3419, 3420, 3421, 3422, 3423, 3451, 3453, 3460, 3461, 3462, 3463, 3464, 3465,
                         3466, 3468, 3469, 3470, 3471, 3472})
        add(h, cmd, cmdReport);
    add(h, cmd::HotkeyRead, cmd3210);
    add(h, cmd::HotkeyNextFreeGet, cmd3220);
    add(h, cmd::HotkeyDel, cmd3240);
    add(h, cmd::HotkeyDelAll, cmd3250);
}

}  // namespace trvsim
