// Additional barcodes of an article.
#include "tarvik_mirtel_helper.h"

using namespace mirtel;

extern "C" {

TARVIK_API TARVIK_STATUS TRVS_BarcodeIns(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const unsigned short numer_plu, const char* barcodes,
                                         const unsigned char tryb) {
    Command c(hDevice, phRequest, 2300, tryb);
    c.word(numer_plu);
    if (!barcodes) return c.fail(argCode(4)).post();
    // An empty list sends the article number alone. A barcode that cannot be
    // pushed has a code of its own, one above that of a missing list; callers
    // tell the two cases apart by it.
    const auto parts = explode('\n', barcodes).value_or(std::vector<std::string>{});
    return c.withCode(argCode(5)).strings(parts).post();
}

TARVIK_API TARVIK_STATUS TRVS_BarcodeRead(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                          const unsigned short numer_PLU, const unsigned char tryb) {
    return Command(hDevice, phRequest, 2310, tryb).word(numer_PLU).post();
}

TARVIK_API TARVIK_STATUS TRVG_BarcodeRead(const TARVIK_HANDLE phRequest, unsigned short* czytany, char* barcodes) {
    Answer a(phRequest, 2310);
    const uint32_t total = a.ok() ? a.count() : 0;
    a.word(czytany);
    std::vector<std::string> codes;
    for (uint32_t i = 1; i < total && a.ok(); ++i) {
        std::string code;
        if (a.pop(TextKind::String, code, kLongText)) codes.push_back(std::move(code));
    }
    return a.text(barcodes, join(codes)).finish();
}

TARVIK_API TARVIK_STATUS TRVS_BarcodeDel(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                         const char* kod_kreskowy, const unsigned char tryb) {
    return Command(hDevice, phRequest, 2340, tryb).string(kod_kreskowy).post();
}

TARVIK_API TARVIK_STATUS TRVS_BarcodeDelAllForPLU(const TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest,
                                                  const unsigned short numer_PLU, const unsigned char tryb) {
    return Command(hDevice, phRequest, 2350, tryb).word(numer_PLU).post();
}

}  // extern "C"
