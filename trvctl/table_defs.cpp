// The descriptions of the register's tables. Record number ranges are those
// of the register (a larger register: --from/--to); reading stops at the
// first number the register calls out of range.
#include <algorithm>

#include "tables.h"

namespace trvctl {

namespace {

std::string body(const Record& r, const std::string& name) {
    for (const Item& i : r)
        if (i.name == name && i.body) return i.value;
    return itemValue(r, name);
}

unsigned number(const std::string& s) { return static_cast<unsigned>(parseUnsigned(s, 0xFFFFFFFFu).value_or(0)); }

// Discounts: the reader answers one type code for two insert flags.
Column discountFlag(const char* name, bool (*test)(unsigned)) {
    return Column{.name = name, .derive = [test](const Record& r) {
                      return std::string(test(number(itemValue(r, "typ"))) ? "1" : "0");
                  }};
}

std::vector<std::string> reportHotkeyInserts() {
    std::vector<std::string> out;
    for (const Call& c : calls())
        if (c.sends && std::string_view(c.unit) == "hotkey" && reportHotkeyCommand(c.command)) out.push_back(c.name);
    return out;
}

// A report hotkey's programming function: the one of the report it answers.
std::string reportHotkeyInsert(const Record& r) {
    const int cmd = static_cast<int>(number(body(r, "raport")));
    for (const Call& c : calls())
        if (c.sends && std::string_view(c.unit) == "hotkey" && c.command == cmd && reportHotkeyCommand(cmd))
            return c.name;
    return "";
}

// Its arguments from what the key answers: the range, then the record
// selectors in order (one value goes to both).
std::string reportHotkeyArg(const Record& r, const Call& insert, size_t index) {
    const std::string name = insert.fields[index].name;
    if (reportHotkeyRange(name)) return body(r, "zakres");
    if (reportHotkeyUnanswered(name)) return "0";
    if (std::string_view(insert.fields[index].kind) == "text") return "";  // a date the key does not answer
    size_t selector = 0;
    for (size_t i = 1; i < index; ++i) {
        const std::string n = insert.fields[i].name;
        if (!reportHotkeyRange(n) && !reportHotkeyUnanswered(n) && std::string_view(insert.fields[i].kind) != "text")
            ++selector;
    }
    return body(r, selector == 0 ? "rekord_od" : "rekord_do");
}

std::string reportHotkeyUnansweredArgs(const Call& insert) {
    std::string out;
    for (size_t i = 1; i < insert.fields.size(); ++i) {
        const std::string n = insert.fields[i].name;
        if (reportHotkeyUnanswered(n) || std::string_view(insert.fields[i].kind) == "text")
            out += (out.empty() ? "" : ", ") + n;
    }
    return out;
}

const std::string kPriceUnit = "the smallest currency unit (grosze: 279 is 2.79 zl)";
const std::string kQuantityUnit = "whole units of the article's measure";
const std::string kDiscountUnit = "per cent for a percentage, else the smallest currency unit";

const std::vector<std::pair<std::string, Flag>> kOverwrite = {{"czy_nadpisac", Flag::Overwrite}};

std::vector<Table> build() {
    std::vector<Table> t;

    t.push_back(Table{
        .name = "articles",
        .alias = "article",
        .title = "articles (PLU), with their additional barcodes",
        .read = "TRVS_PLUReadEx",
        .readArgs = {"#", "", "1"},
        .reader = "TRVG_PLUReadEx",
        .keyField = "numer_rekordu",
        .selector = "typ_rekordu",
        .variants = {Variant{
            .code = 0,  // ordinary articles; sets and e-service articles have other insert functions
            .inserts = {"TRVS_PLUIns"},
            .columns =
                {
                    {.name = "nazwa"},
                    {.name = "barcode", .from = "kod_kreskowy_podstawowy", .barcode = true},
                    {.name = "cena", .decimal = true, .unit = kPriceUnit},
                    {.name = "ilosc_min", .from = "min_stan", .decimal = true, .unit = kQuantityUnit},
                    {.name = "numer_opakowania", .from = "numer_opak"},
                    {.name = "numer_MU", .from = "numerMU"},
                    {.name = "numer_VAT", .from = "stawka_PTU", .vat = true},
                    {.name = "cena_sztywna", .from = "flaga_ceny"},
                    {.name = "czy_rabat", .from = "flaga_rabatow"},
                    {.name = "czy_notatnik", .from = "w_notatniku"},
                    {.name = "barcodes", .list = true, .barcode = true},
                },
            .flags = {{"czy_nadpisac", Flag::Overwrite}, {"czy_nadpisac_niezerowy", Flag::Force}},
            // The additional barcodes become those of the line.
            .extraBarcodes = "barcodes",
        }},
        .del = "TRVS_PLUDel",
        .delFlags = {{"czy_niezerowe", Flag::Force}, {"czy_z_zestawu", Flag::Related}},
        .first = 1,
        .last = 5000,
        .countFromDbStatus = true,
        .listColumns = {"numer_rekordu", "nazwa", "barcode", "cena", "numer_vat", "numer_grupy", "typ_rekordu",
                        "barcodes"},
        .find = "TRVS_PLUReadEx",
        .findArgs = {"0", "#", "1"},
    });

    t.push_back(Table{
        .name = "users",
        .alias = "user",
        .title = "users (cashiers)",
        .read = "TRVS_UserReadExEx",
        .readArgs = {"#"},
        .reader = "TRVG_UserReadExEx",
        .keyField = "numer_rekordu",
        .variants = {Variant{
            .inserts = {"TRVS_UserInsExEx"},
            .columns =
                {
                    {.name = "uprawnienia", .from = "prawa"},
                    {.name = "uprawnienia_raportow", .from = "prawa_raporty"},
                    {.name = "uprawnienia_klawisze", .from = "prawa_klawisze"},
                    {.name = "limit_paragonu", .decimal = true, .unit = kPriceUnit},
                },
            .flags = {{"czy_nadpisac", Flag::Overwrite}, {"czy_nadpisac_niezerowe", Flag::Force}},
        }},
        .del = "TRVS_UserDel",
        .delFlags = {{"czy_niezerowe", Flag::Force}},
        .first = 1,
        .last = 32,
        .listColumns = {"numer_rekordu", "nazwa", "karta", "uprawnienia", "uprawnienia_raportow",
                        "uprawnienia_klawisze", "limit_paragonu"},
        .secret = true,
    });

    t.push_back(Table{
        .name = "discounts",
        .alias = "discount",
        .title = "discounts: standard (rodzaj 0), with thresholds (1), promotional M for N (2)",
        .read = "TRVS_DiscntRead",
        .readArgs = {"#"},
        .reader = "TRVG_DiscntRead",
        .keyField = "numer_rekordu",
        .selector = "rodzaj",
        .variants =
            {
                Variant{
                    .code = 0,
                    .inserts = {"TRVS_StdDiscntIns"},
                    .columns = {discountFlag("czy_rabat", discountIsDiscount),
                                discountFlag("czy_procentowy", discountIsPercentage),
                                {.name = "wartosc", .from = "wartosci", .decimal = true, .unit = kDiscountUnit}},
                    .flags = {{"czy_nadpisac", Flag::Overwrite}, {"czy_nadpisac_niezerowe", Flag::Force}},
                },
                Variant{
                    .code = 1,
                    .inserts = {"TRVS_ProgDiscntIns"},
                    .columns = {discountFlag("czy_rabat", discountIsDiscount),
                                discountFlag("czy_procentowy", discountIsPercentage),
                                {.name = "ilosc_progow",
                                 .derive =
                                     [](const Record& r) {
                                         const std::string w = itemValue(r, "wartosci");
                                         return std::to_string(w.empty() ? 0 : std::count(w.begin(), w.end(), '\n') + 1);
                                     }},
                                {.name = "wartosci", .decimal = true, .list = true, .unit = kDiscountUnit},
                                {.name = "kwoty", .from = "progi", .decimal = true, .list = true, .unit = kPriceUnit}},
                    .flags = {{"czy_nadpisac", Flag::Overwrite}, {"czy_nadpisac_niezerowe", Flag::Force}},
                },
                Variant{
                    .code = 2,
                    .inserts = {"TRVS_PromoDiscntIns"},
                    .columns = {{.name = "wartosc_sprzedawana", .from = "wart_M"},
                                {.name = "wartosc_naliczana", .from = "wart_N"}},
                    .flags = {{"czy_nadpisac", Flag::Overwrite}, {"czy_nadpisac_niezerowe", Flag::Force}},
                },
            },
        .del = "TRVS_DiscntDel",
        .delFlags = {{"czy_powiazane", Flag::Related}, {"czy_niezerowe", Flag::Force}},
        .first = 1,
        .last = 64,
        .listColumns = {"numer_rekordu", "funkcja", "nazwa", "czy_rabat", "czy_procentowy", "wartosc", "wartosci",
                        "kwoty"},
    });

    t.push_back(Table{
        .name = "packagings",
        .alias = "packaging",
        .title = "returnable packagings",
        .read = "TRVS_PackRead",
        .readArgs = {"#"},
        .reader = "TRVG_PackRead",
        .keyField = "numer",
        .variants = {Variant{
            .inserts = {"TRVS_PackIns"},
            .columns = {{.name = "kod_kreskowy", .barcode = true},
                        {.name = "cena", .decimal = true, .unit = kPriceUnit},
                        {.name = "min_stan", .from = "stan_min", .decimal = true, .unit = kQuantityUnit},
                        {.name = "czy_cena_sztywna", .from = "czy_sztywna"}},
            .flags = {{"czy_nadpisac", Flag::Overwrite}, {"czy_niezerowy", Flag::Force}},
        }},
        .keyAliases = {"numer"},
        .del = "TRVS_PackDel",
        .delFlags = {{"czy_powiazane", Flag::Related}, {"czy_niezerowe", Flag::Force}},
        .first = 1,
        .last = 255,
        .listColumns = {"numer_rekordu", "nazwa", "kod_kreskowy", "cena", "min_stan", "czy_cena_sztywna"},
    });

    t.push_back(Table{
        .name = "groups",
        .alias = "group",
        .title = "article groups",
        .read = "TRVS_GroupReadExEx",
        .readArgs = {"#"},
        .reader = "TRVG_GroupReadExEx",
        .keyField = "numer_rekordu",
        .variants = {Variant{
            .inserts = {"TRVS_GroupInsExEx"},
            .columns = {{.name = "nazwa", .maxLen = 255},
                        {.name = "cena", .decimal = true, .unit = kPriceUnit},
                        {.name = "tow_wazone", .from = "towary_waz"}},
            .flags = {{"czy_nadpisac", Flag::Overwrite}, {"czy_nadpisac_niezerowe", Flag::Force}},
        }},
        .del = "TRVS_GroupDel",
        .delFlags = {{"czy_powiazane", Flag::Related}, {"czy_niezerowe", Flag::Force}},
        .first = 1,
        .last = 99,
        .listColumns = {"numer_rekordu", "nazwa", "rabat", "cena", "tow_wazone", "id_drukarki"},
    });

    t.push_back(Table{
        .name = "units",
        .alias = "unit",
        .title = "units of measure",
        .read = "TRVS_MURead",
        .readArgs = {"#"},
        .reader = "TRVG_MURead",
        .keyField = "numer_rekordu",
        .variants = {Variant{.inserts = {"TRVS_MUIns"}, .flags = kOverwrite}},
        .del = "TRVS_MUDel",
        .delFlags = {{"czy_powiazane", Flag::Related}},
        .first = 1,
        .last = 20,
        .listColumns = {"numer_rekordu", "nazwa", "skrot"},
    });

    t.push_back(Table{
        .name = "payment-forms",
        .alias = "payment-form",
        .title = "payment forms",
        .read = "TRVS_PayformRead",
        .readArgs = {"#"},
        .reader = "TRVG_PayformRead",
        .keyField = "numer",
        .variants = {Variant{
            .inserts = {"TRVS_PayformIns"},
            .columns = {{.name = "typ_platnosci", .from = "typ"},
                        {.name = "flagi_platnosci", .from = "flagi"},
                        {.name = "skrot_waluty", .from = "waluta"},
                        {.name = "kurs_lub_cashback", .from = "kurs", .decimal = true}},
            .flags = {{"czy_nadpisac", Flag::Overwrite}, {"czy_nadpisac_niezerowe", Flag::Force}},
        }},
        .keyAliases = {"numer"},
        .del = "TRVS_PayformDel",
        .delFlags = {{"czy_niezerowe", Flag::Force}},
        .first = 1,
        .last = 16,
        .listColumns = {"numer_rekordu", "nazwa", "typ_platnosci", "flagi_platnosci", "skrot_waluty",
                        "kurs_lub_cashback"},
    });

    t.push_back(Table{
        .name = "hotkeys",
        .alias = "hotkey",
        .title = "hotkeys, one insert function per kind of action",
        .read = "TRVS_HotkeyRead",
        .readArgs = {"#"},
        .typed = &hotkeyTypes(),
        .keyField = "numer",
        .selector = "typ",
        .variants =
            {
                Variant{.code = 1,
                        .inserts = {"TRVS_HotkeyPLUInsEx"},
                        .columns = {{.name = "numer_PLU", .from = "PLU"},
                                    {.name = "ilosc", .decimal = true, .unit = kQuantityUnit},
                                    {.name = "numer_platnosci", .from = "platnosc"}},
                        .flags = kOverwrite},
                Variant{.code = 2,
                        .inserts = {"TRVS_HotkeyDiscntIns"},
                        .columns = {{.name = "numer_rabatu", .from = "numer"}},
                        .flags = kOverwrite},
                Variant{.code = 3,
                        .inserts = {"TRVS_HotkeyFormIns"},
                        .columns = {{.name = "numer_platnosci", .from = "numer"}},
                        .flags = kOverwrite},
                Variant{.code = 4,
                        .inserts = {"TRVS_HotkeyPackIns"},
                        .columns = {{.name = "numer_opakowania", .from = "numer"},
                                    {.name = "ilosc", .decimal = true, .unit = kQuantityUnit},
                                    {.name = "czy_wydanie", .from = "tryb"}},
                        .flags = kOverwrite},
                Variant{.code = 5,
                        .inserts = {"TRVS_HotkeyFuncIns"},
                        .columns = {{.name = "ident_funkcji", .from = "numer"}, {.name = "parametry", .from = "port"}},
                        .flags = kOverwrite},
                Variant{.code = 6,
                        .inserts = {"TRVS_HotkeyRepSetIns"},
                        .columns = {{.name = "numer_zestawu", .from = "numer"}},
                        .flags = kOverwrite},
                Variant{.code = 7,
                        .inserts = {"TRVS_HotkeyCurrencyIns"},
                        .columns = {{.name = "numer_platnosci", .from = "numer"}},
                        .flags = kOverwrite},
                Variant{.code = 8,
                        .inserts = reportHotkeyInserts(),
                        .pick = reportHotkeyInsert,
                        .flags = kOverwrite,
                        .fill = reportHotkeyArg,
                        .unanswered = reportHotkeyUnansweredArgs},
            },
        .keyAliases = {"klawisz", "numer_klawisza", "numer"},
        .del = "TRVS_HotkeyDel",
        .first = 1,
        .last = 128,
        .listColumns = {"numer_rekordu", "funkcja", "typ", "type_name"},
    });

    // More of the register's small tables, in the same shape.
    t.push_back(Table{
        .name = "barcode-formats",
        .alias = "barcode-format",
        .title = "barcode formats of weighed and priced articles",
        .read = "TRVS_CodeFmtRead",
        .readArgs = {"#"},
        .reader = "TRVG_CodeFmtRead",
        .keyField = "numer_rekordu",
        .variants = {Variant{.inserts = {"TRVS_CodeFmtIns"}, .flags = kOverwrite}},
        .del = "TRVS_CodeFmtDel",
        .first = 1,
        .last = 10,
        .listColumns = {"numer_rekordu", "format"},
    });
    t.push_back(Table{
        .name = "messages",
        .alias = "message",
        .title = "operator messages for execution errors",
        .read = "TRVS_ErrMsgRead",
        .readArgs = {"#"},
        .reader = "TRVG_ErrMsgRead",
        .keyField = "numer_rekordu",
        .variants = {Variant{.inserts = {"TRVS_ErrMsgIns"}}},
        .del = "TRVS_ErrMsgDel",
        .first = 1,
        .last = 50,
        .listColumns = {"numer_rekordu", "numer_bledu", "rodzaj_obslugi", "komunikat"},
    });
    t.push_back(Table{
        .name = "auto-discounts",
        .alias = "auto-discount",
        .title = "automatic (time-controlled) discounts",
        .read = "TRVS_AutoDiscntReadEx",
        .readArgs = {"#"},
        .reader = "TRVG_AutoDiscntReadEx",
        .keyField = "numer_rekordu",
        .variants = {Variant{.inserts = {"TRVS_AutoDiscntInsEx"},
                             .columns = {{.name = "godz_pocz", .from = "godz_od"}, {.name = "godz_konc", .from = "godz_do"}},
                             .flags = kOverwrite}},
        .del = "TRVS_AutoDiscntDel",
        .first = 1,
        .last = 32,
        .listColumns = {"numer_rekordu", "numer_rabatu", "rodzaj", "data_pocz", "godz_pocz", "data_konc", "godz_konc"},
    });
    return t;
}

}  // namespace

const std::vector<Table>& tables() {
    static const std::vector<Table> t = build();
    return t;
}

}  // namespace trvctl
