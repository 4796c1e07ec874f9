// The irregular commands of the article (PLU) family: the type-dependent
// article answers, and the set members as parallel lists. The regular ones
// are entries of tarvik_mirtel_plu.cmds.
#include "mirtel_hand.h"
#include "mirtel_ids.h"
#include "tarvik_mirtel_helper.h"

namespace mirtel {

namespace cmd = trv::cmd;

// Where the values of an article answer go. Any pointer may be null.
struct ArticleOutputs {
    unsigned short* numer_rekordu = nullptr;
    char* kod_kreskowy = nullptr;  // 2111: the barcode that was asked for
    char* nazwa = nullptr;
    char* kod_kreskowy_podstawowy = nullptr;
    char* cena = nullptr;
    char* min_stan = nullptr;
    unsigned char* typ_rekordu = nullptr;
    // The packaging number (ordinary article) and the e-service number
    // (type 2) in the forms the variants hand them out.
    unsigned char* numer_opak = nullptr;
    unsigned short* numer_opak_word = nullptr;
    unsigned short* numer_euslugi = nullptr;
    unsigned char* numer_euslugi_low = nullptr;
    unsigned char* numerMU = nullptr;
    unsigned char* stawka_PTU = nullptr;
    unsigned char* format_ilosci = nullptr;
    unsigned char* flaga_ceny = nullptr;
    unsigned char* flaga_rabatow = nullptr;
    unsigned char* numer_rabatu = nullptr;
    unsigned char* numer_grupy = nullptr;
    char* barcodes = nullptr;
    unsigned char* w_notatniku = nullptr;
};

namespace {

template <class T>
void store(T* out, T v) {
    if (out) *out = v;
}

// One maximum for the barcodes of every article reader.
static_assert(maxima::TRVG_PLURead::barcodes == maxima::TRVG_v2_PLURead::barcodes &&
              maxima::TRVG_PLURead::barcodes == maxima::TRVG_PLUReadByBarcode::barcodes &&
              maxima::TRVG_PLURead::barcodes == maxima::TRVG_PLUReadEx::barcodes &&
              maxima::TRVG_PLURead::barcodes == maxima::TRVG_v2_PLUReadEx::barcodes);

// The article answer of 2110 (read by number), 2111 (by barcode) and 2112
// (extended). The layout after the record type depends on the type, and the
// optional block of further barcodes is recognised by the answer's value
// count exceeding the fixed part.
TARVIK_STATUS readArticle(TARVIK_HANDLE phRequest, TARVIK_CMD cmd, const ArticleOutputs& o) {
    Answer a(phRequest, cmd);
    const bool byBarcode = cmd == cmd::PLUReadByBarcode;
    const bool extended = cmd == cmd::PLUReadEx;
    const uint32_t total = a.ok() ? a.count() : 0;

    if (byBarcode)
        a.string(o.kod_kreskowy);
    else
        a.word(o.numer_rekordu);
    // The minimum stock comes before the price on the wire.
    a.string(o.nazwa).string(o.kod_kreskowy_podstawowy).numeric(o.min_stan);
    unsigned char type = 0;
    if (!a.pop(type)) return a.status();
    store(o.typ_rekordu, type);

    uint32_t fixed = 0;  // values of the fixed part, for the barcode block test
    if (type == 0) {
        unsigned char opak = 0;
        a.byte(o.stawka_PTU).numeric(o.cena);
        if (a.pop(opak)) {
            store(o.numer_opak, opak);
            store(o.numer_opak_word, static_cast<unsigned short>(opak));
        }
        a.byte(o.numerMU).byte(o.format_ilosci).byte(o.flaga_ceny);
        fixed = 14;
    } else if (type == 2 && !byBarcode) {
        unsigned short eusluga = 0;
        a.byte(o.stawka_PTU).byte(o.numerMU);
        if (a.pop(eusluga)) {
            store(o.numer_euslugi, eusluga);
            store(o.numer_euslugi_low, static_cast<unsigned char>(eusluga & 0xFF));
        }
        a.text(o.cena, std::string(), kNumericMax);
        fixed = 11;
    } else {
        a.text(o.cena, std::string(), kNumericMax);
        // By barcode every other type has the short layout; by number only
        // a set is known to carry barcodes after it.
        fixed = byBarcode || type == 1 ? 8 : 0;
    }
    a.byte(o.numer_rabatu).byte(o.numer_grupy).byte(o.flaga_rabatow);
    if (extended && fixed) ++fixed;  // w_notatniku follows the barcodes

    std::vector<std::string> codes;
    if (fixed && total > fixed) {
        unsigned short n = 0;
        a.pop(n);
        for (unsigned i = 0; i < n && a.ok(); ++i) {
            std::string code;
            if (a.pop(TextKind::String, code)) codes.push_back(std::move(code));
        }
    }
    // Every article reader states this maximum for its barcodes.
    a.text(o.barcodes, join(codes), maxima::TRVG_PLURead::barcodes);
    if (extended) a.byte(o.w_notatniku);
    return a.finish();
}

// Set members (2210) and their statistics (2260): triplets of Word number,
// Numeric quantity, Numeric price or value after the set number.
struct Members {
    std::string numbers, quantities, amounts;
};

bool readMembers(Answer& a, unsigned short* set, Members& m) {
    const uint32_t total = a.ok() ? a.count() : 0;
    a.word(set);
    std::vector<std::string> numbers, quantities, amounts;
    for (uint32_t i = 0; a.ok() && total > 0 && i < (total - 1) / 3; ++i) {
        unsigned short number;
        std::string quantity, amount;
        if (a.pop(number) && a.pop(TextKind::Numeric, quantity) && a.pop(TextKind::Numeric, amount)) {
            numbers.push_back(std::to_string(number));
            quantities.push_back(std::move(quantity));
            amounts.push_back(std::move(amount));
        }
    }
    m = {join(numbers), join(quantities), join(amounts)};
    return a.ok();
}

ArticleOutputs extendedOutputs(unsigned short* numer_rekordu, char* nazwa, char* kod_kreskowy_podstawowy, char* cena,
                               char* min_stan, unsigned char* typ_rekordu, unsigned char* numerMU,
                               unsigned char* stawka_PTU, unsigned char* format_ilosci, unsigned char* flaga_ceny,
                               unsigned char* flaga_rabatow, unsigned char* numer_rabatu, unsigned char* numer_grupy,
                               char* barcodes, unsigned char* w_notatniku) {
    ArticleOutputs o;
    o.numer_rekordu = numer_rekordu;
    o.nazwa = nazwa;
    o.kod_kreskowy_podstawowy = kod_kreskowy_podstawowy;
    o.cena = cena;
    o.min_stan = min_stan;
    o.typ_rekordu = typ_rekordu;
    o.numerMU = numerMU;
    o.stawka_PTU = stawka_PTU;
    o.format_ilosci = format_ilosci;
    o.flaga_ceny = flaga_ceny;
    o.flaga_rabatow = flaga_rabatow;
    o.numer_rabatu = numer_rabatu;
    o.numer_grupy = numer_grupy;
    o.barcodes = barcodes;
    o.w_notatniku = w_notatniku;
    return o;
}

}  // namespace

TARVIK_STATUS hand::TRVG_PLURead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                 char* kod_kreskowy_podstawowy, char* cena, char* min_stan, unsigned char* typ_rekordu,
                                 unsigned char* numer_opak, unsigned char* numerMU, unsigned char* stawka_PTU,
                                 unsigned char* format_ilosci, unsigned char* flaga_ceny, unsigned char* flaga_rabatow,
                                 unsigned char* numer_rabatu, unsigned char* numer_grupy, char* barcodes) {
    ArticleOutputs o = extendedOutputs(numer_rekordu, nazwa, kod_kreskowy_podstawowy, cena, min_stan, typ_rekordu,
                                       numerMU, stawka_PTU, format_ilosci, flaga_ceny, flaga_rabatow, numer_rabatu,
                                       numer_grupy, barcodes, nullptr);
    o.numer_opak = numer_opak;
    return readArticle(phRequest, cmd::PLURead, o);
}

TARVIK_STATUS hand::TRVG_v2_PLURead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                    char* kod_kreskowy_podstawowy, char* cena, char* min_stan,
                                    unsigned char* typ_rekordu, unsigned short* numer_opak_lub_euslugi,
                                    unsigned char* numerMU, unsigned char* stawka_PTU, unsigned char* format_ilosci,
                                    unsigned char* flaga_ceny, unsigned char* flaga_rabatow,
                                    unsigned char* numer_rabatu, unsigned char* numer_grupy, char* barcodes) {
    // One output for both numbers: only the one the record type carries is
    // popped, so a set leaves it as it was.
    ArticleOutputs o = extendedOutputs(numer_rekordu, nazwa, kod_kreskowy_podstawowy, cena, min_stan, typ_rekordu,
                                       numerMU, stawka_PTU, format_ilosci, flaga_ceny, flaga_rabatow, numer_rabatu,
                                       numer_grupy, barcodes, nullptr);
    o.numer_opak_word = numer_opak_lub_euslugi;
    o.numer_euslugi = numer_opak_lub_euslugi;
    return readArticle(phRequest, cmd::PLURead, o);
}

TARVIK_STATUS hand::TRVG_PLUReadByBarcode(const TARVIK_HANDLE phRequest, char* kod_kreskowy, char* nazwa,
                                          char* kod_kreskowy_podstawowy, char* cena, char* min_stan,
                                          unsigned char* typ_rekordu, unsigned char* numer_opak,
                                          unsigned char* numerMU, unsigned char* stawka_PTU,
                                          unsigned char* format_ilosci, unsigned char* flaga_ceny,
                                          unsigned char* flaga_rabatow, unsigned char* numer_rabatu,
                                          unsigned char* numer_grupy, char* barcodes) {
    ArticleOutputs o = extendedOutputs(nullptr, nazwa, kod_kreskowy_podstawowy, cena, min_stan, typ_rekordu, numerMU,
                                       stawka_PTU, format_ilosci, flaga_ceny, flaga_rabatow, numer_rabatu,
                                       numer_grupy, barcodes, nullptr);
    o.kod_kreskowy = kod_kreskowy;
    o.numer_opak = numer_opak;
    return readArticle(phRequest, cmd::PLUReadByBarcode, o);
}

TARVIK_STATUS hand::TRVG_PLUReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                   char* kod_kreskowy_podstawowy, char* cena, char* min_stan,
                                   unsigned char* typ_rekordu, unsigned char* numer_opak, unsigned char* numerMU,
                                   unsigned char* stawka_PTU, unsigned char* format_ilosci, unsigned char* flaga_ceny,
                                   unsigned char* flaga_rabatow, unsigned char* numer_rabatu,
                                   unsigned char* numer_grupy, char* barcodes, unsigned char* w_notatniku) {
    // The packaging or e-service number, cut to its low byte.
    ArticleOutputs o = extendedOutputs(numer_rekordu, nazwa, kod_kreskowy_podstawowy, cena, min_stan, typ_rekordu,
                                       numerMU, stawka_PTU, format_ilosci, flaga_ceny, flaga_rabatow, numer_rabatu,
                                       numer_grupy, barcodes, w_notatniku);
    o.numer_opak = numer_opak;
    o.numer_euslugi_low = numer_opak;
    return readArticle(phRequest, cmd::PLUReadEx, o);
}

TARVIK_STATUS hand::TRVG_v2_PLUReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                      char* kod_kreskowy_podstawowy, char* cena, char* min_stan,
                                      unsigned char* typ_rekordu, unsigned short* numer_opak_lub_euslugi,
                                      unsigned char* numerMU, unsigned char* stawka_PTU, unsigned char* format_ilosci,
                                      unsigned char* flaga_ceny, unsigned char* flaga_rabatow,
                                      unsigned char* numer_rabatu, unsigned char* numer_grupy, char* barcodes,
                                      unsigned char* w_notatniku) {
    ArticleOutputs o = extendedOutputs(numer_rekordu, nazwa, kod_kreskowy_podstawowy, cena, min_stan, typ_rekordu,
                                       numerMU, stawka_PTU, format_ilosci, flaga_ceny, flaga_rabatow, numer_rabatu,
                                       numer_grupy, barcodes, w_notatniku);
    o.numer_opak_word = numer_opak_lub_euslugi;
    o.numer_euslugi = numer_opak_lub_euslugi;
    return readArticle(phRequest, cmd::PLUReadEx, o);
}

// The set header of 2200, then one (number, quantity, price) triplet per
// member from three parallel line-feed separated lists.
TARVIK_STATUS hand::TRVS_SetIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                const unsigned short numer_rekordu, const char* nazwa, const char* barcode,
                                const char* ilosc_min, const unsigned char numer_rabatu,
                                const unsigned char numer_grupy, const unsigned char czy_zabronione,
                                const unsigned char czy_dodac, const unsigned char czy_nadpisac,
                                const unsigned char czy_nadpisac_niezerowe, const char* numery, const char* ilosci,
                                const char* ceny, const unsigned char tryb) {
    Command c(hDevice, phRequest, cmd::SetIns, tryb);
    c.word(numer_rekordu).string(nazwa).string(barcode).numeric(ilosc_min)
        .byte(numer_rabatu).byte(numer_grupy).byte(czy_zabronione).byte(czy_dodac)
        .byte(czy_nadpisac).byte(czy_nadpisac_niezerowe);
    const TARVIK_STATUS numbersCode = argCode(13), quantitiesCode = argCode(14), pricesCode = argCode(15);
    if (!ilosci) c.fail(quantitiesCode);
    if (!numery) c.fail(numbersCode);
    if (!ceny) c.fail(pricesCode);
    if (!c.ok()) return c.post();

    // An empty text is a list without entries.
    const auto numbers = explode('\n', numery).value_or(std::vector<std::string>{});
    const auto quantities = explode('\n', ilosci).value_or(std::vector<std::string>{});
    const auto prices = explode('\n', ceny).value_or(std::vector<std::string>{});
    if (numbers.size() != quantities.size() || numbers.size() != prices.size()) return c.fail(numbersCode).post();

    for (size_t i = 0; i < numbers.size() && c.ok(); ++i) {
        c.withCode(numbersCode).word(static_cast<unsigned short>(stringtoi(numbers[i])));
        c.withCode(quantitiesCode).numeric(quantities[i].c_str());
        c.withCode(pricesCode).numeric(prices[i].c_str());
    }
    return c.post();
}

TARVIK_STATUS hand::TRVG_SetRead(const TARVIK_HANDLE phRequest, unsigned short* czytany, char* numery, char* ilosci,
                                 char* ceny) {
    Answer a(phRequest, cmd::SetRead);
    Members m;
    using Max = maxima::TRVG_SetRead;
    if (readMembers(a, czytany, m))
        a.text(ceny, m.amounts, Max::ceny).text(ilosci, m.quantities, Max::ilosci).text(numery, m.numbers, Max::numery);
    return a.finish();
}

TARVIK_STATUS hand::TRVG_PLUSetItemStatRead(const TARVIK_HANDLE phRequest, unsigned short* numer_zestawu,
                                            char* numery, char* ilosci, char* wartosci) {
    Answer a(phRequest, cmd::PLUSetItemStatRead);
    Members m;
    using Max = maxima::TRVG_PLUSetItemStatRead;
    if (readMembers(a, numer_zestawu, m))
        a.text(ilosci, m.quantities, Max::ilosci).text(numery, m.numbers, Max::numery)
            .text(wartosci, m.amounts, Max::wartosci);
    return a.finish();
}

}  // namespace mirtel
