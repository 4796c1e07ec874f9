// The irregular readers of the hotkeys: a quick-sale key's optional
// weighed-article flag, and a report key's answer, whose record selectors
// depend on the kind it announces. The regular commands are entries of
// tarvik_mirtel_hotkey.cmds.
#include "mirtel_hand.h"
#include "mirtel_ids.h"
#include "tarvik_mirtel_helper.h"

namespace mirtel {

namespace cmd = trv::cmd;

namespace {

// One record selector stands for both ends of the range.
void storeBoth(unsigned short* from, unsigned short* to, unsigned short n) {
    if (from) *from = n;
    if (to) *to = n;
}

}  // namespace

// The flag is popped only for a caller who asks for it, so that this reader
// also takes the answer of a key programmed without it.
TARVIK_STATUS hand::TRVG_v2_HotkeyReadGetQuickSale(const TARVIK_HANDLE phRequest, unsigned short* PLU, char* ilosc,
                                                   unsigned char* platnosc, unsigned char* czy_wazony) {
    Answer a(phRequest, cmd::HotkeyRead);
    a.word(PLU).numeric(ilosc).byte(platnosc);
    if (czy_wazony) a.byte(czy_wazony);
    return a.finish();
}

// After the report and its range, rekordy says which record selectors follow:
// one record number (1, 7), a range of two (2), or a VAT rate or group number
// as a Byte (4, 5). Other kinds carry none and leave the outputs untouched.
TARVIK_STATUS hand::TRVG_HotkeyReadGetReport(const TARVIK_HANDLE phRequest, unsigned short* raport,
                                             unsigned char* zakres, unsigned char* rekordy,
                                             unsigned short* rekord_od, unsigned short* rekord_do) {
    Answer a(phRequest, cmd::HotkeyRead);
    unsigned char kind = 0;
    a.word(raport).byte(zakres);
    if (!a.pop(kind)) return a.status();
    if (rekordy) *rekordy = kind;

    switch (kind) {
    case 1:
    case 7: {
        unsigned short n = 0;
        if (a.pop(n)) storeBoth(rekord_od, rekord_do, n);
        break;
    }
    case 2:
        a.word(rekord_od).word(rekord_do);
        break;
    case 4:
    case 5: {
        unsigned char n = 0;
        if (a.pop(n)) storeBoth(rekord_od, rekord_do, n);
        break;
    }
    default:
        break;
    }
    return a.finish();
}

}  // namespace mirtel
