// Clock, VAT rates, register number and status blocks, and the control
// commands (stop a sequence, log out, turn off, time-outs).
#include "tarvik_mirtel_helper.h"

using namespace mirtel;

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

extern "C" {

TARVIK_API TARVIK_STATUS TRVS_TimeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb) {
    return Command(hDevice, phRequest, 14, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVG_TimeGet(const TARVIK_HANDLE phRequest, char* time) {
    return Answer(phRequest, 14).time(time).finish();
}

TARVIK_API TARVIK_STATUS TRVS_DateGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb) {
    return Command(hDevice, phRequest, 15, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVG_DateGet(const TARVIK_HANDLE phRequest, char* data) {
    return Answer(phRequest, 15).date(data).finish();
}

TARVIK_API TARVIK_STATUS TRVS_DateTimeSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const char* date_time, const unsigned char tryb) {
    // The register takes the time before the date here.
    return Command(hDevice, phRequest, 16, tryb).dateTimeSec(date_time, Command::Order::TimeFirst).post();
}

TARVIK_API TARVIK_STATUS TRVS_VATGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb) {
    return Command(hDevice, phRequest, 20, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVG_VATGet(const TARVIK_HANDLE phRequest, unsigned short* stawkaA, unsigned short* stawkaB,
                                     unsigned short* stawkaC, unsigned short* stawkaD, unsigned short* stawkaE,
                                     unsigned short* stawkaF, unsigned short* stawkaG) {
    // Every rate is required: a missing output is reported by its position
    // once its value was popped, and the request stays.
    Answer a(phRequest, 20);
    unsigned short* outs[] = {stawkaA, stawkaB, stawkaC, stawkaD, stawkaE, stawkaF, stawkaG};
    for (unsigned i = 0; i < 7 && a.ok(); ++i) {
        unsigned short v;
        if (!a.pop(v)) break;
        if (!outs[i]) return argCode(2 + i);
        *outs[i] = v;
    }
    return a.finish();
}

TARVIK_API TARVIK_STATUS TRVS_VATSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* data_czas,
                                     const unsigned short stawkaA, const unsigned short stawkaB,
                                     const unsigned short stawkaC, const unsigned short stawkaD,
                                     const unsigned short stawkaE, const unsigned short stawkaF,
                                     const unsigned short stawkaG, const unsigned char tryb) {
    return Command(hDevice, phRequest, 21, tryb)
        .dateTimeSec(data_czas, Command::Order::DateFirst)
        .word(stawkaA).word(stawkaB).word(stawkaC).word(stawkaD).word(stawkaE).word(stawkaF).word(stawkaG)
        .post();
}

TARVIK_API TARVIK_STATUS TRVS_CashregParGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb) {
    return Command(hDevice, phRequest, 321, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVG_CashregParGet(const TARVIK_HANDLE phRequest, char* numer) {
    return Answer(phRequest, 321).string(numer).finish();
}

TARVIK_API TARVIK_STATUS TRVS_CashregParSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const char* numer_kasy, const unsigned char tryb) {
    return Command(hDevice, phRequest, 322, tryb).string(numer_kasy).post();
}

TARVIK_API TARVIK_STATUS TRVS_MaintenanceSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* data,
                                             const char* serwis, const unsigned char tryb) {
    return Command(hDevice, phRequest, 329, tryb).date(data).string(serwis).post();
}

TARVIK_API TARVIK_STATUS TRVS_CashregStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char tryb) {
    return Command(hDevice, phRequest, 501, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVG_CashRegStatusGet(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy, char* numer,
                                               unsigned short* zalogowany_kasjer, unsigned char* tryb_pracy,
                                               unsigned char* totalizery, unsigned char* naglowek,
                                               unsigned char* transakcja, char* data_fiskalizacji, char* zegar_kasy,
                                               char* nip, char* numer_unikatowy, char* wersja) {
    return Answer(phRequest, 501)
        .byte(typ_kasy).string(numer).word(zalogowany_kasjer)
        .byte(tryb_pracy).byte(totalizery).byte(naglowek).byte(transakcja)
        .dateTimeSec(data_fiskalizacji).dateTimeSec(zegar_kasy)
        .string(nip).string(numer_unikatowy).string(wersja)
        .finish();
}

TARVIK_API TARVIK_STATUS TRVS_DBStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char tryb) {
    return Command(hDevice, phRequest, 502, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVG_DBStatusGet(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy,
                                          unsigned char* totalizery, char* rozmiary, char* zaprogramowane) {
    return readDBStatus(phRequest, 502, 10, typ_kasy, totalizery, rozmiary, zaprogramowane);
}

TARVIK_API TARVIK_STATUS TRVS_DBStatusGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb) {
    return Command(hDevice, phRequest, 512, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVG_DBStatusGetEx(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy,
                                            unsigned char* totalizery, char* rozmiary, char* zaprogramowane) {
    return readDBStatus(phRequest, 512, 13, typ_kasy, totalizery, rozmiary, zaprogramowane);
}

TARVIK_API TARVIK_STATUS TRVS_TransStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char tryb) {
    return Command(hDevice, phRequest, 503, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVG_TransStatusGet(const TARVIK_HANDLE phRequest, unsigned char* transakcja,
                                             unsigned char* paragon, unsigned char* anulowanie,
                                             unsigned short* numer_paragonu, char* data_czas, char* obrotA,
                                             char* obrotB, char* obrotC, char* obrotD, char* obrotE, char* obrotF,
                                             char* obrotG, char* obrot_suma, char* suma) {
    return Answer(phRequest, 503)
        .byte(transakcja).byte(paragon).byte(anulowanie).word(numer_paragonu)
        .dateTimeSec(data_czas)
        .numeric(obrotA).numeric(obrotB).numeric(obrotC).numeric(obrotD).numeric(obrotE).numeric(obrotF)
        .numeric(obrotG).numeric(obrot_suma).numeric(suma)
        .finish();
}

TARVIK_API TARVIK_STATUS TRVS_WaitStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb) {
    return Command(hDevice, phRequest, 8, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVG_WaitStatusGet(const TARVIK_HANDLE phRequest, unsigned char* trwa,
                                            unsigned short* cmd_status) {
    return Answer(phRequest, 8).byte(trwa).word(cmd_status).finish();
}

TARVIK_API TARVIK_STATUS TRVS_SeqStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char typ, const unsigned char tryb) {
    return Command(hDevice, phRequest, 9, tryb).byte(typ).post();
}

TARVIK_API TARVIK_STATUS TRVG_SeqStatusGet(const TARVIK_HANDLE phRequest, unsigned short* cmd,
                                           unsigned short* cmd_status, unsigned long* token) {
    return Answer(phRequest, 9).word(cmd).word(cmd_status).dword(token).finish();
}

TARVIK_API TARVIK_STATUS TRVS_CmplxSeqStop(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char tryb) {
    return Command(hDevice, phRequest, 10, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVS_UserLogout(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char tryb) {
    return Command(hDevice, phRequest, 200, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVS_TurnOff(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb) {
    return Command(hDevice, phRequest, 201, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVS_TimeoutsGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char tryb) {
    return Command(hDevice, phRequest, 310, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVG_TimeoutsGet(const TARVIK_HANDLE phRequest, unsigned char* wylogowanie,
                                          unsigned char* wylaczenie) {
    return Answer(phRequest, 310).byte(wylogowanie).dropByte().byte(wylaczenie).finish();
}

TARVIK_API TARVIK_STATUS TRVS_TimeoutsGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb) {
    return Command(hDevice, phRequest, 346, tryb).post();
}

TARVIK_API TARVIK_STATUS TRVG_TimeoutsGetEx(const TARVIK_HANDLE phRequest, unsigned char* wylogowanie,
                                            unsigned char* wylaczenie, unsigned char* blokada,
                                            unsigned short* godzina_odblokowania) {
    return Answer(phRequest, 346)
        .byte(wylogowanie).dropByte().byte(wylaczenie).byte(blokada).word(godzina_odblokowania)
        .finish();
}

TARVIK_API TARVIK_STATUS TRVS_TimeoutsSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char wylogowanie, const unsigned char wylaczenia,
                                          const unsigned char tryb) {
    return Command(hDevice, phRequest, 311, tryb).byte(wylogowanie).filler(0).byte(wylaczenia).post();
}

TARVIK_API TARVIK_STATUS TRVS_v2_TimeoutsSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char wylogowanie, const unsigned char wylaczenia,
                                             const unsigned char blokada, const unsigned short godzina_odblokowania,
                                             const unsigned char tryb) {
    return Command(hDevice, phRequest, 311, tryb)
        .byte(wylogowanie).filler(0).byte(wylaczenia).byte(blokada).word(godzina_odblokowania)
        .post();
}

TARVIK_API TARVIK_STATUS TRVS_ChangeRepCntClr(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned short numer_kasjera, const unsigned char tryb) {
    return Command(hDevice, phRequest, 504, tryb).word(numer_kasjera).post();
}

}  // extern "C"
