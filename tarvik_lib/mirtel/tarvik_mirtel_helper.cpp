// The command builder, the answer reader and the text helpers of libmirtel.
#include "tarvik_mirtel_helper.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

namespace mirtel {

// ---- string results --------------------------------------------------------

namespace {

TARVIK_STATUS stringMode(TARVIK_HANDLE phRequest, unsigned char& mode) {
    TARVIK_HANDLE view = TRV_RequestDevice(phRequest);
    if (!view) return kNullHandle;
    mode = 0;
    if (TRV_GetDeviceParam(view, TARVIK_PARAM_STRINGHANDLING, &mode) != kOk) return kNoStringMode;
    return kOk;
}

}  // namespace

TARVIK_STATUS HandleStringResult(TARVIK_HANDLE phRequest, char* buffer, unsigned long* len) {
    unsigned char mode = 0;
    if (TARVIK_STATUS st = stringMode(phRequest, mode)) return st;
    *len = mode == 0 ? 1000000ul : static_cast<unsigned char>(buffer[0]);
    return kOk;
}

TARVIK_STATUS CopyStringResult(TARVIK_HANDLE phRequest, char* buffer, const std::string& text, uint32_t max) {
    if (!buffer) return kOk;
    unsigned char mode = 0;
    if (TARVIK_STATUS st = stringMode(phRequest, mode)) return st;
    if (mode == 0) {
        // The caller sized the buffer from the header: a longer text is no
        // answer a register gives.
        if (text.size() >= max) return kBadData;
    } else if (text.size() >= static_cast<unsigned char>(buffer[0])) {
        return kTooSmall;  // the terminating NUL must fit as well
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return kOk;
}

// ---- small conversions -----------------------------------------------------

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
    return s.substr(b, e - b);
}

int unsignedField(const std::string& s) { return stringtoi(trim(s)); }

std::optional<std::vector<std::string>> explode(char separator, const char* s) {
    if (!s || !*s) return std::nullopt;
    const std::string text(s);
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t found = text.find(separator, pos);
        if (found == std::string::npos) {
            parts.push_back(text.substr(pos));
            break;
        }
        parts.push_back(text.substr(pos, found - pos));
        pos = found + 1;
    }
    return parts;
}

std::vector<std::string> splitLines(const char* text) {
    return explode('\n', text).value_or(std::vector<std::string>{});
}

std::string join(const std::vector<std::string>& parts) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += '\n';
        out += parts[i];
    }
    return out;
}

std::string dateText(unsigned day, unsigned month, unsigned year) {
    char b[32];
    std::snprintf(b, sizeof b, "%04u-%02u-%02u", year, month, day);
    return b;
}

std::string timeText(unsigned hour, unsigned minute) {
    char b[16];
    std::snprintf(b, sizeof b, "%02u:%02u", hour, minute);
    return b;
}

std::string timeText(unsigned hour, unsigned minute, unsigned sec) {
    char b[24];
    std::snprintf(b, sizeof b, "%02u:%02u:%02u", hour, minute, sec);
    return b;
}

// ---- dates and times -------------------------------------------------------

namespace {

// The field at [pos, pos+len) of text: cut (empty beyond the end), trimmed,
// converted; -1 when it is no unsigned number.
int field(const std::string& text, size_t pos, size_t len) {
    if (pos >= text.size()) return -1;
    return unsignedField(text.substr(pos, len));
}

bool validTime(int hour, int minute, int sec) {
    return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && sec >= 0 && sec < 60;
}

struct DateFields {
    int year, month, day;
};

DateFields dateFields(const std::string& t) { return {field(t, 0, 4), field(t, 5, 2), field(t, 8, 2)}; }

}  // namespace

bool ValidDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int last = days[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= last;
}

bool AnswerDateValid(unsigned day, unsigned month, unsigned year) {
    if (day == 0 && month == 0 && year == 0) return true;  // no date
    return ValidDate(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
}

bool AnswerTimeValid(unsigned hour, unsigned minute, unsigned sec) { return hour < 24 && minute < 60 && sec < 60; }

uint32_t entryMax(Wire w, uint32_t local) {
    switch (w) {
    case Wire::Byte: return 4;   // "255"
    case Wire::Word: return 6;   // "65535"
    case Wire::Long: return 11;  // "4294967295"
    case Wire::String: return local;
    case Wire::Numeric: return kNumericMax;
    case Wire::Currency:
    case Wire::Quantity: return kDecimalMax;
    }
    return local;
}

bool ParseDate(const char* date, unsigned char& day, unsigned char& month, unsigned short& year) {
    if (!date) return false;
    const std::string t(date);
    const DateFields d = dateFields(t);
    if (!ValidDate(d.year, d.month, d.day)) return false;
    day = static_cast<unsigned char>(d.day);
    month = static_cast<unsigned char>(d.month);
    year = static_cast<unsigned short>(d.year);
    return true;
}

bool ParseDateTimeSec(const char* date, unsigned char& day, unsigned char& month, unsigned short& year,
                      unsigned char& hour, unsigned char& minute, unsigned char& sec) {
    if (!date) return false;
    const std::string t(date);
    const DateFields d = dateFields(t);
    const int h = field(t, 11, 2), m = field(t, 14, 2), s = field(t, 17, 2);
    if (!ValidDate(d.year, d.month, d.day) || !validTime(h, m, s)) return false;
    day = static_cast<unsigned char>(d.day);
    month = static_cast<unsigned char>(d.month);
    year = static_cast<unsigned short>(d.year);
    hour = static_cast<unsigned char>(h);
    minute = static_cast<unsigned char>(m);
    sec = static_cast<unsigned char>(s);
    return true;
}

bool ParseDateTime(const char* date, unsigned char& day, unsigned char& month, unsigned short& year,
                   unsigned char& hour, unsigned char& minute) {
    if (!date) return false;
    const std::string t(date);
    const DateFields d = dateFields(t);
    const int h = field(t, 11, 2), m = field(t, 14, 2);
    if (!ValidDate(d.year, d.month, d.day) || !validTime(h, m, 0)) return false;
    day = static_cast<unsigned char>(d.day);
    month = static_cast<unsigned char>(d.month);
    year = static_cast<unsigned short>(d.year);
    hour = static_cast<unsigned char>(h);
    minute = static_cast<unsigned char>(m);
    return true;
}

bool ParseTime(const char* date, unsigned char& hour, unsigned char& minute, unsigned char& sec) {
    if (!date) return false;
    const std::string t(date);
    const int h = field(t, 0, 2), m = field(t, 3, 2);
    int s = field(t, 6, 2);
    if (s < 0) s = 0;  // "HH:MM" alone
    if (!validTime(h, m, s)) return false;
    hour = static_cast<unsigned char>(h);
    minute = static_cast<unsigned char>(m);
    sec = static_cast<unsigned char>(s);
    return true;
}

time_t secTimeOf2000() {
    struct tm t {};
    t.tm_year = 100;
    t.tm_mon = 0;
    t.tm_mday = 1;
    t.tm_isdst = 0;
    return mktime(&t);
}

std::string time_to_date2000(unsigned long offset) {
    const time_t at = secTimeOf2000() + static_cast<time_t>(offset);
    struct tm t {};
    if (!localtime_r(&at, &t)) return std::string();
    char b[64];
    std::snprintf(b, sizeof b, "%d-%02d-%02d %02d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                  t.tm_min, t.tm_sec);
    return b;
}

std::string to_interval(unsigned long offset) {
    char b[64];
    std::snprintf(b, sizeof b, "%lu:%02lu:%02lu:%02lu", offset / 86400, (offset / 3600) % 24, (offset / 60) % 60,
                  offset % 60);
    return b;
}

// ---- IPv4 ------------------------------------------------------------------

namespace {

// One "%d" of scanf: blanks, an optional sign, at least one digit. A number
// too large for an int is kept as out of range rather than wrapped.
bool scanInt(const char*& p, long long& v) {
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char* q = p;
    bool neg = false;
    if (*q == '+' || *q == '-') neg = *q++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*q))) return false;
    long long n = 0;
    while (std::isdigit(static_cast<unsigned char>(*q))) {
        if (n < 100000) n = n * 10 + (*q - '0');
        ++q;
    }
    v = neg ? -n : n;
    p = q;
    return true;
}

}  // namespace

int str2ip(const char* ipval, unsigned long* ip) {
    *ip = 0;
    if (!ipval) return -1;
    long long part[4];
    const char* p = ipval;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (*p != '.') return -1;
            ++p;
        }
        if (!scanInt(p, part[i])) return -1;
    }
    unsigned long v = 0;
    for (long long n : part) {
        if (n < 0 || n > 255) return -2;
        v = (v << 8) | static_cast<unsigned long>(n);
    }
    *ip = v;
    return 0;
}

std::string ip2str(uint32_t ip) {
    char b[20];
    std::snprintf(b, sizeof b, "%u.%u.%u.%u", ip >> 24, (ip >> 16) & 0xFF, (ip >> 8) & 0xFF, ip & 0xFF);
    return b;
}

// ---- serial line parameters ---------------------------------------------------

namespace {

const char* const kBauds[] = {"1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};

// The index of field i among texts; 0 when the field is missing or none matches.
unsigned char codeOf(const std::vector<std::string>& fields, size_t i, std::initializer_list<const char*> texts) {
    if (i >= fields.size()) return 0;
    unsigned char code = 0;
    for (const char* t : texts) {
        if (fields[i] == t) return code;
        ++code;
    }
    return 0;
}

// ",L" with the letter of code among letters, ",U" for an unknown code.
std::string fragment(unsigned char code, const std::string& letters) {
    return std::string(",") + (code < letters.size() ? letters[code] : 'U');
}

}  // namespace

bool ParsePortConfig(const char* text, PortCodes& codes) {
    if (!text) return false;
    const auto fields = explode(',', text);
    if (!fields) {
        codes = PortCodes{};
        return true;
    }
    const int baud = stringtoi(fields->front());
    const auto known = std::find_if(std::begin(kBauds), std::end(kBauds),
                                    [&](const char* b) { return stringtoi(b) == baud; });
    if (baud < 0 || known == std::end(kBauds)) return false;
    codes.baud = static_cast<unsigned char>(known - std::begin(kBauds));
    codes.dataBits = codeOf(*fields, 1, {"8", "7"});
    codes.parity = codeOf(*fields, 2, {"N", "E", "O"});
    codes.stopBits = codeOf(*fields, 3, {"1", "2"});
    codes.handshake = codeOf(*fields, 4, {"N", "S", "H", "D"});
    return true;
}

std::string PortConfigText(const PortCodes& c) {
    std::string text = c.baud < std::size(kBauds) ? kBauds[c.baud] : "-U-";
    return text + fragment(c.dataBits, "87") + fragment(c.parity, "NEO") + fragment(c.stopBits, "12") +
           fragment(c.handshake, "NXRD");
}

// ---- Command ---------------------------------------------------------------

Command::Command(TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, TARVIK_CMD cmd, unsigned char tryb)
    : phRequest_(phRequest), tryb_(tryb) {
    if (!hDevice) {
        status_ = kNullHandle;
    } else if (tryb == TARVIK_POST_DELETE_EMPTY || (tryb == TARVIK_POST_EXCLUSIVE && !phRequest)) {
        status_ = kBadMode;
    } else if (!(request_ = TRV_CreateRequest(hDevice, cmd))) {
        // Not an open view (a device handle, a closed view, a request, a
        // destroyed handle) is a wrong handle, not a failed allocation: the
        // statistics call answers 0x10006 for exactly those and reads nothing.
        status_ = TRV_RequestQueueStats(hDevice, nullptr, nullptr) == kNullHandle ? kNullHandle : kNoRequest;
    } else if (phRequest) {
        // The caller holds the request from now on, whatever happens next.
        *phRequest = request_;
    }
}

TARVIK_STATUS Command::nextCode() {
    const TARVIK_STATUS code = explicit_ ? explicit_ : argCode(position_);
    explicit_ = 0;
    ++position_;
    return code;
}

template <class Push>
Command& Command::step(Push push) {
    const TARVIK_STATUS code = nextCode();
    if (ok() && !push()) status_ = code;
    return *this;
}

Command& Command::fail(TARVIK_STATUS code) {
    if (ok()) status_ = code;
    return *this;
}

bool Command::pushBytes(std::initializer_list<unsigned char> values) {
    for (unsigned char v : values)
        if (TRV_PushRequestParamByte(request_, v) != kOk) return false;
    return true;
}

bool Command::pushDate(unsigned char day, unsigned char month, unsigned short year) {
    return pushBytes({day, month}) && TRV_PushRequestParamWord(request_, year) == kOk;
}

Command& Command::byte(unsigned char v) {
    return step([&] { return TRV_PushRequestParamByte(request_, v) == kOk; });
}
Command& Command::word(unsigned short v) {
    return step([&] { return TRV_PushRequestParamWord(request_, v) == kOk; });
}
Command& Command::dword(unsigned long v) {
    // unsigned long is wider than the wire's Long here; a value that would be
    // cut is refused rather than sent as another number.
    return step([&] {
        return v <= 0xFFFFFFFFul && TRV_PushRequestParamLong(request_, static_cast<uint32_t>(v)) == kOk;
    });
}
Command& Command::string(const char* s) {
    return step([&] { return s && TRV_PushRequestParamString(request_, s) == kOk; });
}
Command& Command::stringOrEmpty(const char* s) {
    return step([&] { return TRV_PushRequestParamString(request_, s ? s : "") == kOk; });
}
Command& Command::numeric(const char* s) {
    return step([&] { return s && TRV_PushRequestParamNumeric(request_, s) == kOk; });
}
Command& Command::currency(const char* s) {
    return step([&] { return s && TRV_PushRequestParamCurrency(request_, s) == kOk; });
}
Command& Command::quantity(const char* s) {
    return step([&] { return s && TRV_PushRequestParamQuantity(request_, s) == kOk; });
}

Command& Command::filler(unsigned char v) {
    if (ok() && TRV_PushRequestParamByte(request_, v) != kOk) status_ = kFiller;
    return *this;
}

Command& Command::fillerWord(unsigned short v) {
    if (ok() && TRV_PushRequestParamWord(request_, v) != kOk) status_ = kFiller;
    return *this;
}

Command& Command::date(const char* text) {
    return step([&] {
        unsigned char d, m;
        unsigned short y;
        return ParseDate(text, d, m, y) && pushDate(d, m, y);
    });
}

Command& Command::dateTimeSec(const char* text) {
    return step([&] {
        unsigned char d, mo, h, mi, s;
        unsigned short y;
        return ParseDateTimeSec(text, d, mo, y, h, mi, s) && pushDate(d, mo, y) && pushBytes({h, mi, s});
    });
}

Command& Command::timeDateSec(const char* text) {
    return step([&] {
        unsigned char d, mo, h, mi, s;
        unsigned short y;
        return ParseDateTimeSec(text, d, mo, y, h, mi, s) && pushBytes({h, mi, s}) && pushDate(d, mo, y);
    });
}

Command& Command::dateTimeMin(const char* text) {
    return step([&] {
        unsigned char d, mo, h, mi;
        unsigned short y;
        return ParseDateTime(text, d, mo, y, h, mi) && pushDate(d, mo, y) && pushBytes({h, mi});
    });
}

Command& Command::time(const char* text) {
    return step([&] {
        unsigned char h, mi, s;
        return ParseTime(text, h, mi, s) && pushBytes({h, mi, s});
    });
}

Command& Command::hourMinute(const char* text) {
    return step([&] {
        unsigned char h, mi, s;
        return ParseTime(text, h, mi, s) && pushBytes({h, mi});
    });
}

Command& Command::ipv4(const char* text) {
    return step([&] {
        unsigned long ip = 0;
        return str2ip(text, &ip) == 0 && TRV_PushRequestParamLong(request_, static_cast<uint32_t>(ip)) == kOk;
    });
}

Command& Command::portConfig(const char* text) {
    return step([&] {
        PortCodes c;
        return ParsePortConfig(text, c) && pushBytes({c.baud, c.handshake, c.dataBits, c.parity, c.stopBits});
    });
}

Command& Command::strings(const std::vector<std::string>& parts) {
    return step([&] {
        for (const std::string& p : parts)
            if (TRV_PushRequestParamString(request_, p.c_str()) != kOk) return false;
        return true;
    });
}

Command& Command::ipv4Triple(const char* address, const char* netmask, const char* gateway) {
    if (address && netmask && gateway) return ipv4(address).ipv4(netmask).ipv4(gateway);
    return dword(0ul).dword(0ul).dword(0ul);
}

Command& Command::rows(std::initializer_list<ListColumn> columns) {
    const size_t n = columns.size() ? columns.begin()->values->size() : 0;
    for (size_t row = 0; row < n && ok(); ++row)
        for (const ListColumn& col : columns) {
            const std::string& v = (*col.values)[row];
            // A text that is no number converts to -1, which becomes 255.
            const bool pushed = col.wire == Wire::Byte
                                    ? pushBytes({static_cast<unsigned char>(stringtoi(v))})
                                    : TRV_PushRequestParamString(request_, v.c_str()) == kOk;
            if (!pushed) {
                status_ = col.code;
                break;
            }
        }
    return *this;
}

TARVIK_STATUS Command::post() {
    TARVIK_STATUS st = status_;
    if (st == kOk) st = TRV_PostRequest(request_, tryb_);
    // Nobody else could ever free a request that is neither queued nor held.
    if (st != kOk && request_ && !phRequest_) TRV_DestroyRequest(request_);
    return st;
}

// ---- Answer ----------------------------------------------------------------

Answer::Answer(TARVIK_HANDLE phRequest, TARVIK_CMD cmd) : request_(phRequest) {
    if (!phRequest) {
        status_ = kNullHandle;
    } else if (TARVIK_STATUS st = TRV_GetRequestStatus(phRequest)) {
        status_ = st;
    } else if (TRV_GetRequestCommandID(phRequest) != cmd) {
        status_ = kWrongCommand;
    }
}

Answer& Answer::fail(TARVIK_STATUS code) {
    if (ok()) status_ = code;
    return *this;
}

uint32_t Answer::count() const { return TRV_GetResponseValueCount(request_); }

bool Answer::wanted(const void* out) {
    const TARVIK_STATUS code = required_;
    required_ = 0;
    if (!ok()) return false;
    if (out) return true;
    if (code) status_ = code;
    return false;
}

bool Answer::pop(unsigned char& v) {
    if (ok()) status_ = TRV_PopResponseValueByte(request_, &v);
    return ok();
}

bool Answer::pop(unsigned short& v) {
    if (ok()) status_ = TRV_PopResponseValueWord(request_, &v);
    return ok();
}

bool Answer::pop(uint32_t& v) {
    if (ok()) status_ = TRV_PopResponseValueLong(request_, &v);
    return ok();
}

bool Answer::pop(TextKind kind, std::string& v, uint32_t local) {
    if (!ok()) return false;
    std::vector<char> buf(local);
    switch (kind) {
    case TextKind::String: status_ = TRV_PopResponseValueString(request_, buf.data(), local); break;
    case TextKind::Numeric: status_ = TRV_PopResponseValueNumeric(request_, buf.data(), local); break;
    case TextKind::Currency: status_ = TRV_PopResponseValueCurrency(request_, buf.data(), local); break;
    case TextKind::Quantity: status_ = TRV_PopResponseValueQuantity(request_, buf.data(), local); break;
    }
    if (ok()) v.assign(buf.data());
    return ok();
}

bool Answer::pop(Wire w, std::string& v, uint32_t local) {
    switch (w) {
    case Wire::Byte: {
        unsigned char b;
        if (pop(b)) v = std::to_string(b);
        break;
    }
    case Wire::Word: {
        unsigned short x;
        if (pop(x)) v = std::to_string(x);
        break;
    }
    case Wire::Long: {
        uint32_t x;
        if (pop(x)) v = std::to_string(x);
        break;
    }
    case Wire::String: return pop(TextKind::String, v, local);
    case Wire::Numeric: return pop(TextKind::Numeric, v, local);
    case Wire::Currency: return pop(TextKind::Currency, v, local);
    case Wire::Quantity: return pop(TextKind::Quantity, v, local);
    }
    return ok();
}

template <class T, class U>
Answer& Answer::number(T* out) {
    U v;
    if (pop(v) && wanted(out)) *out = v;
    required_ = 0;
    return *this;
}

Answer& Answer::byte(unsigned char* out) { return number<unsigned char, unsigned char>(out); }
Answer& Answer::word(unsigned short* out) { return number<unsigned short, unsigned short>(out); }
Answer& Answer::dword(unsigned long* out) { return number<unsigned long, uint32_t>(out); }
Answer& Answer::byte(unsigned short* out) { return number<unsigned short, unsigned char>(out); }
Answer& Answer::byte(unsigned long* out) { return number<unsigned long, unsigned char>(out); }
Answer& Answer::word(unsigned long* out) { return number<unsigned long, unsigned short>(out); }

Answer& Answer::skip(Wire w) {
    std::string v;
    pop(w, v, kLongText);
    return *this;
}

Answer& Answer::text(char* out, const std::string& value, uint32_t max) {
    if (wanted(out)) status_ = CopyStringResult(request_, out, value, max);
    return *this;
}

// A text value through a local buffer of its size, then to the caller.
Answer& Answer::textValue(TextKind kind, char* out, uint32_t local) {
    static constexpr Wire wires[] = {Wire::String, Wire::Numeric, Wire::Currency, Wire::Quantity};
    std::string v;
    if (pop(kind, v, local)) text(out, v, entryMax(wires[static_cast<int>(kind)], local));
    required_ = 0;
    return *this;
}

Answer& Answer::string(char* out, uint32_t local) { return textValue(TextKind::String, out, local); }
Answer& Answer::numeric(char* out, uint32_t local) { return textValue(TextKind::Numeric, out, local); }
Answer& Answer::currency(char* out, uint32_t local) { return textValue(TextKind::Currency, out, local); }
Answer& Answer::quantity(char* out, uint32_t local) { return textValue(TextKind::Quantity, out, local); }

Answer& Answer::joined(char* out, Wire w, unsigned n, uint32_t local) {
    std::vector<std::string> parts;
    for (unsigned i = 0; i < n && ok(); ++i) {
        std::string v;
        if (pop(w, v, local)) parts.push_back(std::move(v));
    }
    if (ok()) text(out, join(parts), n * entryMax(w, local));
    required_ = 0;
    return *this;
}

Answer& Answer::pairs(unsigned n, Wire first, char* firsts, uint32_t firstsMax, Wire second, char* seconds,
                      uint32_t secondsMax, uint32_t local) {
    std::vector<std::string> a, b;
    for (unsigned i = 0; i < n && ok(); ++i) {
        std::string x, y;
        if (pop(first, x, local) && pop(second, y, local)) {
            a.push_back(std::move(x));
            b.push_back(std::move(y));
        }
    }
    text(firsts, join(a), firstsMax);
    text(seconds, join(b), secondsMax);
    required_ = 0;
    return *this;
}

// A date or time text once its fields were found in range.
Answer& Answer::clockText(char* out, bool valid, const std::string& value, uint32_t max) {
    if (valid)
        text(out, value, max);
    else
        fail(kBadData);
    required_ = 0;
    return *this;
}

Answer& Answer::date(char* out) {
    unsigned char d, m;
    unsigned short y;
    if (pop(d) && pop(m) && pop(y)) return clockText(out, AnswerDateValid(d, m, y), dateText(d, m, y), kDateMax);
    required_ = 0;
    return *this;
}

Answer& Answer::dateTimeMin(char* out) {
    unsigned char d, m, h, mi;
    unsigned short y;
    if (pop(d) && pop(m) && pop(y) && pop(h) && pop(mi))
        return clockText(out, AnswerDateValid(d, m, y) && AnswerTimeValid(h, mi),
                         dateText(d, m, y) + " " + timeText(h, mi), kDateTimeMinMax);
    required_ = 0;
    return *this;
}

Answer& Answer::dateTimeSec(char* out) {
    unsigned char d, m, h, mi, s;
    unsigned short y;
    if (pop(d) && pop(m) && pop(y) && pop(h) && pop(mi) && pop(s))
        return clockText(out, AnswerDateValid(d, m, y) && AnswerTimeValid(h, mi, s),
                         dateText(d, m, y) + " " + timeText(h, mi, s), kDateTimeSecMax);
    required_ = 0;
    return *this;
}

Answer& Answer::time(char* out) {
    unsigned char h, m, s;
    if (pop(h) && pop(m) && pop(s)) return clockText(out, AnswerTimeValid(h, m, s), timeText(h, m, s), kTimeMax);
    required_ = 0;
    return *this;
}

Answer& Answer::hourMinute(char* out) {
    unsigned char h, m;
    if (pop(h) && pop(m)) return clockText(out, AnswerTimeValid(h, m), timeText(h, m), kHourMinuteMax);
    required_ = 0;
    return *this;
}

Answer& Answer::ipv4(char* out) {
    uint32_t v;
    if (pop(v)) text(out, ip2str(v), kIpv4Max);
    required_ = 0;
    return *this;
}

Answer& Answer::portConfig(char* out) {
    PortCodes c;
    if (pop(c.baud) && pop(c.handshake) && pop(c.dataBits) && pop(c.parity) && pop(c.stopBits))
        text(out, PortConfigText(c), kPortMax);
    required_ = 0;
    return *this;
}

Answer& Answer::ipv4Triple(char* address, char* netmask, char* gateway) {
    uint32_t a, n, g;
    if (pop(a) && pop(n) && pop(g))
        text(address, ip2str(a), kIpv4Max).text(gateway, ip2str(g), kIpv4Max).text(netmask, ip2str(n), kIpv4Max);
    return *this;
}

Answer& Answer::rows(std::initializer_list<Column> columns) {
    unsigned char count = 0;
    std::vector<std::vector<std::string>> values(columns.size());
    if (pop(count))
        for (unsigned row = 0; row < count && ok(); ++row) {
            size_t k = 0;
            for (const Column& col : columns) {
                std::string v;
                if (pop(col.wire, v, col.local)) values[k++].push_back(std::move(v));
            }
        }
    size_t k = 0;
    for (const Column& col : columns) {
        if (!ok()) break;
        required_ = col.required;
        text(col.out, join(values[k++]), col.max);
    }
    required_ = 0;
    return *this;
}

Answer& Answer::time2000(char* out) {
    uint32_t v;
    if (pop(v)) text(out, time_to_date2000(v), kTime2000Max);
    required_ = 0;
    return *this;
}

Answer& Answer::interval(char* out) {
    uint32_t v;
    if (pop(v)) text(out, to_interval(v), kIntervalMax);
    required_ = 0;
    return *this;
}

TARVIK_STATUS Answer::finish() {
    if (ok()) TRV_DestroyRequest(request_);
    return status_;
}

}  // namespace mirtel
