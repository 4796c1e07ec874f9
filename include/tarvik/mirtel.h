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
 * between two entries.
 */
#ifndef TARVIK_MIRTEL_H
#define TARVIK_MIRTEL_H

#include "tarvik/tarvik.h"

#ifdef __cplusplus
extern "C" {
#endif

TARVIK_API TARVIK_STATUS TRVG_Default(const TARVIK_HANDLE hRequest);
TARVIK_API unsigned long TRV_GetHLLibraryVersion(void);

/* ---- Clock, VAT rates, register status and control ---------------------- */

TARVIK_API TARVIK_STATUS TRVS_TimeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_TimeGet(const TARVIK_HANDLE phRequest, char* time);
TARVIK_API TARVIK_STATUS TRVS_DateGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_DateGet(const TARVIK_HANDLE phRequest, char* data);
/* Sends the time before the date. */
TARVIK_API TARVIK_STATUS TRVS_DateTimeSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const char* date_time, const unsigned char tryb);

TARVIK_API TARVIK_STATUS TRVS_VATGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb);
/* Every output is required: a null stawkaA gives 0x10102 ... stawkaG 0x10108. */
TARVIK_API TARVIK_STATUS TRVG_VATGet(const TARVIK_HANDLE phRequest, unsigned short* stawkaA, unsigned short* stawkaB,
                                     unsigned short* stawkaC, unsigned short* stawkaD, unsigned short* stawkaE,
                                     unsigned short* stawkaF, unsigned short* stawkaG);
TARVIK_API TARVIK_STATUS TRVS_VATSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* data_czas,
                                     const unsigned short stawkaA, const unsigned short stawkaB,
                                     const unsigned short stawkaC, const unsigned short stawkaD,
                                     const unsigned short stawkaE, const unsigned short stawkaF,
                                     const unsigned short stawkaG, const unsigned char tryb);

TARVIK_API TARVIK_STATUS TRVS_CashregParGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_CashregParGet(const TARVIK_HANDLE phRequest, char* numer);
TARVIK_API TARVIK_STATUS TRVS_CashregParSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const char* numer_kasy, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_MaintenanceSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* data,
                                             const char* serwis, const unsigned char tryb);

TARVIK_API TARVIK_STATUS TRVS_CashregStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_CashRegStatusGet(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy, char* numer,
                                               unsigned short* zalogowany_kasjer, unsigned char* tryb_pracy,
                                               unsigned char* totalizery, unsigned char* naglowek,
                                               unsigned char* transakcja, char* data_fiskalizacji, char* zegar_kasy,
                                               char* nip, char* numer_unikatowy, char* wersja);
TARVIK_API TARVIK_STATUS TRVS_DBStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_DBStatusGet(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy,
                                          unsigned char* totalizery, char* rozmiary, char* zaprogramowane);
TARVIK_API TARVIK_STATUS TRVS_DBStatusGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_DBStatusGetEx(const TARVIK_HANDLE phRequest, unsigned char* typ_kasy,
                                            unsigned char* totalizery, char* rozmiary, char* zaprogramowane);
TARVIK_API TARVIK_STATUS TRVS_TransStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_TransStatusGet(const TARVIK_HANDLE phRequest, unsigned char* transakcja,
                                             unsigned char* paragon, unsigned char* anulowanie,
                                             unsigned short* numer_paragonu, char* data_czas, char* obrotA,
                                             char* obrotB, char* obrotC, char* obrotD, char* obrotE, char* obrotF,
                                             char* obrotG, char* obrot_suma, char* suma);
TARVIK_API TARVIK_STATUS TRVS_WaitStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_WaitStatusGet(const TARVIK_HANDLE phRequest, unsigned char* trwa,
                                            unsigned short* cmd_status);
TARVIK_API TARVIK_STATUS TRVS_SeqStatusGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned char typ, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_SeqStatusGet(const TARVIK_HANDLE phRequest, unsigned short* cmd,
                                           unsigned short* cmd_status, unsigned long* token);
TARVIK_API TARVIK_STATUS TRVS_CmplxSeqStop(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_UserLogout(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_TurnOff(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb);

TARVIK_API TARVIK_STATUS TRVS_TimeoutsGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_TimeoutsGet(const TARVIK_HANDLE phRequest, unsigned char* wylogowanie,
                                          unsigned char* wylaczenie);
TARVIK_API TARVIK_STATUS TRVS_TimeoutsGetEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_TimeoutsGetEx(const TARVIK_HANDLE phRequest, unsigned char* wylogowanie,
                                            unsigned char* wylaczenie, unsigned char* blokada,
                                            unsigned short* godzina_odblokowania);
TARVIK_API TARVIK_STATUS TRVS_TimeoutsSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned char wylogowanie, const unsigned char wylaczenia,
                                          const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_v2_TimeoutsSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned char wylogowanie, const unsigned char wylaczenia,
                                             const unsigned char blokada, const unsigned short godzina_odblokowania,
                                             const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_ChangeRepCntClr(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned short numer_kasjera, const unsigned char tryb);

/* ---- Articles (PLU) ------------------------------------------------------ */

TARVIK_API TARVIK_STATUS TRVS_PLUIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                     const unsigned short numer_rekordu, const char* nazwa, const char* barcode,
                                     const char* cena, const char* ilosc_min, const unsigned char numer_opakowania,
                                     const unsigned char numer_MU, const unsigned char numer_rabatu,
                                     const unsigned char numer_grupy, const unsigned char numer_VAT,
                                     const unsigned char format_ilosci, const unsigned char cena_sztywna,
                                     const unsigned char czy_rabat, const unsigned char czy_notatnik,
                                     const unsigned char czy_nadpisac, const unsigned char czy_nadpisac_niezerowy,
                                     const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_EPLUIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned short numer_rekordu, const char* nazwa, const char* barcode,
                                      const unsigned char numer_MU, const unsigned char numer_rabatu,
                                      const unsigned char numer_grupy, const unsigned char numer_VAT,
                                      const unsigned short numer_euslugi, const unsigned char czy_rabat,
                                      const unsigned char czy_notatnik, const unsigned char czy_nadpisac,
                                      const unsigned char czy_nadpisac_niezerowy, const unsigned char tryb);

TARVIK_API TARVIK_STATUS TRVS_PLURead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned short numer_rekordu, const unsigned char z_kodem,
                                      const unsigned char tryb);
/* Record type 0 article, 1 set, 2 e-service article; the outputs a type does
 * not carry are left as they are, and cena is empty for types other than 0. */
TARVIK_API TARVIK_STATUS TRVG_PLURead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                      char* kod_kreskowy_podstawowy, char* cena, char* min_stan,
                                      unsigned char* typ_rekordu, unsigned char* numer_opak, unsigned char* numerMU,
                                      unsigned char* stawka_PTU, unsigned char* format_ilosci,
                                      unsigned char* flaga_ceny, unsigned char* flaga_rabatow,
                                      unsigned char* numer_rabatu, unsigned char* numer_grupy, char* barcodes);
/* As TRVG_PLURead; numer_opak_lub_euslugi receives the e-service number of
 * a type 2 record, else the packaging number. */
TARVIK_API TARVIK_STATUS TRVG_v2_PLURead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                         char* kod_kreskowy_podstawowy, char* cena, char* min_stan,
                                         unsigned char* typ_rekordu, unsigned short* numer_opak_lub_euslugi,
                                         unsigned char* numerMU, unsigned char* stawka_PTU,
                                         unsigned char* format_ilosci, unsigned char* flaga_ceny,
                                         unsigned char* flaga_rabatow, unsigned char* numer_rabatu,
                                         unsigned char* numer_grupy, char* barcodes);
TARVIK_API TARVIK_STATUS TRVS_PLUReadByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const char* kod_kreskowy, const unsigned char z_kodem,
                                               const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_PLUReadByBarcode(const TARVIK_HANDLE phRequest, char* kod_kreskowy, char* nazwa,
                                               char* kod_kreskowy_podstawowy, char* cena, char* min_stan,
                                               unsigned char* typ_rekordu, unsigned char* numer_opak,
                                               unsigned char* numerMU, unsigned char* stawka_PTU,
                                               unsigned char* format_ilosci, unsigned char* flaga_ceny,
                                               unsigned char* flaga_rabatow, unsigned char* numer_rabatu,
                                               unsigned char* numer_grupy, char* barcodes);
/* A null barcode is sent as the empty text. */
TARVIK_API TARVIK_STATUS TRVS_PLUReadEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned short numer_rekordu, const char* barcode,
                                        const unsigned char z_kodem, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_v2_PLUReadEx(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned short numer_rekordu, const char* barcode,
                                           const unsigned char z_kodem, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_PLUReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                        char* kod_kreskowy_podstawowy, char* cena, char* min_stan,
                                        unsigned char* typ_rekordu, unsigned char* numer_opak,
                                        unsigned char* numerMU, unsigned char* stawka_PTU,
                                        unsigned char* format_ilosci, unsigned char* flaga_ceny,
                                        unsigned char* flaga_rabatow, unsigned char* numer_rabatu,
                                        unsigned char* numer_grupy, char* barcodes, unsigned char* w_notatniku);
TARVIK_API TARVIK_STATUS TRVG_v2_PLUReadEx(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu, char* nazwa,
                                           char* kod_kreskowy_podstawowy, char* cena, char* min_stan,
                                           unsigned char* typ_rekordu, unsigned short* numer_opak_lub_euslugi,
                                           unsigned char* numerMU, unsigned char* stawka_PTU,
                                           unsigned char* format_ilosci, unsigned char* flaga_ceny,
                                           unsigned char* flaga_rabatow, unsigned char* numer_rabatu,
                                           unsigned char* numer_grupy, char* barcodes, unsigned char* w_notatniku);

TARVIK_API TARVIK_STATUS TRVS_PLUNextFreeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned short numer_rekordu, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_PLUNextFreeGet(const TARVIK_HANDLE phRequest, unsigned short* wolny_numer);
TARVIK_API TARVIK_STATUS TRVS_PLUGetByName(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* name,
                                           const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_PLUGetByName(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu);
TARVIK_API TARVIK_STATUS TRVS_PLUGetByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const char* barcode, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_PLUGetByBarcode(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu);

TARVIK_API TARVIK_STATUS TRVS_PLUDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                     const unsigned short numer_rekordu, const unsigned char czy_niezerowe,
                                     const unsigned char czy_z_zestawu, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_PLUDelByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const char* kod_kreskowy, const unsigned char czy_niezerowe,
                                              const unsigned char czy_z_zestawu, const unsigned char tryb);
/* A failed push of flagi is reported as 0x10102. */
TARVIK_API TARVIK_STATUS TRVS_PLUDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                        const unsigned char flagi, const unsigned char tryb);

TARVIK_API TARVIK_STATUS TRVS_PLUStatRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short numer_rekordu, const unsigned char czy_zerowanie,
                                          const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_PLUStatRead(const TARVIK_HANDLE phRequest, unsigned short* numer_rekordu,
                                          char* wartosc, char* ilosc, char* stan, char* data);
TARVIK_API TARVIK_STATUS TRVS_PLUStatReadByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                   const char* kod_kreskowy, const unsigned char czy_zerowanie,
                                                   const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_PLUStatReadByBarcode(const TARVIK_HANDLE phRequest, char* kod_kreskowy,
                                                   char* wartosc, char* ilosc, char* stan, char* data);
TARVIK_API TARVIK_STATUS TRVS_PLUStatClearAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                              const unsigned char czy_stany, const unsigned char czy_date,
                                              const unsigned char tryb);

TARVIK_API TARVIK_STATUS TRVS_PLUStoreClr(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_PLUStockQntModify(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned short numer_rekordu, const char* ilosc,
                                                const unsigned char czy_zwiekszyc, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_PluPriceUpdate(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                             const unsigned short numer_rekordu, const char* cena,
                                             const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_PluStockMinQntSet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                const unsigned short numer_rekordu, const char* stan,
                                                const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_PLUStoreRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                           const unsigned short numer_rekordu, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_PLUStoreRead(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                           char* stan_min, char* stan, char* data);
TARVIK_API TARVIK_STATUS TRVS_PluSetItemUpdate(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned short numer_zestawu, const unsigned short numer_PLU,
                                               const char* ilosc, const char* cena, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_PluPriceUpdateByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                      const char* kod_kreskowy, const char* cena,
                                                      const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_PLUStoreReadByBarcode(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                    const char* kod_kreskowy, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_PLUStoreReadByBarcode(const TARVIK_HANDLE phRequest, char* kod_kreskowy, char* nazwa,
                                                    char* stan_min, char* stan, char* data);

/* Sets: the members are three parallel lists (article numbers, quantities,
 * prices), one line feed between two entries. */
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
TARVIK_API TARVIK_STATUS TRVS_SetRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                      const unsigned short numer_rekordu, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_SetRead(const TARVIK_HANDLE phRequest, unsigned short* czytany, char* numery,
                                      char* ilosci, char* ceny);
TARVIK_API TARVIK_STATUS TRVS_PLUSetItemStatRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                 const unsigned short numer_zestawu,
                                                 const unsigned char czy_zerowanie, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_PLUSetItemStatRead(const TARVIK_HANDLE phRequest, unsigned short* numer_zestawu,
                                                 char* numery, char* ilosci, char* wartosci);

TARVIK_API TARVIK_STATUS TRVS_PLUNotepadIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_PLU, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_PLUNotepadDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned short numer_PLU, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_PLUNotepadDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                               const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_DFPluVatCheck(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const char* nazwa,
                                            const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_DFPluVatCheck(const TARVIK_HANDLE phRequest, unsigned char* stan,
                                            unsigned short* stawka);

/* Additional barcodes: a list with one line feed between two barcodes. */
TARVIK_API TARVIK_STATUS TRVS_BarcodeIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer_plu, const char* barcodes,
                                         const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_BarcodeRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short numer_PLU, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVG_BarcodeRead(const TARVIK_HANDLE phRequest, unsigned short* czytany, char* barcodes);
TARVIK_API TARVIK_STATUS TRVS_BarcodeDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const char* kod_kreskowy, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_BarcodeDelAllForPLU(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned short numer_PLU, const unsigned char tryb);

/* ---- Sale journal -------------------------------------------------------
 * TRVS_SaleRecGet asks for one record; TRVG_SaleRecGetType reads its header
 * and keeps the request; the body reader chosen for the type continues on
 * the same request. Date texts "YYYY-MM-DD", date-times "YYYY-MM-DD HH:MM". */

TARVIK_API TARVIK_STATUS TRVS_SaleRecGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned char sposob, const unsigned char tryb);
TARVIK_API TARVIK_STATUS TRVS_SaleSizeGet(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, const unsigned char tryb);
/* limit is required (0x10102). */
TARVIK_API TARVIK_STATUS TRVG_SaleSizeGet(const TARVIK_HANDLE phRequest, unsigned char* limit);
TARVIK_API TARVIK_STATUS TRVS_SaleRecDelAll(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                            const unsigned char tryb);

TARVIK_API TARVIK_STATUS TRVG_SaleRecGetType(const TARVIK_HANDLE phRequest, unsigned char* pelny,
                                             unsigned short* nastepny, unsigned short* typ);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetFiscal(const TARVIK_HANDLE phRequest, char* data, unsigned short* numer,
                                               unsigned short* paragonow, unsigned short* anulowanych,
                                               char* totalizeryAG, char* wart_anulowanych, unsigned long* zmianPLU);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetFinished(const TARVIK_HANDLE phRequest, unsigned long* numer, char* data,
                                                 char* kasa, char* kasjer, unsigned short* numer_kasjera,
                                                 char* wartosc, char* do_zaplaty);
TARVIK_API TARVIK_STATUS TRVG_XEL_SaleRecGetFinished(const TARVIK_HANDLE phRequest, unsigned long* numer, char* data,
                                                     char* kasa, char* kasjer, unsigned short* numer_kasjera,
                                                     char* wartosc, char* do_zaplaty,
                                                     unsigned long* numer_niefiskalny);
TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetFinished(const TARVIK_HANDLE phRequest, unsigned long* numer, char* data,
                                                    char* kasa, char* kasjer, unsigned short* numer_kasjera,
                                                    char* wartosc, char* do_zaplaty,
                                                    unsigned long* numer_niefiskalny);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCancelled(const TARVIK_HANDLE phRequest, char* data, char* kasa,
                                                  char* kasjer, unsigned short* numer_kasjera,
                                                  unsigned short* autoryzujacy, char* wartosc, char* do_zaplaty);
TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetCancelled(const TARVIK_HANDLE phRequest, char* data, char* kasa,
                                                     char* kasjer, unsigned short* numer_kasjera,
                                                     unsigned short* autoryzujacy, char* wartosc,
                                                     char* do_zaplaty, unsigned long* storna, char* wart_storn);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPLUSet(const TARVIK_HANDLE phRequest, unsigned char* vat,
                                               unsigned short* PLU, char* kod_kreskowy, char* nazwa, char* ilosc,
                                               char* wartosc);
TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetPLUSet(const TARVIK_HANDLE phRequest, unsigned char* vat,
                                                  unsigned short* PLU, char* kod_kreskowy, char* nazwa_lub_cena,
                                                  char* ilosc, char* wartosc, char* addon);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPack(const TARVIK_HANDLE phRequest, unsigned short* numer,
                                             char* kod_kreskowy, char* ilosc, char* wartosc);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPayform(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                                unsigned char* typ, char* kwota);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetPayformEx(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                                  unsigned char* typ, char* kwota, char* opis, char* kasa,
                                                  char* kasjer, unsigned short* numer_kasjera);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCurrency(const TARVIK_HANDLE phRequest, unsigned short* numer, char* nazwa,
                                                 char* wartoscPLN, char* wartosc, char* kurs);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCurrencyEx(const TARVIK_HANDLE phRequest, unsigned short* numer,
                                                   char* nazwa, char* wartoscPLN, char* wartosc, char* kurs,
                                                   char* opis, char* kasa, char* kasjer,
                                                   unsigned short* numer_kasjera);
/* karta is written only when the record carries a card. */
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetRebate(const TARVIK_HANDLE phRequest, char* nazwa, unsigned char* typ,
                                               unsigned short* numer, char* kwota, char* karta);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetRebateMN(const TARVIK_HANDLE phRequest, char* nazwa, unsigned short* numer,
                                                 unsigned short* PLU, unsigned char* stawkaVAT, char* kwota);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetCashback(const TARVIK_HANDLE phRequest, unsigned short* numer_platnosci,
                                                 char* nazwa_platnosci, unsigned char* typ_platnosci,
                                                 char* kwota_cashback);
TARVIK_API TARVIK_STATUS TRVG_XEL_SaleRecGetAuthorize(const TARVIK_HANDLE phRequest, unsigned long* numer_kasjera,
                                                      char* nazwa, char* kwota);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetAuthorize(const TARVIK_HANDLE phRequest, unsigned long* numer_kasjera,
                                                  char* nazwa, char* kwota);
TARVIK_API TARVIK_STATUS TRVG_SaleRecGetOrderPluPack(const TARVIK_HANDLE phRequest, unsigned short* plu_pack,
                                                     char* kryterium, char* ilosc, char* opis);
TARVIK_API TARVIK_STATUS TRVG_v2_SaleRecGetInventoryPluPack(const TARVIK_HANDLE phRequest, unsigned short* plu_pack,
                                                            char* kryterium, char* ilosc, char* opis);
TARVIK_API TARVIK_STATUS TRVG_XEL_SaleRecGetInventoryPluPack(const TARVIK_HANDLE phRequest,
                                                             unsigned short* plu_pack, char* kwota);

#ifdef __cplusplus
}
#endif

#endif /* TARVIK_MIRTEL_H */
