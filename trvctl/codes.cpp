#include "codes.h"

#include <map>

#include "trvlib_protocol.h"

namespace trvctl {

const TypedReader* TypeMap::find(unsigned code) const {
    for (const TypedReader& t : types)
        if (t.code == code) return &t;
    return nullptr;
}

std::string TypeMap::describe() const {
    std::string out;
    for (const TypedReader& t : types)
        out += "  " + std::to_string(t.code) + (t.code < 10 ? "   " : "  ") + t.label + " (" + t.reader + ")\n";
    return out;
}

const TypeMap& journalTypes() {
    static const TypeMap m{"TRVS_SaleRecGet", "TRVG_SaleRecGetType", "typ",
                           {
                               {1, "daily fiscal record", "TRVG_SaleRecGetFiscal"},
                               {2, "finished receipt", "TRVG_v2_SaleRecGetFinished"},
                               {3, "cancelled receipt", "TRVG_v2_SaleRecGetCancelled"},
                               {4, "article line", "TRVG_v2_SaleRecGetPLUSet"},
                               {5, "set line", "TRVG_v2_SaleRecGetPLUSet"},
                               {6, "packaging", "TRVG_SaleRecGetPack"},
                               {7, "payment", "TRVG_SaleRecGetPayformEx"},
                               {8, "currency payment", "TRVG_SaleRecGetCurrencyEx"},
                               {9, "discount or markup", "TRVG_SaleRecGetRebate"},
                               {10, "article discount", "TRVG_SaleRecGetRebateMN"},
                               {11, "cashback", "TRVG_SaleRecGetCashback"},
                               {12, "authorisation", "TRVG_SaleRecGetAuthorize"},
                               {13, "order line", "TRVG_SaleRecGetOrderPluPack"},
                               {14, "inventory line", "TRVG_v2_SaleRecGetInventoryPluPack"},
                           }};
    return m;
}

const TypeMap& fiscalMemoryTypes() {
    static const TypeMap m{"TRVS_FiscMemRead", "TRVG_FiscMemReadType", "typ",
                           {
                               {1, "daily report", "TRVG_FiscMemReadDaily"},
                               {2, "fiscalisation", "TRVG_FiscMemReadFiscal"},
                               {3, "VAT rate change", "TRVG_FiscMemReadPTUChange"},
                               {4, "RAM clearing", "TRVG_FiscMemReadClearRAM"},
                               {5, "start of sales", "TRVG_FiscMemReadSaleStart"},
                           }};
    return m;
}

const TypeMap& hotkeyTypes() {
    static const TypeMap m{"TRVS_HotkeyRead", "TRVG_HotkeyReadGetType", "typ",
                           {
                               {1, "quick sale", "TRVG_v2_HotkeyReadGetQuickSale"},
                               {2, "discount", "TRVG_HotkeyReadGetDiscount"},
                               {3, "payment form", "TRVG_HotkeyReadGetPayform"},
                               {4, "packaging", "TRVG_HotkeyReadGetPack"},
                               {5, "function", "TRVG_HotkeyReadGetFunction"},
                               {6, "report set", "TRVG_HotkeyReadGetRepSet"},
                               {7, "currency", "TRVG_HotkeyReadGetCurrency"},
                               {8, "report", "TRVG_HotkeyReadGetReport"},
                           }};
    return m;
}

const TypeMap* typeMapFor(const std::string& sender) {
    for (const TypeMap* m : {&journalTypes(), &fiscalMemoryTypes(), &hotkeyTypes()})
        if (sender == m->sender) return m;
    return nullptr;
}

std::string executionErrorText(unsigned code, const std::string& lang) {
    struct Texts {
        const char* en;
        const char* pl;
    };
    namespace exec = trv::proto::exec;
    static const std::map<unsigned, Texts> texts = {
        {exec::kBusy, {"busy: a long command is running", "zajęta: trwa długie polecenie"}},
        {exec::kBadParams, {"a value is missing or of the wrong type", "brak wartości lub wartość złego typu"}},
        {exec::kBadLayout, {"the request does not fit the command's layout", "żądanie nie pasuje do układu polecenia"}},
        {exec::kBadValue, {"a value is out of range", "wartość spoza zakresu"}},
        {exec::kNotFound, {"no such record", "nie ma takiego rekordu"}},
        {exec::kExists, {"the record exists and overwriting was not allowed", "rekord istnieje, a nadpisanie nie było dozwolone"}},
        {exec::kFull, {"no room: no free record or the list is full", "brak miejsca: nie ma wolnego rekordu lub lista jest pełna"}},
        {exec::kNoRecord, {"sale journal: no (further) record", "dziennik sprzedaży: brak (kolejnego) rekordu"}},
        {exec::kStopped, {"long command stopped", "długie polecenie przerwane"}},
        {exec::kNonZero, {"the record has non-zero totals", "rekord ma niezerowe liczniki"}},
        {exec::kInSet, {"the article is a member of a set", "towar należy do zestawu"}},
        {exec::kBarcodeUsed, {"the barcode belongs to another article", "kod kreskowy należy do innego towaru"}},
        {exec::kAnswerTooLarge, {"the answer does not fit one frame", "odpowiedź nie mieści się w jednej ramce"}},
        {exec::kBadCommand, {"not a request command", "to nie jest polecenie dla kasy"}},
        {exec::kRelated, {"other records refer to this one", "inne rekordy odwołują się do tego"}},
        {exec::kBadPassword, {"wrong password", "złe hasło"}},
    };
    auto it = texts.find(code);
    if (it == texts.end()) return "";
    return lang == "pl" ? it->second.pl : it->second.en;
}

}  // namespace trvctl
