// The irregular commands of the clock, VAT, status and control family; the
// regular ones are entries of tarvik_mirtel_config.cmds.
#include "mirtel_hand.h"
#include "tarvik_mirtel_helper.h"

namespace mirtel {

namespace {

// Database status: after the register type and totalizer state, one
// (size, programmed count) pair of Words per table; each column becomes one
// joined text.
TARVIK_STATUS readDBStatus(TARVIK_HANDLE phRequest, TARVIK_CMD cmd, int pairs, unsigned char* typ_kasy,
                           unsigned char* totalizery, char* rozmiary, char* zaprogramowane) {
    Answer a(phRequest, cmd);
    a.byte(typ_kasy).byte(totalizery);
    std::vector<std::string> sizes, counts;
    for (int i = 0; i < pairs && a.ok(); ++i) {
        unsigned short size, count;
        if (a.pop(size) && a.pop(count)) {
            sizes.push_back(std::to_string(size));
            counts.push_back(std::to_string(count));
        }
    }
    return a.text(rozmiary, join(sizes)).text(zaprogramowane, join(counts)).finish();
}

}  // namespace

TARVIK_STATUS hand::TRVG_DBStatusGet(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy, unsigned char* totalizery,
                                     char* rozmiary, char* zaprogramowane) {
    return readDBStatus(phRequest, 502, 10, typ_kasy, totalizery, rozmiary, zaprogramowane);
}

TARVIK_STATUS hand::TRVG_DBStatusGetEx(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy,
                                       unsigned char* totalizery, char* rozmiary, char* zaprogramowane) {
    return readDBStatus(phRequest, 512, 13, typ_kasy, totalizery, rozmiary, zaprogramowane);
}

}  // namespace mirtel
