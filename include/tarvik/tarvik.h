/*
 * libtarvik: the low-level driver for tarvik fiscal cash registers.
 *
 * An application creates a device handle for a transport, sets its
 * parameters, opens one or more views on it, creates requests on a view,
 * pushes parameters, posts them, waits, pops the answer values and
 * destroys the requests. Every function checks its handles and arguments
 * and answers bad input with a status; nothing is thrown across this
 * boundary.
 *
 * Handles: TRV_CreateDeviceHandle gives a device handle, TRV_OpenDevice a
 * view handle, TRV_CreateRequest a request handle. A handle of the wrong
 * kind is answered like a null handle (TARVIK_STATUS_NULLHANDLE, null or 0).
 */
#ifndef TARVIK_TARVIK_H
#define TARVIK_TARVIK_H

#include <stdint.h>
#include <semaphore.h>

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

#define TARVIK_ASYNC_QUEUE_MAX 4096u

/* Device types. */
#define TARVIK_DEVICE_RS232 1u
#define TARVIK_DEVICE_USB   2u
#define TARVIK_DEVICE_ETHER 3u

/* Event handling modes. */
#define TARVIK_EVENT_DISABLE   0u
#define TARVIK_EVENT_QUEUE     3u
#define TARVIK_EVENT_CALLBACK  4u
#define TARVIK_EVENT_SEMAPHORE 5u

/* Device parameters (TRV_SetDeviceParam / TRV_GetDeviceParam). */
#define TARVIK_PARAM_COMPARAMS      0x20001u /* char*: serial port string */
#define TARVIK_PARAM_STRINGHANDLING 0x20002u /* unsigned char */
#define TARVIK_PARAM_DECIMALSEP     0x20003u /* char, set only */
#define TARVIK_PARAM_SENDTIMEOUT    0x20004u /* uint32_t, 100 ms periods */
#define TARVIK_PARAM_IPADDRESS      0x20005u /* char*: host */
#define TARVIK_PARAM_IPPORT         0x20006u /* char*: decimal port */
#define TARVIK_PARAM_SERIALNO       0x20007u /* char*: USB serial number */
#define TARVIK_PARAM_DEVICELIST     0x20008u /* char* buffer, get only */
#define TARVIK_PARAM_OUTQUEUEMAXLEN 0x20009u /* uint32_t, set only */
#define TARVIK_PARAM_NOSYNC         0x2000au /* unsigned char, set only */
#define TARVIK_PARAM_MODEMMODE      0x2000bu /* unsigned char */
#define TARVIK_PARAM_MODEMINIT      0x2000cu /* char* */
#define TARVIK_PARAM_MODEMCALL      0x2000du /* char* */

/* Debug level bits (TRV_SetDebugLevel): verbosity in the low four bits. */
#define TARVIK_DEBUG_VERBOSITY 0x0000000Fu
#define TARVIK_DEBUG_DEVICE    0x00001000u
#define TARVIK_DEBUG_RS232     0x00002000u
#define TARVIK_DEBUG_ETHER     0x00004000u
#define TARVIK_DEBUG_USB       0x00008000u
#define TARVIK_DEBUG_FRAMES    0x00010000u
#define TARVIK_DEBUG_QUEUES    0x00800000u

/* Status codes. 0 is success. */
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
#define TARVIK_STATUS_NOASYNCDATA       0x10001u
#define TARVIK_STATUS_BADDATA           0x10002u
#define TARVIK_STATUS_TIMEOUT           0x10003u
#define TARVIK_STATUS_NOTANSWERED       0x10004u
#define TARVIK_STATUS_NOCOMMAND         0x10005u /* also: wrong command in a TRVG_ reader */
#define TARVIK_STATUS_NULLHANDLE        0x10006u
#define TARVIK_STATUS_BUFFERTOOSMALL    0x10007u
#define TARVIK_STATUS_NOMOREVALUES      0x10008u
#define TARVIK_STATUS_BADMODE           0x10009u /* libmirtel: tryb 2, or 1 without phRequest */
#define TARVIK_STATUS_CANCELLED         0x1000au
#define TARVIK_STATUS_OUTCOME_UNKNOWN   0x1000bu
#define TARVIK_STATUS_FILLERPUSH        0x10101u /* libmirtel: a library-supplied value */
#define TARVIK_STATUS_INVALIDARG        0x10102u
#define TARVIK_STATUS_MISSINGVALUE      0x10103u
#define TARVIK_STATUS_ARG(n)            (0x10100u + (n)) /* libmirtel: argument n */
#define TARVIK_STATUS_EXEC_ERROR        0x430000u /* + execution error of the register */
#define TARVIK_STATUS_TRANS_ERROR       0x440000u /* + transmission error of the register */

/* ---- Requests ---------------------------------------------------------- */

TARVIK_API TARVIK_HANDLE TRV_CreateRequest(TARVIK_HANDLE hDevice, TARVIK_CMD command);
TARVIK_API TARVIK_STATUS TRV_DestroyRequest(TARVIK_HANDLE hRequest);
TARVIK_API TARVIK_STATUS TRV_RepeatRequest(TARVIK_HANDLE hRequest);

TARVIK_API TARVIK_STATUS TRV_PushRequestParamByte(TARVIK_HANDLE hRequest, unsigned char param);
TARVIK_API TARVIK_STATUS TRV_PushRequestParamWord(TARVIK_HANDLE hRequest, unsigned short param);
TARVIK_API TARVIK_STATUS TRV_PushRequestParamLong(TARVIK_HANDLE hRequest, uint32_t param);
TARVIK_API TARVIK_STATUS TRV_PushRequestParamString(TARVIK_HANDLE hRequest, const char* param);
TARVIK_API TARVIK_STATUS TRV_PushRequestParamNumeric(TARVIK_HANDLE hRequest, const char* param);
TARVIK_API TARVIK_STATUS TRV_PushRequestParamCurrency(TARVIK_HANDLE hRequest, const char* param);
TARVIK_API TARVIK_STATUS TRV_PushRequestParamQuantity(TARVIK_HANDLE hRequest, const char* param);

TARVIK_API uint32_t TRV_GetResponseValueCount(TARVIK_HANDLE hRequest);
TARVIK_API TARVIK_DATA_TYPE TRV_GetResponseValueType(TARVIK_HANDLE hRequest);
TARVIK_API TARVIK_STATUS TRV_ResponseRewind(TARVIK_HANDLE hRequest);
TARVIK_API TARVIK_STATUS TRV_PopResponseValueByte(TARVIK_HANDLE hRequest, unsigned char* retVal);
TARVIK_API TARVIK_STATUS TRV_PopResponseValueWord(TARVIK_HANDLE hRequest, unsigned short* retVal);
TARVIK_API TARVIK_STATUS TRV_PopResponseValueLong(TARVIK_HANDLE hRequest, uint32_t* retVal);
TARVIK_API TARVIK_STATUS TRV_PopResponseValueString(TARVIK_HANDLE hRequest, char* retVal, uint32_t retValLen);
TARVIK_API TARVIK_STATUS TRV_PopResponseValueNumeric(TARVIK_HANDLE hRequest, char* retVal, uint32_t retValLen);
TARVIK_API TARVIK_STATUS TRV_PopResponseValueCurrency(TARVIK_HANDLE hRequest, char* retVal, uint32_t retValLen);
TARVIK_API TARVIK_STATUS TRV_PopResponseValueQuantity(TARVIK_HANDLE hRequest, char* retVal, uint32_t retValLen);

TARVIK_API TARVIK_STATE TRV_GetRequestState(TARVIK_HANDLE hRequest);
TARVIK_API TARVIK_STATUS TRV_GetRequestStatus(TARVIK_HANDLE hRequest);
TARVIK_API uint32_t TRV_GetRequestAge(TARVIK_HANDLE hRequest);
TARVIK_API uint32_t TRV_GetRequestCommandID(TARVIK_HANDLE hRequest);
TARVIK_API uint32_t TRV_GetRequestCommandSerial(TARVIK_HANDLE hRequest);
TARVIK_API TARVIK_HANDLE TRV_RequestDevice(TARVIK_HANDLE hRequest);

/* ---- Devices and views -------------------------------------------------- */

TARVIK_API TARVIK_HANDLE TRV_CreateDeviceHandle(uint32_t deviceType);
TARVIK_API TARVIK_HANDLE TRV_OpenDevice(TARVIK_HANDLE hDevice);
TARVIK_API TARVIK_STATUS TRV_CloseDevice(TARVIK_HANDLE hDevice);
TARVIK_API TARVIK_STATUS TRV_DestroyDeviceHandle(TARVIK_HANDLE hDevice);
TARVIK_API TARVIK_STATUS TRV_GetError(TARVIK_HANDLE hDevice);
TARVIK_API TARVIK_STATUS TRV_SetDeviceParam(TARVIK_HANDLE hDevice, uint32_t paramCode, void* paramValue);
TARVIK_API TARVIK_STATUS TRV_GetDeviceParam(TARVIK_HANDLE hDevice, uint32_t paramCode, void* paramValue);

TARVIK_API TARVIK_STATUS TRV_ModemDial(TARVIK_HANDLE hGlobalDevice, int wait);
TARVIK_API TARVIK_STATUS TRV_ModemDisconnect(TARVIK_HANDLE hGlobalDevice, int wait);
TARVIK_API TARVIK_STATUS TRV_ModemStatus(TARVIK_HANDLE hGlobalDevice);
TARVIK_API TARVIK_STATUS TRV_ModemWrite(TARVIK_HANDLE hGlobalDevice, const char* buffer);

TARVIK_API sem_t* TRV_GetSemaphore(TARVIK_HANDLE hLocalDevice);
TARVIK_API TARVIK_STATUS TRV_SetCallback(TARVIK_HANDLE hLocalDevice, TARVIK_CALLBACK_T callback);
TARVIK_API TARVIK_HANDLE TRV_CancelExecuting(TARVIK_HANDLE hDevice);
TARVIK_API TARVIK_STATUS TRV_CancelRequest(TARVIK_HANDLE hRequest);
TARVIK_API TARVIK_STATUS TRV_RequestQueueStats(TARVIK_HANDLE hDevice, uint32_t* sent, uint32_t* completed);
TARVIK_API TARVIK_STATUS TRV_WaitForRequestCompleted(TARVIK_HANDLE hRequest, uint32_t timeout);
TARVIK_API TARVIK_STATUS TRV_PostRequest(TARVIK_HANDLE hRequest, unsigned char mode);
TARVIK_API TARVIK_HANDLE TRV_GetNextResponse(TARVIK_HANDLE hDevice);
TARVIK_API uint32_t TRV_GetResponseCount(TARVIK_HANDLE hDevice);
TARVIK_API uint32_t TRV_GetRequestCount(TARVIK_HANDLE hDevice, unsigned char globalnie);
TARVIK_API TARVIK_HANDLE TRV_PopAsyncData(TARVIK_HANDLE hDevice, uint32_t timeout);
TARVIK_API TARVIK_HANDLE TRV_PopSalesQueue(TARVIK_HANDLE hDevice, uint32_t timeout);
TARVIK_API TARVIK_STATUS TRV_AsyncDataWaiting(TARVIK_HANDLE hDevice);
TARVIK_API uint32_t TRV_AsyncQueueLength(TARVIK_HANDLE hDevice);
TARVIK_API TARVIK_STATUS TRV_AsyncQueuePurge(TARVIK_HANDLE hDevice);
TARVIK_API uint32_t TRV_SalesQueueLength(TARVIK_HANDLE hDevice, unsigned char globalnie);
TARVIK_API TARVIK_STATUS TRV_SalesQueuePurge(TARVIK_HANDLE hDevice, unsigned char globalnie);
TARVIK_API TARVIK_STATUS TRV_RequestQueueCancelAll(TARVIK_HANDLE hDevice, unsigned char globalnie);
TARVIK_API TARVIK_STATUS TRV_RequestQueueCancelPending(TARVIK_HANDLE hDevice, unsigned char globalnie);
TARVIK_API unsigned char TRV_GetCryptoStatus(TARVIK_HANDLE hDevice);
TARVIK_API TARVIK_STATUS TRV_SetEventHandlingMode(TARVIK_HANDLE hDevice, uint32_t eventMode);
TARVIK_API void TRV_SetDebugLevel(TARVIK_HANDLE hDevice, uint32_t debugLevel);
TARVIK_API void TRV_SetDebugFileName(TARVIK_HANDLE hDevice, const char* fileName);

/* ---- Status texts and version ------------------------------------------- */

/* Text of a status code from the language file "tarvik_<lang>.lng", or null.
 * The files are looked for in $TARVIK_LIB_SHARE_DIR, then in the current
 * directory, then in the installed data directory. */
TARVIK_API const char* TRV_GetErrorString(TARVIK_STATUS code, const char* lang);
TARVIK_API uint32_t TRV_GetLibraryVersion(void);

#ifdef __cplusplus
}
#endif

#endif /* TARVIK_TARVIK_H */
