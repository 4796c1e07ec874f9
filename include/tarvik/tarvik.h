/*
 * libtarvik: the low-level driver for tarvik fiscal cash registers.
 *
 * This header is the library's manual. An application creates a device
 * handle for a transport, sets its parameters, opens one or more views on
 * it, creates requests on a view, pushes their parameters, posts them,
 * waits, pops the answer values and destroys the requests:
 *
 *     TARVIK_HANDLE dev = TRV_CreateDeviceHandle(TARVIK_DEVICE_ETHER);
 *     TRV_SetDeviceParam(dev, TARVIK_PARAM_IPADDRESS, (void*)"192.168.1.50");
 *     TARVIK_HANDLE view = TRV_OpenDevice(dev);
 *     TARVIK_HANDLE req = TRV_CreateRequest(view, 14);     (read the clock)
 *     TRV_PostRequest(req, TARVIK_POST_NORMAL);
 *     if (TRV_WaitForRequestCompleted(req, 2000) == 0 && TRV_GetRequestStatus(req) == 0)
 *         ... TRV_PopResponseValueByte(req, &hour) ...
 *     TRV_DestroyRequest(req);
 *     TRV_CloseDevice(view);
 *     TRV_DestroyDeviceHandle(dev);
 *
 * HANDLES. Three kinds, each made and ended by its own pair of functions:
 *   device handle  hDevice   TRV_CreateDeviceHandle ... TRV_DestroyDeviceHandle
 *                            one connection to one register (port, bridge, socket)
 *   view handle    hView     TRV_OpenDevice ... TRV_CloseDevice
 *                            a user of a device; requests, answers and queues go
 *                            through views, and several views share one device
 *   request handle hRequest  TRV_CreateRequest ... TRV_DestroyRequest
 *                            one command with its parameters and its answer
 * Each function takes the kind its parameter names. A null handle, one of
 * another kind, one that was destroyed (by the application, or by the
 * library where noted below), or a pointer the library never issued is
 * answered with TARVIK_STATUS_NULLHANDLE, null or 0 (as each function
 * says). A handle is a value, not an address: nothing is read through it,
 * it is never 0, and a value once issued is never issued again while the
 * process lives, so a destroyed handle keeps answering
 * TARVIK_STATUS_NULLHANDLE for good and never names an object created
 * later (on a 32-bit system: not before the same registry slot was reused
 * 16383 times). Compare handles with ==; do not dereference them.
 *
 * OWNERSHIP. The application owns every handle it is given and ends it with
 * the matching function; a request also ends through a successful TRVG_
 * call of libmirtel or TRVG_Default. The library deletes a request itself
 * only where stated: post modes 2 and 3, the purge functions, and
 * TRV_DestroyDeviceHandle for requests still queued for output. Event
 * requests (TRV_PopAsyncData, the callback) and sale records
 * (TRV_PopSalesQueue) belong to the caller once handed out.
 *
 * THREADS. Every function may be called from any thread, concurrently with
 * the others. Each open device runs two threads of the library: a sender
 * that writes requests and a receiver that reads answers and runs the event
 * callback. Nothing is thrown across this interface.
 *
 * BLOCKING. Unless a function says otherwise it returns at once (it may
 * wait briefly for a lock of its device). Time-outs are in milliseconds.
 * The waiting functions return as soon as what they wait for happens.
 *
 * LOG. TRV_SetDebugLevel turns a per-device debug log on (TRV_DBG.txt in the
 * working directory unless TRV_SetDebugFileName names another file).
 */
#ifndef TARVIK_TARVIK_H
#define TARVIK_TARVIK_H

#include <stdint.h>
#include <semaphore.h>

#include "tarvik/tarvik_version.h"

/* Marks the exported functions; both libraries build with hidden visibility. */
#define TARVIK_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t TARVIK_STATUS;
typedef void* TARVIK_HANDLE;
typedef void (*TARVIK_CALLBACK_T)(void*);
typedef uint16_t TARVIK_CMD;
typedef uint32_t TARVIK_STATE;
typedef uint32_t TARVIK_DATA_TYPE;

/* Value type letters (TRV_GetResponseValueType). */
#define TARVIK_TYPE_BYTE     0x42u /* 'B' */
#define TARVIK_TYPE_WORD     0x56u /* 'V' */
#define TARVIK_TYPE_LONG     0x4Cu /* 'L' */
#define TARVIK_TYPE_STRING   0x53u /* 'S' */
#define TARVIK_TYPE_NUMERIC  0x4Eu /* 'N' */
#define TARVIK_TYPE_CURRENCY 0x4Bu /* 'K' */
#define TARVIK_TYPE_QUANTITY 0x51u /* 'Q' */
#define TARVIK_TYPE_NONE     0x2Au /* '*' */

/* Request states. */
#define TARVIK_STATE_NEW       0x19000u
#define TARVIK_STATE_PENDING   0x19001u
#define TARVIK_STATE_SENT      0x19002u
#define TARVIK_STATE_ACCEPTED  0x19003u
#define TARVIK_STATE_COMPLETED 0x19004u
#define TARVIK_STATE_ERROR     0x19005u

/* Post modes. */
#define TARVIK_POST_NORMAL        0u
#define TARVIK_POST_EXCLUSIVE     1u
#define TARVIK_POST_DELETE_EMPTY  2u
#define TARVIK_POST_DELETE        3u

/* Device types. */
#define TARVIK_DEVICE_RS232 1u
#define TARVIK_DEVICE_USB   2u
#define TARVIK_DEVICE_ETHER 3u

/* Event handling modes (TRV_SetEventHandlingMode): what happens to a card
 * event the register sends. */
#define TARVIK_EVENT_DISABLE   0u /* dropped (logged) */
#define TARVIK_EVENT_QUEUE     3u /* queued for TRV_PopAsyncData */
#define TARVIK_EVENT_CALLBACK  4u /* handed to the TRV_SetCallback callback; queued when none is set */
#define TARVIK_EVENT_SEMAPHORE 5u /* queued, and the TRV_GetSemaphore semaphore posted once */

/* Most events the asynchronous queue holds. A register that sends events
 * while nobody pops them cannot grow memory without end: beyond this many,
 * a new event is dropped (and logged as "DEVICE: Event queue full, card
 * event dropped"); the events already queued are kept. */
#define TARVIK_ASYNC_QUEUE_MAX 4096u

/* Device parameters (TRV_SetDeviceParam / TRV_GetDeviceParam). The value
 * pointer points to the type given; texts are zero-terminated and copied.
 * Reading a text parameter copies it into the caller's buffer, which must
 * be large enough. Transport parameters take effect at the next open (the
 * modem strings at the next dial); the others at once. */
#define TARVIK_PARAM_COMPARAMS      0x20001u /* char*, serial and USB: "path,baud,bits,parity,stop,handshake",
                                                default "/dev/ttyS0,9600,8,N,1,H"; set and get */
#define TARVIK_PARAM_STRINGHANDLING 0x20002u /* unsigned char, libmirtel's text-result mode, kept per
                                                view (and per device); default 0; set and get */
#define TARVIK_PARAM_DECIMALSEP     0x20003u /* char: separator of decimal answer texts, default ','; set only */
#define TARVIK_PARAM_SENDTIMEOUT    0x20004u /* uint32_t, serial: 100 ms periods a stalled port may refuse
                                                data before the request fails (default 10); set only */
#define TARVIK_PARAM_IPADDRESS      0x20005u /* char*, TCP: dotted address or host name, default
                                                "127.0.0.1"; set only */
#define TARVIK_PARAM_IPPORT         0x20006u /* char*, TCP: the port as decimal text, default "1000"; set only */
#define TARVIK_PARAM_SERIALNO       0x20007u /* char*, USB: the bridge to open (a name from the device
                                                list); set only */
#define TARVIK_PARAM_DEVICELIST     0x20008u /* char* buffer, USB: one bridge name per line, each ending
                                                in a line feed; get only; blocks for a bus search */
#define TARVIK_PARAM_OUTQUEUEMAXLEN 0x20009u /* uint32_t: output queue length from which posts are
                                                checked, default 256, 0 refused; set only */
#define TARVIK_PARAM_NOSYNC         0x2000au /* unsigned char, non-zero: do not hold requests back while
                                                the register is busy with a long command; set only */
#define TARVIK_PARAM_MODEMMODE      0x2000bu /* unsigned char, serial: 1 = behind a Hayes modem (forces
                                                RTS/CTS); set and get */
#define TARVIK_PARAM_MODEMINIT      0x2000cu /* char*, serial modem: init string (upper-cased); set and get */
#define TARVIK_PARAM_MODEMCALL      0x2000du /* char*, serial modem: dial string, e.g. "ATDT123456"
                                                (upper-cased); set and get */

/* Debug level bits (TRV_SetDebugLevel): verbosity 0-15 in the low four
 * bits, and the categories written. 0x81F00F logs everything. */
#define TARVIK_DEBUG_VERBOSITY 0x0000000Fu
#define TARVIK_DEBUG_DEVICE    0x00001000u
#define TARVIK_DEBUG_RS232     0x00002000u
#define TARVIK_DEBUG_ETHER     0x00004000u
#define TARVIK_DEBUG_USB       0x00008000u
#define TARVIK_DEBUG_FRAMES    0x00010000u
#define TARVIK_DEBUG_QUEUES    0x00800000u

/* Status codes. 0 is success. Texts for every code: TRV_GetErrorString. */
#define TARVIK_STATUS_OK                     0u
#define TARVIK_STATUS_NOMEMORY               1u  /* no memory for a new object */
#define TARVIK_STATUS_OPENFAILED             5u  /* port or connection did not open */
#define TARVIK_STATUS_SELECTFAILED           8u  /* waiting for the serial port failed */
#define TARVIK_STATUS_USBIO                  9u  /* USB input/output or bus search failed */
#define TARVIK_STATUS_USBINIT               10u  /* USB access library did not initialise */
#define TARVIK_STATUS_ACCESSDENIED          12u  /* serial port: access denied */
#define TARVIK_STATUS_NOSUCHDEVICE          13u  /* serial port: no such device */
#define TARVIK_STATUS_BADBAUDRATE           14u
#define TARVIK_STATUS_BADDATABITS           15u
#define TARVIK_STATUS_BADPARITY             16u
#define TARVIK_STATUS_BADSTOPBITS           17u
#define TARVIK_STATUS_BADHANDSHAKE          18u
#define TARVIK_STATUS_CANNOTREPEAT          19u  /* neither sent nor accepted */
#define TARVIK_STATUS_WRITEBUSY             20u  /* a frame or line is being written */
#define TARVIK_STATUS_INUSE                 32u  /* refused: the object is in use */
#define TARVIK_STATUS_BUSY_FIRST            32u  /* 32 + busy code while the register is busy */
#define TARVIK_STATUS_BUSY_LAST             47u
#define TARVIK_STATUS_TCP_EINTR             48u
#define TARVIK_STATUS_TCP_EACCES            49u
#define TARVIK_STATUS_TCP_EINPROGRESS       50u
#define TARVIK_STATUS_TCP_EDESTADDRREQ      51u
#define TARVIK_STATUS_TCP_EADDRINUSE        52u
#define TARVIK_STATUS_TCP_EADDRNOTAVAIL     53u
#define TARVIK_STATUS_TCP_ENETDOWN          54u
#define TARVIK_STATUS_TCP_ENETUNREACH       55u
#define TARVIK_STATUS_TCP_ENETRESET         56u
#define TARVIK_STATUS_TCP_ECONNABORTED      57u
#define TARVIK_STATUS_TCP_ECONNRESET        58u
#define TARVIK_STATUS_TCP_ETIMEDOUT         59u
#define TARVIK_STATUS_TCP_ECONNREFUSED      60u
#define TARVIK_STATUS_TCP_EHOSTDOWN         61u
#define TARVIK_STATUS_TCP_EHOSTUNREACH      62u
#define TARVIK_STATUS_NOTMODEM              96u
#define TARVIK_STATUS_MODEM_IDLE            97u
#define TARVIK_STATUS_MODEM_CONNECTING      98u
#define TARVIK_STATUS_MODEM_DISCONNECTING   99u
#define TARVIK_STATUS_MODEM_CONNECTED      100u
#define TARVIK_STATUS_MODEM_ANSWERING      101u
#define TARVIK_STATUS_MODEM_BUSY           102u
#define TARVIK_STATUS_MODEM_NOTCONNECTED   103u
#define TARVIK_STATUS_MODEM_NODIALTONE     104u
#define TARVIK_STATUS_MODEM_NOCARRIER      105u
#define TARVIK_STATUS_MODEM_OTHERERROR     106u
#define TARVIK_STATUS_MODEM_BADINIT        107u
#define TARVIK_STATUS_MODEM_BADDIAL        108u
#define TARVIK_STATUS_MODEM_NOMODEM        109u
#define TARVIK_STATUS_MODEM_CONNECTIONLOST 110u
#define TARVIK_STATUS_MODEM_ERRORONDISCONNECT 111u
#define TARVIK_STATUS_ALREADYCOMPLETED  0x10000u /* TRV_CancelRequest on a finished request */
#define TARVIK_STATUS_NOASYNCDATA       0x10001u /* the asynchronous queue is empty */
#define TARVIK_STATUS_BADDATA           0x10002u /* wrong value type; an empty frame; an unreadable answer */
#define TARVIK_STATUS_TIMEOUT           0x10003u /* serial send time-out; TCP: reconnecting failed before sending; a wait ran out */
#define TARVIK_STATUS_NOTANSWERED       0x10004u /* not finished yet */
#define TARVIK_STATUS_NOCOMMAND         0x10005u /* also: wrong command in a TRVG_ reader */
#define TARVIK_STATUS_NULLHANDLE        0x10006u /* null, destroyed, never issued, or of the wrong kind */
#define TARVIK_STATUS_BUFFERTOOSMALL    0x10007u /* the value does not fit the buffer */
#define TARVIK_STATUS_NOMOREVALUES      0x10008u /* every answer value has been popped */
#define TARVIK_STATUS_BADMODE           0x10009u /* libmirtel: tryb 2, or 1 without phRequest */
#define TARVIK_STATUS_CANCELLED         0x1000au /* the request was cancelled (TRV_CancelRequest) */
#define TARVIK_STATUS_OUTCOME_UNKNOWN   0x1000bu /* written, then the connection was lost: whether the register executed it is unknown */
#define TARVIK_STATUS_FILLERPUSH        0x10101u /* libmirtel: a library-supplied value */
#define TARVIK_STATUS_INVALIDARG        0x10102u /* invalid argument or parameter */
#define TARVIK_STATUS_MISSINGVALUE      0x10103u /* null value pointer, zero buffer length */
#define TARVIK_STATUS_ARG(n)            (0x10100u + (n)) /* libmirtel: argument n */
#define TARVIK_STATUS_EXEC_ERROR        0x430000u /* + execution error of the register */
#define TARVIK_STATUS_TRANS_ERROR       0x440000u /* + transmission error of the register */

/* ==== Requests ===========================================================
 *
 * A request goes NEW -> (posted) PENDING -> (its frame written) SENT ->
 * (acknowledged: the register executes it) ACCEPTED -> COMPLETED, or ERROR
 * from any of them. TRV_GetRequestStatus tells why it ended. */

/* A new request for `command` on the open view hView. The caller owns it
 * (TRV_DestroyRequest). Its token (TRV_GetRequestCommandSerial) is the
 * device's next. Null when hView is not an open view, or when there is no
 * memory (TRV_GetError(hView) then gives 1). */
TARVIK_API TARVIK_HANDLE TRV_CreateRequest(TARVIK_HANDLE hView, TARVIK_CMD command);

/* Frees the request in any state: it leaves every queue of its device
 * first (a frame being written is let finish). The handle is invalid
 * afterwards; a thread waiting on it returns TARVIK_STATUS_NULLHANDLE.
 * Returns 0, or TARVIK_STATUS_NULLHANDLE. */
TARVIK_API TARVIK_STATUS TRV_DestroyRequest(TARVIK_HANDLE hRequest);

/* Sends a SENT or ACCEPTED request again (as a repetition). Returns 0,
 * TARVIK_STATUS_CANNOTREPEAT (19) in any other state or without a device,
 * or TARVIK_STATUS_NULLHANDLE. */
TARVIK_API TARVIK_STATUS TRV_RepeatRequest(TARVIK_HANDLE hRequest);

/* Appends one parameter; the frame carries them in call order. Texts are
 * copied. Numeric, currency and quantity texts are decimal numbers with "."
 * or "," as the separator. Returns:
 *   0
 *   TARVIK_STATUS_NULLHANDLE
 *   TARVIK_STATUS_INVALIDARG   null text, a text of 65536 bytes or more, or
 *                              a text that is no number (nothing is added)
 *   TARVIK_STATUS_INUSE (32)   the request is posted and not finished: push
 *                              before posting or after the answer
 *   TARVIK_STATUS_NOMEMORY (1) */
TARVIK_API TARVIK_STATUS TRV_PushRequestParamByte(TARVIK_HANDLE hRequest, unsigned char param);
TARVIK_API TARVIK_STATUS TRV_PushRequestParamWord(TARVIK_HANDLE hRequest, unsigned short param);
TARVIK_API TARVIK_STATUS TRV_PushRequestParamLong(TARVIK_HANDLE hRequest, uint32_t param);
TARVIK_API TARVIK_STATUS TRV_PushRequestParamString(TARVIK_HANDLE hRequest, const char* param);
TARVIK_API TARVIK_STATUS TRV_PushRequestParamNumeric(TARVIK_HANDLE hRequest, const char* param);
TARVIK_API TARVIK_STATUS TRV_PushRequestParamCurrency(TARVIK_HANDLE hRequest, const char* param);
TARVIK_API TARVIK_STATUS TRV_PushRequestParamQuantity(TARVIK_HANDLE hRequest, const char* param);

/* Number of answer values (the four error values of a register error
 * answer included); the number TARVIK_STATUS_NULLHANDLE for a bad handle.
 * Pop the values only once the request is COMPLETED or ERROR. */
TARVIK_API uint32_t TRV_GetResponseValueCount(TARVIK_HANDLE hRequest);
/* Type letter (TARVIK_TYPE_*) of the next value; TARVIK_TYPE_NONE when all
 * were popped or for a bad handle. */
TARVIK_API TARVIK_DATA_TYPE TRV_GetResponseValueType(TARVIK_HANDLE hRequest);
/* Back to the first value. Returns 0, or TARVIK_STATUS_NULLHANDLE. */
TARVIK_API TARVIK_STATUS TRV_ResponseRewind(TARVIK_HANDLE hRequest);

/* Pops the next value into *retVal. Returns 0; TARVIK_STATUS_NULLHANDLE;
 * TARVIK_STATUS_INVALIDARG for a null retVal; TARVIK_STATUS_NOMOREVALUES
 * after the last value; TARVIK_STATUS_BADDATA when the next value has
 * another type (it stays next). */
TARVIK_API TARVIK_STATUS TRV_PopResponseValueByte(TARVIK_HANDLE hRequest, unsigned char* retVal);
TARVIK_API TARVIK_STATUS TRV_PopResponseValueWord(TARVIK_HANDLE hRequest, unsigned short* retVal);
TARVIK_API TARVIK_STATUS TRV_PopResponseValueLong(TARVIK_HANDLE hRequest, uint32_t* retVal);
/* Pops the next value as text into the caller's buffer of retValLen bytes,
 * the terminating zero included. Decimal values use the device's separator
 * (TARVIK_PARAM_DECIMALSEP, "," by default). As above, and also:
 * TARVIK_STATUS_MISSINGVALUE when retValLen is 0; TARVIK_STATUS_BUFFERTOOSMALL
 * when the text does not fit (nothing is copied, the value stays next). */
TARVIK_API TARVIK_STATUS TRV_PopResponseValueString(TARVIK_HANDLE hRequest, char* retVal, uint32_t retValLen);
TARVIK_API TARVIK_STATUS TRV_PopResponseValueNumeric(TARVIK_HANDLE hRequest, char* retVal, uint32_t retValLen);
TARVIK_API TARVIK_STATUS TRV_PopResponseValueCurrency(TARVIK_HANDLE hRequest, char* retVal, uint32_t retValLen);
TARVIK_API TARVIK_STATUS TRV_PopResponseValueQuantity(TARVIK_HANDLE hRequest, char* retVal, uint32_t retValLen);

/* The state (TARVIK_STATE_*); the number TARVIK_STATUS_NULLHANDLE for a bad
 * handle. May be read at any time. */
TARVIK_API TARVIK_STATE TRV_GetRequestState(TARVIK_HANDLE hRequest);
/* Why the request ended:
 *   0                           COMPLETED
 *   TARVIK_STATUS_NOTANSWERED   not finished (NEW, PENDING, SENT, ACCEPTED)
 *   0x440000 + t                the register's error answer, transmission error t
 *                               (after 5 automatic repetitions for t = 3002,
 *                               3003, 3005, 3006, 3008, 3009, 3011, 3014, 3017)
 *   0x430000 + e                the register's error answer, execution error e
 *   TARVIK_STATUS_TIMEOUT       serial: the port took no data for the send
 *                               time-out; TCP: reconnecting failed before the
 *                               frame was written (the register never saw it)
 *   TARVIK_STATUS_OUTCOME_UNKNOWN  TCP: written (or accepted and running), then
 *                               the connection was lost; whether the register
 *                               executed it is unknown, so read its effect back
 *                               before sending it again
 *   TARVIK_STATUS_CANCELLED     TRV_CancelRequest
 *   TARVIK_STATUS_BADDATA       the frame could not be encoded, or the
 *                               answers stayed unreadable through 5 repetitions
 *   TARVIK_STATUS_SELECTFAILED  serial: waiting for the port failed
 *   TARVIK_STATUS_NULLHANDLE    bad handle */
TARVIK_API TARVIK_STATUS TRV_GetRequestStatus(TARVIK_HANDLE hRequest);
/* Seconds since the request was created or last posted; 0 for a bad handle. */
TARVIK_API uint32_t TRV_GetRequestAge(TARVIK_HANDLE hRequest);
/* The command; the number TARVIK_STATUS_NOCOMMAND for a bad handle. */
TARVIK_API uint32_t TRV_GetRequestCommandID(TARVIK_HANDLE hRequest);
/* The token (serial number) linking the request to its answers; 0 for a bad
 * handle. */
TARVIK_API uint32_t TRV_GetRequestCommandSerial(TARVIK_HANDLE hRequest);
/* The view the request was created on (for an event: the view that popped
 * it or registered the callback), or null. Not a new handle; it may have
 * been closed since. */
TARVIK_API TARVIK_HANDLE TRV_RequestDevice(TARVIK_HANDLE hRequest);

/* ==== Devices and views ================================================== */

/* A new device of deviceType (TARVIK_DEVICE_RS232, _USB, _ETHER) with its
 * default parameters, not yet open; the caller owns it
 * (TRV_DestroyDeviceHandle). Null for any other type or without memory. */
TARVIK_API TARVIK_HANDLE TRV_CreateDeviceHandle(uint32_t deviceType);
/* A new view on hDevice, owned by the caller (TRV_CloseDevice). The first
 * view opens the hardware and starts the device's threads; this blocks while
 * the port opens (TCP: name resolution and up to 3 s of connecting). Null on
 * failure, with the reason in TRV_GetError(hDevice): 5, 12-18 (serial), 9,
 * 10 (USB), 48-62 (TCP, see TARVIK_STATUS_TCP_*), 1 (no memory). Further
 * calls add views on the open connection. */
TARVIK_API TARVIK_HANDLE TRV_OpenDevice(TARVIK_HANDLE hDevice);
/* Closes the view; the handle is invalid afterwards. Requests created on it
 * stay the application's (pop and destroy them), but cannot be posted any
 * more. Closing the last view hangs up a connected modem (up to 60 s), stops
 * the device's threads (within about 100 ms), closes the port and writes
 * the statistics to the log. Returns 0, or TARVIK_STATUS_NULLHANDLE (also
 * for a view closed before). Do not call it from the event callback. */
TARVIK_API TARVIK_STATUS TRV_CloseDevice(TARVIK_HANDLE hView);
/* Destroys the device. Refused with TARVIK_STATUS_INUSE (32) while a view is
 * open or being closed. Requests still queued for output, queued events and
 * unpopped sale records are deleted (their handles become invalid);
 * finished requests stay the application's. Returns 0, 32 or
 * TARVIK_STATUS_NULLHANDLE. */
TARVIK_API TARVIK_STATUS TRV_DestroyDeviceHandle(TARVIK_HANDLE hDevice);
/* Reads and clears the device's last error; a view reports its device's.
 * Besides the statuses above it holds 32 + n while the register reports
 * itself busy with code n, and on TCP the raw system error number of a
 * failed reconnect. TARVIK_STATUS_NULLHANDLE for a bad handle. */
TARVIK_API TARVIK_STATUS TRV_GetError(TARVIK_HANDLE hDevice);
/* Sets or reads a parameter (TARVIK_PARAM_*; the value pointer's type is
 * given there). hDevice is a device or a view: a view keeps its own
 * TARVIK_PARAM_STRINGHANDLING and passes everything else to its device.
 * Returns 0; TARVIK_STATUS_NULLHANDLE; TARVIK_STATUS_INVALIDARG for an
 * identifier the device does not know (or cannot set/read) or a rejected
 * value; TARVIK_STATUS_MISSINGVALUE for a null value of a transport
 * parameter. TARVIK_PARAM_DEVICELIST (USB) searches the bus and blocks
 * for that long. */
TARVIK_API TARVIK_STATUS TRV_SetDeviceParam(TARVIK_HANDLE hDevice, uint32_t paramCode, void* paramValue);
TARVIK_API TARVIK_STATUS TRV_GetDeviceParam(TARVIK_HANDLE hDevice, uint32_t paramCode, void* paramValue);

/* ---- Dial-up modem (a serial device with TARVIK_PARAM_MODEMMODE on) ------
 * These take the device handle. On any other device they return
 * TARVIK_STATUS_NOTMODEM (96). */

/* Asks for a call (AT, the init string, the dial string). Refused with
 * TARVIK_STATUS_MODEM_BUSY while a call is requested, under way or up.
 * wait 0: returns 0 at once (watch TRV_ModemStatus). Otherwise blocks until
 * this call's outcome, at most 180 s: 0 when connected, 104-109 why not,
 * 106 at the time limit. Requests posted meanwhile go out once connected. */
TARVIK_API TARVIK_STATUS TRV_ModemDial(TARVIK_HANDLE hDevice, int wait);
/* Hangs up (DTR dropped; "+++" and ATH0 after 15 s). TARVIK_STATUS_MODEM_
 * NOTCONNECTED without a connection. wait 0: returns 0 at once; otherwise
 * blocks at most 60 s: 0 when hung up, 111 when the hang-up failed, 106 at
 * the time limit. */
TARVIK_API TARVIK_STATUS TRV_ModemDisconnect(TARVIK_HANDLE hDevice, int wait);
/* 97 idle, 98 connecting, 100 connected, 99 hanging up, or the last failure
 * (104-111). */
TARVIK_API TARVIK_STATUS TRV_ModemStatus(TARVIK_HANDLE hDevice);
/* Writes the text to the port as it is, in any modem state (blocks at most
 * the send time-out). TARVIK_STATUS_WRITEBUSY (20) while a frame or line is
 * being written; TARVIK_STATUS_INVALIDARG for a null text. */
TARVIK_API TARVIK_STATUS TRV_ModemWrite(TARVIK_HANDLE hDevice, const char* buffer);

/* ---- Events -------------------------------------------------------------- */

/* The device's event semaphore, owned by the library and valid until the
 * device is destroyed: in TARVIK_EVENT_SEMAPHORE mode it is posted once per
 * queued event (then take the event with TRV_PopAsyncData). Null for a bad
 * handle. */
TARVIK_API sem_t* TRV_GetSemaphore(TARVIK_HANDLE hView);
/* The device's event callback (one per device, the last call wins). In
 * TARVIK_EVENT_CALLBACK mode it is called with the handle of each event
 * request, on the library's receiver thread, with no lock of the library
 * held; the event then belongs to the callback (destroy it when done). No
 * answer is processed while it runs, so it must not block for long, and it
 * must not close views of its device or destroy it. Returns 0,
 * TARVIK_STATUS_INVALIDARG for a null callback, or TARVIK_STATUS_NULLHANDLE. */
TARVIK_API TARVIK_STATUS TRV_SetCallback(TARVIK_HANDLE hView, TARVIK_CALLBACK_T callback);
/* Chooses what happens to card events (TARVIK_EVENT_*). Returns 0,
 * TARVIK_STATUS_INVALIDARG for any other mode, or TARVIK_STATUS_NULLHANDLE. */
TARVIK_API TARVIK_STATUS TRV_SetEventHandlingMode(TARVIK_HANDLE hView, uint32_t eventMode);
/* The oldest queued event, now the caller's (destroy it), or null. Waits up
 * to `timeout` ms for one (0: no wait) and returns as soon as one arrives. */
TARVIK_API TARVIK_HANDLE TRV_PopAsyncData(TARVIK_HANDLE hView, uint32_t timeout);
/* 0 when an event is queued, TARVIK_STATUS_NOASYNCDATA when none,
 * TARVIK_STATUS_NULLHANDLE for a bad handle. */
TARVIK_API TARVIK_STATUS TRV_AsyncDataWaiting(TARVIK_HANDLE hView);
/* Number of queued events (at most TARVIK_ASYNC_QUEUE_MAX); 0 for a bad handle. */
TARVIK_API uint32_t TRV_AsyncQueueLength(TARVIK_HANDLE hView);
/* Deletes every queued event. Returns 0, or TARVIK_STATUS_NULLHANDLE. */
TARVIK_API TARVIK_STATUS TRV_AsyncQueuePurge(TARVIK_HANDLE hView);

/* ---- Posting, waiting and the queues --------------------------------------- */

/* Queues the request for sending (post modes TARVIK_POST_*):
 *   NORMAL        the caller collects the answer and destroys the request
 *   EXCLUSIVE     refused while any request of the device is pending, sent
 *                 or accepted
 *   DELETE_EMPTY  the library deletes the request when its answer carries no
 *                 values
 *   DELETE        the library deletes the request when it is answered or
 *                 fails: do not use the handle after posting
 * A post starts afresh: any earlier answer and status are dropped and the
 * request gets its full retry budget. Commands 8, 9, 10, 332 and 333 go to
 * the front of the queue and are never refused for length. Returns:
 *   0
 *   TARVIK_STATUS_INUSE (32)    the request is on its way (pending, being
 *                               written, sent or accepted): nothing changes,
 *                               and no frame of it goes out twice; or
 *                               refused: exclusive mode or a full queue
 *                               (TARVIK_PARAM_OUTQUEUEMAXLEN) while requests
 *                               are under way, and the request is PENDING
 *                               but in no queue, and may be posted again or
 *                               destroyed
 *   TARVIK_STATUS_NULLHANDLE    bad handle, or its view was closed or its
 *                               device destroyed (the request is unchanged)
 *   TARVIK_STATUS_NOMEMORY */
TARVIK_API TARVIK_STATUS TRV_PostRequest(TARVIK_HANDLE hRequest, unsigned char mode);
/* Waits until the request is COMPLETED or ERROR, returning as soon as it is,
 * for about `timeout` ms at most (the time-out minus 50 ms, rounded up to
 * a multiple of 50 ms; at least 50 ms when it is not finished yet). Returns
 * 0 when finished (read TRV_GetRequestStatus), TARVIK_STATUS_TIMEOUT when
 * not, TARVIK_STATUS_NULLHANDLE for a bad handle or a request deleted while
 * waiting (post modes 2 and 3, purges, destroyed by another thread). */
TARVIK_API TARVIK_STATUS TRV_WaitForRequestCompleted(TARVIK_HANDLE hRequest, uint32_t timeout);
/* Ends the request: it leaves every queue and ends in ERROR (a NEW request
 * stays NEW); its waiters wake. Its status tells what the register may have
 * done: TARVIK_STATUS_CANCELLED when no frame of it went out (not done, safe
 * to post again), TARVIK_STATUS_OUTCOME_UNKNOWN once one did (being written,
 * sent, accepted, or waiting to be repeated): the register may have run it,
 * so read back before doing it again. When the register was executing it
 * (ACCEPTED), command 10 is sent to stop it.
 * Returns 0, TARVIK_STATUS_ALREADYCOMPLETED for a finished request (it
 * keeps its status and leaves the queues), or TARVIK_STATUS_NULLHANDLE. */
TARVIK_API TARVIK_STATUS TRV_CancelRequest(TARVIK_HANDLE hRequest);
/* Queues command 10 (stop the running command) at the front and returns the
 * request the register is executing (not a new handle), or null. */
TARVIK_API TARVIK_HANDLE TRV_CancelExecuting(TARVIK_HANDLE hView);
/* The device's frames-sent and answers-processed counters, stored where the
 * pointers are not null. Returns 0, or TARVIK_STATUS_NULLHANDLE. */
TARVIK_API TARVIK_STATUS TRV_RequestQueueStats(TARVIK_HANDLE hView, uint32_t* sent, uint32_t* completed);
/* Takes the oldest finished request of this view out of the input queue,
 * or null. The caller owned it all along (destroy it when done). */
TARVIK_API TARVIK_HANDLE TRV_GetNextResponse(TARVIK_HANDLE hView);
/* Finished requests of this view waiting in the input queue; 0 for a bad
 * handle. */
TARVIK_API uint32_t TRV_GetResponseCount(TARVIK_HANDLE hView);
/* Requests of this view queued for output (of every view when globalnie is
 * not 0); 0 for a bad handle. */
TARVIK_API uint32_t TRV_GetRequestCount(TARVIK_HANDLE hView, unsigned char globalnie);
/* Deletes this view's (every view's when globalnie is not 0) requests
 * queued for output, whatever their state; their handles become invalid and
 * their waiters return TARVIK_STATUS_NULLHANDLE. Returns 0, or
 * TARVIK_STATUS_NULLHANDLE. */
TARVIK_API TARVIK_STATUS TRV_RequestQueueCancelAll(TARVIK_HANDLE hView, unsigned char globalnie);
/* The same for requests still PENDING (not yet written). */
TARVIK_API TARVIK_STATUS TRV_RequestQueueCancelPending(TARVIK_HANDLE hView, unsigned char globalnie);

/* Sale records (answers to command 451) go to the sales queue, not to the
 * input queue. TRV_PopSalesQueue takes this view's oldest one, or null,
 * waiting up to `timeout` ms (returning as soon as one arrives). */
TARVIK_API TARVIK_HANDLE TRV_PopSalesQueue(TARVIK_HANDLE hView, uint32_t timeout);
/* Sale records of this view (all when globalnie is not 0); 0 for a bad handle. */
TARVIK_API uint32_t TRV_SalesQueueLength(TARVIK_HANDLE hView, unsigned char globalnie);
/* Deletes this view's (all when globalnie is not 0) sale records; their
 * handles become invalid. Returns 0, or TARVIK_STATUS_NULLHANDLE. */
TARVIK_API TARVIK_STATUS TRV_SalesQueuePurge(TARVIK_HANDLE hView, unsigned char globalnie);

/* The frame cipher the register set up (0 none, 1 XOR, 2 additive); 0 for a
 * bad handle. */
TARVIK_API unsigned char TRV_GetCryptoStatus(TARVIK_HANDLE hView);

/* ---- The debug log --------------------------------------------------------- */

/* The device's debug level (TARVIK_DEBUG_*: verbosity 0-15 in the low four
 * bits, categories above). From 0 to non-zero opens the log file for
 * appending, to 0 closes it. Ignored for a bad handle. */
TARVIK_API void TRV_SetDebugLevel(TARVIK_HANDLE hDevice, uint32_t debugLevel);
/* Names the log file (closed, renamed, reopened when logging is on). A null
 * name sets the last error to TARVIK_STATUS_INVALIDARG. Ignored for a bad
 * handle. */
TARVIK_API void TRV_SetDebugFileName(TARVIK_HANDLE hDevice, const char* fileName);

/* ==== Status texts and version ============================================ */

/* The text of a status code in language `lang`, from the file
 * "tarvik_<lang>.lng" (English "en" and Polish "pl" are shipped), or null
 * when there is no such file or no text for the code. The file is looked for
 * only in the directory $TARVIK_LIB_SHARE_DIR when that variable is set and
 * not empty; otherwise in the current directory, then in the installed data
 * directory (share/tarvik). Only a regular file is read. A language is read
 * once, on first use; its texts belong to the library and stay valid and
 * unchanged until it is unloaded. Blocks only to read the file. */
TARVIK_API const char* TRV_GetErrorString(TARVIK_STATUS code, const char* lang);
/* TARVIK_VERSION of tarvik/tarvik_version.h: 0x01000486 is version 1.0,
 * build 1158. */
TARVIK_API uint32_t TRV_GetLibraryVersion(void);

#ifdef __cplusplus
}
#endif

#endif /* TARVIK_TARVIK_H */
