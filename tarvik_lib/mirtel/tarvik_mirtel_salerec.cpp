// The irregular readers of the sale journal: records whose last value is
// there only in some records, recognised by the answer's value count. The
// regular readers are entries of tarvik_mirtel_salerec.cmds.
//
// A journal record is one answer of command 451, read as a header
// (TRVG_SaleRecGetType, which keeps the request) and then a body reader
// chosen by the record type, which continues on the same request. The
// record types and their readers are the register's protocol; we hold no
// table of them.
#include "mirtel_hand.h"
#include "mirtel_ids.h"
#include "tarvik_mirtel_helper.h"

namespace mirtel {

namespace cmd = trv::cmd;

namespace {

// Answer value counts include the three header values.
constexpr uint32_t kPLUSetWithAddon = 9;
constexpr uint32_t kRebateWithCard = 7;

}  // namespace

TARVIK_STATUS hand::TRVG_v2_SaleRecGetPLUSet(const TARVIK_HANDLE phRequest, unsigned char* vat, unsigned short* PLU,
                                             char* kod_kreskowy, char* nazwa_lub_cena, char* ilosc, char* wartosc,
                                             char* addon) {
    Answer a(phRequest, cmd::SaleRecGet);
    a.byte(vat).word(PLU).string(kod_kreskowy).string(nazwa_lub_cena).numeric(ilosc).numeric(wartosc);
    if (a.ok() && a.count() > kPLUSetWithAddon)
        a.string(addon);
    else
        a.text(addon, std::string(), maxima::TRVG_v2_SaleRecGetPLUSet::addon);
    return a.finish();
}

TARVIK_STATUS hand::TRVG_SaleRecGetRebate(const TARVIK_HANDLE phRequest, char* nazwa, unsigned char* typ,
                                          unsigned short* numer, char* kwota, char* karta) {
    Answer a(phRequest, cmd::SaleRecGet);
    a.string(nazwa).byte(typ).word(numer).numeric(kwota);
    // Without a card the caller's karta stays as it was.
    if (a.ok() && a.count() > kRebateWithCard) a.string(karta);
    return a.finish();
}

}  // namespace mirtel
