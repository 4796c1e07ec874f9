/*
 * libmirtel: one TRVS_ (send) / TRVG_ (get) pair per register command, on
 * top of the request API of libtarvik.
 *
 * A TRVS_ function takes the view handle, an optional out pointer for the
 * request handle, the command's parameters and the post mode (tryb, last).
 * It checks the handle and the mode, creates the request, stores its handle
 * in *phRequest before anything is pushed, pushes the parameters in the
 * command's wire order and posts the request.
 *   0x10006  hDevice is null
 *   0x10009  tryb is 2, or tryb is 1 without phRequest
 *   1        no request could be created
 *   0x10100 + n  argument n (hDevice = 1, phRequest = 2, first parameter = 3)
 *           is invalid or could not be pushed; the request is kept (not
 *           posted) when phRequest was given and freed otherwise
 *   0x10101  a value the library adds itself could not be pushed
 *   else     the result of TRV_PostRequest; a refused post frees the
 *            request when the caller did not ask for its handle
 *
 * A TRVG_ function takes the answered request and one output per value. A
 * null output drops its value, unless the function says otherwise. The
 * request is destroyed only when every value was taken; on any error it
 * stays with the caller (release it with TRVG_Default).
 *   0x10006  null request; the request's status when it is not 0;
 *   0x10005  the request belongs to another command;
 *   0x10007  a text does not fit its buffer;
 *   else     the failing pop's status.
 *
 * Text results follow the string-handling mode of the request's view
 * (TARVIK_PARAM_STRINGHANDLING): with mode 0 the buffer must be large
 * enough; with any other mode the caller puts the buffer's capacity (NUL
 * included, 0..255) in its first byte before the call.
 *
 * Dates are texts: "YYYY-MM-DD", date-times "YYYY-MM-DD HH:MM:SS" (any
 * separators are accepted on input). Lists are texts with one line feed
 * between two entries. Any function may also return 1 when memory ran out.
 *
 * Each prototype below carries its command id and its wire layout, the
 * values in the order they travel: B Byte, V Word, L Long, S String,
 * N Numeric, K Currency, Q Quantity; date[B B V] a text argument or output
 * that travels as those values; 7N seven values joined into one text; (B) a
 * value that no output receives; B=0 a value the library sends itself; V!
 * a required output, which may not be null: the call then returns the
 * output's position code (0x10100 + n, phRequest = 1) and keeps the request.
 */
#ifndef TARVIK_MIRTEL_H
#define TARVIK_MIRTEL_H

#include "tarvik/tarvik.h"

#ifdef __cplusplus
extern "C" {
#endif

TARVIK_API TARVIK_STATUS TRVG_Default(const TARVIK_HANDLE hRequest);
TARVIK_API unsigned long TRV_GetHLLibraryVersion(void);

/* ---- GENERATED from tarvik_lib/mirtel/ tables by scripts/mirtelgen.py: edit the tables, not this part */

/* ---- Clock, VAT rates, register status and control ------------------------ */

/* 14 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_TimeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned char tryb);
/* 14 reads time[B B B] */
TARVIK_API TARVIK_STATUS TRVG_TimeGet(const TARVIK_HANDLE phRequest, char* time);
/* 15 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_DateGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned char tryb);
/* 15 reads date[B B V] */
TARVIK_API TARVIK_STATUS TRVG_DateGet(const TARVIK_HANDLE phRequest, char* data);
/* 16 sends timedate[B B B B B V]
 * The register takes the time before the date here.
 */
TARVIK_API TARVIK_STATUS TRVS_DateTimeSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const char* date_time, const unsigned char tryb);
/* 20 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_VATGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb);
/* 20 reads V! V! V! V! V! V! V!
 * Every output is required.
 */
TARVIK_API TARVIK_STATUS TRVG_VATGet(const TARVIK_HANDLE phRequest, unsigned short* stawkaA, unsigned short* stawkaB,
                                     unsigned short* stawkaC, unsigned short* stawkaD, unsigned short* stawkaE,
                                     unsigned short* stawkaF, unsigned short* stawkaG);
/* 21 sends datetime[B B V B B B] V V V V V V V */
TARVIK_API TARVIK_STATUS TRVS_VATSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* data_czas,
                                     const unsigned short stawkaA, const unsigned short stawkaB,
                                     const unsigned short stawkaC, const unsigned short stawkaD,
                                     const unsigned short stawkaE, const unsigned short stawkaF,
                                     const unsigned short stawkaG, const unsigned char tryb);
/* 321 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_CashregParGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
/* 321 reads S */
TARVIK_API TARVIK_STATUS TRVG_CashregParGet(const TARVIK_HANDLE phRequest, char* numer);
/* 322 sends S */
TARVIK_API TARVIK_STATUS TRVS_CashregParSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const char* numer_kasy, const unsigned char tryb);
/* 329 sends date[B B V] S */
TARVIK_API TARVIK_STATUS TRVS_MaintenanceSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* data,
                                             const char* serwis, const unsigned char tryb);
/* 501 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_CashregStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char tryb);
/* 501 reads B S V B B B B datetime[B B V B B B] datetime[B B V B B B] S S S */
TARVIK_API TARVIK_STATUS TRVG_CashRegStatusGet(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy, char* numer,
                                               unsigned short* zalogowany_kasjer, unsigned char* tryb_pracy,
                                               unsigned char* totalizery, unsigned char* naglowek,
                                               unsigned char* transakcja, char* data_fiskalizacji, char* zegar_kasy,
                                               char* nip, char* numer_unikatowy, char* wersja);
/* 502 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_DBStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char tryb);
/* 502 reads BB(VV)10
 * Table sizes and programmed counts, one line per table (ten tables).
 */
TARVIK_API TARVIK_STATUS TRVG_DBStatusGet(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy,
                                          unsigned char* totalizery, char* rozmiary, char* zaprogramowane);
/* 512 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_DBStatusGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
/* 512 reads BB(VV)13
 * As TRVG_DBStatusGet, thirteen tables.
 */
TARVIK_API TARVIK_STATUS TRVG_DBStatusGetEx(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy,
                                            unsigned char* totalizery, char* rozmiary, char* zaprogramowane);
/* 503 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_TransStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char tryb);
/* 503 reads B B B V datetime[B B V B B B] N N N N N N N N N */
TARVIK_API TARVIK_STATUS TRVG_TransStatusGet(const TARVIK_HANDLE phRequest, unsigned char* transakcja,
                                             unsigned char* paragon, unsigned char* anulowanie,
                                             unsigned short* numer_paragonu, char* data_czas, char* obrotA,
                                             char* obrotB, char* obrotC, char* obrotD, char* obrotE, char* obrotF,
                                             char* obrotG, char* obrot_suma, char* suma);
/* 8 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_WaitStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
/* 8 reads B V */
TARVIK_API TARVIK_STATUS TRVG_WaitStatusGet(const TARVIK_HANDLE phRequest, unsigned char* trwa,
                                            unsigned short* cmd_status);
/* 9 sends B */
TARVIK_API TARVIK_STATUS TRVS_SeqStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char typ, const unsigned char tryb);
/* 9 reads V V L */
TARVIK_API TARVIK_STATUS TRVG_SeqStatusGet(const TARVIK_HANDLE phRequest, unsigned short* cmd,
                                           unsigned short* cmd_status, unsigned long* token);
/* 10 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_CmplxSeqStop(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char tryb);
/* 200 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_UserLogout(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char tryb);
/* 201 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_TurnOff(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned char tryb);
/* 310 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_TimeoutsGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char tryb);
/* 310 reads B (B) B */
TARVIK_API TARVIK_STATUS TRVG_TimeoutsGet(const TARVIK_HANDLE phRequest, unsigned char* wylogowanie,
                                          unsigned char* wylaczenie);
/* 346 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_TimeoutsGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
/* 346 reads B (B) B B V */
TARVIK_API TARVIK_STATUS TRVG_TimeoutsGetEx(const TARVIK_HANDLE phRequest, unsigned char* wylogowanie,
                                            unsigned char* wylaczenie, unsigned char* blokada,
                                            unsigned short* godzina_odblokowania);
/* 311 sends B B=0 B */
TARVIK_API TARVIK_STATUS TRVS_TimeoutsSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char wylogowanie, const unsigned char wylaczenia,
                                          const unsigned char tryb);
/* 311 sends B B=0 B B V */
TARVIK_API TARVIK_STATUS TRVS_v2_TimeoutsSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char wylogowanie, const unsigned char wylaczenia,
                                             const unsigned char blokada, const unsigned short godzina_odblokowania,
                                             const unsigned char tryb);
/* 504 sends V */
TARVIK_API TARVIK_STATUS TRVS_ChangeRepCntClr(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned short numer_kasjera, const unsigned char tryb);

/* ---- Fiscal memory -------------------------------------------------------- */

/* 401 sends V
 * Records are found by their type, a Word the register defines; the
 * answer names the type and the number of the record found.
 */
TARVIK_API TARVIK_STATUS TRVS_FiscMemFirst(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned short typ, const unsigned char tryb);
/* 401 reads V V */
TARVIK_API TARVIK_STATUS TRVG_FiscMemFirst(const TARVIK_HANDLE phRequest, unsigned short* typ, unsigned short* numer);
/* 402 sends V */
TARVIK_API TARVIK_STATUS TRVS_FiscMemLast(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short typ, const unsigned char tryb);
/* 402 reads V V */
TARVIK_API TARVIK_STATUS TRVG_FiscMemLast(const TARVIK_HANDLE phRequest, unsigned short* typ, unsigned short* numer);
/* 403 sends V V */
TARVIK_API TARVIK_STATUS TRVS_FiscMemNext(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short typ, const unsigned short numer,
                                          const unsigned char tryb);
/* 403 reads V V */
TARVIK_API TARVIK_STATUS TRVG_FiscMemNext(const TARVIK_HANDLE phRequest, unsigned short* typ,
                                          unsigned short* nastepny);
/* 404 sends V V */
TARVIK_API TARVIK_STATUS TRVS_FiscMemPrev(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short typ, const unsigned short numer,
                                          const unsigned char tryb);
/* 404 reads V V */
TARVIK_API TARVIK_STATUS TRVG_FiscMemPrev(const TARVIK_HANDLE phRequest, unsigned short* typ,
                                          unsigned short* nastepny);
/* 405 sends V
 * One record by number: TRVG_FiscMemReadType reads its type and keeps the
 * request; the reader for that type continues on the same request (or
 * TRVG_Default releases it).
 */
TARVIK_API TARVIK_STATUS TRVS_FiscMemRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short numer_rekordu, const unsigned char tryb);
/* 405 reads, keeps the request: V */
TARVIK_API TARVIK_STATUS TRVG_FiscMemReadType(const TARVIK_HANDLE phRequest, unsigned short* typ);
/* 405 reads datetimemin[B B V B B] V V V 7N N L
 * totalizeryAG: the turnover of VAT rates A to G, one line feed between two.
 */
TARVIK_API TARVIK_STATUS TRVG_FiscMemReadDaily(const TARVIK_HANDLE phRequest, char* data, unsigned short* numer,
                                               unsigned short* paragonow, unsigned short* anulowanych,
                                               char* totalizeryAG, char* wart_anulowanych, unsigned long* zmianPLU);
/* 405 reads datetimemin[B B V B B] S */
TARVIK_API TARVIK_STATUS TRVG_FiscMemReadFiscal(const TARVIK_HANDLE phRequest, char* data, char* nip);
/* 405 reads datetimemin[B B V B B] V V V V V V V V */
TARVIK_API TARVIK_STATUS TRVG_FiscMemReadPTUChange(const TARVIK_HANDLE phRequest, char* data, unsigned short* numer,
                                                   unsigned short* stawkaA, unsigned short* stawkaB,
                                                   unsigned short* stawkaC, unsigned short* stawkaD,
                                                   unsigned short* stawkaE, unsigned short* stawkaF,
                                                   unsigned short* stawkaG);
/* 405 reads datetimemin[B B V B B] V V V */
TARVIK_API TARVIK_STATUS TRVG_FiscMemReadClearRAM(const TARVIK_HANDLE phRequest, char* data,
                                                  unsigned short* numer_zerowania, unsigned short* przyczyna_fiscal,
                                                  unsigned short* przyczyna_apli);
/* 405 reads datetimemin[B B V B B] */
TARVIK_API TARVIK_STATUS TRVG_FiscMemReadSaleStart(const TARVIK_HANDLE phRequest, char* data);
/* 406 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_FiscMemStatus(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
/* 406 reads S S V V V V V V
 * The used counts and limits of daily reports, rate changes and RAM clearings.
 */
TARVIK_API TARVIK_STATUS TRVG_FiscMemStatus(const TARVIK_HANDLE phRequest, char* numer_unikatowy, char* NIP,
                                            unsigned short* rap_dobowe, unsigned short* limit_rap_dobowych,
                                            unsigned short* liczba_zmian_PTU, unsigned short* limit_zmian_PTU,
                                            unsigned short* liczba_zerowan_RAM, unsigned short* limit_zerowan_RAM);

/* ---- Printed reports ------------------------------------------------------ */

/* 1106 sends nothing
 * Each makes the register print one report and keeps it busy meanwhile.
 * The selectors (identyfikator, typ_raportu, zakres_raportu, rodzaj...) are
 * the register's and pass unchanged. No reader: release the request with
 * TRVG_Default.
 */
TARVIK_API TARVIK_STATUS TRVS_RepNotepad(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char tryb);
/* 1151 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_RepStorePack(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char tryb);
/* 1153 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_RepShortagePack(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned char tryb);
/* 1161 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_RepPTU(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb);
/* 1162 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_RepCfgSale(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char tryb);
/* 1163 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_RepCfgHardware(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char tryb);
/* 1164 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_RepCfgComm(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char tryb);
/* 1169 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_RepCashReg(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char tryb);
/* 1170 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_RepService(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char tryb);
/* 1171 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_XEL_RepComm(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char tryb);
/* 1172 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_RepNoFskDaily(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
/* 1101 sends B B B V */
TARVIK_API TARVIK_STATUS TRVS_RepPLUByRecNo(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char identyfikator, const unsigned char typ_raportu,
                                            const unsigned char zakres_raportu, const unsigned short numer_rekordu,
                                            const unsigned char tryb);
/* 1102 sends B B B V V */
TARVIK_API TARVIK_STATUS TRVS_RepPLUByRecRange(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char identyfikator, const unsigned char typ_raportu,
                                               const unsigned char zakres_raportu, const unsigned short numer_pocz,
                                               const unsigned short numer_konc, const unsigned char tryb);
/* 1103 sends BBBSS
 * Both names are checked for null before either is sent.
 */
TARVIK_API TARVIK_STATUS TRVS_RepPLUByNameRange(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned char identyfikator, const unsigned char typ_raportu,
                                                const unsigned char zakres_raportu, const char* nazwa_pocz,
                                                const char* nazwa_koncowa, const unsigned char tryb);
/* 1104 sends B B B B */
TARVIK_API TARVIK_STATUS TRVS_RepPLUByVAT(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char identyfikator, const unsigned char typ_raportu,
                                          const unsigned char zakres_raportu, const unsigned char stawka_vat,
                                          const unsigned char tryb);
/* 1105 sends B B B B */
TARVIK_API TARVIK_STATUS TRVS_RepPLUByGroup(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char identyfikator, const unsigned char typ_raportu,
                                            const unsigned char zakres_raportu, const unsigned char numer_grupy,
                                            const unsigned char tryb);
/* 1107 sends B B B S */
TARVIK_API TARVIK_STATUS TRVS_RepPluByCode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char identyfikator_raportu, const unsigned char typ_raportu,
                                           const unsigned char zakres_raportu, const char* kod_kreskowy,
                                           const unsigned char tryb);
/* 1108 sends B B B S S */
TARVIK_API TARVIK_STATUS TRVS_RepPluByCodeRange(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned char identyfikator_raportu,
                                                const unsigned char typ_raportu, const unsigned char zakres_raportu,
                                                const char* kod_kreskowy_od, const char* kod_kreskowy_do,
                                                const unsigned char tryb);
/* 1110 sends B B V */
TARVIK_API TARVIK_STATUS TRVS_RepPack(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned char typ_raportu, const unsigned char zakres_raportu,
                                      const unsigned short numer_rekordu, const unsigned char tryb);
/* 1111 sends B B V */
TARVIK_API TARVIK_STATUS TRVS_RepUser(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned char typ_raportu, const unsigned char zakres_raportu,
                                      const unsigned short numer_rekordu, const unsigned char tryb);
/* 1112 sends B B V */
TARVIK_API TARVIK_STATUS TRVS_RepDiscnt(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned char typ_raportu, const unsigned char zakres_raportu,
                                        const unsigned short numer_rekordu, const unsigned char tryb);
/* 1113 sends B B V */
TARVIK_API TARVIK_STATUS TRVS_RepPayForm(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char typ_raportu, const unsigned char zakres_raportu,
                                         const unsigned short numer_rekordu, const unsigned char tryb);
/* 1118 sends B B V */
TARVIK_API TARVIK_STATUS TRVS_RepGroup(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                       const unsigned char typ_raportu, const unsigned char zakres_raportu,
                                       const unsigned short numer_rekordu, const unsigned char tryb);
/* 1119 sends B B B V */
TARVIK_API TARVIK_STATUS TRVS_RepGroupStat(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char rodzaj_raportu, const unsigned char typ_raportu,
                                           const unsigned char zakres, const unsigned short numer_rekordu,
                                           const unsigned char tryb);
/* 1114 sends B=0 B=0 V
 * The register takes two zero Bytes before the record number here.
 */
TARVIK_API TARVIK_STATUS TRVS_RepMU(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                    const unsigned short numer_rekordu, const unsigned char tryb);
/* 1115 sends B=0 B=0 V */
TARVIK_API TARVIK_STATUS TRVS_RepHotkey(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned short numer_rekordu, const unsigned char tryb);
/* 1116 sends B=0 B=0 V */
TARVIK_API TARVIK_STATUS TRVS_RepRepSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned short numer_zestawu, const unsigned char tryb);
/* 1117 sends B=0 B=0 V */
TARVIK_API TARVIK_STATUS TRVS_RepCodeFmt(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer_rekordu, const unsigned char tryb);
/* 1120 sends B=0 B=0 V */
TARVIK_API TARVIK_STATUS TRVS_RepAutoDiscnt(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_rekordu, const unsigned char tryb);
/* 1121 sends B=0 B=0 V */
TARVIK_API TARVIK_STATUS TRVS_RepPLUDesc(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer_rekordu, const unsigned char tryb);
/* 1122 sends B B */
TARVIK_API TARVIK_STATUS TRVS_RepHours(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                       const unsigned char rodzaj, const unsigned char zakres,
                                       const unsigned char tryb);
/* 1160 sends date[B B V] */
TARVIK_API TARVIK_STATUS TRVS_RepInactivePLU(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* date,
                                             const unsigned char tryb);
/* ---- Fiscal reports ------------------------------------------------------- */

/* 1165 sends (BBVBB)?
 * The daily report of the register's clock when czy_z_data is 0 (nothing
 * is sent then, and date_time is not looked at); otherwise of date_time,
 * "YYYY-MM-DD HH:MM". czy_z_data itself is not sent.
 */
TARVIK_API TARVIK_STATUS TRVS_RepFskDaily(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char czy_z_data, const char* date_time,
                                          const unsigned char tryb);
/* 1166 sends V V B */
TARVIK_API TARVIK_STATUS TRVS_RepFskPeriodByNum(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned short num_od, const unsigned short num_do,
                                                const unsigned char czy_podsumowania, const unsigned char tryb);
/* 1167 sends BBVBBVB
 * Both dates are checked for null before either is sent: a missing data_od
 * is 0x10103, a missing data_do alone 0x10104.
 */
TARVIK_API TARVIK_STATUS TRVS_RepFskPeriodByDate(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const char* data_od, const char* data_do,
                                                 const unsigned char czy_podsumowania, const unsigned char tryb);
/* 1168 sends BVB
 * data: "YYYY-MM" or a full date; the month and the year are sent, not the day.
 */
TARVIK_API TARVIK_STATUS TRVS_RepFskMonthly(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* data,
                                            const unsigned char czy_podsumowania, const unsigned char tryb);

/* ---- Context initialisation ----------------------------------------------- */

/* 2000 sends B B
 * One command per kind of database record; the two flags are the
 * register's. No reader: release the request with TRVG_Default.
 */
TARVIK_API TARVIK_STATUS TRVS_CntxPLUInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char flaga1, const unsigned char flaga2,
                                          const unsigned char tryb);
/* 2001 sends B B */
TARVIK_API TARVIK_STATUS TRVS_CntxUserInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char flaga1, const unsigned char flaga2,
                                           const unsigned char tryb);
/* 2002 sends B B */
TARVIK_API TARVIK_STATUS TRVS_CntxMUInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char flaga1, const unsigned char flaga2,
                                         const unsigned char tryb);
/* 2003 sends B B */
TARVIK_API TARVIK_STATUS TRVS_CntxPackInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char flaga1, const unsigned char flaga2,
                                           const unsigned char tryb);
/* 2004 sends B B */
TARVIK_API TARVIK_STATUS TRVS_CntxGroupInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char flaga1, const unsigned char flaga2,
                                            const unsigned char tryb);
/* 2005 sends B B */
TARVIK_API TARVIK_STATUS TRVS_CntxPayformInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned char flaga1, const unsigned char flaga2,
                                              const unsigned char tryb);
/* 2006 sends B B */
TARVIK_API TARVIK_STATUS TRVS_CntxDiscntInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char flaga1, const unsigned char flaga2,
                                             const unsigned char tryb);
/* 2007 sends B B */
TARVIK_API TARVIK_STATUS TRVS_CntxCodeFmtInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned char flaga1, const unsigned char flaga2,
                                              const unsigned char tryb);
/* 2008 sends B B */
TARVIK_API TARVIK_STATUS TRVS_CntxHotkeyInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char flaga1, const unsigned char flaga2,
                                             const unsigned char tryb);
/* 2010 sends B B */
TARVIK_API TARVIK_STATUS TRVS_CntxAutoDiscntInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned char flaga1, const unsigned char flaga2,
                                                 const unsigned char tryb);
/* 2011 sends B B date[B B V] */
TARVIK_API TARVIK_STATUS TRVS_CntxPLUInactiveInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned char flaga1, const unsigned char flaga2,
                                                  const char* data, const unsigned char tryb);
/* 2012 sends B B */
TARVIK_API TARVIK_STATUS TRVS_CntxPLUShortageInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned char flaga1, const unsigned char flaga2,
                                                  const unsigned char tryb);
/* 2013 sends B B */
TARVIK_API TARVIK_STATUS TRVS_CntxPackShortageInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                   const unsigned char flaga1, const unsigned char flaga2,
                                                   const unsigned char tryb);
/* 2014 sends B B */
TARVIK_API TARVIK_STATUS TRVS_CntxCashoutDescInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned char flaga1, const unsigned char flaga2,
                                                  const unsigned char tryb);
/* 2015 sends B B */
TARVIK_API TARVIK_STATUS TRVS_CntxErrMsgInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char flaga1, const unsigned char flaga2,
                                             const unsigned char tryb);
/* 2016 sends B B */
TARVIK_API TARVIK_STATUS TRVS_CntxPLUDescInit(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned char flaga1, const unsigned char flaga2,
                                              const unsigned char tryb);

/* ---- Articles (PLU) ------------------------------------------------------- */

/* 2100 sends V S S N N B B B B B B B B B B B */
TARVIK_API TARVIK_STATUS TRVS_PLUIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                     const unsigned short numer_rekordu, const char* nazwa, const char* barcode,
                                     const char* cena, const char* ilosc_min, const unsigned char numer_opakowania,
                                     const unsigned char numer_MU, const unsigned char numer_rabatu,
                                     const unsigned char numer_grupy, const unsigned char numer_VAT,
                                     const unsigned char format_ilosci, const unsigned char cena_sztywna,
                                     const unsigned char czy_rabat, const unsigned char czy_notatnik,
                                     const unsigned char czy_nadpisac, const unsigned char czy_nadpisac_niezerowy,
                                     const unsigned char tryb);
/* 2101 sends V S S B B B B V B B B B */
TARVIK_API TARVIK_STATUS TRVS_EPLUIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned short numer_rekordu, const char* nazwa, const char* barcode,
                                      const unsigned char numer_MU, const unsigned char numer_rabatu,
                                      const unsigned char numer_grupy, const unsigned char numer_VAT,
                                      const unsigned short numer_euslugi, const unsigned char czy_rabat,
                                      const unsigned char czy_notatnik, const unsigned char czy_nadpisac,
                                      const unsigned char czy_nadpisac_niezerowy, const unsigned char tryb);
/* 2110 sends V B */
TARVIK_API TARVIK_STATUS TRVS_PLURead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned short numer_rekordu, const unsigned char z_kodem,
                                      const unsigned char tryb);
/* 2110 reads VSSNBBNBBBBBBB(VS*)?|VSSNBBBVBBB(VS*)?|VSSNBBBB(VS*)?
 * Record type 0 article, 1 set, 2 e-service article; the outputs a type does
 * not carry are left as they are, and cena is empty for types other than 0.
 * The minimum stock comes before the type on the wire; barcodes follow when
 * z_kodem asked for them, one line feed between two.
 */
TARVIK_API TARVIK_STATUS TRVG_PLURead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                      char* kod_kreskowy_podstawowy, char* cena, char* min_stan,
                                      unsigned char* typ_rekordu, unsigned char* numer_opak, unsigned char* numerMU,
                                      unsigned char* stawka_PTU, unsigned char* format_ilosci,
                                      unsigned char* flaga_ceny, unsigned char* flaga_rabatow,
                                      unsigned char* numer_rabatu, unsigned char* numer_grupy, char* barcodes);
/* 2110 reads VSSNBBNBBBBBBB(VS*)?|VSSNBBBVBBB(VS*)?|VSSNBBBB(VS*)?
 * As TRVG_PLURead; numer_opak_lub_euslugi receives the e-service number of
 * a type 2 record, else the packaging number.
 */
TARVIK_API TARVIK_STATUS TRVG_v2_PLURead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                         char* kod_kreskowy_podstawowy, char* cena, char* min_stan,
                                         unsigned char* typ_rekordu, unsigned short* numer_opak_lub_euslugi,
                                         unsigned char* numerMU, unsigned char* stawka_PTU,
                                         unsigned char* format_ilosci, unsigned char* flaga_ceny,
                                         unsigned char* flaga_rabatow, unsigned char* numer_rabatu,
                                         unsigned char* numer_grupy, char* barcodes);
/* 2111 sends S B */
TARVIK_API TARVIK_STATUS TRVS_PLUReadByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const char* kod_kreskowy, const unsigned char z_kodem,
                                               const unsigned char tryb);
/* 2111 reads SSSNBBNBBBBBBB(VS*)?|SSSNBBBB(VS*)?
 * As TRVG_PLURead, by barcode: only an ordinary article carries the block of
 * VAT rate, price, packaging, unit, quantity format and price flag.
 */
TARVIK_API TARVIK_STATUS TRVG_PLUReadByBarcode(const TARVIK_HANDLE phRequest, char* kod_kreskowy, char* nazwa,
                                               char* kod_kreskowy_podstawowy, char* cena, char* min_stan,
                                               unsigned char* typ_rekordu, unsigned char* numer_opak,
                                               unsigned char* numerMU, unsigned char* stawka_PTU,
                                               unsigned char* format_ilosci, unsigned char* flaga_ceny,
                                               unsigned char* flaga_rabatow, unsigned char* numer_rabatu,
                                               unsigned char* numer_grupy, char* barcodes);
/* 2112 sends V S B
 * By number, or by barcode when barcode is not empty; a null barcode is sent
 * as the empty text.
 */
TARVIK_API TARVIK_STATUS TRVS_PLUReadEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned short numer_rekordu, const char* barcode,
                                        const unsigned char z_kodem, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_v2_PLUReadEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned short numer_rekordu, const char* barcode,
                                           const unsigned char z_kodem, const unsigned char tryb);
/* 2112 reads VSSNBBNBBBBBBB(VS*)?B|VSSNBBBVBBB(VS*)?B|VSSNBBBB(VS*)?B
 * As TRVG_PLURead, with the notepad flag last; numer_opak receives the low
 * byte of an e-service number.
 */
TARVIK_API TARVIK_STATUS TRVG_PLUReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                        char* kod_kreskowy_podstawowy, char* cena, char* min_stan,
                                        unsigned char* typ_rekordu, unsigned char* numer_opak, unsigned char* numerMU,
                                        unsigned char* stawka_PTU, unsigned char* format_ilosci,
                                        unsigned char* flaga_ceny, unsigned char* flaga_rabatow,
                                        unsigned char* numer_rabatu, unsigned char* numer_grupy, char* barcodes,
                                        unsigned char* w_notatniku);
/* 2112 reads VSSNBBNBBBBBBB(VS*)?B|VSSNBBBVBBB(VS*)?B|VSSNBBBB(VS*)?B
 * As TRVG_PLUReadEx; numer_opak_lub_euslugi as in TRVG_v2_PLURead.
 */
TARVIK_API TARVIK_STATUS TRVG_v2_PLUReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                           char* kod_kreskowy_podstawowy, char* cena, char* min_stan,
                                           unsigned char* typ_rekordu, unsigned short* numer_opak_lub_euslugi,
                                           unsigned char* numerMU, unsigned char* stawka_PTU,
                                           unsigned char* format_ilosci, unsigned char* flaga_ceny,
                                           unsigned char* flaga_rabatow, unsigned char* numer_rabatu,
                                           unsigned char* numer_grupy, char* barcodes, unsigned char* w_notatniku);
/* 2120 sends V */
TARVIK_API TARVIK_STATUS TRVS_PLUNextFreeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned short numer_rekordu, const unsigned char tryb);
/* 2120 reads V */
TARVIK_API TARVIK_STATUS TRVG_PLUNextFreeGet(const TARVIK_HANDLE phRequest, unsigned short* wolny_numer);
/* 2130 sends S */
TARVIK_API TARVIK_STATUS TRVS_PLUGetByName(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* name,
                                           const unsigned char tryb);
/* 2130 reads V */
TARVIK_API TARVIK_STATUS TRVG_PLUGetByName(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu);
/* 2131 sends S */
TARVIK_API TARVIK_STATUS TRVS_PLUGetByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const char* barcode, const unsigned char tryb);
/* 2131 reads V */
TARVIK_API TARVIK_STATUS TRVG_PLUGetByBarcode(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu);
/* 2140 sends V B B */
TARVIK_API TARVIK_STATUS TRVS_PLUDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                     const unsigned short numer_rekordu, const unsigned char czy_niezerowe,
                                     const unsigned char czy_z_zestawu, const unsigned char tryb);
/* 2141 sends S B B */
TARVIK_API TARVIK_STATUS TRVS_PLUDelByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const char* kod_kreskowy, const unsigned char czy_niezerowe,
                                              const unsigned char czy_z_zestawu, const unsigned char tryb);
/* 2150 sends B */
TARVIK_API TARVIK_STATUS TRVS_PLUDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned char flagi, const unsigned char tryb);
/* 2160 sends V B */
TARVIK_API TARVIK_STATUS TRVS_PLUStatRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short numer_rekordu, const unsigned char czy_zerowanie,
                                          const unsigned char tryb);
/* 2160 reads V N N N date[B B V] */
TARVIK_API TARVIK_STATUS TRVG_PLUStatRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* wartosc,
                                          char* ilosc, char* stan, char* data);
/* 2161 sends S B */
TARVIK_API TARVIK_STATUS TRVS_PLUStatReadByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                   const char* kod_kreskowy, const unsigned char czy_zerowanie,
                                                   const unsigned char tryb);
/* 2161 reads S N N N date[B B V] */
TARVIK_API TARVIK_STATUS TRVG_PLUStatReadByBarcode(const TARVIK_HANDLE phRequest, char* kod_kreskowy, char* wartosc,
                                                   char* ilosc, char* stan, char* data);
/* 2170 sends B B */
TARVIK_API TARVIK_STATUS TRVS_PLUStatClearAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned char czy_stany, const unsigned char czy_date,
                                              const unsigned char tryb);
/* 2171 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_PLUStoreClr(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char tryb);
/* 2180 sends V N B */
TARVIK_API TARVIK_STATUS TRVS_PLUStockQntModify(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned short numer_rekordu, const char* ilosc,
                                                const unsigned char czy_zwiekszyc, const unsigned char tryb);
/* 2181 sends V N */
TARVIK_API TARVIK_STATUS TRVS_PluPriceUpdate(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned short numer_rekordu, const char* cena,
                                             const unsigned char tryb);
/* 2182 sends V N */
TARVIK_API TARVIK_STATUS TRVS_PluStockMinQntSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned short numer_rekordu, const char* stan,
                                                const unsigned char tryb);
/* 2183 sends V */
TARVIK_API TARVIK_STATUS TRVS_PLUStoreRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned short numer_rekordu, const unsigned char tryb);
/* 2183 reads V S N N date[B B V] */
TARVIK_API TARVIK_STATUS TRVG_PLUStoreRead(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                           char* stan_min, char* stan, char* data);
/* 2184 sends V V N N */
TARVIK_API TARVIK_STATUS TRVS_PluSetItemUpdate(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned short numer_zestawu, const unsigned short numer_PLU,
                                               const char* ilosc, const char* cena, const unsigned char tryb);
/* 2185 sends S N */
TARVIK_API TARVIK_STATUS TRVS_PluPriceUpdateByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                      const char* kod_kreskowy, const char* cena,
                                                      const unsigned char tryb);
/* 2186 sends S */
TARVIK_API TARVIK_STATUS TRVS_PLUStoreReadByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                    const char* kod_kreskowy, const unsigned char tryb);
/* 2186 reads S S N N date[B B V] */
TARVIK_API TARVIK_STATUS TRVG_PLUStoreReadByBarcode(const TARVIK_HANDLE phRequest, char* kod_kreskowy, char* nazwa,
                                                    char* stan_min, char* stan, char* data);
/* 2200 sends VSSNBBBBBB(VNN)*
 * Sets: the members are three parallel lists (article numbers, quantities,
 * prices), one line feed between two entries.
 */
TARVIK_API TARVIK_STATUS TRVS_SetIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                     const unsigned short numer_rekordu, const char* nazwa, const char* barcode,
                                     const char* ilosc_min, const unsigned char numer_rabatu,
                                     const unsigned char numer_grupy, const unsigned char czy_zabronione,
                                     const unsigned char czy_dodac, const unsigned char czy_nadpisac,
                                     const unsigned char czy_nadpisac_niezerowe, const char* numery,
                                     const char* ilosci, const char* ceny, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_PLUSetIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned short numer_rekordu, const char* nazwa, const char* barcode,
                                        const char* ilosc_min, const unsigned char numer_rabatu,
                                        const unsigned char numer_grupy, const unsigned char czy_zabronione,
                                        const unsigned char czy_dodac, const unsigned char czy_nadpisac,
                                        const unsigned char czy_nadpisac_niezerowe, const char* numery,
                                        const char* ilosci, const char* ceny, const unsigned char tryb);
/* 2210 sends V */
TARVIK_API TARVIK_STATUS TRVS_SetRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned short numer_rekordu, const unsigned char tryb);
/* 2210 reads V(VNN)* */
TARVIK_API TARVIK_STATUS TRVG_SetRead(const TARVIK_HANDLE phRequest, unsigned short* czytany, char* numery,
                                      char* ilosci, char* ceny);
/* 2260 sends V B */
TARVIK_API TARVIK_STATUS TRVS_PLUSetItemStatRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned short numer_zestawu,
                                                 const unsigned char czy_zerowanie, const unsigned char tryb);
/* 2260 reads V(VNN)* */
TARVIK_API TARVIK_STATUS TRVG_PLUSetItemStatRead(const TARVIK_HANDLE phRequest, unsigned short* numer_zestawu,
                                                 char* numery, char* ilosci, char* wartosci);
/* 2400 sends V */
TARVIK_API TARVIK_STATUS TRVS_PLUNotepadIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_PLU, const unsigned char tryb);
/* 2440 sends V */
TARVIK_API TARVIK_STATUS TRVS_PLUNotepadDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_PLU, const unsigned char tryb);
/* 2450 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_PLUNotepadDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char tryb);
/* 2480 sends S */
TARVIK_API TARVIK_STATUS TRVS_DFPluVatCheck(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* nazwa,
                                            const unsigned char tryb);
/* 2480 reads B V */
TARVIK_API TARVIK_STATUS TRVG_DFPluVatCheck(const TARVIK_HANDLE phRequest, unsigned char* stan,
                                            unsigned short* stawka);

/* ---- Additional barcodes of an article ------------------------------------ */

/* 2300 sends VS*
 * barcodes: one line feed between two barcodes. A missing list is 0x10104;
 * a barcode that cannot be pushed 0x10105.
 */
TARVIK_API TARVIK_STATUS TRVS_BarcodeIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer_plu, const char* barcodes,
                                         const unsigned char tryb);
/* 2310 sends V */
TARVIK_API TARVIK_STATUS TRVS_BarcodeRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short numer_PLU, const unsigned char tryb);
/* 2310 reads VS* */
TARVIK_API TARVIK_STATUS TRVG_BarcodeRead(const TARVIK_HANDLE phRequest, unsigned short* czytany, char* barcodes);
/* 2340 sends S */
TARVIK_API TARVIK_STATUS TRVS_BarcodeDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const char* kod_kreskowy, const unsigned char tryb);
/* 2350 sends V */
TARVIK_API TARVIK_STATUS TRVS_BarcodeDelAllForPLU(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned short numer_PLU, const unsigned char tryb);

/* ---- Sale journal --------------------------------------------------------- */

/* 451 sends B
 * TRVS_SaleRecGet asks for one record; TRVG_SaleRecGetType reads its header
 * and keeps the request; the body reader chosen for the type continues on
 * the same request.
 */
TARVIK_API TARVIK_STATUS TRVS_SaleRecGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char sposob, const unsigned char tryb);
/* 452 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_SaleSizeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char tryb);
/* 452 reads B! */
TARVIK_API TARVIK_STATUS TRVG_SaleSizeGet(const TARVIK_HANDLE phRequest, unsigned char* limit);
/* 453 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_SaleRecDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
/* 451 reads, keeps the request: B V V */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetType(const TARVIK_HANDLE phRequest, unsigned char* pelny,
                                             unsigned short* nastepny, unsigned short* typ);
/* 451 reads date[B B V] V V V 7N N L
 * totalizeryAG: the seven totals for VAT rates A to G, one line feed between two.
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetFiscal(const TARVIK_HANDLE phRequest, char* data, unsigned short* numer,
                                               unsigned short* paragonow, unsigned short* anulowanych,
                                               char* totalizeryAG, char* wart_anulowanych, unsigned long* zmianPLU);
/* 451 reads L datetimemin[B B V B B] S S V N N */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetFinished(const TARVIK_HANDLE phRequest, unsigned long* numer, char* data,
                                                 char* kasa, char* kasjer, unsigned short* numer_kasjera,
                                                 char* wartosc, char* do_zaplaty);
/* 451 reads L datetimemin[B B V B B] S S V N N L */
TARVIK_API TARVIK_STATUS TRVG_XEL_SaleRecGetFinished(const TARVIK_HANDLE phRequest, unsigned long* numer, char* data,
                                                     char* kasa, char* kasjer, unsigned short* numer_kasjera,
                                                     char* wartosc, char* do_zaplaty,
                                                     unsigned long* numer_niefiskalny);
TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetFinished(const TARVIK_HANDLE phRequest, unsigned long* numer, char* data,
                                                    char* kasa, char* kasjer, unsigned short* numer_kasjera,
                                                    char* wartosc, char* do_zaplaty,
                                                    unsigned long* numer_niefiskalny);
/* 451 reads datetimemin[B B V B B] S S V V N N */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCancelled(const TARVIK_HANDLE phRequest, char* data, char* kasa, char* kasjer,
                                                  unsigned short* numer_kasjera, unsigned short* autoryzujacy,
                                                  char* wartosc, char* do_zaplaty);
/* 451 reads datetimemin[B B V B B] S S V V N N L N */
TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetCancelled(const TARVIK_HANDLE phRequest, char* data, char* kasa,
                                                     char* kasjer, unsigned short* numer_kasjera,
                                                     unsigned short* autoryzujacy, char* wartosc, char* do_zaplaty,
                                                     unsigned long* storna, char* wart_storn);
/* 451 reads B V S S N N */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPLUSet(const TARVIK_HANDLE phRequest, unsigned char* vat, unsigned short* PLU,
                                               char* kod_kreskowy, char* nazwa, char* ilosc, char* wartosc);
/* 451 reads BVSSNNS?
 * addon is empty when the record carries none.
 */
TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetPLUSet(const TARVIK_HANDLE phRequest, unsigned char* vat,
                                                  unsigned short* PLU, char* kod_kreskowy, char* nazwa_lub_cena,
                                                  char* ilosc, char* wartosc, char* addon);
/* 451 reads V S N N */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPack(const TARVIK_HANDLE phRequest, unsigned short* numer, char* kod_kreskowy,
                                             char* ilosc, char* wartosc);
/* 451 reads V S B N */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPayform(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                                unsigned char* typ, char* kwota);
/* 451 reads V S B N S S S V */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPayformEx(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                                  unsigned char* typ, char* kwota, char* opis, char* kasa,
                                                  char* kasjer, unsigned short* numer_kasjera);
/* 451 reads V S N N N */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCurrency(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                                 char* wartoscPLN, char* wartosc, char* kurs);
/* 451 reads V S N N N S S S V */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCurrencyEx(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                                   char* wartoscPLN, char* wartosc, char* kurs, char* opis,
                                                   char* kasa, char* kasjer, unsigned short* numer_kasjera);
/* 451 reads SBVNS?
 * karta is written only when the record carries a card.
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetRebate(const TARVIK_HANDLE phRequest, char* nazwa, unsigned char* typ,
                                               unsigned short* numer, char* kwota, char* karta);
/* 451 reads S V V B N */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetRebateMN(const TARVIK_HANDLE phRequest, char* nazwa, unsigned short* numer,
                                                 unsigned short* PLU, unsigned char* stawkaVAT, char* kwota);
/* 451 reads V S B N */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCashback(const TARVIK_HANDLE phRequest, unsigned short* numer_platnosci,
                                                 char* nazwa_platnosci, unsigned char* typ_platnosci,
                                                 char* kwota_cashback);
/* 451 reads L S N */
TARVIK_API TARVIK_STATUS TRVG_XEL_SaleRecGetAuthorize(const TARVIK_HANDLE phRequest, unsigned long* numer_kasjera,
                                                      char* nazwa, char* kwota);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetAuthorize(const TARVIK_HANDLE phRequest, unsigned long* numer_kasjera,
                                                  char* nazwa, char* kwota);
/* 451 reads V S N S */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetOrderPluPack(const TARVIK_HANDLE phRequest, unsigned short* plu_pack,
                                                     char* kryterium, char* ilosc, char* opis);
TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetInventoryPluPack(const TARVIK_HANDLE phRequest, unsigned short* plu_pack,
                                                            char* kryterium, char* ilosc, char* opis);
/* 451 reads V N */
TARVIK_API TARVIK_STATUS TRVG_XEL_SaleRecGetInventoryPluPack(const TARVIK_HANDLE phRequest, unsigned short* plu_pack,
                                                             char* kwota);

/* ---- END OF GENERATED PART */

#ifdef __cplusplus
}
#endif

#endif /* TARVIK_MIRTEL_H */
