// TRV_DataItem: one typed value of a request or an answer, and the packed
// BCD form the register uses for money, quantities and other large numbers.
#pragma once

#include <cstdint>
#include <string>

#include "tarvik/tarvik.h"

namespace trv {

class TRV_DataItem {
public:
    void SetChar(uint8_t v);
    void SetShort(uint16_t v);
    void SetLong(uint32_t v);
    void SetString(std::string v);
    bool SetNumeric(const std::string& text);
    bool SetCurrency(const std::string& text);
    bool SetQuantity(const std::string& text);
    // Takes seven BCD bytes from the wire as they are. Bytes that are no
    // number of the type (a nibble above 9, more than 3 decimals of a
    // Quantity) leave the item invalid: it reads as no value ("*"), and a
    // pop of it fails with the bad-data status instead of giving a wrong
    // number.
    void setBcdVal(const uint8_t bcd[7], TARVIK_DATA_TYPE type);
    static bool BcdWellFormed(const uint8_t bcd[7], TARVIK_DATA_TYPE type);

    bool isValid() const { return valid; }
    TARVIK_DATA_TYPE Type() const { return valid ? data_type : TARVIK_TYPE_NONE; }
    uint8_t GetChar() const { return valid && data_type == TARVIK_TYPE_BYTE ? char_val : 0; }
    uint16_t GetShort() const { return valid && data_type == TARVIK_TYPE_WORD ? short_val : 0; }
    uint32_t GetLong() const { return valid && data_type == TARVIK_TYPE_LONG ? long_val : 0; }
    std::string GetString(char decimalsep) const;
    const uint8_t* bcd() const { return bcdval; }

    // Appends the item's wire encoding (type letter, then the value) to out.
    // False for an invalid item; nothing is appended then.
    bool toBinary(std::string& out) const;

    static bool StrToNumeric(const std::string& text, uint8_t out[7]);
    static bool StrToCurrency(const std::string& text, uint8_t out[7]);
    static bool StrToQuantity(const std::string& text, uint8_t out[7]);
    // type: 0 currency, 1 numeric, 2 quantity
    static bool StrToAnyNumeric(const std::string& text, uint8_t out[7], int type);
    static int64_t bcd2largewsign(const uint8_t bcd[7]);
    static uint8_t two2bcd(char high, char low);

private:
    uint8_t char_val = 0;
    uint16_t short_val = 0;
    uint32_t long_val = 0;
    std::string str_val;
    uint8_t bcdval[7] = {0, 0, 0, 0, 0, 0, 0};
    TARVIK_DATA_TYPE data_type = TARVIK_TYPE_NONE;
    bool valid = false;
};

}  // namespace trv
