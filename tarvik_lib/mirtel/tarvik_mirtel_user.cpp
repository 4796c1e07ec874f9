// The irregular commands of the user (cashier) family: the statistics
// answers, whose lists are announced by counts that come before all of them.
// The regular ones are entries of tarvik_mirtel_user.cmds.
#include "mirtel_hand.h"
#include "mirtel_ids.h"
#include "tarvik_mirtel_helper.h"

namespace mirtel {

namespace cmd = trv::cmd;

namespace {

// Where the values of a statistics answer go. Any pointer may be null.
struct UserStats {
    unsigned short* numer_rekordu;
    char *rabaty_z_reki, *narzuty_z_reki, *logowanie, *ostatnie_wylogowanie, *czas_pracy;
    unsigned long* ilosc_otwarc;  // 2561, 2562
    char *wart_opakowan_sprzedanych, *wart_opakowan_zwroconych, *wplaty, *wyplaty, *sprzedaz;
    unsigned long *paragony, *paragony_anul;
    char* wart_parag_anul;
    unsigned long* storna;
    char* wart_storn;
    unsigned long* autoryzacje;  // 2561, 2562
    char* wart_autoryzacji;      // 2561, 2562
    char *numery_form_platnosci, *kwoty_form_platnosci, *numery_rabatow, *kwoty_rabatow;
    char *numery_platn, *kwoty_platn;  // 2562
};

// One set of list maxima for the whole family.
template <class A, class B>
constexpr bool sameLists() {
    return A::numery_form_platnosci == B::numery_form_platnosci &&
           A::kwoty_form_platnosci == B::kwoty_form_platnosci && A::numery_rabatow == B::numery_rabatow &&
           A::kwoty_rabatow == B::kwoty_rabatow;
}
static_assert(sameLists<maxima::TRVG_UserStatRead, maxima::TRVG_UserStatReadExEx>() &&
              sameLists<maxima::TRVG_XEL_UserStatReadEx, maxima::TRVG_UserStatReadExEx>() &&
              sameLists<maxima::TRVG_UserStatReadEx, maxima::TRVG_UserStatReadExEx>());

// 2560 is the short layout; 2561 adds the openings and the authorisations,
// 2562 also a third list (payments) after the discounts.
TARVIK_STATUS readStats(TARVIK_HANDLE phRequest, TARVIK_CMD cmd, const UserStats& o) {
    const bool extended = cmd != 2560;
    Answer a(phRequest, cmd);
    a.word(o.numer_rekordu).numeric(o.rabaty_z_reki).numeric(o.narzuty_z_reki);
    a.time2000(o.logowanie).time2000(o.ostatnie_wylogowanie).interval(o.czas_pracy);
    if (extended) a.dword(o.ilosc_otwarc);
    a.numeric(o.wart_opakowan_sprzedanych).numeric(o.wart_opakowan_zwroconych).numeric(o.wplaty).numeric(o.wyplaty);
    a.numeric(o.sprzedaz).dword(o.paragony).dword(o.paragony_anul).numeric(o.wart_parag_anul);
    a.dword(o.storna).numeric(o.wart_storn);
    if (extended) a.dword(o.autoryzacje).numeric(o.wart_autoryzacji);
    // Both counts come before both lists.
    unsigned char forms = 0, discounts = 0;
    // Every reader of the family states the same maxima for its lists.
    using Max = maxima::TRVG_UserStatReadExEx;
    if (a.pop(forms) && a.pop(discounts)) {
        a.pairs(forms, Wire::Word, o.numery_form_platnosci, Max::numery_form_platnosci, Wire::Numeric,
                o.kwoty_form_platnosci, Max::kwoty_form_platnosci);
        a.pairs(discounts, Wire::Word, o.numery_rabatow, Max::numery_rabatow, Wire::Numeric, o.kwoty_rabatow,
                Max::kwoty_rabatow);
    }
    unsigned char payments = 0;
    if (cmd == cmd::UserStatReadExEx && a.pop(payments))
        a.pairs(payments, Wire::Word, o.numery_platn, Max::numery_platn, Wire::Numeric, o.kwoty_platn,
                Max::kwoty_platn);
    return a.finish();
}

}  // namespace

TARVIK_STATUS hand::TRVG_UserStatRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                      char* rabaty_z_reki, char* narzuty_z_reki, char* pierwsze_logowanie,
                                      char* ostatnie_wylogowanie, char* czas_pracy, char* wart_opakowan_sprzedanych,
                                      char* wart_opakowan_zwroconych, char* wplaty, char* wyplaty, char* sprzedaz,
                                      unsigned long* paragony, unsigned long* paragony_anul, char* wart_parag_anul,
                                      unsigned long* storna, char* wart_storn, char* numery_form_platnosci,
                                      char* kwoty_form_platnosci, char* numery_rabatow, char* kwoty_rabatow) {
    return readStats(phRequest, cmd::UserStatRead,
                     {numer_rekordu, rabaty_z_reki, narzuty_z_reki, pierwsze_logowanie, ostatnie_wylogowanie,
                      czas_pracy, nullptr, wart_opakowan_sprzedanych, wart_opakowan_zwroconych, wplaty, wyplaty,
                      sprzedaz, paragony, paragony_anul, wart_parag_anul, storna, wart_storn, nullptr, nullptr,
                      numery_form_platnosci, kwoty_form_platnosci, numery_rabatow, kwoty_rabatow, nullptr, nullptr});
}

TARVIK_STATUS hand::TRVG_XEL_UserStatReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                            char* rabaty_z_reki, char* narzuty_z_reki, char* ostatnie_logowanie,
                                            char* ostatnie_wylogowanie, char* czas_pracy, unsigned long* ilosc_otwarc,
                                            char* wart_opakowan_sprzedanych, char* wart_opakowan_zwroconych,
                                            char* wplaty, char* wyplaty, char* sprzedaz, unsigned long* paragony,
                                            unsigned long* paragony_anul, char* wart_parag_anul,
                                            unsigned long* storna, char* wart_storn, unsigned long* autoryzacje,
                                            char* wart_autoryzacji, char* numery_form_platnosci,
                                            char* kwoty_form_platnosci, char* numery_rabatow, char* kwoty_rabatow) {
    return readStats(phRequest, cmd::XEL_UserStatReadEx,
                     {numer_rekordu, rabaty_z_reki, narzuty_z_reki, ostatnie_logowanie, ostatnie_wylogowanie,
                      czas_pracy, ilosc_otwarc, wart_opakowan_sprzedanych, wart_opakowan_zwroconych, wplaty, wyplaty,
                      sprzedaz, paragony, paragony_anul, wart_parag_anul, storna, wart_storn, autoryzacje,
                      wart_autoryzacji, numery_form_platnosci, kwoty_form_platnosci, numery_rabatow, kwoty_rabatow,
                      nullptr, nullptr});
}

TARVIK_STATUS hand::TRVG_UserStatReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                        char* rabaty_z_reki, char* narzuty_z_reki, char* pierwsze_logowanie,
                                        char* ostatnie_wylogowanie, char* czas_pracy, unsigned long* ilosc_otwarc,
                                        char* wart_opakowan_sprzedanych, char* wart_opakowan_zwroconych,
                                        char* wplaty, char* wyplaty, char* sprzedaz, unsigned long* paragony,
                                        unsigned long* paragony_anul, char* wart_parag_anul, unsigned long* storna,
                                        char* wart_storn, unsigned long* autoryzacje, char* wart_autoryzacji,
                                        char* numery_form_platnosci, char* kwoty_form_platnosci,
                                        char* numery_rabatow, char* kwoty_rabatow) {
    return hand::TRVG_XEL_UserStatReadEx(phRequest, numer_rekordu, rabaty_z_reki, narzuty_z_reki, pierwsze_logowanie,
                                         ostatnie_wylogowanie, czas_pracy, ilosc_otwarc, wart_opakowan_sprzedanych,
                                         wart_opakowan_zwroconych, wplaty, wyplaty, sprzedaz, paragony,
                                         paragony_anul, wart_parag_anul, storna, wart_storn, autoryzacje,
                                         wart_autoryzacji, numery_form_platnosci, kwoty_form_platnosci,
                                         numery_rabatow, kwoty_rabatow);
}

TARVIK_STATUS hand::TRVG_UserStatReadExEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                          char* rabaty_z_reki, char* narzuty_z_reki, char* pierwsze_logowanie,
                                          char* ostatnie_wylogowanie, char* czas_pracy, unsigned long* ilosc_otwarc,
                                          char* wart_opakowan_sprzedanych, char* wart_opakowan_zwroconych,
                                          char* wplaty, char* wyplaty, char* sprzedaz, unsigned long* paragony,
                                          unsigned long* paragony_anul, char* wart_parag_anul, unsigned long* storna,
                                          char* wart_storn, unsigned long* autoryzacje, char* wart_autoryzacji,
                                          char* numery_form_platnosci, char* kwoty_form_platnosci,
                                          char* numery_rabatow, char* kwoty_rabatow, char* numery_platn,
                                          char* kwoty_platn) {
    return readStats(phRequest, cmd::UserStatReadExEx,
                     {numer_rekordu, rabaty_z_reki, narzuty_z_reki, pierwsze_logowanie, ostatnie_wylogowanie,
                      czas_pracy, ilosc_otwarc, wart_opakowan_sprzedanych, wart_opakowan_zwroconych, wplaty, wyplaty,
                      sprzedaz, paragony, paragony_anul, wart_parag_anul, storna, wart_storn, autoryzacje,
                      wart_autoryzacji, numery_form_platnosci, kwoty_form_platnosci, numery_rabatow, kwoty_rabatow,
                      numery_platn, kwoty_platn});
}

}  // namespace mirtel
