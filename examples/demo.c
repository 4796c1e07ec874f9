/*
 * A session at the register, as a shop application would hold it, using only
 * the public headers: connect over TCP, read and set the clock, program and
 * read back articles, print a report (the register stays busy meanwhile),
 * read the sale journal, take card events through the callback, close.
 *
 *   demo HOST PORT [LOGFILE]
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <tarvik/mirtel.h>
#include <tarvik/tarvik.h>

static void say(const char* what, TARVIK_STATUS st) {
    if (st == 0) return;
    const char* text = TRV_GetErrorString(st, "en");
    if (!text && (st & 0xFFFF0000u) >= 0x430000u) text = TRV_GetErrorString(st & 0xFFFF0000u, "en");
    printf("  ! %s: status 0x%X (%s)\n", what, (unsigned)st, text ? text : "no text");
}

/* Sends with a TRVS_ call, waits, and leaves the answered request for the
 * TRVG_ reader. */
static TARVIK_STATUS await(TARVIK_HANDLE* req, TARVIK_STATUS sent) {
    if (sent) return sent;
    if (TRV_WaitForRequestCompleted(*req, 5000)) return TARVIK_STATUS_TIMEOUT;
    return TRV_GetRequestStatus(*req);
}

static volatile int cards = 0;

/* Runs on the library's receiver thread: keep it short. */
static void on_card(void* event) {
    char number[64] = "";
    unsigned char type = 0;
    TRV_PopResponseValueString(event, number, sizeof number);
    TRV_PopResponseValueByte(event, &type);
    printf("  * card event: number %s, type %u\n", number, type);
    cards++;
    TRV_DestroyRequest(event); /* events handed to the callback are ours */
}

static double ms_since(const struct timespec* t0) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (t.tv_sec - t0->tv_sec) * 1000.0 + (t.tv_nsec - t0->tv_nsec) / 1e6;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s HOST PORT [LOGFILE]\n", argv[0]);
        return 2;
    }
    const char* log = argc > 3 ? argv[3] : "TRV_DBG.txt";
    TARVIK_HANDLE req = NULL;
    TARVIK_STATUS st;
    int failures = 0;
    setvbuf(stdout, NULL, _IOLBF, 0);

    printf("libtarvik 0x%08X, libmirtel 0x%08lX\n", (unsigned)TRV_GetLibraryVersion(), TRV_GetHLLibraryVersion());

    /* 1. A device for the TCP transport, its log, and a view. */
    TARVIK_HANDLE device = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
    TRV_SetDeviceParam(device, TARVIK_PARAM_IPADDRESS, argv[1]);
    TRV_SetDeviceParam(device, TARVIK_PARAM_IPPORT, argv[2]);
    TRV_SetDebugFileName(device, log);
    TRV_SetDebugLevel(device, TARVIK_DEBUG_DEVICE | TARVIK_DEBUG_ETHER | TARVIK_DEBUG_FRAMES | 8);
    TARVIK_HANDLE view = TRV_OpenDevice(device);
    if (!view) {
        say("opening the connection", TRV_GetError(device));
        TRV_DestroyDeviceHandle(device);
        return 1;
    }
    printf("Connected to the register at %s:%s (log in %s)\n", argv[1], argv[2], log);
    TRV_SetEventHandlingMode(view, TARVIK_EVENT_CALLBACK);
    TRV_SetCallback(view, on_card);

    /* 2. The clock: read it, set it, read it again. */
    char date[16] = "", time_[16] = "";
    st = await(&req, TRVS_DateGet(view, &req, 0));
    if (st == 0) st = TRVG_DateGet(req, date);
    TARVIK_HANDLE req2 = NULL;
    TARVIK_STATUS st2 = await(&req2, TRVS_TimeGet(view, &req2, 0));
    if (st2 == 0) st2 = TRVG_TimeGet(req2, time_);
    printf("Register clock: %s %s\n", date, time_);
    failures += st != 0 || st2 != 0;

    time_t now = time(NULL);
    char stamp[32];
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", localtime(&now));
    st = await(&req, TRVS_DateTimeSet(view, &req, stamp, 0));
    printf("Clock set to %s: %s\n", stamp, st == 0 ? "done" : "refused");
    say("setting the clock", st);
    TRVG_Default(req); /* the set command has no reader of its own */
    st = await(&req, TRVS_TimeGet(view, &req, 0));
    if (st == 0) st = TRVG_TimeGet(req, time_);
    printf("Register clock now: %s (the sender waited for the register to store it)\n", time_);
    failures += st != 0;

    /* 3. Articles: program two, give one more barcodes, read them back. */
    st = await(&req, TRVS_PLUIns(view, &req, 101, "KAWA ZIARNISTA 1KG", "5901234123457", "4999", "5",
                                /* packaging, unit, discount, group, VAT index */ 0, 1, 0, 2, 0,
                                /* quantity format, fixed price, discounts, notepad */ 0, 0, 1, 0,
                                /* overwrite, overwrite with totals */ 1, 0, /* mode */ 0));
    say("inserting article 101", st);
    failures += st != 0;
    TRVG_Default(req);
    st = await(&req, TRVS_PLUIns(view, &req, 102, "HERBATA CZARNA", "5907777000014", "899", "10", 0, 1, 0, 2, 1,
                                0, 0, 1, 0, 1, 0, 0));
    say("inserting article 102", st);
    TRVG_Default(req);
    st = await(&req, TRVS_BarcodeIns(view, &req, 101, "2000000001012\n2000000001029", 0));
    say("adding barcodes", st);
    TRVG_Default(req);

    unsigned short number = 0;
    unsigned char type = 0, vat = 0;
    char name[64] = "", barcode[64] = "", price[32] = "", minimum[32] = "", barcodes[256] = "";
    st = await(&req, TRVS_PLURead(view, &req, 101, 1, 0));
    if (st == 0)
        st = TRVG_PLURead(req, &number, name, barcode, price, minimum, &type, NULL, NULL, &vat, NULL, NULL, NULL,
                          NULL, NULL, barcodes);
    say("reading article 101", st);
    failures += st != 0;
    for (char* p = barcodes; *p; ++p)
        if (*p == '\n') *p = ',';
    printf("Article %u: %s, barcode %s, price %s, VAT index %u, more barcodes: %s\n", number, name, barcode, price,
           vat, barcodes);
    char asked[] = "5907777000014";
    st = await(&req, TRVS_PLUReadByBarcode(view, &req, asked, 0, 0));
    if (st == 0)
        st = TRVG_PLUReadByBarcode(req, NULL, name, barcode, price, NULL, &type, NULL, NULL, NULL, NULL, NULL, NULL,
                                   NULL, NULL, NULL);
    say("reading by barcode", st);
    printf("Barcode %s is %s at %s\n", asked, name, price);
    st = await(&req, TRVS_PLURead(view, &req, 4999, 0, 0));
    printf("Article 4999:");
    say("reading an empty record (expected)", st);
    TRVG_Default(req);

    /* 4. A printed report: a long command. The register stays busy printing;
     *    the library holds the next request back and polls the register's
     *    status (command 8) until it is done. */
    struct timespec t0;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    TARVIK_HANDLE report = TRV_CreateRequest(view, 1165); /* daily fiscal report */
    TRV_PostRequest(report, 0);
    st = await(&req, TRVS_TimeGet(view, &req, 0));
    if (st == 0) st = TRVG_TimeGet(req, time_);
    printf("Daily report started; the next request (read the clock: %s) waited %.0f ms for the printer\n", time_,
           ms_since(&t0));
    st = await(&report, 0);
    say("daily report", st);
    TRV_DestroyRequest(report);

    /* 5. The sale journal: records arrive in the sales queue. */
    printf("Sale journal:\n");
    for (int i = 0; i < 6; ++i) {
        TARVIK_HANDLE rec = NULL;
        st = TRVS_SaleRecGet(view, NULL, i == 0 ? 1 : 0, 0);
        if (st == 0) rec = TRV_PopSalesQueue(view, 3000);
        if (!rec) {
            say("reading the journal", st ? st : TARVIK_STATUS_TIMEOUT);
            failures++;
            break;
        }
        unsigned char full = 0;
        unsigned short next = 0, rtype = 0;
        st = TRV_GetRequestStatus(rec);
        if (st == 0) st = TRVG_SaleRecGetType(rec, &full, &next, &rtype);
        if (st) {
            say("journal record", st);
            TRVG_Default(rec);
            break;
        }
        if (rtype == 2) {
            unsigned long receipt = 0;
            char when[32] = "", till[64] = "", cashier[64] = "", total[32] = "", due[32] = "";
            unsigned short cashierNo = 0;
            st = TRVG_SaleRecGetFinished(rec, &receipt, when, till, cashier, &cashierNo, total, due);
            if (st == 0)
                printf("  receipt %lu of %s at till %s by %s: %s\n", receipt, when, till, cashier, total);
            else
                TRVG_Default(rec);
        } else {
            printf("  record of type %u (%u more after it)\n", rtype, next);
            TRVG_Default(rec);
        }
    }

    /* 6. Card events come through the callback while we work. */
    for (int i = 0; i < 30 && cards == 0; ++i) usleep(100000);
    if (cards == 0) printf("  (no card event arrived)\n");

    /* 7. A status text from the language file. */
    printf("Status 0x10006 reads: \"%s\"\n", TRV_GetErrorString(TARVIK_STATUS_NULLHANDLE, "en") ? TRV_GetErrorString(TARVIK_STATUS_NULLHANDLE, "en") : "?");
    printf("                  pl: \"%s\"\n", TRV_GetErrorString(TARVIK_STATUS_NULLHANDLE, "pl") ? TRV_GetErrorString(TARVIK_STATUS_NULLHANDLE, "pl") : "?");

    uint32_t sent = 0, done = 0;
    TRV_RequestQueueStats(view, &sent, &done);
    printf("Frames sent %u, answers processed %u\n", (unsigned)sent, (unsigned)done);

    /* 8. Close the view (stops the threads, writes the statistics to the log)
     *    and destroy the device. */
    TRV_CloseDevice(view);
    TRV_DestroyDeviceHandle(device);
    printf("Closed. %s\n", failures ? "Some steps failed." : "All steps succeeded.");
    return failures ? 1 : 0;
}
