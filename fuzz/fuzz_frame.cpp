// Arbitrary bytes as a frame (both cipher orders, with and without a key)
// and as decimal text: decoding must never read outside the input.
#include <cstring>

#include "trvlib_frame.h"

using namespace trv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Copy into an exact-size buffer so ASan sees any read past the end.
    std::vector<uint8_t> frame(data, data + size);
    static const Cipher none{}, xorc{1, true, std::string("\x10\x02\xFF", 3)}, addc{2, true, std::string("\x7F", 1)};
    for (const Cipher* c : {&none, &xorc, &addc})
        for (CipherOrder o : {CipherOrder::CommandFirst, CipherOrder::ItemsFirst}) {
            DecodedFrame d;
            if (decodeFrame(frame.data(), frame.size(), *c, o, d) == FRAME_OK) {
                // What decodes must encode and decode to the same values.
                std::vector<const TRV_DataItem*> items;
                for (auto& it : d.items) items.push_back(&it);
                uint16_t flags = d.flags & ~kFlagEnciphered;
                auto again = encodeFrame(flags, d.token, d.cmd, items, Cipher{}, o);
                DecodedFrame e;
                if (!again.empty() && decodeFrame(again.data(), again.size(), Cipher{}, o, e) != FRAME_OK) __builtin_trap();
                for (auto& it : d.items) (void)it.GetString(',');
            }
        }
    std::string text(reinterpret_cast<const char*>(data), size);
    TRV_DataItem n, k, q;
    n.SetNumeric(text);
    k.SetCurrency(text);
    q.SetQuantity(text);
    (void)k.GetString('.');
    (void)q.GetString(',');
    std::string key;
    Hex2Key(text, key);
    (void)FrameDump(frame.data(), frame.size(), 2);
    return 0;
}
