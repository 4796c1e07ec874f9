// The sale journal: one record per request of command 451, read as a header
// (TRVG_SaleRecGetType, which keeps the request) and then a body reader
// chosen by the record type, which continues on the same request. The
// record types and their readers are the register's protocol; we hold no
// table of them.
#include "tarvik_mirtel_helper.h"

using namespace mirtel;

namespace {

constexpr TARVIK_CMD kSaleRecord = 451;

// Answer value counts include the three header values.
constexpr uint32_t kPLUSetWithAddon = 9;
constexpr uint32_t kRebateWithCard = 7;

}  // namespace

namespace mirtel {

// The cancelled-receipt body; version non-zero adds the voided lines.
TARVIK_STATUS _TRVG_SaleRecGetCancelled(TARVIK_HANDLE phRequest, char* data, char* kasa, char* kasjer,
                                        unsigned short* numer_kasjera, unsigned short* autoryzujacy, char* wartosc,
                                        char* do_zaplaty, unsigned long* storna, char* wart_storn,
                                        unsigned char version) {
    Answer a(phRequest, kSaleRecord);
    a.dateTimeMin(data).string(kasa).string(kasjer).word(numer_kasjera).word(autoryzujacy)
        .numeric(wartosc).numeric(do_zaplaty);
    if (version) a.dword(storna).numeric(wart_storn);
    return a.finish();
}

}  // namespace mirtel

namespace {

Answer& finishedBody(Answer& a, unsigned long* numer, char* data, char* kasa, char* kasjer,
                     unsigned short* numer_kasjera, char* wartosc, char* do_zaplaty) {
    return a.dword(numer).dateTimeMin(data).string(kasa).string(kasjer).word(numer_kasjera)
        .numeric(wartosc).numeric(do_zaplaty);
}

TARVIK_STATUS finishedWithNonFiscal(TARVIK_HANDLE phRequest, unsigned long* numer, char* data, char* kasa,
                                    char* kasjer, unsigned short* numer_kasjera, char* wartosc, char* do_zaplaty,
                                    unsigned long* numer_niefiskalny) {
    Answer a(phRequest, kSaleRecord);
    return finishedBody(a, numer, data, kasa, kasjer, numer_kasjera, wartosc, do_zaplaty)
        .dword(numer_niefiskalny)
        .finish();
}

Answer& plusetBody(Answer& a, unsigned char* vat, unsigned short* PLU, char* kod_kreskowy, char* nazwa, char* ilosc,
                   char* wartosc) {
    return a.byte(vat).word(PLU).string(kod_kreskowy).string(nazwa).numeric(ilosc).numeric(wartosc);
}

Answer& payformBody(Answer& a, unsigned short* numer, char* nazwa, unsigned char* typ, char* kwota) {
    return a.word(numer).string(nazwa).byte(typ).numeric(kwota);
}

Answer& currencyBody(Answer& a, unsigned short* numer, char* nazwa, char* wartoscPLN, char* wartosc, char* kurs) {
    return a.word(numer).string(nazwa).numeric(wartoscPLN).numeric(wartosc).numeric(kurs);
}

// Description, register, cashier name and number closing the Ex records.
Answer& originTail(Answer& a, char* opis, char* kasa, char* kasjer, unsigned short* numer_kasjera) {
    return a.string(opis).string(kasa).string(kasjer).word(numer_kasjera);
}

TARVIK_STATUS authorizeBody(TARVIK_HANDLE phRequest, unsigned long* numer_kasjera, char* nazwa, char* kwota) {
    return Answer(phRequest, kSaleRecord).dword(numer_kasjera).string(nazwa).numeric(kwota).finish();
}

TARVIK_STATUS pluPackBody(TARVIK_HANDLE phRequest, unsigned short* plu_pack, char* kryterium, char* ilosc,
                          char* opis) {
    return Answer(phRequest, kSaleRecord).word(plu_pack).string(kryterium).numeric(ilosc).string(opis).finish();
}

}  // namespace

extern "C" {

TARVIK_API TARVIK_STATUS TRVS_SaleRecGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char sposob, const unsigned char tryb) {
    return Command(hDevice, phRequest, kSaleRecord, tryb).byte(sposob).post();
}

TARVIK_API TARVIK_STATUS TRVS_SaleSizeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char tryb) {
    return Command(hDevice, phRequest, 452, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVG_SaleSizeGet(const TARVIK_HANDLE phRequest, unsigned char* limit) {
    // The one journal reader whose output is required.
    Answer a(phRequest, 452);
    unsigned char v;
    if (a.pop(v)) {
        if (!limit) return argCode(2);
        *limit = v;
    }
    return a.finish();
}

TARVIK_API TARVIK_STATUS TRVS_SaleRecDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb) {
    return Command(hDevice, phRequest, 453, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetType(const TARVIK_HANDLE phRequest, unsigned char* pelny,
                                             unsigned short* nastepny, unsigned short* typ) {
    return Answer(phRequest, kSaleRecord).byte(pelny).word(nastepny).word(typ).keep();
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetFiscal(const TARVIK_HANDLE phRequest, char* data, unsigned short* numer,
                                               unsigned short* paragonow, unsigned short* anulowanych,
                                               char* totalizeryAG, char* wart_anulowanych, unsigned long* zmianPLU) {
    Answer a(phRequest, kSaleRecord);
    a.date(data).word(numer).word(paragonow).word(anulowanych);
    std::vector<std::string> totals;  // A to G
    for (int i = 0; i < 7 && a.ok(); ++i) {
        std::string v;
        if (a.pop(TextKind::Numeric, v)) totals.push_back(std::move(v));
    }
    return a.text(totalizeryAG, join(totals)).numeric(wart_anulowanych).dword(zmianPLU).finish();
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetFinished(const TARVIK_HANDLE phRequest, unsigned long* numer, char* data,
                                                 char* kasa, char* kasjer, unsigned short* numer_kasjera,
                                                 char* wartosc, char* do_zaplaty) {
    Answer a(phRequest, kSaleRecord);
    return finishedBody(a, numer, data, kasa, kasjer, numer_kasjera, wartosc, do_zaplaty).finish();
}

TARVIK_API TARVIK_STATUS TRVG_XEL_SaleRecGetFinished(const TARVIK_HANDLE phRequest, unsigned long* numer, char* data,
                                                     char* kasa, char* kasjer, unsigned short* numer_kasjera,
                                                     char* wartosc, char* do_zaplaty,
                                                     unsigned long* numer_niefiskalny) {
    return finishedWithNonFiscal(phRequest, numer, data, kasa, kasjer, numer_kasjera, wartosc, do_zaplaty,
                                 numer_niefiskalny);
}

TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetFinished(const TARVIK_HANDLE phRequest, unsigned long* numer, char* data,
                                                    char* kasa, char* kasjer, unsigned short* numer_kasjera,
                                                    char* wartosc, char* do_zaplaty,
                                                    unsigned long* numer_niefiskalny) {
    return finishedWithNonFiscal(phRequest, numer, data, kasa, kasjer, numer_kasjera, wartosc, do_zaplaty,
                                 numer_niefiskalny);
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCancelled(const TARVIK_HANDLE phRequest, char* data, char* kasa,
                                                  char* kasjer, unsigned short* numer_kasjera,
                                                  unsigned short* autoryzujacy, char* wartosc, char* do_zaplaty) {
    return _TRVG_SaleRecGetCancelled(phRequest, data, kasa, kasjer, numer_kasjera, autoryzujacy, wartosc, do_zaplaty,
                                     nullptr, nullptr, 0);
}

TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetCancelled(const TARVIK_HANDLE phRequest, char* data, char* kasa,
                                                     char* kasjer, unsigned short* numer_kasjera,
                                                     unsigned short* autoryzujacy, char* wartosc,
                                                     char* do_zaplaty, unsigned long* storna, char* wart_storn) {
    return _TRVG_SaleRecGetCancelled(phRequest, data, kasa, kasjer, numer_kasjera, autoryzujacy, wartosc, do_zaplaty,
                                     storna, wart_storn, 1);
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPLUSet(const TARVIK_HANDLE phRequest, unsigned char* vat,
                                               unsigned short* PLU, char* kod_kreskowy, char* nazwa, char* ilosc,
                                               char* wartosc) {
    Answer a(phRequest, kSaleRecord);
    return plusetBody(a, vat, PLU, kod_kreskowy, nazwa, ilosc, wartosc).finish();
}

TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetPLUSet(const TARVIK_HANDLE phRequest, unsigned char* vat,
                                                  unsigned short* PLU, char* kod_kreskowy, char* nazwa_lub_cena,
                                                  char* ilosc, char* wartosc, char* addon) {
    Answer a(phRequest, kSaleRecord);
    plusetBody(a, vat, PLU, kod_kreskowy, nazwa_lub_cena, ilosc, wartosc);
    if (a.ok() && a.count() > kPLUSetWithAddon)
        a.string(addon);
    else
        a.text(addon, std::string());
    return a.finish();
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPack(const TARVIK_HANDLE phRequest, unsigned short* numer,
                                             char* kod_kreskowy, char* ilosc, char* wartosc) {
    return Answer(phRequest, kSaleRecord).word(numer).string(kod_kreskowy).numeric(ilosc).numeric(wartosc).finish();
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPayform(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                                unsigned char* typ, char* kwota) {
    Answer a(phRequest, kSaleRecord);
    return payformBody(a, numer, nazwa, typ, kwota).finish();
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPayformEx(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                                  unsigned char* typ, char* kwota, char* opis, char* kasa,
                                                  char* kasjer, unsigned short* numer_kasjera) {
    Answer a(phRequest, kSaleRecord);
    payformBody(a, numer, nazwa, typ, kwota);
    return originTail(a, opis, kasa, kasjer, numer_kasjera).finish();
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCurrency(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                                 char* wartoscPLN, char* wartosc, char* kurs) {
    Answer a(phRequest, kSaleRecord);
    return currencyBody(a, numer, nazwa, wartoscPLN, wartosc, kurs).finish();
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCurrencyEx(const TARVIK_HANDLE phRequest, unsigned short* numer,
                                                   char* nazwa, char* wartoscPLN, char* wartosc, char* kurs,
                                                   char* opis, char* kasa, char* kasjer,
                                                   unsigned short* numer_kasjera) {
    Answer a(phRequest, kSaleRecord);
    currencyBody(a, numer, nazwa, wartoscPLN, wartosc, kurs);
    return originTail(a, opis, kasa, kasjer, numer_kasjera).finish();
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetRebate(const TARVIK_HANDLE phRequest, char* nazwa, unsigned char* typ,
                                               unsigned short* numer, char* kwota, char* karta) {
    Answer a(phRequest, kSaleRecord);
    a.string(nazwa).byte(typ).word(numer).numeric(kwota);
    // Without a card the caller's karta stays as it was.
    if (a.ok() && a.count() > kRebateWithCard) a.string(karta);
    return a.finish();
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetRebateMN(const TARVIK_HANDLE phRequest, char* nazwa, unsigned short* numer,
                                                 unsigned short* PLU, unsigned char* stawkaVAT, char* kwota) {
    return Answer(phRequest, kSaleRecord).string(nazwa).word(numer).word(PLU).byte(stawkaVAT).numeric(kwota).finish();
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCashback(const TARVIK_HANDLE phRequest, unsigned short* numer_platnosci,
                                                 char* nazwa_platnosci, unsigned char* typ_platnosci,
                                                 char* kwota_cashback) {
    return Answer(phRequest, kSaleRecord)
        .word(numer_platnosci).string(nazwa_platnosci).byte(typ_platnosci).numeric(kwota_cashback)
        .finish();
}

TARVIK_API TARVIK_STATUS TRVG_XEL_SaleRecGetAuthorize(const TARVIK_HANDLE phRequest, unsigned long* numer_kasjera,
                                                      char* nazwa, char* kwota) {
    return authorizeBody(phRequest, numer_kasjera, nazwa, kwota);
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetAuthorize(const TARVIK_HANDLE phRequest, unsigned long* numer_kasjera,
                                                  char* nazwa, char* kwota) {
    return authorizeBody(phRequest, numer_kasjera, nazwa, kwota);
}

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetOrderPluPack(const TARVIK_HANDLE phRequest, unsigned short* plu_pack,
                                                     char* kryterium, char* ilosc, char* opis) {
    return pluPackBody(phRequest, plu_pack, kryterium, ilosc, opis);
}

TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetInventoryPluPack(const TARVIK_HANDLE phRequest, unsigned short* plu_pack,
                                                            char* kryterium, char* ilosc, char* opis) {
    return pluPackBody(phRequest, plu_pack, kryterium, ilosc, opis);
}

TARVIK_API TARVIK_STATUS TRVG_XEL_SaleRecGetInventoryPluPack(const TARVIK_HANDLE phRequest,
                                                             unsigned short* plu_pack, char* kwota) {
    return Answer(phRequest, kSaleRecord).word(plu_pack).numeric(kwota).finish();
}

}  // extern "C"
