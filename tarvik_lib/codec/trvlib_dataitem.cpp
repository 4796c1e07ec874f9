#include "trvlib_dataitem.h"

#include <charconv>
#include <cstring>

namespace trv {

namespace {
constexpr int64_t kModulus = 1000000000000LL;  // 10^12: twelve BCD digits
constexpr int64_t kHalf = 500000000000LL;
}  // namespace

void TRV_DataItem::SetChar(uint8_t v) { char_val = v; data_type = TARVIK_TYPE_BYTE; valid = true; }
void TRV_DataItem::SetShort(uint16_t v) { short_val = v; data_type = TARVIK_TYPE_WORD; valid = true; }
void TRV_DataItem::SetLong(uint32_t v) { long_val = v; data_type = TARVIK_TYPE_LONG; valid = true; }
void TRV_DataItem::SetString(std::string v) { str_val = std::move(v); data_type = TARVIK_TYPE_STRING; valid = true; }

bool TRV_DataItem::SetNumeric(const std::string& text) {
    valid = StrToNumeric(text, bcdval);
    if (valid) data_type = TARVIK_TYPE_NUMERIC;
    return valid;
}
bool TRV_DataItem::SetCurrency(const std::string& text) {
    valid = StrToCurrency(text, bcdval);
    if (valid) data_type = TARVIK_TYPE_CURRENCY;
    return valid;
}
bool TRV_DataItem::SetQuantity(const std::string& text) {
    valid = StrToQuantity(text, bcdval);
    if (valid) data_type = TARVIK_TYPE_QUANTITY;
    return valid;
}
void TRV_DataItem::setBcdVal(const uint8_t bcd[7], TARVIK_DATA_TYPE type) {
    std::memcpy(bcdval, bcd, 7);
    data_type = type;
    valid = BcdWellFormed(bcd, type);
}

bool TRV_DataItem::BcdWellFormed(const uint8_t bcd[7], TARVIK_DATA_TYPE type) {
    // Twelve decimal digits; a nibble A-F is no digit, and would read as a
    // plausible wrong number. A Quantity has at most three decimals.
    for (int i = 1; i < 7; ++i)
        if ((bcd[i] >> 4) > 9 || (bcd[i] & 0x0F) > 9) return false;
    return type != TARVIK_TYPE_QUANTITY || bcd[0] <= 3;
}

bool TRV_DataItem::StrToNumeric(const std::string& t, uint8_t out[7]) { return StrToAnyNumeric(t, out, 1); }
bool TRV_DataItem::StrToCurrency(const std::string& t, uint8_t out[7]) { return StrToAnyNumeric(t, out, 0); }
bool TRV_DataItem::StrToQuantity(const std::string& t, uint8_t out[7]) { return StrToAnyNumeric(t, out, 2); }

uint8_t TRV_DataItem::two2bcd(char high, char low) {
    return static_cast<uint8_t>(((high - '0') << 4) | ((low - '0') & 0x0F));
}

bool TRV_DataItem::StrToAnyNumeric(const std::string& text, uint8_t out[7], int type) {
    if (text.empty()) return false;
    std::string s = text;
    uint8_t places = 0;
    const size_t n = s.size();
    size_t p = s.find('.');
    if (p == std::string::npos) p = s.find(',');
    if (p != std::string::npos) {
        const size_t tail = n - p;  // separator included
        if ((type == 0 && tail >= 4) || (type == 2 && tail >= 5) || (type == 1 && tail >= 2)) return false;
    }
    if (type == 0) {
        if (p == std::string::npos) s += "00";
        else if (n - p == 2) s += "0";
        else if (n - p == 1) s += "00";
    }
    if (type == 2 && p != std::string::npos) places = static_cast<uint8_t>(n - p - 1);
    if (p != std::string::npos) s.erase(p, 1);

    // optional "-", then at least one digit, nothing else
    const char* b = s.data();
    const char* e = b + s.size();
    const char* d = (b != e && *b == '-') ? b + 1 : b;
    if (d == e) return false;
    for (const char* c = d; c != e; ++c)
        if (*c < '0' || *c > '9') return false;
    int64_t v = 0;
    auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e) return false;
    if (v < -kHalf || v > kHalf - 1) return false;
    if (v < 0) v += kModulus;

    char digits[13];
    int64_t w = v;
    for (int i = 11; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + w % 10);
        w /= 10;
    }
    out[0] = (type == 2) ? places : 0xFF;
    for (int i = 0; i < 6; ++i) out[1 + i] = two2bcd(digits[2 * i], digits[2 * i + 1]);
    return true;
}

int64_t TRV_DataItem::bcd2largewsign(const uint8_t bcd[7]) {
    int64_t v = 0;
    for (int i = 1; i < 7; ++i) {
        // A valid item holds digits only; should nibbles above 9 come here
        // all the same, the result is folded into the twelve-digit range.
        v = v * 100 + ((bcd[i] >> 4) & 0x0F) * 10 + (bcd[i] & 0x0F);
    }
    v %= kModulus;
    if (v >= kHalf) v -= kModulus;
    return v;
}

static std::string signedDigits(int64_t v, unsigned minDigits) {
    const bool neg = v < 0;
    uint64_t m = neg ? static_cast<uint64_t>(-v) : static_cast<uint64_t>(v);
    std::string d = std::to_string(m);
    if (d.size() < minDigits) d.insert(0, minDigits - d.size(), '0');
    return neg ? "-" + d : d;
}

std::string TRV_DataItem::GetString(char decimalsep) const {
    if (!valid) return std::string();
    switch (data_type) {
    case TARVIK_TYPE_STRING:
        return str_val;
    case TARVIK_TYPE_NUMERIC:
        return signedDigits(bcd2largewsign(bcdval), 1);
    case TARVIK_TYPE_CURRENCY: {
        std::string s = signedDigits(bcd2largewsign(bcdval), 3);
        s.insert(s.size() - 2, 1, decimalsep);
        return s;
    }
    case TARVIK_TYPE_QUANTITY: {
        // A valid item has at most 3 places (BcdWellFormed); the bound keeps
        // the formatting sound whatever the byte holds.
        const unsigned d = bcdval[0] > 11 ? 11 : bcdval[0];
        std::string s = signedDigits(bcd2largewsign(bcdval), d + 1);
        if (d > 0) s.insert(s.size() - d, 1, decimalsep);
        return s;
    }
    default:
        return std::string();
    }
}

bool TRV_DataItem::toBinary(std::string& out) const {
    if (!valid) return false;
    switch (data_type) {
    case TARVIK_TYPE_BYTE:
        out += 'B';
        out += static_cast<char>(char_val);
        return true;
    case TARVIK_TYPE_WORD:
        out += 'V';
        out += static_cast<char>(short_val & 0xFF);
        out += static_cast<char>(short_val >> 8);
        return true;
    case TARVIK_TYPE_LONG:
        out += 'L';
        for (int i = 0; i < 4; ++i) out += static_cast<char>((long_val >> (8 * i)) & 0xFF);
        return true;
    case TARVIK_TYPE_STRING:
        out += 'S';
        out += str_val;
        out += '\0';
        return true;
    case TARVIK_TYPE_NUMERIC:
    case TARVIK_TYPE_CURRENCY:
        out += static_cast<char>(data_type);
        out.append(reinterpret_cast<const char*>(bcdval) + 1, 6);
        return true;
    case TARVIK_TYPE_QUANTITY:
        out += 'Q';
        out.append(reinterpret_cast<const char*>(bcdval), 7);
        return true;
    default:
        return false;
    }
}

}  // namespace trv
