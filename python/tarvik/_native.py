"""The two C libraries through ctypes: loading them, and the prototypes of
libtarvik's own functions (libmirtel's come from the command table, see
tarvik.functions).

The libraries are loaded by their sonames through the dynamic loader, so
LD_LIBRARY_PATH and the loader's cache find them as they find them for a C
program. TARVIK_LIBDIR names a folder to load them from instead. A copy of
the package that the build stages in its own tree knows that build's folder
and uses it unless TARVIK_LIBDIR is set.

Every foreign call releases the GIL (ctypes.CDLL), so a thread waiting in
the library does not hold up the others.
"""

import ctypes
import os
import threading

SONAMES = ('libtarvik.so.1.0', 'libmirtel.so.1.0')

HANDLE = ctypes.c_void_p
STATUS = ctypes.c_uint32

# Request states.
STATE_NEW = 0x19000
STATE_PENDING = 0x19001
STATE_SENT = 0x19002
STATE_ACCEPTED = 0x19003
STATE_COMPLETED = 0x19004
STATE_ERROR = 0x19005
STATE_NAMES = {STATE_NEW: 'new', STATE_PENDING: 'pending', STATE_SENT: 'sent', STATE_ACCEPTED: 'accepted',
               STATE_COMPLETED: 'completed', STATE_ERROR: 'error'}

# Post modes, device types, event modes.
POST_NORMAL, POST_EXCLUSIVE = 0, 1
DEVICE_RS232, DEVICE_USB, DEVICE_ETHER = 1, 2, 3
EVENT_DISABLE, EVENT_QUEUE, EVENT_CALLBACK, EVENT_SEMAPHORE = 0, 3, 4, 5

# Device parameters.
PARAM_COMPARAMS = 0x20001
PARAM_STRINGHANDLING = 0x20002
PARAM_DECIMALSEP = 0x20003
PARAM_SENDTIMEOUT = 0x20004
PARAM_IPADDRESS = 0x20005
PARAM_IPPORT = 0x20006
PARAM_SERIALNO = 0x20007
PARAM_DEVICELIST = 0x20008
PARAM_OUTQUEUEMAXLEN = 0x20009
PARAM_NOSYNC = 0x2000a
PARAM_MODEMMODE = 0x2000b
PARAM_MODEMINIT = 0x2000c
PARAM_MODEMCALL = 0x2000d

# Value type letters.
TYPE_BYTE, TYPE_WORD, TYPE_LONG = ord('B'), ord('V'), ord('L')
TYPE_STRING, TYPE_NUMERIC, TYPE_CURRENCY, TYPE_QUANTITY = ord('S'), ord('N'), ord('K'), ord('Q')
TYPE_NONE = ord('*')

# (name, restype, argtypes) of every libtarvik function the package uses.
_TARVIK = [
    ('TRV_CreateRequest', HANDLE, [HANDLE, ctypes.c_uint16]),
    ('TRV_DestroyRequest', STATUS, [HANDLE]),
    ('TRV_PushRequestParamByte', STATUS, [HANDLE, ctypes.c_ubyte]),
    ('TRV_PushRequestParamWord', STATUS, [HANDLE, ctypes.c_ushort]),
    ('TRV_PushRequestParamLong', STATUS, [HANDLE, ctypes.c_uint32]),
    ('TRV_PushRequestParamString', STATUS, [HANDLE, ctypes.c_char_p]),
    ('TRV_PushRequestParamNumeric', STATUS, [HANDLE, ctypes.c_char_p]),
    ('TRV_GetResponseValueCount', ctypes.c_uint32, [HANDLE]),
    ('TRV_GetResponseValueType', ctypes.c_uint32, [HANDLE]),
    ('TRV_ResponseRewind', STATUS, [HANDLE]),
    ('TRV_PopResponseValueByte', STATUS, [HANDLE, ctypes.POINTER(ctypes.c_ubyte)]),
    ('TRV_PopResponseValueWord', STATUS, [HANDLE, ctypes.POINTER(ctypes.c_ushort)]),
    ('TRV_PopResponseValueLong', STATUS, [HANDLE, ctypes.POINTER(ctypes.c_uint32)]),
    ('TRV_PopResponseValueString', STATUS, [HANDLE, ctypes.c_char_p, ctypes.c_uint32]),
    ('TRV_PopResponseValueNumeric', STATUS, [HANDLE, ctypes.c_char_p, ctypes.c_uint32]),
    ('TRV_PopResponseValueCurrency', STATUS, [HANDLE, ctypes.c_char_p, ctypes.c_uint32]),
    ('TRV_PopResponseValueQuantity', STATUS, [HANDLE, ctypes.c_char_p, ctypes.c_uint32]),
    ('TRV_GetRequestState', ctypes.c_uint32, [HANDLE]),
    ('TRV_GetRequestStatus', STATUS, [HANDLE]),
    ('TRV_GetRequestCommandID', ctypes.c_uint32, [HANDLE]),
    ('TRV_GetRequestCommandSerial', ctypes.c_uint32, [HANDLE]),
    ('TRV_CreateDeviceHandle', HANDLE, [ctypes.c_uint32]),
    ('TRV_OpenDevice', HANDLE, [HANDLE]),
    ('TRV_CloseDevice', STATUS, [HANDLE]),
    ('TRV_DestroyDeviceHandle', STATUS, [HANDLE]),
    ('TRV_GetError', STATUS, [HANDLE]),
    ('TRV_SetDeviceParam', STATUS, [HANDLE, ctypes.c_uint32, ctypes.c_void_p]),
    ('TRV_GetDeviceParam', STATUS, [HANDLE, ctypes.c_uint32, ctypes.c_void_p]),
    ('TRV_ModemDial', STATUS, [HANDLE, ctypes.c_int]),
    ('TRV_ModemDisconnect', STATUS, [HANDLE, ctypes.c_int]),
    ('TRV_ModemStatus', STATUS, [HANDLE]),
    ('TRV_SetCallback', STATUS, [HANDLE, ctypes.c_void_p]),
    ('TRV_SetEventHandlingMode', STATUS, [HANDLE, ctypes.c_uint32]),
    ('TRV_PopAsyncData', HANDLE, [HANDLE, ctypes.c_uint32]),
    ('TRV_AsyncQueueLength', ctypes.c_uint32, [HANDLE]),
    ('TRV_PostRequest', STATUS, [HANDLE, ctypes.c_ubyte]),
    ('TRV_WaitForRequestCompleted', STATUS, [HANDLE, ctypes.c_uint32]),
    ('TRV_CancelRequest', STATUS, [HANDLE]),
    ('TRV_RequestQueueStats', STATUS, [HANDLE, ctypes.POINTER(ctypes.c_uint32), ctypes.POINTER(ctypes.c_uint32)]),
    ('TRV_GetRequestCount', ctypes.c_uint32, [HANDLE, ctypes.c_ubyte]),
    ('TRV_SetDebugLevel', None, [HANDLE, ctypes.c_uint32]),
    ('TRV_SetDebugFileName', None, [HANDLE, ctypes.c_char_p]),
    ('TRV_GetErrorString', ctypes.c_char_p, [STATUS, ctypes.c_char_p]),
    ('TRV_GetLibraryVersion', ctypes.c_uint32, []),
]

# The event callback's C type: void (*)(void*).
CALLBACK = ctypes.CFUNCTYPE(None, ctypes.c_void_p)


class LibraryNotFound(OSError):
    """libtarvik or libmirtel could not be loaded."""


class _Libraries:
    """The loaded libraries: .tarvik and .mirtel (ctypes.CDLL), .folder
    (where they came from, or None for the dynamic loader's search)."""

    def __init__(self):
        folder = os.environ.get('TARVIK_LIBDIR') or _build_tree('LIBDIR')
        share = _build_tree('SHAREDIR')
        if share and not os.environ.get('TARVIK_LIB_SHARE_DIR'):
            # The build tree's libraries look for the status texts in the
            # installed data folder; point them at the sources' lang/.
            os.environ['TARVIK_LIB_SHARE_DIR'] = share
        names = [os.path.join(folder, n) for n in SONAMES] if folder else list(SONAMES)
        try:
            # libtarvik first: libmirtel's need of libtarvik.so.1.0 is then
            # met by the copy already loaded, from the same folder.
            self.tarvik = ctypes.CDLL(names[0])
            self.mirtel = ctypes.CDLL(names[1])
        except OSError as e:
            where = 'from %s (TARVIK_LIBDIR)' % folder if folder else \
                'through the dynamic loader (install libtarvik1, or set LD_LIBRARY_PATH or TARVIK_LIBDIR ' \
                'to the folder that holds %s)' % SONAMES[0]
            raise LibraryNotFound('cannot load the tarvik libraries %s: %s' % (where, e)) from None
        self.folder = folder or None
        for name, restype, argtypes in _TARVIK:
            f = getattr(self.tarvik, name)
            f.restype = restype
            f.argtypes = argtypes
            setattr(self, name, f)
        f = self.mirtel.TRVG_Default
        f.restype, f.argtypes = STATUS, [HANDLE]
        self.TRVG_Default = f
        f = self.mirtel.TRV_GetHLLibraryVersion
        f.restype, f.argtypes = ctypes.c_ulong, []
        self.TRV_GetHLLibraryVersion = f


def _build_tree(name):
    try:
        from . import _buildtree  # written only into the build's staged copy
    except ImportError:
        return None
    return getattr(_buildtree, name, None)


_lock = threading.Lock()
_libs = None


def libs():
    """The loaded libraries, loading them on first use (LibraryNotFound when
    they cannot be)."""
    global _libs
    if _libs is None:
        with _lock:
            if _libs is None:
                _libs = _Libraries()
    return _libs
