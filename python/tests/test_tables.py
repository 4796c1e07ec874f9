"""Every table of the register: a record written, read back equal, found by
iteration, deleted."""

import datetime
from decimal import Decimal

import pytest

import tarvik
from tarvik import tables

# One new record per table (per kind of record), at a number of its own.
RECORDS = {
    'articles': [(150, tarvik.Article(nazwa='KAWA ZIARNISTA 1KG', barcode='5901234123457', cena=Decimal(4999),
                                      ilosc_min=Decimal(5), numer_MU=1, numer_grupy=2, numer_VAT=0, czy_rabat=1,
                                      barcodes=('2000000001012', '2000000001029')))],
    'users': [(20, tarvik.User(nazwa='ZOFIA', haslo='4321', karta='9900000000020', pin='4321', uprawnienia=7,
                               uprawnienia_raportow=3, uprawnienia_klawisze=1, limit_paragonu=Decimal(50000)))],
    'discounts': [(20, tarvik.StdDiscount(nazwa='RABAT 10%', czy_rabat=1, czy_procentowy=1, wartosc=Decimal(1000))),
                  (21, tarvik.ProgDiscount(nazwa='PROGI', czy_rabat=1, czy_procentowy=0,
                                           wartosci=(Decimal(100), Decimal(250)), kwoty=(Decimal(2000), Decimal(5000)),
                                           czy_z_rabatami=1)),
                  (22, tarvik.PromoDiscount(nazwa='3 ZA 2', wartosc_sprzedawana=3, wartosc_naliczana=2))],
    'packagings': [(20, tarvik.Packaging(nazwa='KEG 30L', kod_kreskowy='5900000000505', cena=Decimal(15000),
                                         min_stan=Decimal(2), czy_cena_sztywna=1))],
    'groups': [(20, tarvik.Group(nazwa='NAPOJE ' + 'X' * 200, rabat=0, cena=Decimal(0), tow_wazone=1,
                                 id_drukarki=2))],
    'units': [(10, tarvik.Unit(nazwa='METR', skrot='m'))],
    'payment_forms': [(10, tarvik.PaymentForm(nazwa='BON', typ_platnosci=3, flagi_platnosci=1,
                                              kurs_lub_cashback=Decimal(0)))],
    'hotkeys': [(21, tarvik.QuickSaleKey(numer_PLU=2, ilosc=Decimal(3), numer_platnosci=1, czy_wazony=1)),
                (22, tarvik.DiscountKey(numer_rabatu=4)),
                (23, tarvik.PaymentFormKey(numer_platnosci=2)),
                (24, tarvik.PackagingKey(numer_opakowania=3, ilosc=Decimal(2), czy_wydanie=1)),
                (25, tarvik.FunctionKey(ident_funkcji=7, parametry=123456)),
                (26, tarvik.ReportSetKey(numer_zestawu=2)),
                (27, tarvik.CurrencyKey(numer_platnosci=2)),
                (28, tarvik.ReportKey(raport=3402, zakres=1, rekord_od=5, rekord_do=9)),
                (29, tarvik.ReportKey(raport=3465))],
    'barcode_formats': [(5, tarvik.BarcodeFormat(format='29PPPPPQQQQQC'))],
    'messages': [(10, tarvik.Message(numer_bledu=105, rodzaj_obslugi=2, komunikat='REKORD ISTNIEJE'))],
    'auto_discounts': [(10, tarvik.AutoDiscount(numer_rabatu=4, rodzaj=1, data_pocz=datetime.date(2012, 5, 1),
                                                godz_pocz=datetime.time(7, 30), data_konc=datetime.date(2012, 5, 31),
                                                godz_konc=datetime.time(9, 0)))],
    'cashout_descriptions': [(10, tarvik.CashoutDescription(nazwa='ODBIOR GOTOWKI'))],
    'article_descriptions': [(2, tarvik.ArticleDescription(komunikat='MLEKO 2% 1L'))],
}


def test_every_table_is_covered():
    assert set(RECORDS) == {s.attr for s in tables.TABLE_DEFS}
    kinds = {type(rec) for recs in RECORDS.values() for _, rec in recs}
    assert kinds == {v.cls for s in tables.TABLE_DEFS for v in s.variants}


@pytest.mark.parametrize('name', sorted(RECORDS))
def test_round_trip(reg, name):
    table = getattr(reg, name)
    for number, rec in RECORDS[name]:
        table[number] = rec
        assert table[number] == rec
        assert number in table
        # The record read back writes the same record again.
        table.insert(number, table[number])
        assert table[number] == rec
    found = dict(table.items())
    for number, rec in RECORDS[name]:
        assert found[number] == rec
        del table[number]
        assert number not in table
        with pytest.raises(KeyError):
            table[number]
    assert len(table) == len(found) - len(RECORDS[name])


def test_table_flags_and_lookups(reg):
    art = reg.articles[1]
    with pytest.raises(tarvik.ExecutionError) as e:
        reg.articles.insert(1, art._replace(nazwa='INNY'), overwrite=False)
    assert e.value.execution_error == 105 and reg.articles[1] == art
    assert reg.articles.find('2000000000022') == (2, reg.articles[2])
    with pytest.raises(KeyError):
        reg.articles.find('1234567890128')
    with pytest.raises(TypeError):
        reg.units[3] = reg.users[1]
    with pytest.raises(KeyError):
        del reg.units[19]
    # A packaging that has been sold, and that articles name, is kept unless
    # both are allowed.
    with pytest.raises(tarvik.ExecutionError) as e:
        del reg.packagings[3]
    assert e.value.execution_error == 109
    with pytest.raises(tarvik.ExecutionError) as e:
        reg.packagings.delete(3, force=True)
    assert e.value.execution_error == 114
    reg.packagings.delete(3, force=True, related=True)
    assert reg.articles[2].numer_opakowania == 0
