// The irregular commands of the discount family: the programmed discount's
// threshold pairs, split from two texts, and the discount answer whose
// layout follows the record's kind. The regular ones are entries of
// tarvik_mirtel_discnt.cmds.
#include "mirtel_hand.h"
#include "mirtel_ids.h"
#include "tarvik_mirtel_helper.h"

namespace mirtel {

namespace cmd = trv::cmd;

namespace {

// The register always takes this many (value, threshold) pairs.
constexpr size_t kThresholds = 6;

enum DiscountKind : unsigned char { kStandard = 0, kProgrammed = 1, kPromotional = 2 };

}  // namespace

TARVIK_STATUS hand::TRVS_ProgDiscntIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                       const unsigned short numer_rekordu, const char* nazwa,
                                       const unsigned char czy_rabat, const unsigned char czy_procentowy,
                                       const unsigned char ilosc_progow, const char* wartosci, const char* kwoty,
                                       const unsigned char czy_z_narzutami, const unsigned char czy_z_rabatami,
                                       const unsigned char czy_nadpisac, const unsigned char czy_nadpisac_niezerowe,
                                       const unsigned char tryb) {
    Command c(hDevice, phRequest, cmd::ProgDiscntIns, tryb);
    c.word(numer_rekordu).string(nazwa).byte(czy_rabat).byte(czy_procentowy).byte(ilosc_progow);
    const TARVIK_STATUS valuesCode = argCode(8), amountsCode = argCode(9);
    if (!wartosci) return c.fail(valuesCode).post();
    if (!kwoty) return c.fail(amountsCode).post();
    // An empty text is a list without entries.
    const auto values = explode('\n', wartosci).value_or(std::vector<std::string>{});
    const auto amounts = explode('\n', kwoty).value_or(std::vector<std::string>{});
    if (values.size() != amounts.size() || values.size() > kThresholds) return c.fail(valuesCode).post();
    for (size_t i = 0; i < kThresholds; ++i) {
        c.withCode(valuesCode).numeric(i < values.size() ? values[i].c_str() : "0");
        c.withCode(amountsCode).numeric(i < amounts.size() ? amounts[i].c_str() : "0");
    }
    // The pairs took the positions of two arguments twelve times over.
    return c.withCode(argCode(10)).byte(czy_z_narzutami).withCode(argCode(11)).byte(czy_z_rabatami)
        .withCode(argCode(12)).byte(czy_nadpisac).withCode(argCode(13)).byte(czy_nadpisac_niezerowe)
        .post();
}

TARVIK_STATUS hand::TRVG_DiscntRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                    unsigned char* czy_z_narzutami, unsigned char* czy_z_rabatami,
                                    unsigned char* rodzaj, unsigned char* typ, char* wartosci, char* progi,
                                    unsigned char* wart_M, unsigned char* wart_N) {
    Answer a(phRequest, cmd::DiscntRead);
    a.word(numer_rekordu).string(nazwa).byte(czy_z_narzutami).byte(czy_z_rabatami);
    unsigned char kind = 0;
    if (!a.pop(kind)) return a.status();
    if (rodzaj) *rodzaj = kind;
    unsigned char count = 0;
    switch (kind) {
    case kStandard: a.byte(typ).numeric(wartosci); break;  // one value: within the list's maximum
    case kProgrammed:
        if (a.byte(typ).pop(count))
            a.pairs(count, Wire::Numeric, wartosci, maxima::TRVG_DiscntRead::wartosci, Wire::Numeric, progi,
                    maxima::TRVG_DiscntRead::progi);
        break;
    case kPromotional: a.byte(wart_M).byte(wart_N); break;
    default: break;  // a kind we do not know carries nothing more
    }
    return a.finish();
}

}  // namespace mirtel
