// The irregular commands of the additional barcodes; the regular ones are
// entries of tarvik_mirtel_barcode.cmds.
#include "mirtel_hand.h"
#include "mirtel_ids.h"
#include "tarvik_mirtel_helper.h"

namespace mirtel {

namespace cmd = trv::cmd;

TARVIK_STATUS hand::TRVS_BarcodeIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                    const unsigned short numer_plu, const char* barcodes, const unsigned char tryb) {
    Command c(hDevice, phRequest, cmd::BarcodeIns, tryb);
    c.word(numer_plu);
    if (!barcodes) return c.fail(argCode(4)).post();
    // An empty list sends the article number alone. A barcode that cannot be
    // pushed has a code of its own, one above that of a missing list; callers
    // tell the two cases apart by it.
    const auto parts = explode('\n', barcodes).value_or(std::vector<std::string>{});
    return c.withCode(argCode(5)).strings(parts).post();
}

TARVIK_STATUS hand::TRVG_BarcodeRead(const TARVIK_HANDLE phRequest, unsigned short* czytany, char* barcodes) {
    Answer a(phRequest, cmd::BarcodeRead);
    const uint32_t total = a.ok() ? a.count() : 0;
    a.word(czytany);
    std::vector<std::string> codes;
    for (uint32_t i = 1; i < total && a.ok(); ++i) {
        std::string code;
        if (a.pop(TextKind::String, code, kLongText)) codes.push_back(std::move(code));
    }
    return a.text(barcodes, join(codes), maxima::TRVG_BarcodeRead::barcodes).finish();
}

}  // namespace mirtel
