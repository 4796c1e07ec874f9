/*
 * libmirtel: one TRVS_ (send) / TRVG_ (get) pair per register command, on
 * top of the request API of libtarvik.
 *
 * A TRVS_ function takes the view handle, an optional out pointer for the
 * request handle, the command's parameters and the post mode (tryb, last).
 * It checks the handle and the mode, creates the request, stores its handle
 * in *phRequest before anything is pushed, pushes the parameters in the
 * command's wire order and posts the request.
 *   0x10006  hDevice is null, or not an open view (a device or request
 *            handle, a closed or destroyed view)
 *   0x10009  tryb is 2, or tryb is 1 without phRequest
 *   1        no request could be created
 *   0x10100 + n  argument n (hDevice = 1, phRequest = 2, first parameter = 3)
 *           is invalid or could not be pushed; the request is kept (not
 *           posted) when phRequest was given and freed otherwise. Invalid
 *           are a null text, a date, time or address that does not parse, a
 *           list of the wrong length (an empty text is no list), and a Long
 *           argument above 0xFFFFFFFF (unsigned long is wider than the
 *           wire's 32 bits on 64-bit systems)
 *   0x10101  a value the library adds itself could not be pushed
 *   else     the result of TRV_PostRequest; a refused post frees the
 *            request when the caller did not ask for its handle
 *
 * A TRVG_ function takes the answered request and one output per value. A
 * null output drops its value, unless the function says otherwise. The
 * request is destroyed only when every value was taken; on any error it
 * stays with the caller (release it with TRVG_Default).
 *   0x10006  null request (or one that is no longer live)
 *   status   the request's own status (TRV_GetRequestStatus) when it is
 *            not 0, unchanged: 0x10004 not answered yet, 0x430000 + e and
 *            0x440000 + t the register's error answers, and the others
 *            tarvik.h lists there
 *   0x10005  the request belongs to another command
 *   0x10006  a text output, and the request has no device (no view) any more
 *   0x10102  a text output, and the string-handling mode of the request's
 *            view cannot be read (its view was closed or its device destroyed)
 *   0x10007  a text does not fit its buffer (string-handling mode 1)
 *   0x10002  bad data: a text longer than the header states for its output
 *            (mode 0), a date or time out of its range (any mode), a value
 *            of the wrong type where an optional one may stand
 *   0x10100 + n  a required output (marked ! below) is null: n is its
 *            position, phRequest = 1 (so the first output's code, 0x10102,
 *            is also that of an unreadable string-handling mode)
 *   else     the failing pop's status.
 *
 * Text results follow the string-handling mode of the request's view
 * (TARVIK_PARAM_STRINGHANDLING): with mode 0 the library does not know the
 * buffer, and the caller gives one of the size stated after each reader
 * ("Buffers:", bytes with the NUL); an answer with a longer text is bad
 * data (0x10002) and nothing of it is written. With any other mode the
 * caller puts the buffer's capacity (NUL included, 0..255) in its first
 * byte before the call. The stated sizes come from the register's own
 * limits (10 header lines, 3 footer lines, 6 discount thresholds), else
 * from the most the wire carries: a Byte count counts up to 255, and a list
 * measured by the answer's length holds what one frame does.
 *
 * Dates and times are texts. On input any separators are accepted (and a
 * time may leave its seconds out); on output these layouts are written
 * exactly, with the bytes a buffer needs for them (NUL included). An answer
 * whose date is no Gregorian date of the years 1 to 9999 (0000-00-00, a
 * register's "no date", excepted) or whose time is past 23:59:59 is bad
 * data (0x10002), in every mode; its output is not written:
 *   date         "YYYY-MM-DD"            11
 *   datetime     "YYYY-MM-DD HH:MM:SS"   20
 *   datetimemin  "YYYY-MM-DD HH:MM"      17: no seconds. The fiscal-memory
 *                record dates are of this kind, as are the other date-times
 *                the register keeps to the minute.
 *   timedate     "YYYY-MM-DD HH:MM:SS", sent with the time first
 *   time         "HH:MM:SS"              9
 *   hm           "HH:MM"                 6
 *   time2000     "YYYY-MM-DD HH-MM-SS"   20: dashes between the time's
 *                fields; seconds since 2000-01-01 00:00:00 local time,
 *                travelling as one Long
 *   interval     "D:HH:MM:SS"            15 at most: a duration in seconds,
 *                travelling as one Long
 * Lists are texts with one line feed between two entries; an empty text is
 * no list (it gets the argument's code) unless a function says otherwise,
 * and a lone line feed is a list of one empty entry. Any function may also
 * return 1 when memory ran out.
 *
 * Each prototype below carries its command id and its wire layout, the
 * values in the order they travel: B Byte, V Word, L Long, S String,
 * N Numeric, K Currency, Q Quantity; date[B B V] a text argument or output
 * that travels as those values; 7N seven values joined into one text; (B) a
 * value that no output receives; B=0 a value the library sends itself; V!
 * (or 4S!) a required output, which may not be null: the call then returns
 * the output's position code (0x10100 + n, phRequest = 1) and keeps the
 * request. A text value is read through a 64-byte buffer (63 bytes and the
 * NUL; a longer one fails the read) unless its letter carries another size:
 * S256 is read through 256 bytes, and a 256-byte output buffer holds any.
 * Numbers as text need at most: Byte 4, Word 6, Long 11, Numeric 14
 * ("-500000000000"), Currency and Quantity 15 bytes; n values joined n times
 * that (a line feed or the NUL after each). Numeric, Currency and Quantity
 * values whose digits are no decimal digits, or a Quantity with more than 3
 * decimals, are bad data.
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
/* 14 reads time[B B B]
 * Buffers: time 9
 */
TARVIK_API TARVIK_STATUS TRVG_TimeGet(const TARVIK_HANDLE phRequest, char* time);
/* 15 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_DateGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned char tryb);
/* 15 reads date[B B V]
 * Buffers: data 11
 */
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
/* 321 reads S
 * Buffers: numer 64
 */
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
/* 501 reads B S V B B B B datetime[B B V B B B] datetime[B B V B B B] S S S
 * Buffers: numer 64, data_fiskalizacji 20, zegar_kasy 20, nip 64,
 *   numer_unikatowy 64, wersja 64
 */
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
 * Buffers: rozmiary 60, zaprogramowane 60
 */
TARVIK_API TARVIK_STATUS TRVG_DBStatusGet(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy,
                                          unsigned char* totalizery, char* rozmiary, char* zaprogramowane);
/* 512 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_DBStatusGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
/* 512 reads BB(VV)13
 * As TRVG_DBStatusGet, thirteen tables.
 * Buffers: rozmiary 78, zaprogramowane 78
 */
TARVIK_API TARVIK_STATUS TRVG_DBStatusGetEx(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy,
                                            unsigned char* totalizery, char* rozmiary, char* zaprogramowane);
/* 503 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_TransStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char tryb);
/* 503 reads B B B V datetime[B B V B B B] N N N N N N N N N
 * Buffers: data_czas 20, obrotA 14, obrotB 14, obrotC 14, obrotD 14,
 *   obrotE 14, obrotF 14, obrotG 14, obrot_suma 14, suma 14
 */
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

/* ---- Sale, store and accessory settings ----------------------------------- */

/* 301 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_SaleCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char tryb);
/* 301 reads B B B B B B N N N N B B B; wire order: czy_zakonczenie, czy_sprawdzenie, format_warosci, czy_sprawdz_sprzedaz, stat_tyg, stat_roczne, limit_rab_proc, limit_narz_proc, limit_rab_kwot, limit_narz_kwot, czy_z_rabatami, czy_z_narzutami, klawisz_kod
 * The hand-entry limits arrive as rebate %, markup %, rebate amount, markup
 * amount; the outputs take both rebate limits first.
 * Buffers: limit_rab_proc 14, limit_rab_kwot 14, limit_narz_proc 14,
 *   limit_narz_kwot 14
 */
TARVIK_API TARVIK_STATUS TRVG_SaleCfgGet(const TARVIK_HANDLE phRequest, unsigned char* czy_zakonczenie,
                                         unsigned char* czy_sprawdzenie, unsigned char* format_warosci,
                                         unsigned char* czy_sprawdz_sprzedaz, unsigned char* stat_tyg,
                                         unsigned char* stat_roczne, char* limit_rab_proc, char* limit_rab_kwot,
                                         char* limit_narz_proc, char* limit_narz_kwot, unsigned char* czy_z_rabatami,
                                         unsigned char* czy_z_narzutami, unsigned char* klawisz_kod);
/* 302 sends B B B B B B N N N N B B B */
TARVIK_API TARVIK_STATUS TRVS_SaleCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char czy_zak_gotowkowe,
                                         const unsigned char czy_sprawdzanie_cen, const unsigned char wart_kwotowe,
                                         const unsigned char czy_sprawdz_przy_sprzedazy, const unsigned char stat_tyg,
                                         const unsigned char stat_roczne, const char* limit_rab_proc_z_reki,
                                         const char* limit_narz_proc_z_reki, const char* limit_rab_kwot_z_reki,
                                         const char* limit_narz_kwot_z_reki, const unsigned char czy_rabaty,
                                         const unsigned char czy_narzuty, const unsigned char klawisz_kod,
                                         const unsigned char tryb);
/* 335 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_XEL_SaleCfgGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_SaleCfgGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char tryb);
/* 335 reads B B B B B B N N N N B B B B; wire order: czy_zakonczenie, czy_sprawdzenie, format_warosci, czy_sprawdz_sprzedaz, stat_tyg, stat_roczne, limit_rab_proc, limit_narz_proc, limit_rab_kwot, limit_narz_kwot, czy_z_rabatami, czy_z_narzutami, klawisz_kod, automat
 * As TRVG_SaleCfgGet, with the automatic mode flag last.
 * Buffers: limit_rab_proc 14, limit_rab_kwot 14, limit_narz_proc 14,
 *   limit_narz_kwot 14
 */
TARVIK_API TARVIK_STATUS TRVG_XEL_SaleCfgGetEx(const TARVIK_HANDLE phRequest, unsigned char* czy_zakonczenie,
                                               unsigned char* czy_sprawdzenie, unsigned char* format_warosci,
                                               unsigned char* czy_sprawdz_sprzedaz, unsigned char* stat_tyg,
                                               unsigned char* stat_roczne, char* limit_rab_proc, char* limit_rab_kwot,
                                               char* limit_narz_proc, char* limit_narz_kwot,
                                               unsigned char* czy_z_rabatami, unsigned char* czy_z_narzutami,
                                               unsigned char* klawisz_kod, unsigned char* automat);
TARVIK_API TARVIK_STATUS TRVG_SaleCfgGetEx(const TARVIK_HANDLE phRequest, unsigned char* czy_zakonczenie,
                                           unsigned char* czy_sprawdzenie, unsigned char* format_warosci,
                                           unsigned char* czy_sprawdz_sprzedaz, unsigned char* stat_tyg,
                                           unsigned char* stat_roczne, char* limit_rab_proc, char* limit_rab_kwot,
                                           char* limit_narz_proc, char* limit_narz_kwot,
                                           unsigned char* czy_z_rabatami, unsigned char* czy_z_narzutami,
                                           unsigned char* klawisz_kod, unsigned char* automat);
/* 336 sends B B B B B B N N N N B B B B */
TARVIK_API TARVIK_STATUS TRVS_XEL_SaleCfgSetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char czy_zak_gotowkowe,
                                               const unsigned char czy_sprawdzanie_cen,
                                               const unsigned char wart_kwotowe,
                                               const unsigned char czy_sprawdz_przy_sprzedazy,
                                               const unsigned char stat_tyg, const unsigned char stat_roczne,
                                               const char* limit_rab_proc_z_reki, const char* limit_narz_proc_z_reki,
                                               const char* limit_rab_kwot_z_reki, const char* limit_narz_kwot_z_reki,
                                               const unsigned char czy_rabaty, const unsigned char czy_narzuty,
                                               const unsigned char klawisz_kod, const unsigned char automat,
                                               const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_SaleCfgSetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char czy_zak_gotowkowe,
                                           const unsigned char czy_sprawdzanie_cen, const unsigned char wart_kwotowe,
                                           const unsigned char czy_sprawdz_przy_sprzedazy,
                                           const unsigned char stat_tyg, const unsigned char stat_roczne,
                                           const char* limit_rab_proc_z_reki, const char* limit_narz_proc_z_reki,
                                           const char* limit_rab_kwot_z_reki, const char* limit_narz_kwot_z_reki,
                                           const unsigned char czy_rabaty, const unsigned char czy_narzuty,
                                           const unsigned char klawisz_kod, const unsigned char automat,
                                           const unsigned char tryb);
/* 350 sends B */
TARVIK_API TARVIK_STATUS TRVS_SaleFldPLUNameAsPriceCfg(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                       const unsigned char flaga, const unsigned char tryb);
/* 454 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_SaleSizeGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
/* 454 reads B L L */
TARVIK_API TARVIK_STATUS TRVG_SaleSizeGetEx(const TARVIK_HANDLE phRequest, unsigned char* prog,
                                            unsigned long* wartosc_biezaca, unsigned long* wartosc_maksymalna);
/* 303 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_StoreCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char tryb);
/* 303 reads B B B B B B */
TARVIK_API TARVIK_STATUS TRVG_StoreCfgGet(const TARVIK_HANDLE phRequest, unsigned char* magazyn_PLU_wlaczony,
                                          unsigned char* kontrola_stanu, unsigned char* kontrola_stanu_sprzedaz,
                                          unsigned char* magazyn_opak_wlaczony, unsigned char* kontrola_stanu_opak,
                                          unsigned char* kontrola_opak_sprzedaz);
/* 340 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_StoreCfgGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
/* 340 reads B B B B B B B */
TARVIK_API TARVIK_STATUS TRVG_StoreCfgGetEx(const TARVIK_HANDLE phRequest, unsigned char* magazyn_PLU_wlaczony,
                                            unsigned char* kontrola_stanu, unsigned char* kontrola_stanu_sprzedaz,
                                            unsigned char* magazyn_opak_wlaczony, unsigned char* kontrola_stanu_opak,
                                            unsigned char* kontrola_opak_sprzedaz, unsigned char* receptury);
/* 304 sends B B B */
TARVIK_API TARVIK_STATUS TRVS_PLUStoreCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char czy_wlaczony, const unsigned char kontrola_stanow,
                                             const unsigned char blokowac, const unsigned char tryb);
/* 304 sends B B B B */
TARVIK_API TARVIK_STATUS TRVS_v2_PLUStoreCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned char czy_wlaczony, const unsigned char kontrola_stanow,
                                                const unsigned char blokowac, const unsigned char receptury,
                                                const unsigned char tryb);
/* 305 sends B B B */
TARVIK_API TARVIK_STATUS TRVS_PackStoreCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned char magazyn_wlaczony,
                                              const unsigned char kontrola_stanow, const unsigned char blokowac,
                                              const unsigned char tryb);
/* 306 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_DrawerImpulseGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char tryb);
/* 306 reads V */
TARVIK_API TARVIK_STATUS TRVG_DrawerImpulseGet(const TARVIK_HANDLE phRequest, unsigned short* impuls);
/* 307 sends V */
TARVIK_API TARVIK_STATUS TRVS_DrawerImpulseSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned short dlugosc, const unsigned char tryb);
/* 308 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_SoundCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char tryb);
/* 308 reads B B */
TARVIK_API TARVIK_STATUS TRVG_SoundCfgGet(const TARVIK_HANDLE phRequest, unsigned char* flaga, unsigned char* zrodlo);
/* 309 sends B B */
TARVIK_API TARVIK_STATUS TRVS_SoundCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char flaga, const unsigned char zrodlo,
                                          const unsigned char tryb);
/* 316 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_BillBufCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
/* 316 reads B B V */
TARVIK_API TARVIK_STATUS TRVG_BillBufCfgGet(const TARVIK_HANDLE phRequest, unsigned char* aktywny,
                                            unsigned char* syg_przepelnienia, unsigned short* prog);
/* 339 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_BillBufCfgGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned char tryb);
/* 339 reads B B V B B */
TARVIK_API TARVIK_STATUS TRVG_BillBufCfgGetEx(const TARVIK_HANDLE phRequest, unsigned char* aktywny,
                                              unsigned char* przepelnienie, unsigned short* prog,
                                              unsigned char* blokada, unsigned char* sygnalizacja);
/* 317 sends B B V */
TARVIK_API TARVIK_STATUS TRVS_BillBufCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char czy_aktywny, const unsigned char czy_sygnalizowac,
                                            const unsigned short poziom_progowy, const unsigned char tryb);
/* 317 sends B B V B B */
TARVIK_API TARVIK_STATUS TRVS_v2_BillBufCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char czy_aktywny, const unsigned char czy_sygnalizowac,
                                               const unsigned short poziom_progowy, const unsigned char czy_blokada,
                                               const unsigned char czy_informacja, const unsigned char tryb);
/* 323 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_UserAuthCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char tryb);
/* 323 reads B B */
TARVIK_API TARVIK_STATUS TRVG_UserAuthCfgGet(const TARVIK_HANDLE phRequest, unsigned char* sposob,
                                             unsigned char* kontrola);
/* 324 sends B B */
TARVIK_API TARVIK_STATUS TRVS_UserAuthCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char sposob_log, const unsigned char typ_kontroli,
                                             const unsigned char tryb);
/* 330 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_DiscntCardCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char tryb);
/* 330 reads B V V */
TARVIK_API TARVIK_STATUS TRVG_DiscntCardCfgGet(const TARVIK_HANDLE phRequest, unsigned char* wazne,
                                               unsigned short* czas, unsigned short* metoda);
/* 334 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_XEL_DiscntCardCfgGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                     const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_DiscntCardCfgGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned char tryb);
/* 334 reads B V V S
 * Buffers: parametry 64
 */
TARVIK_API TARVIK_STATUS TRVG_XEL_DiscntCardCfgGetEx(const TARVIK_HANDLE phRequest, unsigned char* wazne,
                                                     unsigned short* czas, unsigned short* metoda, char* parametry);
TARVIK_API TARVIK_STATUS TRVG_DiscntCardCfgGetEx(const TARVIK_HANDLE phRequest, unsigned char* wazne,
                                                 unsigned short* czas, unsigned short* metoda, char* parametry);
/* 331 sends B V V */
TARVIK_API TARVIK_STATUS TRVS_DiscntCardCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char czy_wazne, const unsigned short czas_odpowiedzi,
                                               const unsigned short sposob_wprowadzania, const unsigned char tryb);
/* 331 sends B V V S */
TARVIK_API TARVIK_STATUS TRVS_XEL_DiscntCardCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                   const unsigned char czy_wazne,
                                                   const unsigned short czas_odpowiedzi,
                                                   const unsigned short sposob_wprowadzania, const char* parametry,
                                                   const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_v2_DiscntCardCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned char czy_wazne, const unsigned short czas_odpowiedzi,
                                                  const unsigned short sposob_wprowadzania, const char* parametry,
                                                  const unsigned char tryb);
/* 2 reads S
 * Reads a card event: the request that TRV_PopAsyncData returns or that the
 * event callback receives (command 2), not the answer to a TRVS_ call.
 * Buffers: numer_karty 64
 */
TARVIK_API TARVIK_STATUS TRVG_CardInfo(const TARVIK_HANDLE phRequest, char* numer_karty);
/* 337 sends B */
TARVIK_API TARVIK_STATUS TRVS_XEL_PriceVerifCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                   const unsigned char typ, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_PriceVerifCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char typ, const unsigned char tryb);
/* 337 reads B B B B 4S256!
 * The verifier's four display lines joined into tekst, which is required.
 * Buffers: tekst 1024
 */
TARVIK_API TARVIK_STATUS TRVG_XEL_PriceVerifCfgGet(const TARVIK_HANDLE phRequest, unsigned char* ilosc,
                                                   unsigned char* miganie, unsigned char* opoznienie,
                                                   unsigned char* czas, char* tekst);
TARVIK_API TARVIK_STATUS TRVG_PriceVerifCfgGet(const TARVIK_HANDLE phRequest, unsigned char* ilosc,
                                               unsigned char* miganie, unsigned char* opoznienie, unsigned char* czas,
                                               char* tekst);
/* 338 sends BBBBBSS|BBBBBSSSS
 * A sending function despite its name. tekst: the display lines, one line
 * feed between two; 2 lines when typ is 0, else 4, padded with empty lines.
 * A missing or empty text or too many lines is 0x10108 (a lone line feed
 * blanks the display); a line that cannot be pushed 0x10107.
 */
TARVIK_API TARVIK_STATUS TRVG_XEL_PriceVerifCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                   const unsigned char typ, const unsigned char ilosc,
                                                   const unsigned char miganie, const unsigned char opoznienie,
                                                   const unsigned char czas, const char* tekst,
                                                   const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_PriceVerifCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char typ, const unsigned char ilosc,
                                               const unsigned char miganie, const unsigned char opoznienie,
                                               const unsigned char czas, const char* tekst, const unsigned char tryb);
/* 342 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_AddonCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char tryb);
/* 342 reads B B V */
TARVIK_API TARVIK_STATUS TRVG_AddonCfgGet(const TARVIK_HANDLE phRequest, unsigned char* suplement2,
                                          unsigned char* suplement5, unsigned short* odstep);
/* 341 sends B B V */
TARVIK_API TARVIK_STATUS TRVS_AddonCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char suplement2, const unsigned char suplement5,
                                          const unsigned short odstep, const unsigned char tryb);
/* 371 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_TakingsVerifyGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char tryb);
/* 371 reads B
 * tryb is the register's setting here, not a post mode.
 */
TARVIK_API TARVIK_STATUS TRVG_TakingsVerifyGet(const TARVIK_HANDLE phRequest, unsigned char* tryb);
/* 370 sends B */
TARVIK_API TARVIK_STATUS TRVS_TakingsVerifySet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char flaga, const unsigned char tryb);
/* 361 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_ChangeLogoutGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned char tryb);
/* 361 reads B */
TARVIK_API TARVIK_STATUS TRVG_ChangeLogoutGet(const TARVIK_HANDLE phRequest, unsigned char* flaga);
/* 360 sends B */
TARVIK_API TARVIK_STATUS TRVS_ChangeLogoutSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned char flaga, const unsigned char tryb);
/* 3170 sends V */
TARVIK_API TARVIK_STATUS TRVS_ProtTransMonCfgRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned short numer_ciagu, const unsigned char tryb);
/* 3170 reads V S
 * Buffers: ciag 64
 */
TARVIK_API TARVIK_STATUS TRVG_ProtTransMonCfgRead(const TARVIK_HANDLE phRequest, unsigned short* numer_ciagu,
                                                  char* ciag);
/* 3160 sends V S */
TARVIK_API TARVIK_STATUS TRVS_ProtTransMonCfgIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned short numer_ciagu, const char* ciag,
                                                 const unsigned char tryb);

/* ---- Printing, header, footer and display settings ------------------------ */

/* 314 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_PrintCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char tryb);
/* 314 reads B B B B */
TARVIK_API TARVIK_STATUS TRVG_PrintCfgGet(const TARVIK_HANDLE phRequest, unsigned char* niefiskalne,
                                          unsigned char* zmiany_PLU, unsigned char* czulosc, unsigned char* obcinacz);
/* 315 sends B B B B */
TARVIK_API TARVIK_STATUS TRVS_PrintCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char niefiskalne, const unsigned char zmiany_PLU,
                                          const unsigned char czulosc_papieru, const unsigned char obcinacz,
                                          const unsigned char tryb);
/* 510 sends B */
TARVIK_API TARVIK_STATUS TRVS_ExtPrnCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char numer_drukarki, const unsigned char tryb);
/* 510 reads B B B B 3S
 * The three header lines joined into linie_naglowka.
 * Buffers: linie_naglowka 192
 */
TARVIK_API TARVIK_STATUS TRVG_ExtPrnCfgGet(const TARVIK_HANDLE phRequest, unsigned char* numer_drukarki,
                                           unsigned char* czcionki, unsigned char* szerokosc, unsigned char* obcinacz,
                                           char* linie_naglowka);
/* 511 sends BBBBSSS
 * linie_naglowka: up to three lines, one line feed between two, padded with
 * empty lines to three; a missing or empty text or a fourth line is 0x10107
 * (a lone line feed sends three empty lines).
 */
TARVIK_API TARVIK_STATUS TRVS_ExtPrnCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char numer_drukarki, const unsigned char czcionki,
                                           const unsigned char szerokosc, const unsigned char obcinacz,
                                           const char* linie_naglowka, const unsigned char tryb);
/* 18 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_HeaderGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned char tryb);
/* 18 reads B(BS)*
 * The line flags and the line texts, each joined (one line feed between
 * two); both outputs are required. The register holds 10 lines.
 * Buffers: flagi_linii 40, linie 2560
 */
TARVIK_API TARVIK_STATUS TRVG_HeaderGet(const TARVIK_HANDLE phRequest, char* flagi_linii, char* linie);
/* 19 sends (BS)*
 * A flag and a text per line, from two lists of as many lines (at most 10).
 * A missing flag list, unequal counts or too many lines is 0x10103; a
 * missing text list 0x10104. Two empty texts clear the lines.
 */
TARVIK_API TARVIK_STATUS TRVS_HeaderSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* line_param,
                                        const char* lines, const unsigned char tryb);
/* 30 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_FooterGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned char tryb);
/* 30 reads B(BS)*
 * As TRVG_HeaderGet; the register holds 3 lines.
 * Buffers: flagi_linii 12, linie 768
 */
TARVIK_API TARVIK_STATUS TRVG_FooterGet(const TARVIK_HANDLE phRequest, char* flagi_linii, char* linie);
/* 31 sends (BS)*
 * As TRVS_HeaderSet, at most 3 lines.
 */
TARVIK_API TARVIK_STATUS TRVS_FooterSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* flagi,
                                        const char* linie, const unsigned char tryb);
/* 101 sends B */
TARVIK_API TARVIK_STATUS TRVS_DspParamGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char wyswietlacz, const unsigned char tryb);
/* 101 reads B B B V */
TARVIK_API TARVIK_STATUS TRVG_DspParamGet(const TARVIK_HANDLE phRequest, unsigned char* kontrast,
                                          unsigned char* podswietlenie, unsigned char* tryb_podsw,
                                          unsigned short* opoznienie);
/* 100 sends B B B B V */
TARVIK_API TARVIK_STATUS TRVS_DspParamSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char wyswietlacz, const unsigned char kontrast,
                                          const unsigned char podswietlenie, const unsigned char tryb_podsw,
                                          const unsigned short opoznienie, const unsigned char tryb);
/* 382 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_DspInfoCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
/* 382 reads B B */
TARVIK_API TARVIK_STATUS TRVG_DspInfoCfgGet(const TARVIK_HANDLE phRequest, unsigned char* gdy_zalogowany,
                                            unsigned char* gdy_wylogowany);
/* 383 sends B B */
TARVIK_API TARVIK_STATUS TRVS_DspInfoCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char linia_zalogowany,
                                            const unsigned char linia_niezalogowany, const unsigned char tryb);
/* 380 sends B */
TARVIK_API TARVIK_STATUS TRVS_DspInfoGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char numer, const unsigned char tryb);
/* 380 reads B(BSBBBB)*
 * One line per display entry in each of the six texts; a Byte counts them.
 * Buffers: typy_zawartosci 1020, linie 16320, inwersje 1020, predkosci 1020,
 *   kierunki 1020, formaty_czasu 1020
 */
TARVIK_API TARVIK_STATUS TRVG_DspInfoGet(const TARVIK_HANDLE phRequest, char* typy_zawartosci, char* linie,
                                         char* inwersje, char* predkosci, char* kierunki, char* formaty_czasu);
/* 381 sends B(BSBBBB)*
 * Six parallel lists, one line per entry; inwersje may be null or empty (or
 * of another count): every entry is then sent without inversion. A missing
 * or empty list has its position's code; unequal counts are 0x10103, and a
 * value that cannot be pushed has the code one below its list's.
 */
TARVIK_API TARVIK_STATUS TRVS_DspInfoSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char numer, const char* typy_zawartosci, const char* linie,
                                         const char* inwersje, const char* predkosci, const char* kierunki,
                                         const char* formaty_czasu, const unsigned char tryb);

/* ---- Communication, port and modem settings ------------------------------- */

/* 327 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_CommCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char tryb);
/* 327 reads BBBBB(LLL)?
 * The addresses as dotted texts, empty when the answer carries none.
 * Buffers: ipv4_address 16, ipv4_netmask 16, ipv4_gateway 16
 */
TARVIK_API TARVIK_STATUS TRVG_CommCfgGet(const TARVIK_HANDLE phRequest, unsigned char* typ, unsigned char* id_kanalu,
                                         unsigned char* szyfr, unsigned char* charset, unsigned char* tcpip,
                                         char* ipv4_address, char* ipv4_netmask, char* ipv4_gateway);
/* 345 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_CommCfgGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char tryb);
/* 345 reads BBBBB(LLL(VB?)?)?
 * As TRVG_CommCfgGet, then port and dhcp: an answer of eight values or
 * fewer gives 0 to both; one of exactly nine sets port and leaves dhcp as
 * it was.
 * Buffers: ipv4_address 16, ipv4_netmask 16, ipv4_gateway 16
 */
TARVIK_API TARVIK_STATUS TRVG_CommCfgGetEx(const TARVIK_HANDLE phRequest, unsigned char* typ,
                                           unsigned char* id_kanalu, unsigned char* szyfr, unsigned char* charset,
                                           unsigned char* tcpip, char* ipv4_address, char* ipv4_netmask,
                                           char* ipv4_gateway, unsigned short* port, unsigned char* dhcp);
/* 328 sends BBBBBLLL
 * The addresses are dotted texts, sent as Longs; when any of the three is
 * null, three zeros are sent.
 */
TARVIK_API TARVIK_STATUS TRVS_CommCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char typ_interfejsu, const unsigned char id_kanalu,
                                         const unsigned char typ_szyfru, const unsigned char charset,
                                         const unsigned char tcpip, const char* ipv4_address,
                                         const char* ipv4_netmask, const char* ipv4_gateway,
                                         const unsigned char tryb);
/* 328 sends BBBBBLLLVB
 * As TRVS_CommCfgSet, then port and dhcp.
 */
TARVIK_API TARVIK_STATUS TRVS_v2_CommCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char typ_interfejsu, const unsigned char id_kanalu,
                                            const unsigned char typ_szyfru, const unsigned char charset,
                                            const unsigned char tcpip, const char* ipv4_address,
                                            const char* ipv4_netmask, const char* ipv4_gateway,
                                            const unsigned short port, const unsigned char dhcp,
                                            const unsigned char tryb);
/* 325 sends B */
TARVIK_API TARVIK_STATUS TRVS_PortCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char port, const unsigned char tryb);
/* 325 reads B S port[B B B B B]
 * konfiguracja: the line parameters as text, "9600,8,N,1,N".
 * Buffers: nazwa 64, konfiguracja 15
 */
TARVIK_API TARVIK_STATUS TRVG_PortCfgGet(const TARVIK_HANDLE phRequest, unsigned char* typ_urzadzenia, char* nazwa,
                                         char* konfiguracja);
/* 325 reads BSBBBBBB?
 * As TRVG_PortCfgGet, then the subtype; an answer without it gives 0.
 * Buffers: nazwa 64, konfiguracja 15
 */
TARVIK_API TARVIK_STATUS TRVG_XEL_PortCfgGet(const TARVIK_HANDLE phRequest, unsigned char* typ_urzadzenia,
                                             char* nazwa, char* konfiguracja, unsigned char* podtyp);
TARVIK_API TARVIK_STATUS TRVG_v2_PortCfgGet(const TARVIK_HANDLE phRequest, unsigned char* typ_urzadzenia, char* nazwa,
                                            char* konfiguracja, unsigned char* podtyp);
/* 326 sends B B port[B B B B B] S
 * portcfg: "baud,data bits,parity,stop bits,handshake", for instance
 * "9600,8,N,1,H"; an unknown baud rate is 0x10105.
 */
TARVIK_API TARVIK_STATUS TRVS_PortCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char typ_urzadzenia, const unsigned char numer_portu,
                                         const char* portcfg, const char* nazwa, const unsigned char tryb);
/* 326 sends B B port[B B B B B] S B
 * As TRVS_PortCfgSet, then the subtype.
 */
TARVIK_API TARVIK_STATUS TRVS_XEL_PortCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char typ_urzadzenia, const unsigned char numer_portu,
                                             const char* portcfg, const char* nazwa, const char podtyp,
                                             const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_v2_PortCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char typ_urzadzenia, const unsigned char numer_portu,
                                            const char* portcfg, const char* nazwa, const char podtyp,
                                            const unsigned char tryb);
/* 384 sends (BBBBBB(BBBBBB)?)?
 * wariant (not sent) 1: port A only, 2: ports A and B, else nothing.
 */
TARVIK_API TARVIK_STATUS TRVS_TerminalCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char wariant, const unsigned char portA_numer,
                                             const char* portcfgA, const unsigned char portB_numer,
                                             const char* portcfgB, const unsigned char tryb);
/* 312 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_ModemCfgGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char tryb);
/* 312 reads B S S
 * Buffers: init 64, telefon 64
 */
TARVIK_API TARVIK_STATUS TRVG_ModemCfgGet(const TARVIK_HANDLE phRequest, unsigned char* modem, char* init,
                                          char* telefon);
/* 313 sends B S S */
TARVIK_API TARVIK_STATUS TRVS_ModemCfgSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char czy_modem, const char* init, const char* telefon,
                                          const unsigned char tryb);
/* 6 sends nothing
 * Asks the register to close the TCP connection; the library connects again
 * by itself. C++ code sees this function with C++ linkage, C code with C
 * linkage; the library exports both, so either caller links.
 */
#ifdef __cplusplus
}
TARVIK_API TARVIK_STATUS TRVS_TcpClose(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                       const unsigned char tryb);
extern "C" {
#else
TARVIK_API TARVIK_STATUS TRVS_TcpClose(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                       const unsigned char tryb);
#endif

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
 * TRVG_Default releases it). Every record starts with its date, written to
 * data as "YYYY-MM-DD HH:MM" without seconds (datetimemin): 16 characters,
 * so data needs 17 bytes.
 */
TARVIK_API TARVIK_STATUS TRVS_FiscMemRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short numer_rekordu, const unsigned char tryb);
/* 405 reads, keeps the request: V */
TARVIK_API TARVIK_STATUS TRVG_FiscMemReadType(const TARVIK_HANDLE phRequest, unsigned short* typ);
/* 405 reads datetimemin[B B V B B] V V V 7N N L
 * totalizeryAG: the turnover of VAT rates A to G, one line feed between two.
 * Buffers: data 17, totalizeryAG 98, wart_anulowanych 14
 */
TARVIK_API TARVIK_STATUS TRVG_FiscMemReadDaily(const TARVIK_HANDLE phRequest, char* data, unsigned short* numer,
                                               unsigned short* paragonow, unsigned short* anulowanych,
                                               char* totalizeryAG, char* wart_anulowanych, unsigned long* zmianPLU);
/* 405 reads datetimemin[B B V B B] S
 * Buffers: data 17, nip 64
 */
TARVIK_API TARVIK_STATUS TRVG_FiscMemReadFiscal(const TARVIK_HANDLE phRequest, char* data, char* nip);
/* 405 reads datetimemin[B B V B B] V V V V V V V V
 * Buffers: data 17
 */
TARVIK_API TARVIK_STATUS TRVG_FiscMemReadPTUChange(const TARVIK_HANDLE phRequest, char* data, unsigned short* numer,
                                                   unsigned short* stawkaA, unsigned short* stawkaB,
                                                   unsigned short* stawkaC, unsigned short* stawkaD,
                                                   unsigned short* stawkaE, unsigned short* stawkaF,
                                                   unsigned short* stawkaG);
/* 405 reads datetimemin[B B V B B] V V V
 * Buffers: data 17
 */
TARVIK_API TARVIK_STATUS TRVG_FiscMemReadClearRAM(const TARVIK_HANDLE phRequest, char* data,
                                                  unsigned short* numer_zerowania, unsigned short* przyczyna_fiscal,
                                                  unsigned short* przyczyna_apli);
/* 405 reads datetimemin[B B V B B]
 * Buffers: data 17
 */
TARVIK_API TARVIK_STATUS TRVG_FiscMemReadSaleStart(const TARVIK_HANDLE phRequest, char* data);
/* 406 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_FiscMemStatus(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
/* 406 reads S S V V V V V V
 * The used counts and limits of daily reports, rate changes and RAM clearings.
 * Buffers: numer_unikatowy 64, NIP 64
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

/* ---- Hotkeys: actions ----------------------------------------------------- */

/* 3200 sends V V N V B
 * Every insertion takes the key number first and the overwrite flag last;
 * only the weighed-article flag of 3207 comes after it.
 */
TARVIK_API TARVIK_STATUS TRVS_HotkeyPLUIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned short numer_klawisza, const unsigned short numer_PLU,
                                           const char* ilosc, const unsigned short numer_platnosci,
                                           const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3207 sends V V N V B B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyPLUInsEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned short numer_klawisza, const unsigned short numer_PLU,
                                             const char* ilosc, const unsigned short numer_platnosci,
                                             const unsigned char czy_nadpisac, const unsigned char czy_wazony,
                                             const unsigned char tryb);
/* 3201 sends V V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyDiscntIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned short numer_klawisza, const unsigned short numer_rabatu,
                                              const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3202 sends V V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyFormIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_klawisza, const unsigned short numer_platnosci,
                                            const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3203 sends V V N B B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyPackIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_rekordu, const unsigned short numer_opakowania,
                                            const char* ilosc, const unsigned char czy_wydanie,
                                            const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3204 sends V V L B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyFuncIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_klawisza, const unsigned short ident_funkcji,
                                            const unsigned long parametry, const unsigned char czy_nadpisac,
                                            const unsigned char tryb);
/* 3205 sends V V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepSetIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned short numer_klawisza, const unsigned short numer_zestawu,
                                              const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3206 sends V V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyCurrencyIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned short klawisz, const unsigned short numer_platnosci,
                                                const unsigned char czy_nadpisac, const unsigned char tryb);

/* ---- Hotkeys: printed reports --------------------------------------------- */

/* 3211 sends V B
 * A key that prints one report with preset selectors; the selectors are
 * those of the report command itself.
 */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepPogDailyIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                   const unsigned short klawisz, const unsigned char czy_nadpisac,
                                                   const unsigned char tryb);
/* 3401 sends V B B B V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepPLUByRecNoIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                     const unsigned short klawisz, const unsigned char identyfikator,
                                                     const unsigned char typ_raportu,
                                                     const unsigned char zakres_raportu,
                                                     const unsigned short numer_rekordu,
                                                     const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3402 sends V B B B V V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepPLUByRecRangeIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                        const unsigned short klawisz,
                                                        const unsigned char identyfikator,
                                                        const unsigned char typ_raportu,
                                                        const unsigned char zakres_raportu,
                                                        const unsigned short numer_pocz,
                                                        const unsigned short numer_konc,
                                                        const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3403 sends V B B B B B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepPLUByVATIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                   const unsigned short klawisz, const unsigned char identyfikator,
                                                   const unsigned char typ_raportu,
                                                   const unsigned char zakres_raportu, const unsigned char stawka_vat,
                                                   const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3404 sends V B B B B B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepPLUByGroupIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                     const unsigned short klawisz, const unsigned char identyfikator,
                                                     const unsigned char typ_raportu,
                                                     const unsigned char zakres_raportu,
                                                     const unsigned char numer_grupy,
                                                     const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3405 sends V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepNotepadIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned short klawisz, const unsigned char czy_nadpisac,
                                                  const unsigned char tryb);
/* 3410 sends V B B V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepPackIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned short klawisz, const unsigned char typ_raportu,
                                               const unsigned char zakres_raportu, const unsigned short numer_rekordu,
                                               const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3411 sends V B B V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepUserIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned short klawisz, const unsigned char typ_raportu,
                                               const unsigned char zakres_raportu, const unsigned short numer_rekordu,
                                               const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3412 sends V B B V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepDiscntIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned short klawisz, const unsigned char typ_raportu,
                                                 const unsigned char zakres_raportu,
                                                 const unsigned short numer_rekordu, const unsigned char czy_nadpisac,
                                                 const unsigned char tryb);
/* 3413 sends V B B V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepPayFormIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned short klawisz, const unsigned char typ_raportu,
                                                  const unsigned char zakres_raportu,
                                                  const unsigned short numer_rekordu,
                                                  const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3418 sends V B B V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepGroupIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned short klawisz, const unsigned char typ_raportu,
                                                const unsigned char zakres_raportu,
                                                const unsigned short numer_rekordu, const unsigned char czy_nadpisac,
                                                const unsigned char tryb);
/* 3420 sends V B B V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepAutoDisntIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                    const unsigned short klawisz, const unsigned char typ_raportu,
                                                    const unsigned char zakres_raportu,
                                                    const unsigned short numer_rekordu,
                                                    const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3414 sends V B=0 B=0 V B
 * The register wants two zero Bytes between the key and the record number.
 */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepMUIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned short klawisz, const unsigned short numer_rekordu,
                                             const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3415 sends V B=0 B=0 V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepHotkeyIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned short klawisz, const unsigned short numer_rekordu,
                                                 const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3417 sends V B=0 B=0 V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepCodeFmtIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned short klawisz, const unsigned short numer_rekordu,
                                                  const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3421 sends V B=0 B=0 V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepCashoutDescIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                      const unsigned short klawisz,
                                                      const unsigned short numer_rekordu,
                                                      const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3416 sends V B=0 B=0 V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepRepSetIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned short klawisz, const unsigned short numer_zestawu,
                                                 const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3419 sends V B B B V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepGroupStatIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                    const unsigned short klawisz, const unsigned char rodzaj_raportu,
                                                    const unsigned char typ_raportu, const unsigned char zakres,
                                                    const unsigned short numer_rekordu,
                                                    const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3422 sends V B B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepCurrUserIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                   const unsigned short klawisz, const unsigned char typ_raportu,
                                                   const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3423 sends V B B B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepHoursIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned short klawisz, const unsigned char typ_rekordu,
                                                const unsigned char zakres, const unsigned char czy_nadpisac,
                                                const unsigned char tryb);
/* 3460 sends V date[B B V] B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepInactivePLUIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                      const unsigned short klawisz, const char* date,
                                                      const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3451 sends V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepStorePackIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                    const unsigned short klawisz, const unsigned char czy_nadpisac,
                                                    const unsigned char tryb);
/* 3453 sends V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepShortagePackIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                       const unsigned short klawisz, const unsigned char czy_nadpisac,
                                                       const unsigned char tryb);
/* 3461 sends V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepPTUIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned short klawisz, const unsigned char czy_nadpisac,
                                              const unsigned char tryb);
/* 3462 sends V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepCfgSaleIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned short klawisz, const unsigned char czy_nadpisac,
                                                  const unsigned char tryb);
/* 3463 sends V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepCfgHardwareIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                      const unsigned short klawisz, const unsigned char czy_nadpisac,
                                                      const unsigned char tryb);
/* 3464 sends V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepCfgCommIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned short klawisz, const unsigned char czy_nadpisac,
                                                  const unsigned char tryb);
/* 3465 sends V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepFskDailyIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                   const unsigned short klawisz, const unsigned char czy_nadpisac,
                                                   const unsigned char tryb);
/* 3466 sends V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepFskPeriodIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                    const unsigned short klawisz, const unsigned char czy_nadpisac,
                                                    const unsigned char tryb);
/* 3468 sends V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepFskMonthlyIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                     const unsigned short klawisz, const unsigned char czy_nadpisac,
                                                     const unsigned char tryb);
/* 3469 sends V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepCashRegIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned short klawisz, const unsigned char czy_nadpisac,
                                                  const unsigned char tryb);
/* 3470 sends V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepServiceIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned short klawisz, const unsigned char czy_nadpisac,
                                                  const unsigned char tryb);
/* 3471 sends V B */
TARVIK_API TARVIK_STATUS TRVS_XEL_HotkeyRepCommIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                   const unsigned short klawisz, const unsigned char czy_nadpisac,
                                                   const unsigned char tryb);
/* 3472 sends V B */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRepPLUDescIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned short klawisz, const unsigned char czy_nadpisac,
                                                  const unsigned char tryb);

/* ---- Hotkeys: reading back and deleting ----------------------------------- */

/* 3210 sends V
 * TRVS_HotkeyRead asks for one key; TRVG_HotkeyReadGetType reads its number
 * and type and keeps the request; the reader for that type continues on the
 * same request (TRVG_Default releases a type without one). The type numbers
 * are the register's own.
 */
TARVIK_API TARVIK_STATUS TRVS_HotkeyRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer, const unsigned char tryb);
/* 3210 reads, keeps the request: V V */
TARVIK_API TARVIK_STATUS TRVG_HotkeyReadGetType(const TARVIK_HANDLE phRequest, unsigned short* numer,
                                                unsigned short* typ);
/* 3210 reads V N B
 * A key programmed with the weighed-article flag answers it last; this reader
 * leaves it unread.
 * Buffers: ilosc 14
 */
TARVIK_API TARVIK_STATUS TRVG_HotkeyReadGetQuickSale(const TARVIK_HANDLE phRequest, unsigned short* PLU, char* ilosc,
                                                     unsigned char* platnosc);
/* 3210 reads VNB|VNBB
 * As TRVG_HotkeyReadGetQuickSale, then the weighed-article flag, which is
 * read only when czy_wazony is not null.
 * Buffers: ilosc 14
 */
TARVIK_API TARVIK_STATUS TRVG_v2_HotkeyReadGetQuickSale(const TARVIK_HANDLE phRequest, unsigned short* PLU,
                                                        char* ilosc, unsigned char* platnosc,
                                                        unsigned char* czy_wazony);
/* 3210 reads B N B
 * The answers carry as Bytes the numbers that the insertions send as Words.
 * Buffers: ilosc 14
 */
TARVIK_API TARVIK_STATUS TRVG_HotkeyReadGetPack(const TARVIK_HANDLE phRequest, unsigned char* numer, char* ilosc,
                                                unsigned char* tryb);
/* 3210 reads B */
TARVIK_API TARVIK_STATUS TRVG_HotkeyReadGetDiscount(const TARVIK_HANDLE phRequest, unsigned char* numer);
/* 3210 reads B */
TARVIK_API TARVIK_STATUS TRVG_HotkeyReadGetPayform(const TARVIK_HANDLE phRequest, unsigned char* numer);
/* 3210 reads B */
TARVIK_API TARVIK_STATUS TRVG_HotkeyReadGetCurrency(const TARVIK_HANDLE phRequest, unsigned char* numer);
/* 3210 reads V */
TARVIK_API TARVIK_STATUS TRVG_HotkeyReadGetRepSet(const TARVIK_HANDLE phRequest, unsigned short* numer);
/* 3210 reads B L */
TARVIK_API TARVIK_STATUS TRVG_HotkeyReadGetFunction(const TARVIK_HANDLE phRequest, unsigned char* numer,
                                                    unsigned long* port);
/* 3210 reads VBB|VBBV|VBBVV|VBBB
 * rekordy tells what follows: 1 and 7 one Word, 2 two Words (from, to), 4 and
 * 5 one Byte; a single value goes to both rekord_od and rekord_do, and any
 * other rekordy leaves them as they are.
 */
TARVIK_API TARVIK_STATUS TRVG_HotkeyReadGetReport(const TARVIK_HANDLE phRequest, unsigned short* raport,
                                                  unsigned char* zakres, unsigned char* rekordy,
                                                  unsigned short* rekord_od, unsigned short* rekord_do);
/* 3220 sends V */
TARVIK_API TARVIK_STATUS TRVS_HotkeyNextFreeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned short numer_poczatkowy, const unsigned char tryb);
/* 3220 reads V */
TARVIK_API TARVIK_STATUS TRVG_HotkeyNextFreeGet(const TARVIK_HANDLE phRequest, unsigned short* numer);
/* 3240 sends V */
TARVIK_API TARVIK_STATUS TRVS_HotkeyDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned short numer_rekordu, const unsigned char tryb);
/* 3250 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_HotkeyDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char tryb);

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
 * Buffers: nazwa 64, kod_kreskowy_podstawowy 64, cena 14, min_stan 14,
 *   barcodes 64512
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
 * Buffers: nazwa 64, kod_kreskowy_podstawowy 64, cena 14, min_stan 14,
 *   barcodes 64512
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
 * Buffers: kod_kreskowy 64, nazwa 64, kod_kreskowy_podstawowy 64, cena 14,
 *   min_stan 14, barcodes 64512
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
 * Buffers: nazwa 64, kod_kreskowy_podstawowy 64, cena 14, min_stan 14,
 *   barcodes 64512
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
 * Buffers: nazwa 64, kod_kreskowy_podstawowy 64, cena 14, min_stan 14,
 *   barcodes 64512
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
/* 2160 reads V N N N date[B B V]
 * Buffers: wartosc 14, ilosc 14, stan 14, data 11
 */
TARVIK_API TARVIK_STATUS TRVG_PLUStatRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* wartosc,
                                          char* ilosc, char* stan, char* data);
/* 2161 sends S B */
TARVIK_API TARVIK_STATUS TRVS_PLUStatReadByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                   const char* kod_kreskowy, const unsigned char czy_zerowanie,
                                                   const unsigned char tryb);
/* 2161 reads S N N N date[B B V]
 * Buffers: kod_kreskowy 64, wartosc 14, ilosc 14, stan 14, data 11
 */
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
/* 2183 reads V S N N date[B B V]
 * Buffers: nazwa 64, stan_min 14, stan 14, data 11
 */
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
/* 2186 reads S S N N date[B B V]
 * Buffers: kod_kreskowy 64, nazwa 64, stan_min 14, stan 14, data 11
 */
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
/* 2210 reads V(VNN)*
 * Buffers: numery 23124, ilosci 53956, ceny 53956
 */
TARVIK_API TARVIK_STATUS TRVG_SetRead(const TARVIK_HANDLE phRequest, unsigned short* czytany, char* numery,
                                      char* ilosci, char* ceny);
/* 2260 sends V B */
TARVIK_API TARVIK_STATUS TRVS_PLUSetItemStatRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned short numer_zestawu,
                                                 const unsigned char czy_zerowanie, const unsigned char tryb);
/* 2260 reads V(VNN)*
 * Buffers: numery 23124, ilosci 53956, wartosci 53956
 */
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
/* 2310 reads VS*
 * Buffers: barcodes 65280
 */
TARVIK_API TARVIK_STATUS TRVG_BarcodeRead(const TARVIK_HANDLE phRequest, unsigned short* czytany, char* barcodes);
/* 2340 sends S */
TARVIK_API TARVIK_STATUS TRVS_BarcodeDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const char* kod_kreskowy, const unsigned char tryb);
/* 2350 sends V */
TARVIK_API TARVIK_STATUS TRVS_BarcodeDelAllForPLU(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned short numer_PLU, const unsigned char tryb);

/* ---- Article descriptions ------------------------------------------------- */

/* 3610 sends V S */
TARVIK_API TARVIK_STATUS TRVS_PLUDescIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer_rekordu, const char* komunikat,
                                         const unsigned char tryb);
/* 3630 sends V */
TARVIK_API TARVIK_STATUS TRVS_PLUDescRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short numer, const unsigned char tryb);
/* 3630 reads V S
 * Buffers: komunikat 64
 */
TARVIK_API TARVIK_STATUS TRVG_PLUDescRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                          char* komunikat);
/* 3640 sends V */
TARVIK_API TARVIK_STATUS TRVS_PLUDescDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer, const unsigned char tryb);
/* 3650 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_PLUDescDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);

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
 * Buffers: data 11, totalizeryAG 98, wart_anulowanych 14
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetFiscal(const TARVIK_HANDLE phRequest, char* data, unsigned short* numer,
                                               unsigned short* paragonow, unsigned short* anulowanych,
                                               char* totalizeryAG, char* wart_anulowanych, unsigned long* zmianPLU);
/* 451 reads L datetimemin[B B V B B] S S V N N
 * Buffers: data 17, kasa 64, kasjer 64, wartosc 14, do_zaplaty 14
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetFinished(const TARVIK_HANDLE phRequest, unsigned long* numer, char* data,
                                                 char* kasa, char* kasjer, unsigned short* numer_kasjera,
                                                 char* wartosc, char* do_zaplaty);
/* 451 reads L datetimemin[B B V B B] S S V N N L
 * Buffers: data 17, kasa 64, kasjer 64, wartosc 14, do_zaplaty 14
 */
TARVIK_API TARVIK_STATUS TRVG_XEL_SaleRecGetFinished(const TARVIK_HANDLE phRequest, unsigned long* numer, char* data,
                                                     char* kasa, char* kasjer, unsigned short* numer_kasjera,
                                                     char* wartosc, char* do_zaplaty,
                                                     unsigned long* numer_niefiskalny);
TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetFinished(const TARVIK_HANDLE phRequest, unsigned long* numer, char* data,
                                                    char* kasa, char* kasjer, unsigned short* numer_kasjera,
                                                    char* wartosc, char* do_zaplaty,
                                                    unsigned long* numer_niefiskalny);
/* 451 reads datetimemin[B B V B B] S S V V N N
 * Buffers: data 17, kasa 64, kasjer 64, wartosc 14, do_zaplaty 14
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCancelled(const TARVIK_HANDLE phRequest, char* data, char* kasa, char* kasjer,
                                                  unsigned short* numer_kasjera, unsigned short* autoryzujacy,
                                                  char* wartosc, char* do_zaplaty);
/* 451 reads datetimemin[B B V B B] S S V V N N L N
 * Buffers: data 17, kasa 64, kasjer 64, wartosc 14, do_zaplaty 14,
 *   wart_storn 14
 */
TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetCancelled(const TARVIK_HANDLE phRequest, char* data, char* kasa,
                                                     char* kasjer, unsigned short* numer_kasjera,
                                                     unsigned short* autoryzujacy, char* wartosc, char* do_zaplaty,
                                                     unsigned long* storna, char* wart_storn);
/* 451 reads B V S S N N
 * Buffers: kod_kreskowy 64, nazwa 64, ilosc 14, wartosc 14
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPLUSet(const TARVIK_HANDLE phRequest, unsigned char* vat, unsigned short* PLU,
                                               char* kod_kreskowy, char* nazwa, char* ilosc, char* wartosc);
/* 451 reads BVSSNNS?
 * addon is empty when the record carries none.
 * Buffers: kod_kreskowy 64, nazwa_lub_cena 64, ilosc 14, wartosc 14, addon 64
 */
TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetPLUSet(const TARVIK_HANDLE phRequest, unsigned char* vat,
                                                  unsigned short* PLU, char* kod_kreskowy, char* nazwa_lub_cena,
                                                  char* ilosc, char* wartosc, char* addon);
/* 451 reads V S N N
 * Buffers: kod_kreskowy 64, ilosc 14, wartosc 14
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPack(const TARVIK_HANDLE phRequest, unsigned short* numer, char* kod_kreskowy,
                                             char* ilosc, char* wartosc);
/* 451 reads V S B N
 * Buffers: nazwa 64, kwota 14
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPayform(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                                unsigned char* typ, char* kwota);
/* 451 reads V S B N S S S V
 * Buffers: nazwa 64, kwota 14, opis 64, kasa 64, kasjer 64
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPayformEx(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                                  unsigned char* typ, char* kwota, char* opis, char* kasa,
                                                  char* kasjer, unsigned short* numer_kasjera);
/* 451 reads V S N N N
 * Buffers: nazwa 64, wartoscPLN 14, wartosc 14, kurs 14
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCurrency(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                                 char* wartoscPLN, char* wartosc, char* kurs);
/* 451 reads V S N N N S S S V
 * Buffers: nazwa 64, wartoscPLN 14, wartosc 14, kurs 14, opis 64, kasa 64,
 *   kasjer 64
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCurrencyEx(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                                   char* wartoscPLN, char* wartosc, char* kurs, char* opis,
                                                   char* kasa, char* kasjer, unsigned short* numer_kasjera);
/* 451 reads SBVNS?
 * karta is written only when the record carries a card.
 * Buffers: nazwa 64, kwota 14, karta 64
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetRebate(const TARVIK_HANDLE phRequest, char* nazwa, unsigned char* typ,
                                               unsigned short* numer, char* kwota, char* karta);
/* 451 reads S V V B N
 * Buffers: nazwa 64, kwota 14
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetRebateMN(const TARVIK_HANDLE phRequest, char* nazwa, unsigned short* numer,
                                                 unsigned short* PLU, unsigned char* stawkaVAT, char* kwota);
/* 451 reads V S B N
 * Buffers: nazwa_platnosci 64, kwota_cashback 14
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCashback(const TARVIK_HANDLE phRequest, unsigned short* numer_platnosci,
                                                 char* nazwa_platnosci, unsigned char* typ_platnosci,
                                                 char* kwota_cashback);
/* 451 reads L S N
 * Buffers: nazwa 64, kwota 14
 */
TARVIK_API TARVIK_STATUS TRVG_XEL_SaleRecGetAuthorize(const TARVIK_HANDLE phRequest, unsigned long* numer_kasjera,
                                                      char* nazwa, char* kwota);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetAuthorize(const TARVIK_HANDLE phRequest, unsigned long* numer_kasjera,
                                                  char* nazwa, char* kwota);
/* 451 reads V S N S
 * Buffers: kryterium 64, ilosc 14, opis 64
 */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetOrderPluPack(const TARVIK_HANDLE phRequest, unsigned short* plu_pack,
                                                     char* kryterium, char* ilosc, char* opis);
TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetInventoryPluPack(const TARVIK_HANDLE phRequest, unsigned short* plu_pack,
                                                            char* kryterium, char* ilosc, char* opis);
/* 451 reads V N
 * Buffers: kwota 14
 */
TARVIK_API TARVIK_STATUS TRVG_XEL_SaleRecGetInventoryPluPack(const TARVIK_HANDLE phRequest, unsigned short* plu_pack,
                                                             char* kwota);

/* ---- Remote login of the application -------------------------------------- */

/* 250 sends S
 * A missing password is 0x10102 here, not its position's code.
 */
TARVIK_API TARVIK_STATUS TRVS_RemoteLogin(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* haslo,
                                          const unsigned char tryb);
/* 251 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_RemoteLogout(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char tryb);
/* 252 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_RemoteLoginParamGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned char tryb);
/* 252 reads B S
 * Buffers: haslo 64
 */
TARVIK_API TARVIK_STATUS TRVG_RemoteLoginParamGet(const TARVIK_HANDLE phRequest, unsigned char* flagi, char* haslo);
/* 253 sends B S */
TARVIK_API TARVIK_STATUS TRVS_RemoteLoginParamSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned char flagi, const char* haslo,
                                                  const unsigned char tryb);

/* ---- Users (cashiers) ----------------------------------------------------- */

/* 2500 sends V S S S S V B B B B
 * The rights masks are the register's; they are passed through unchanged.
 */
TARVIK_API TARVIK_STATUS TRVS_UserIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned short numer_rekordu, const char* nazwa, const char* haslo,
                                      const char* karta, const char* pin, const unsigned short uprawnienia,
                                      const unsigned char uprawnienia_raportow,
                                      const unsigned char uprawnienia_klawisze, const unsigned char czy_nadpisac,
                                      const unsigned char czy_nadpisac_niezerowe, const unsigned char tryb);
/* 2501 sends V S S S S V B B N B B */
TARVIK_API TARVIK_STATUS TRVS_XEL_UserInsEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_rekordu, const char* nazwa, const char* haslo,
                                            const char* karta, const char* pin, const unsigned short uprawnienia,
                                            const unsigned char uprawnienia_raportow,
                                            const unsigned char uprawnienia_klawisze, const char* limit_paragonu,
                                            const unsigned char czy_nadpisac,
                                            const unsigned char czy_nadpisac_niezerowe, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_UserInsEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned short numer_rekordu, const char* nazwa, const char* haslo,
                                        const char* karta, const char* pin, const unsigned short uprawnienia,
                                        const unsigned char uprawnienia_raportow,
                                        const unsigned char uprawnienia_klawisze, const char* limit_paragonu,
                                        const unsigned char czy_nadpisac, const unsigned char czy_nadpisac_niezerowe,
                                        const unsigned char tryb);
/* 2502 sends V S S S S L B B N B B
 * As TRVS_UserInsEx with 32-bit rights.
 */
TARVIK_API TARVIK_STATUS TRVS_UserInsExEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short numer_rekordu, const char* nazwa, const char* haslo,
                                          const char* karta, const char* pin, const unsigned long uprawnienia,
                                          const unsigned char uprawnienia_raportow,
                                          const unsigned char uprawnienia_klawisze, const char* limit_paragonu,
                                          const unsigned char czy_nadpisac,
                                          const unsigned char czy_nadpisac_niezerowe, const unsigned char tryb);
/* 2510 sends V */
TARVIK_API TARVIK_STATUS TRVS_UserRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                       const unsigned short numer_rekordu, const unsigned char tryb);
/* 2510 reads V S S S S V B B
 * Buffers: nazwa 64, haslo 64, karta 64, pin 64
 */
TARVIK_API TARVIK_STATUS TRVG_UserRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                       char* haslo, char* karta, char* pin, unsigned short* prawa,
                                       unsigned char* prawa_raporty, unsigned char* prawa_klawisze);
/* 2511 sends V */
TARVIK_API TARVIK_STATUS TRVS_XEL_UserReadEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned short numer_rekordu, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_UserReadEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer_rekordu, const unsigned char tryb);
/* 2511 reads V S S S S V B B N
 * Buffers: nazwa 64, haslo 64, karta 64, pin 64, limit_paragonu 14
 */
TARVIK_API TARVIK_STATUS TRVG_XEL_UserReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                             char* nazwa, char* haslo, char* karta, char* pin, unsigned short* prawa,
                                             unsigned char* prawa_raporty, unsigned char* prawa_klawisze,
                                             char* limit_paragonu);
TARVIK_API TARVIK_STATUS TRVG_UserReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                         char* haslo, char* karta, char* pin, unsigned short* prawa,
                                         unsigned char* prawa_raporty, unsigned char* prawa_klawisze,
                                         char* limit_paragonu);
/* 2512 sends V */
TARVIK_API TARVIK_STATUS TRVS_UserReadExEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned short numer, const unsigned char tryb);
/* 2512 reads V S S S S L B B N
 * Buffers: nazwa 64, haslo 64, karta 64, pin 64, limit_paragonu 14
 */
TARVIK_API TARVIK_STATUS TRVG_UserReadExEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                           char* haslo, char* karta, char* pin, unsigned long* prawa,
                                           unsigned char* prawa_raporty, unsigned char* prawa_klawisze,
                                           char* limit_paragonu);
/* 2520 sends V */
TARVIK_API TARVIK_STATUS TRVS_UserNextFreeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned short numer_rekordu, const unsigned char tryb);
/* 2520 reads V */
TARVIK_API TARVIK_STATUS TRVG_UserNextFreeGet(const TARVIK_HANDLE phRequest, unsigned short* nastepny);
/* 2530 sends S */
TARVIK_API TARVIK_STATUS TRVS_UserGetByName(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* nazwa,
                                            const unsigned char tryb);
/* 2530 reads V */
TARVIK_API TARVIK_STATUS TRVG_UserGetByName(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu);
/* 2540 sends V B */
TARVIK_API TARVIK_STATUS TRVS_UserDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned short numer_rekordu, const unsigned char czy_niezerowe,
                                      const unsigned char tryb);
/* 2550 sends B
 * A failed push of flagi is 0x10102 here, not its position's code.
 */
TARVIK_API TARVIK_STATUS TRVS_UserDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char flagi, const unsigned char tryb);

/* ---- User statistics ------------------------------------------------------ */

/* 2560 sends V B */
TARVIK_API TARVIK_STATUS TRVS_UserStatRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned short numer_rekordu, const unsigned char czy_zerowanie,
                                           const unsigned char tryb);
/* 2560 reads VNNLLLNNNNNLLNLNBB(VN)*
 * Two counts (payment forms, discounts) come before both of their lists of
 * (Word number, Numeric amount) pairs. Each list is handed out as two texts,
 * the numbers and the amounts, one entry per line; an empty list gives two
 * empty texts. Times are seconds since 2000-01-01 00:00:00 local time,
 * handed out as "YYYY-MM-DD HH-MM-SS"; the working time as "D:HH:MM:SS".
 * Buffers: rabaty_z_reki 14, narzuty_z_reki 14, pierwsze_logowanie 20,
 *   ostatnie_wylogowanie 20, czas_pracy 15, wart_opakowan_sprzedanych 14,
 *   wart_opakowan_zwroconych 14, wplaty 14, wyplaty 14, sprzedaz 14,
 *   wart_parag_anul 14, wart_storn 14, numery_form_platnosci 1530,
 *   kwoty_form_platnosci 3570, numery_rabatow 1530, kwoty_rabatow 3570
 */
TARVIK_API TARVIK_STATUS TRVG_UserStatRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                           char* rabaty_z_reki, char* narzuty_z_reki, char* pierwsze_logowanie,
                                           char* ostatnie_wylogowanie, char* czas_pracy,
                                           char* wart_opakowan_sprzedanych, char* wart_opakowan_zwroconych,
                                           char* wplaty, char* wyplaty, char* sprzedaz, unsigned long* paragony,
                                           unsigned long* paragony_anul, char* wart_parag_anul, unsigned long* storna,
                                           char* wart_storn, char* numery_form_platnosci, char* kwoty_form_platnosci,
                                           char* numery_rabatow, char* kwoty_rabatow);
/* 2561 sends V B */
TARVIK_API TARVIK_STATUS TRVS_XEL_UserStatReadEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned short numer_rekordu,
                                                 const unsigned char czy_zerowanie, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_UserStatReadEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned short numer_rekordu, const unsigned char czy_zerowanie,
                                             const unsigned char tryb);
/* 2561 reads VNNLLLLNNNNNLLNLNLNBB(VN)*
 * With the openings and the authorisations; the login time is the last one.
 * Buffers: rabaty_z_reki 14, narzuty_z_reki 14, ostatnie_logowanie 20,
 *   ostatnie_wylogowanie 20, czas_pracy 15, wart_opakowan_sprzedanych 14,
 *   wart_opakowan_zwroconych 14, wplaty 14, wyplaty 14, sprzedaz 14,
 *   wart_parag_anul 14, wart_storn 14, wart_autoryzacji 14,
 *   numery_form_platnosci 1530, kwoty_form_platnosci 3570,
 *   numery_rabatow 1530, kwoty_rabatow 3570
 */
TARVIK_API TARVIK_STATUS TRVG_XEL_UserStatReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                                 char* rabaty_z_reki, char* narzuty_z_reki, char* ostatnie_logowanie,
                                                 char* ostatnie_wylogowanie, char* czas_pracy,
                                                 unsigned long* ilosc_otwarc, char* wart_opakowan_sprzedanych,
                                                 char* wart_opakowan_zwroconych, char* wplaty, char* wyplaty,
                                                 char* sprzedaz, unsigned long* paragony,
                                                 unsigned long* paragony_anul, char* wart_parag_anul,
                                                 unsigned long* storna, char* wart_storn, unsigned long* autoryzacje,
                                                 char* wart_autoryzacji, char* numery_form_platnosci,
                                                 char* kwoty_form_platnosci, char* numery_rabatow,
                                                 char* kwoty_rabatow);
/* 2561 reads VNNLLLLNNNNNLLNLNLNBB(VN)*
 * As TRVG_XEL_UserStatReadEx (the login output keeps its older name).
 * Buffers: rabaty_z_reki 14, narzuty_z_reki 14, pierwsze_logowanie 20,
 *   ostatnie_wylogowanie 20, czas_pracy 15, wart_opakowan_sprzedanych 14,
 *   wart_opakowan_zwroconych 14, wplaty 14, wyplaty 14, sprzedaz 14,
 *   wart_parag_anul 14, wart_storn 14, wart_autoryzacji 14,
 *   numery_form_platnosci 1530, kwoty_form_platnosci 3570,
 *   numery_rabatow 1530, kwoty_rabatow 3570
 */
TARVIK_API TARVIK_STATUS TRVG_UserStatReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                             char* rabaty_z_reki, char* narzuty_z_reki, char* pierwsze_logowanie,
                                             char* ostatnie_wylogowanie, char* czas_pracy,
                                             unsigned long* ilosc_otwarc, char* wart_opakowan_sprzedanych,
                                             char* wart_opakowan_zwroconych, char* wplaty, char* wyplaty,
                                             char* sprzedaz, unsigned long* paragony, unsigned long* paragony_anul,
                                             char* wart_parag_anul, unsigned long* storna, char* wart_storn,
                                             unsigned long* autoryzacje, char* wart_autoryzacji,
                                             char* numery_form_platnosci, char* kwoty_form_platnosci,
                                             char* numery_rabatow, char* kwoty_rabatow);
/* 2562 sends V B */
TARVIK_API TARVIK_STATUS TRVS_UserStatReadExEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned short numer_rekordu, const unsigned char czy_zerowanie,
                                               const unsigned char tryb);
/* 2562 reads VNNLLLLNNNNNLLNLNLNBB(VN)*B(VN)*
 * As TRVG_XEL_UserStatReadEx, then a third count and list (payments) after
 * the discounts.
 * Buffers: rabaty_z_reki 14, narzuty_z_reki 14, pierwsze_logowanie 20,
 *   ostatnie_wylogowanie 20, czas_pracy 15, wart_opakowan_sprzedanych 14,
 *   wart_opakowan_zwroconych 14, wplaty 14, wyplaty 14, sprzedaz 14,
 *   wart_parag_anul 14, wart_storn 14, wart_autoryzacji 14,
 *   numery_form_platnosci 1530, kwoty_form_platnosci 3570,
 *   numery_rabatow 1530, kwoty_rabatow 3570, numery_platn 1530,
 *   kwoty_platn 3570
 */
TARVIK_API TARVIK_STATUS TRVG_UserStatReadExEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                               char* rabaty_z_reki, char* narzuty_z_reki, char* pierwsze_logowanie,
                                               char* ostatnie_wylogowanie, char* czas_pracy,
                                               unsigned long* ilosc_otwarc, char* wart_opakowan_sprzedanych,
                                               char* wart_opakowan_zwroconych, char* wplaty, char* wyplaty,
                                               char* sprzedaz, unsigned long* paragony, unsigned long* paragony_anul,
                                               char* wart_parag_anul, unsigned long* storna, char* wart_storn,
                                               unsigned long* autoryzacje, char* wart_autoryzacji,
                                               char* numery_form_platnosci, char* kwoty_form_platnosci,
                                               char* numery_rabatow, char* kwoty_rabatow, char* numery_platn,
                                               char* kwoty_platn);
/* 2570 sends B */
TARVIK_API TARVIK_STATUS TRVS_UserStatClearAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char czy_nadpisac, const unsigned char tryb);

/* ---- Discounts chosen on the computer ------------------------------------- */

/* 332 sends V S B N B B
 * The register takes the discount for the transaction in progress; the
 * error code, types and flags are the register's and are passed through.
 */
TARVIK_API TARVIK_STATUS TRVS_ManualDiscntPCSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned short kod_bledu, const char* nazwa_rabatu,
                                                const unsigned char typ_rabatu, const char* wartosc_rabatu,
                                                const unsigned char czy_z_narzutami,
                                                const unsigned char czy_z_rabatami, const unsigned char tryb);
/* 333 sends V V */
TARVIK_API TARVIK_STATUS TRVS_DBDiscntPCSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short kod_bledu, const unsigned short numer_rabatu,
                                            const unsigned char tryb);

/* ---- Discounts ------------------------------------------------------------ */

/* 3000 sends V S B B N B B B B
 * Three kinds of record: standard (0), programmed with value thresholds (1)
 * and promotional M for N (2).
 */
TARVIK_API TARVIK_STATUS TRVS_StdDiscntIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned short numer_rekordu, const char* nazwa,
                                           const unsigned char czy_rabat, const unsigned char czy_procentowy,
                                           const char* wartosc, const unsigned char czy_z_narzutami,
                                           const unsigned char czy_z_rabatami, const unsigned char czy_nadpisac,
                                           const unsigned char czy_nadpisac_niezerowe, const unsigned char tryb);
/* 3001 sends VSBBB(NN)6BBBB
 * wartosci and kwoty: the values and their threshold amounts, one per line,
 * at most six of each and as many of one as of the other (else 0x10108);
 * the register always gets six pairs, the missing ones as ("0", "0").
 * ilosc_progow is sent as given.
 */
TARVIK_API TARVIK_STATUS TRVS_ProgDiscntIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_rekordu, const char* nazwa,
                                            const unsigned char czy_rabat, const unsigned char czy_procentowy,
                                            const unsigned char ilosc_progow, const char* wartosci, const char* kwoty,
                                            const unsigned char czy_z_narzutami, const unsigned char czy_z_rabatami,
                                            const unsigned char czy_nadpisac,
                                            const unsigned char czy_nadpisac_niezerowe, const unsigned char tryb);
/* 3002 sends V S B B B B B B */
TARVIK_API TARVIK_STATUS TRVS_PromoDiscntIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned short numer_rekordu, const char* nazwa,
                                             const unsigned char wartosc_sprzedawana,
                                             const unsigned char wartosc_naliczana,
                                             const unsigned char czy_z_narzutami, const unsigned char czy_z_rabatami,
                                             const unsigned char czy_nadpisac,
                                             const unsigned char czy_nadpisac_niezerowe, const unsigned char tryb);
/* 3010 sends V */
TARVIK_API TARVIK_STATUS TRVS_DiscntRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer_rekordu, const unsigned char tryb);
/* 3010 reads VSBBBBN|VSBBBBB(NN)*|VSBBBBB|VSBBB
 * The layout depends on the kind (rodzaj, the fifth value), one
 * alternative per kind, in this order:
 * kind 0, standard: typ B, wartosci N (one value);
 * kind 1, programmed: typ B, a count B and that many (value, threshold)
 * pairs N N into wartosci and progi, one per line;
 * kind 2, promotional (M for N): wart_M B, wart_N B;
 * any other kind: nothing more.
 * Outputs a kind does not carry are left as they are.
 * Buffers: nazwa 64, wartosci 84, progi 84
 */
TARVIK_API TARVIK_STATUS TRVG_DiscntRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                         unsigned char* czy_z_narzutami, unsigned char* czy_z_rabatami,
                                         unsigned char* rodzaj, unsigned char* typ, char* wartosci, char* progi,
                                         unsigned char* wart_M, unsigned char* wart_N);
/* 3020 sends V */
TARVIK_API TARVIK_STATUS TRVS_DiscntNextFreeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned short numer_rekordu, const unsigned char tryb);
/* 3020 reads V */
TARVIK_API TARVIK_STATUS TRVG_DiscntNextFreeGet(const TARVIK_HANDLE phRequest, unsigned short* wolny_numer);
/* 3030 sends S */
TARVIK_API TARVIK_STATUS TRVS_DiscntGetByName(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const char* nazwa, const unsigned char tryb);
/* 3030 reads V */
TARVIK_API TARVIK_STATUS TRVG_DiscntGetByName(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu);
/* 3040 sends V B B */
TARVIK_API TARVIK_STATUS TRVS_DiscntDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned short numer_rabatu, const unsigned char czy_powiazane,
                                        const unsigned char czy_niezerowe, const unsigned char tryb);
/* 3050 sends B */
TARVIK_API TARVIK_STATUS TRVS_DiscntDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char flagi, const unsigned char tryb);
/* 3060 sends V B */
TARVIK_API TARVIK_STATUS TRVS_DiscntStatRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned short numer_rekordu, const unsigned char czy_zerowac,
                                             const unsigned char tryb);
/* 3060 reads V N
 * Buffers: statystyka 14
 */
TARVIK_API TARVIK_STATUS TRVG_DiscntStatRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                             char* statystyka);
/* 3070 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_DiscntStatClearAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned char tryb);

/* ---- Automatic (time-controlled) discounts -------------------------------- */

/* 3300 sends V V hm[B B] hm[B B] B
 * Times "HH:MM" (the register takes no seconds), dates "YYYY-MM-DD".
 */
TARVIK_API TARVIK_STATUS TRVS_AutoDiscntIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_rekordu, const unsigned short numer_rabatu,
                                            const char* godz_pocz, const char* godz_konc,
                                            const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3301 sends V V B date[B B V] hm[B B] date[B B V] hm[B B] B */
TARVIK_API TARVIK_STATUS TRVS_AutoDiscntInsEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned short numer_rekordu, const unsigned short numer_rabatu,
                                              const unsigned char rodzaj, const char* data_pocz,
                                              const char* godz_pocz, const char* data_konc, const char* godz_konc,
                                              const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3310 sends V */
TARVIK_API TARVIK_STATUS TRVS_AutoDiscntRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned short numer_rekordu, const unsigned char tryb);
/* 3310 reads V V hm[B B] hm[B B]
 * Buffers: godz_od 6, godz_do 6
 */
TARVIK_API TARVIK_STATUS TRVG_AutoDiscntRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                             unsigned short* numer_rabatu, char* godz_od, char* godz_do);
/* 3311 sends V */
TARVIK_API TARVIK_STATUS TRVS_AutoDiscntReadEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned short numer_rekordu, const unsigned char tryb);
/* 3311 reads V V B date[B B V] hm[B B] date[B B V] hm[B B]
 * Buffers: data_pocz 11, godz_od 6, data_konc 11, godz_do 6
 */
TARVIK_API TARVIK_STATUS TRVG_AutoDiscntReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                               unsigned short* numer_rabatu, unsigned char* rodzaj, char* data_pocz,
                                               char* godz_od, char* data_konc, char* godz_do);
/* 3320 sends V
 * The start number is a Byte at the interface and a Word on the wire.
 */
TARVIK_API TARVIK_STATUS TRVS_AutoDiscntNextFreeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                    const unsigned char numer_pocz, const unsigned char tryb);
/* 3320 reads V */
TARVIK_API TARVIK_STATUS TRVG_AutoDiscntNextFreeGet(const TARVIK_HANDLE phRequest, unsigned short* wolny_numer);
/* 3340 sends V */
TARVIK_API TARVIK_STATUS TRVS_AutoDiscntDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_rekordu, const unsigned char tryb);

/* ---- Returnable packagings ------------------------------------------------ */

/* 2700 sends V S S N N B B B
 * Records are numbered; an article refers to its packaging by that number.
 */
TARVIK_API TARVIK_STATUS TRVS_PackIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned short numer_rekordu, const char* nazwa, const char* kod_kreskowy,
                                      const char* cena, const char* min_stan, const unsigned char czy_cena_sztywna,
                                      const unsigned char czy_nadpisac, const unsigned char czy_niezerowy,
                                      const unsigned char tryb);
/* 2710 sends V */
TARVIK_API TARVIK_STATUS TRVS_PackRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                       const unsigned short numer_rekordu, const unsigned char tryb);
/* 2710 reads V S S N N B
 * Buffers: nazwa 64, kod_kreskowy 64, cena 14, stan_min 14
 */
TARVIK_API TARVIK_STATUS TRVG_PackRead(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                       char* kod_kreskowy, char* cena, char* stan_min, unsigned char* czy_sztywna);
/* 2711 sends S */
TARVIK_API TARVIK_STATUS TRVS_PackReadByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const char* kod_kreskowy, const unsigned char tryb);
/* 2711 reads S S N N B
 * The answer to a lookup by barcode begins with the barcode, not the number.
 * Buffers: kod_kreskowy 64, nazwa 64, cena 14, stan_min 14
 */
TARVIK_API TARVIK_STATUS TRVG_PackReadByBarcode(const TARVIK_HANDLE phRequest, char* kod_kreskowy, char* nazwa,
                                                char* cena, char* stan_min, unsigned char* czy_sztywna);
/* 2720 sends V */
TARVIK_API TARVIK_STATUS TRVS_PackNextFreeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned short numer_rekordu, const unsigned char tryb);
/* 2720 reads V */
TARVIK_API TARVIK_STATUS TRVG_PackNextFreeGet(const TARVIK_HANDLE phRequest, unsigned short* wolny_numer);
/* 2730 sends S */
TARVIK_API TARVIK_STATUS TRVS_PackGetByName(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* nazwa,
                                            const unsigned char tryb);
/* 2730 reads V */
TARVIK_API TARVIK_STATUS TRVG_PackGetByName(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu);
/* 2731 sends S */
TARVIK_API TARVIK_STATUS TRVS_PackGetByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const char* kod_kreskowy, const unsigned char tryb);
/* 2731 reads V */
TARVIK_API TARVIK_STATUS TRVG_PackGetByBarcode(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu);
/* 2740 sends V B B
 * czy_powiazane: with its related records too; czy_niezerowe: even with
 * non-zero totals.
 */
TARVIK_API TARVIK_STATUS TRVS_PackDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned short numer_rekordu, const unsigned char czy_powiazane,
                                      const unsigned char czy_niezerowe, const unsigned char tryb);
/* 2741 sends S B B */
TARVIK_API TARVIK_STATUS TRVS_PackDelByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const char* kod_kreskowy, const unsigned char czy_powiazane,
                                               const unsigned char czy_niezerowe, const unsigned char tryb);
/* 2750 sends B */
TARVIK_API TARVIK_STATUS TRVS_PackDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char flagi, const unsigned char tryb);

/* ---- Packaging totals and stock ------------------------------------------- */

/* 2760 sends V B
 * Items sold and returned, their values and the stock level.
 */
TARVIK_API TARVIK_STATUS TRVS_PackStatRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned short numer_rekordu, const unsigned char czy_zerowanie,
                                           const unsigned char tryb);
/* 2760 reads V N N N N N
 * Buffers: sprzedane 14, zwrocone 14, wartosc_sprzedane 14,
 *   wartosc_zwrocone 14, stan 14
 */
TARVIK_API TARVIK_STATUS TRVG_PackStatRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                           char* sprzedane, char* zwrocone, char* wartosc_sprzedane,
                                           char* wartosc_zwrocone, char* stan);
/* 2761 sends S B */
TARVIK_API TARVIK_STATUS TRVS_PackStatReadByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                    const char* kod_kreskowy, const unsigned char czy_zerowanie,
                                                    const unsigned char tryb);
/* 2761 reads S N N N N N
 * Buffers: kod_kreskowy 64, sprzedane 14, zwrocone 14, wartosc_sprzedane 14,
 *   wartosc_zwrocone 14, stan 14
 */
TARVIK_API TARVIK_STATUS TRVG_PackStatReadByBarcode(const TARVIK_HANDLE phRequest, char* kod_kreskowy,
                                                    char* sprzedane, char* zwrocone, char* wartosc_sprzedane,
                                                    char* wartosc_zwrocone, char* stan);
/* 2770 sends B */
TARVIK_API TARVIK_STATUS TRVS_PackStatClearAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char czy_stany, const unsigned char tryb);
/* 2771 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_PackStoreClr(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char tryb);
/* 2780 sends V N B */
TARVIK_API TARVIK_STATUS TRVS_PackStockQntModify(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned short numer_rekordu, const char* ilosc,
                                                 const unsigned char czy_zwiekszyc, const unsigned char tryb);
/* 2781 sends V N */
TARVIK_API TARVIK_STATUS TRVS_PackPriceUpdate(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned short numer_rekordu, const char* cena,
                                              const unsigned char tryb);
/* 2782 sends V N */
TARVIK_API TARVIK_STATUS TRVS_PackStockMinQntSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned short numer_rekordu, const char* stan,
                                                 const unsigned char tryb);
/* 2783 sends S N */
TARVIK_API TARVIK_STATUS TRVS_PackPriceUpdateByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                       const char* kod_kreskowy, const char* cena,
                                                       const unsigned char tryb);

/* ---- Article groups ------------------------------------------------------- */

/* 2800 sends V S B B */
TARVIK_API TARVIK_STATUS TRVS_GroupIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                       const unsigned short numer_rekordu, const char* nazwa,
                                       const unsigned char czy_nadpisac, const unsigned char czy_nadpisac_niezerowe,
                                       const unsigned char tryb);
/* 2801 sends V S B B B
 * rabat: the number of the group's discount.
 */
TARVIK_API TARVIK_STATUS TRVS_XEL_GroupInsEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned short numer_rekordu, const char* nazwa,
                                             const unsigned char rabat, const unsigned char czy_nadpisac,
                                             const unsigned char czy_nadpisac_niezerowe, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_GroupInsEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer_rekordu, const char* nazwa,
                                         const unsigned char rabat, const unsigned char czy_nadpisac,
                                         const unsigned char czy_nadpisac_niezerowe, const unsigned char tryb);
/* 2802 sends V S B N B B B B
 * tow_wazone: weighed goods; id_drukarki: the register's printer identifier.
 */
TARVIK_API TARVIK_STATUS TRVS_GroupInsExEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned short numer_rekordu, const char* nazwa,
                                           const unsigned char rabat, const char* cena,
                                           const unsigned char tow_wazone, const unsigned char id_drukarki,
                                           const unsigned char czy_nadpisac,
                                           const unsigned char czy_nadpisac_niezerowe, const unsigned char tryb);
/* 2810 sends V */
TARVIK_API TARVIK_STATUS TRVS_GroupRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned short numer_rekordu, const unsigned char tryb);
/* 2810 reads V S256
 * Group names come through a 256-byte buffer (up to 255 bytes): give nazwa
 * 256 bytes.
 * Buffers: nazwa 256
 */
TARVIK_API TARVIK_STATUS TRVG_GroupRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa);
/* 2811 sends V */
TARVIK_API TARVIK_STATUS TRVS_XEL_GroupReadEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned short numer_rekordu, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_GroupReadEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short numer_rekordu, const unsigned char tryb);
/* 2811 reads V S256 B
 * The name comes through a 256-byte buffer, as in TRVG_GroupRead: give nazwa
 * 256 bytes.
 * Buffers: nazwa 256
 */
TARVIK_API TARVIK_STATUS TRVG_XEL_GroupReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                              char* nazwa, unsigned char* rabat);
TARVIK_API TARVIK_STATUS TRVG_GroupReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                          unsigned char* rabat);
/* 2812 sends V */
TARVIK_API TARVIK_STATUS TRVS_GroupReadExEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_rekordu, const unsigned char tryb);
/* 2812 reads V S256 B N B B
 * The name comes through a 256-byte buffer, as in TRVG_GroupRead: give nazwa
 * 256 bytes.
 * Buffers: nazwa 256, cena 14
 */
TARVIK_API TARVIK_STATUS TRVG_GroupReadExEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                            unsigned char* rabat, char* cena, unsigned char* towary_waz,
                                            unsigned char* id_drukarki);
/* 2820 sends V */
TARVIK_API TARVIK_STATUS TRVS_GroupNextFreeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned short numer_rekordu, const unsigned char tryb);
/* 2820 reads V */
TARVIK_API TARVIK_STATUS TRVG_GroupNextFreeGet(const TARVIK_HANDLE phRequest, unsigned short* wolny_numer);
/* 2830 sends S */
TARVIK_API TARVIK_STATUS TRVS_GroupGetByName(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* nazwa,
                                             const unsigned char tryb);
/* 2830 reads V */
TARVIK_API TARVIK_STATUS TRVG_GroupGetByName(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu);
/* 2840 sends V B B */
TARVIK_API TARVIK_STATUS TRVS_GroupDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                       const unsigned short numer_rekordu, const unsigned char czy_powiazane,
                                       const unsigned char czy_niezerowe, const unsigned char tryb);
/* 2850 sends B */
TARVIK_API TARVIK_STATUS TRVS_GroupDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char flagi, const unsigned char tryb);
/* 2860 sends V B */
TARVIK_API TARVIK_STATUS TRVS_GroupStatRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_rekordu, const unsigned char czy_zerowanie,
                                            const unsigned char tryb);
/* 2860 reads VN(N7(N12)?)?
 * The total, then (in the longer answers) seven totals by day of the week
 * and twelve by month, each list one line feed between two. The lists an
 * answer does not carry are left as they are.
 * Buffers: ogolnie 14, dni_tygodnia 98, miesiace 168
 */
TARVIK_API TARVIK_STATUS TRVG_GroupStatRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                            char* ogolnie, char* dni_tygodnia, char* miesiace);
/* 2870 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_GroupStatClearAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned char tryb);

/* ---- Units of measure ----------------------------------------------------- */

/* 2600 sends V S S B */
TARVIK_API TARVIK_STATUS TRVS_MUIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                    const unsigned short numer_rekordu, const char* nazwa, const char* skrot,
                                    const unsigned char czy_nadpisac, const unsigned char tryb);
/* 2610 sends V */
TARVIK_API TARVIK_STATUS TRVS_MURead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                     const unsigned short numer_rekordu, const unsigned char tryb);
/* 2610 reads V S S
 * Buffers: nazwa 64, skrot 64
 */
TARVIK_API TARVIK_STATUS TRVG_MURead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                     char* skrot);
/* 2620 sends V */
TARVIK_API TARVIK_STATUS TRVS_MUNextFreeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_rekordu, const unsigned char tryb);
/* 2620 reads V */
TARVIK_API TARVIK_STATUS TRVG_MUNextFreeGet(const TARVIK_HANDLE phRequest, unsigned short* wolny_numer);
/* 2630 sends S */
TARVIK_API TARVIK_STATUS TRVS_MUGetByName(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* nazwa,
                                          const unsigned char tryb);
/* 2630 reads V */
TARVIK_API TARVIK_STATUS TRVG_MUGetByName(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu);
/* 2640 sends V B */
TARVIK_API TARVIK_STATUS TRVS_MUDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                    const unsigned short numer_rekordu, const unsigned char czy_powiazane,
                                    const unsigned char tryb);
/* 2650 sends B */
TARVIK_API TARVIK_STATUS TRVS_MUDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                       const unsigned char flagi, const unsigned char tryb);

/* ---- Payment forms -------------------------------------------------------- */

/* 2900 sends V S B V S N B B
 * Payment types and flags are the register's codes, passed through;
 * kurs_lub_cashback: the exchange rate of a currency, or the cashback amount.
 */
TARVIK_API TARVIK_STATUS TRVS_PayformIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer_rekordu, const char* nazwa,
                                         const unsigned char typ_platnosci, const unsigned short flagi_platnosci,
                                         const char* skrot_waluty, const char* kurs_lub_cashback,
                                         const unsigned char czy_nadpisac, const unsigned char czy_nadpisac_niezerowe,
                                         const unsigned char tryb);
/* 2910 sends V */
TARVIK_API TARVIK_STATUS TRVS_PayformRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short numer_rekordu, const unsigned char tryb);
/* 2910 reads V S B V S N
 * Buffers: nazwa 64, waluta 64, kurs 14
 */
TARVIK_API TARVIK_STATUS TRVG_PayformRead(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                          unsigned char* typ, unsigned short* flagi, char* waluta, char* kurs);
/* 2920 sends V */
TARVIK_API TARVIK_STATUS TRVS_PayformNextFreeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned short numer_rekordu, const unsigned char tryb);
/* 2920 reads V */
TARVIK_API TARVIK_STATUS TRVG_PayformNextFreeGet(const TARVIK_HANDLE phRequest, unsigned short* wolny_numer);
/* 2930 sends S */
TARVIK_API TARVIK_STATUS TRVS_PayformGetByName(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const char* nazwa, const unsigned char tryb);
/* 2930 reads V */
TARVIK_API TARVIK_STATUS TRVG_PayformGetByName(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu);
/* 2940 sends V B */
TARVIK_API TARVIK_STATUS TRVS_PayformDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer_rekordu, const unsigned char czy_niezerowe,
                                         const unsigned char tryb);
/* 2950 sends B */
TARVIK_API TARVIK_STATUS TRVS_PayformDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char flagi, const unsigned char tryb);
/* 2960 sends V B */
TARVIK_API TARVIK_STATUS TRVS_PayformStatRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned short numer_rekordu, const unsigned char czy_zerowac,
                                              const unsigned char tryb);
/* 2960 reads V N
 * Buffers: obrot 14
 */
TARVIK_API TARVIK_STATUS TRVG_PayformStatRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                              char* obrot);
/* 2970 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_PayformStatClearAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned char tryb);

/* ---- Barcode formats ------------------------------------------------------ */

/* 3100 sends V S B
 * The format text is in the register's syntax, passed through.
 */
TARVIK_API TARVIK_STATUS TRVS_CodeFmtIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer_rekordu, const char* format,
                                         const unsigned char czy_nadpisac, const unsigned char tryb);
/* 3110 sends V */
TARVIK_API TARVIK_STATUS TRVS_CodeFmtRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short numer_rekordu, const unsigned char tryb);
/* 3110 reads V S
 * Buffers: format 64
 */
TARVIK_API TARVIK_STATUS TRVG_CodeFmtRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* format);
/* 3120 sends V */
TARVIK_API TARVIK_STATUS TRVS_CodeFmtNextFreeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned short numer_poczatkowy, const unsigned char tryb);
/* 3120 reads V */
TARVIK_API TARVIK_STATUS TRVG_CodeFmtNextFreeGet(const TARVIK_HANDLE phRequest, unsigned short* wolny_numer);
/* 3140 sends V */
TARVIK_API TARVIK_STATUS TRVS_CodeFmtDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer_rekordu, const unsigned char tryb);
/* 3150 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_CodeFmtDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);

/* ---- Cash-out descriptions ------------------------------------------------ */

/* 2660 sends V S B
 * flagi: the register's flags of the description, passed through.
 */
TARVIK_API TARVIK_STATUS TRVS_CashoutDescIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned short numer, const char* nazwa, const unsigned char flagi,
                                             const unsigned char tryb);
/* 2665 sends V */
TARVIK_API TARVIK_STATUS TRVS_CashoutDescRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned short numer, const unsigned char tryb);
/* 2665 reads V S
 * Buffers: nazwa 64
 */
TARVIK_API TARVIK_STATUS TRVG_CashoutDescRead(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa);
/* 2670 sends V */
TARVIK_API TARVIK_STATUS TRVS_CashoutDescNextFreeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                     const unsigned short numer, const unsigned char tryb);
/* 2670 reads V */
TARVIK_API TARVIK_STATUS TRVG_CashoutDescNextFreeGet(const TARVIK_HANDLE phRequest, unsigned short* wolny_numer);
/* 2675 sends V */
TARVIK_API TARVIK_STATUS TRVS_CashoutDescDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned short numer, const unsigned char tryb);
/* 2680 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_CashoutDescDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned char tryb);

/* ---- Operator messages for error codes ------------------------------------ */

/* 3510 sends V V V S
 * rodzaj_obslugi: the register's kind of handling, passed through.
 */
TARVIK_API TARVIK_STATUS TRVS_ErrMsgIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned short numer_rekordu, const unsigned short numer_bledu,
                                        const unsigned short rodzaj_obslugi, const char* komunikat,
                                        const unsigned char tryb);
/* 3520 sends V */
TARVIK_API TARVIK_STATUS TRVS_ErrMsgNextFreeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned short numer, const unsigned char tryb);
/* 3520 reads V */
TARVIK_API TARVIK_STATUS TRVG_ErrMsgNextFreeGet(const TARVIK_HANDLE phRequest, unsigned short* wolny_numer);
/* 3530 sends V */
TARVIK_API TARVIK_STATUS TRVS_ErrMsgRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer, const unsigned char tryb);
/* 3530 reads V V V S
 * Buffers: komunikat 64
 */
TARVIK_API TARVIK_STATUS TRVG_ErrMsgRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                         unsigned short* numer_bledu, unsigned short* rodzaj_obslugi,
                                         char* komunikat);
/* 3540 sends V */
TARVIK_API TARVIK_STATUS TRVS_ErrMsgDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned short numer, const unsigned char tryb);
/* 3550 sends nothing */
TARVIK_API TARVIK_STATUS TRVS_ErrMsgDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char tryb);

/* ---- Hourly statistics ---------------------------------------------------- */

/* 3700 sends B
 * typ: the register's kind of statistics, passed through.
 */
TARVIK_API TARVIK_STATUS TRVS_HoursStatRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char typ, const unsigned char tryb);
/* 3700 reads (NLL)24
 * One (value, positions, receipts) triplet per hour 0 to 23; each output
 * gets its column, 24 lines with one line feed between two.
 * Buffers: wartosci 336, pozycje 264, ilosci_paragonow 264
 */
TARVIK_API TARVIK_STATUS TRVG_HoursStatRead(const TARVIK_HANDLE phRequest, char* wartosci, char* pozycje,
                                            char* ilosci_paragonow);

/* ---- END OF GENERATED PART */

#ifdef __cplusplus
}
#endif

#endif /* TARVIK_MIRTEL_H */
