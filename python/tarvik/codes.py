"""The register's own codes that the package interprets: which reader reads
each type of record the register hands out (sale journal, fiscal memory,
hotkeys), and a few execution errors. The libraries pass these codes
through; they are the register's protocol (sim/README.md documents the
simulator's), not libmirtel's, so the command tables do not carry them.
"""

import collections

TypedReader = collections.namedtuple('TypedReader', 'code cls label reader')
TypedReader.__doc__ = """One type of a typed record: its ``code``, the name of
the Python class of its records (``cls``), a ``label`` for people and the
TRVG_ ``reader`` of its body."""


class TypeMap:
    """A command whose answer starts with a type, read by a type reader that
    keeps the request for the body reader of that type.

    ``sender`` and ``type_reader`` are C function names, ``type_field`` is
    the type reader's output holding the type, ``rename`` renames type
    reader outputs whose names a body reuses."""

    def __init__(self, sender, type_reader, type_field, types, rename=None):
        self.sender = sender
        self.type_reader = type_reader
        self.type_field = type_field
        self.types = {t.code: t for t in types}
        self.rename = rename or {}

    def find(self, code):
        return self.types.get(code)


JOURNAL = TypeMap('TRVS_SaleRecGet', 'TRVG_SaleRecGetType', 'typ', [
    TypedReader(1, 'DailyFiscalRecord', 'daily fiscal record', 'TRVG_SaleRecGetFiscal'),
    TypedReader(2, 'FinishedReceipt', 'finished receipt', 'TRVG_v2_SaleRecGetFinished'),
    TypedReader(3, 'CancelledReceipt', 'cancelled receipt', 'TRVG_v2_SaleRecGetCancelled'),
    TypedReader(4, 'ArticleLine', 'article line', 'TRVG_v2_SaleRecGetPLUSet'),
    TypedReader(5, 'SetLine', 'set line', 'TRVG_v2_SaleRecGetPLUSet'),
    TypedReader(6, 'PackagingLine', 'packaging', 'TRVG_SaleRecGetPack'),
    TypedReader(7, 'Payment', 'payment', 'TRVG_SaleRecGetPayformEx'),
    TypedReader(8, 'CurrencyPayment', 'currency payment', 'TRVG_SaleRecGetCurrencyEx'),
    TypedReader(9, 'Discount', 'discount or markup', 'TRVG_SaleRecGetRebate'),
    TypedReader(10, 'ArticleDiscount', 'article discount', 'TRVG_SaleRecGetRebateMN'),
    TypedReader(11, 'Cashback', 'cashback', 'TRVG_SaleRecGetCashback'),
    TypedReader(12, 'Authorisation', 'authorisation', 'TRVG_SaleRecGetAuthorize'),
    TypedReader(13, 'OrderLine', 'order line', 'TRVG_SaleRecGetOrderPluPack'),
    TypedReader(14, 'InventoryLine', 'inventory line', 'TRVG_v2_SaleRecGetInventoryPluPack'),
])

FISCAL_MEMORY = TypeMap('TRVS_FiscMemRead', 'TRVG_FiscMemReadType', 'typ', [
    TypedReader(1, 'DailyReport', 'daily report', 'TRVG_FiscMemReadDaily'),
    TypedReader(2, 'Fiscalisation', 'fiscalisation', 'TRVG_FiscMemReadFiscal'),
    TypedReader(3, 'VATRateChange', 'VAT rate change', 'TRVG_FiscMemReadPTUChange'),
    TypedReader(4, 'RAMClearing', 'RAM clearing', 'TRVG_FiscMemReadClearRAM'),
    TypedReader(5, 'SaleStart', 'start of sales', 'TRVG_FiscMemReadSaleStart'),
])

HOTKEYS = TypeMap('TRVS_HotkeyRead', 'TRVG_HotkeyReadGetType', 'typ', [
    TypedReader(1, 'HotkeyQuickSale', 'quick sale', 'TRVG_v2_HotkeyReadGetQuickSale'),
    TypedReader(2, 'HotkeyDiscount', 'discount', 'TRVG_HotkeyReadGetDiscount'),
    TypedReader(3, 'HotkeyPaymentForm', 'payment form', 'TRVG_HotkeyReadGetPayform'),
    TypedReader(4, 'HotkeyPackaging', 'packaging', 'TRVG_HotkeyReadGetPack'),
    TypedReader(5, 'HotkeyFunction', 'function', 'TRVG_HotkeyReadGetFunction'),
    TypedReader(6, 'HotkeyReportSet', 'report set', 'TRVG_HotkeyReadGetRepSet'),
    TypedReader(7, 'HotkeyCurrency', 'currency', 'TRVG_HotkeyReadGetCurrency'),
    TypedReader(8, 'HotkeyReport', 'report', 'TRVG_HotkeyReadGetReport'),
], rename={'numer': 'klawisz'})  # the key's number; the bodies use `numer` for what the key names

TYPE_MAPS = {m.sender: m for m in (JOURNAL, FISCAL_MEMORY, HOTKEYS)}

# Command 451, the sale journal: the way of reading (sposob).
JOURNAL_NEXT, JOURNAL_FIRST, JOURNAL_LAST_AGAIN = 0, 1, 2
# Execution errors of the register.
EXEC_NOT_FOUND = 104          # no such record
EXEC_JOURNAL_END = 107        # sale journal: no (further) record
# Card events arrive as command 2 (a String card number, a Byte type).
EVENT_CARD = 2
