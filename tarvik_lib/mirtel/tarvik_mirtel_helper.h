// The shape every libmirtel command shares, written once:
//
//   Command  builds and posts one request (argument checks, push codes by
//            argument position, the post-mode rules);
//   Answer   reads one answered request (status and command checks, pops
//            through local buffers, the string result rule) and destroys it
//            only when every value was taken;
//
// and the small helpers for dates, times, IPv4 addresses and line-feed
// separated lists. libmirtel keeps no state: everything goes through the
// handles the caller passes in, and only libtarvik's exported request
// functions are called.
#pragma once

#include <cstdint>
#include <ctime>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "tarvik/mirtel.h"
#include "trvlib_stringtoi.h"

namespace mirtel {

enum class TextKind { String, Numeric, Currency, Quantity };
enum class Wire { Byte, Word, Long, String, Numeric, Currency, Quantity };

// Codes of our own (the rest come from libtarvik unchanged).
constexpr TARVIK_STATUS kOk = TARVIK_STATUS_OK;
constexpr TARVIK_STATUS kNoRequest = TARVIK_STATUS_NOMEMORY;       // TRV_CreateRequest gave nothing
constexpr TARVIK_STATUS kWrongCommand = TARVIK_STATUS_NOCOMMAND;   // answer of another command
constexpr TARVIK_STATUS kNullHandle = TARVIK_STATUS_NULLHANDLE;
constexpr TARVIK_STATUS kTooSmall = TARVIK_STATUS_BUFFERTOOSMALL;  // text does not fit the caller's buffer
constexpr TARVIK_STATUS kBadMode = TARVIK_STATUS_BADMODE;
constexpr TARVIK_STATUS kFiller = TARVIK_STATUS_FILLERPUSH;        // a value we add ourselves
constexpr TARVIK_STATUS kNoStringMode = TARVIK_STATUS_INVALIDARG;  // string-handling mode unreadable
constexpr TARVIK_STATUS kBadData = TARVIK_STATUS_BADDATA;          // an answer value no register sends
constexpr TARVIK_STATUS argCode(unsigned position) { return 0x10100u + position; }

// Sizes of the local buffers values are popped through.
constexpr uint32_t kShortText = 64;
constexpr uint32_t kLongText = 256;

// The largest text each kind of output can hold, in bytes with the NUL: the
// buffer a caller needs in string-handling mode 0, as the header states it.
// scripts/mirtelgen.py computes the same figures for the header; the
// generated bounds test holds the two together.
constexpr uint32_t kNumericMax = 14;   // "-500000000000": a sign and twelve digits
constexpr uint32_t kDecimalMax = 15;   // Currency and Quantity: a separator as well
constexpr uint32_t kDateMax = 11;      // "YYYY-MM-DD"
constexpr uint32_t kDateTimeMinMax = 17;
constexpr uint32_t kDateTimeSecMax = 20;
constexpr uint32_t kTimeMax = 9;       // "HH:MM:SS"
constexpr uint32_t kHourMinuteMax = 6;
constexpr uint32_t kIpv4Max = 16;      // "255.255.255.255"
constexpr uint32_t kPortMax = 15;      // "115200,8,N,1,N"
constexpr uint32_t kTime2000Max = 20;  // "YYYY-MM-DD HH-MM-SS", the year 2136 at most
constexpr uint32_t kIntervalMax = 15;  // "49710:06:28:15"

// ---- helpers -------------------------------------------------------------

// Capacity of a caller's text buffer under the string-handling mode of the
// request's view: mode 0 trusts the caller (1000000), any other mode reads
// the capacity from the buffer's first byte.
TARVIK_STATUS HandleStringResult(TARVIK_HANDLE phRequest, char* buffer, unsigned long* len);
// Copies text into a caller's buffer under that rule; a null buffer drops it.
// In mode 0 the caller sized the buffer from the header, which states max
// (bytes, NUL included) for the output: a longer text is no answer a
// register gives, and is refused as bad data before anything is written.
TARVIK_STATUS CopyStringResult(TARVIK_HANDLE phRequest, char* buffer, const std::string& text, uint32_t max);

// Fixed-position date and time texts ("YYYY-MM-DD HH:MM:SS"); separators are
// not looked at. Nothing is written unless the whole text is valid.
bool ParseDateTimeSec(const char* date, unsigned char& day, unsigned char& month, unsigned short& year,
                      unsigned char& hour, unsigned char& minute, unsigned char& sec);
bool ParseDateTime(const char* date, unsigned char& day, unsigned char& month, unsigned short& year,
                   unsigned char& hour, unsigned char& minute);
bool ParseDate(const char* date, unsigned char& day, unsigned char& month, unsigned short& year);
// "HH:MM:SS" or "HH:MM" (seconds 0).
bool ParseTime(const char* date, unsigned char& hour, unsigned char& minute, unsigned char& sec);
bool ValidDate(int year, int month, int day);

// Dotted IPv4 text to a number, first part most significant: 0, or -1 for
// fewer than four numbers, -2 for a part outside 0..255 (*ip is 0 then).
int str2ip(const char* ipval, unsigned long* ip);
std::string ip2str(uint32_t ip);

// Serial line parameters: the text "9600,8,N,1,H" (baud rate, data bits,
// parity, stop bits, handshake; handshake N, S, H or D) and the register's
// five codes, which travel as Bytes in the order baud, handshake, data bits,
// parity, stop bits.
struct PortCodes {
    unsigned char baud = 0, handshake = 0, dataBits = 0, parity = 0, stopBits = 0;
};
// False (codes untouched) for a null text or a baud rate the register does
// not know. Every other field that is missing or unknown gives code 0, and an
// empty text gives five zeros.
bool ParsePortConfig(const char* text, PortCodes& codes);
// "9600,8,N,1,X": handshake codes 1 and 2 read back as X and R; an unknown
// baud code gives "-U-", any other unknown code "U".
std::string PortConfigText(const PortCodes& codes);

// Local time of 2000-01-01 00:00:00 and texts of offsets from it.
time_t secTimeOf2000();
std::string time_to_date2000(unsigned long offset);  // "YYYY-MM-DD HH-MM-SS"
std::string to_interval(unsigned long offset);       // "D:HH:MM:SS"

// Splits s at separator. An empty (or null) text gives no array at all; a
// separator at the very end adds no empty part.
std::optional<std::vector<std::string>> explode(char separator, const char* s);
// The lines of a list text (one line feed between two); an empty or null
// text has none.
std::vector<std::string> splitLines(const char* text);
// Whether text is a list at all: null and the empty text are not (explode
// gives no array for them), so a function taking a list refuses both with
// the argument's code; "\n" is a list of one empty line.
inline bool isList(const char* text) { return text && *text; }
// Strips bytes 0..32 from both ends.
std::string trim(const std::string& s);
using trv::stringtoi;
// A trimmed field as an unsigned number, -1 when it is not one.
int unsignedField(const std::string& s);

// Text forms of answer values.
std::string dateText(unsigned day, unsigned month, unsigned year);  // YYYY-MM-DD
// Whether answer fields are a date and a time the texts can show: a
// Gregorian date of the years 1 to 9999, or the all-zero date a register
// gives for none; hours below 24, minutes and seconds below 60.
bool AnswerDateValid(unsigned day, unsigned month, unsigned year);
bool AnswerTimeValid(unsigned hour, unsigned minute, unsigned sec = 0);
// The largest text of one value of a kind, with its line feed or NUL; n of
// them joined need n times that.
uint32_t entryMax(Wire w, uint32_t local);
std::string timeText(unsigned hour, unsigned minute);               // HH:MM
std::string timeText(unsigned hour, unsigned minute, unsigned sec); // HH:MM:SS
std::string join(const std::vector<std::string>& parts);            // one line feed between two

// ---- the C boundary ---------------------------------------------------------

// Runs one exported function's body; nothing thrown (the builders and readers
// allocate) reaches the application: it becomes the out-of-memory status.
template <class F>
TARVIK_STATUS guarded(F f) noexcept {
    try {
        return f();
    } catch (...) {
        return TARVIK_STATUS_NOMEMORY;
    }
}

// ---- sending -------------------------------------------------------------

// Builds one request. Each step that takes a caller argument moves the
// argument position on, so its failure code follows the position
// (hDevice 1, phRequest 2, first parameter 3). The first failure stops every
// later step; post() reports it.
//
// The integer steps take exactly their wire width: pushing an unsigned short
// as a Byte, or an int literal anywhere, does not compile.
class Command {
public:
    Command(TARVIK_HANDLE hDevice, TARVIK_HANDLE* phRequest, TARVIK_CMD cmd, unsigned char tryb);
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;

    // The code of the next argument's failure, in place of its position.
    Command& withCode(TARVIK_STATUS code) { explicit_ = code; return *this; }

    Command& byte(unsigned char v);
    Command& word(unsigned short v);
    Command& dword(unsigned long v);                  // wire Long; beyond 32 bits it fails
    template <class T> Command& byte(T) = delete;
    template <class T> Command& word(T) = delete;
    template <class T> Command& dword(T) = delete;
    Command& string(const char* s);                   // null: the argument's code
    Command& stringOrEmpty(const char* s);            // null is sent as ""
    Command& numeric(const char* s);
    Command& currency(const char* s);
    Command& quantity(const char* s);
    // Constants we add ourselves; not caller arguments (0x10101).
    Command& filler(unsigned char v);
    Command& fillerWord(unsigned short v);
    // Date and time texts split into wire values, all under the one
    // argument's code.
    Command& date(const char* text);                  // day, month, year
    Command& dateTimeSec(const char* text);           // date, hour, minute, second
    Command& timeDateSec(const char* text);           // hour, minute, second, date
    Command& dateTimeMin(const char* text);           // date, hour, minute
    Command& time(const char* text);                  // hour, minute, second ("HH:MM" too)
    Command& hourMinute(const char* text);            // hour, minute ("HH:MM:SS" too, seconds dropped)
    Command& ipv4(const char* text);                  // Long
    Command& portConfig(const char* text);            // five Bytes, see PortCodes
    // The parts of a split list, one String each, all under one argument's code.
    Command& strings(const std::vector<std::string>& parts);
    // Three dotted addresses, each a Long under its own argument's code; three
    // zeros when any of them is null.
    Command& ipv4Triple(const char* address, const char* netmask, const char* gateway);

    // Parallel lists sent row by row: per row one value of each list, in
    // column order, under the list's code. Byte lists hold decimal texts (a
    // text that is no number is sent as 255); the lists are of one length.
    // The codes are the columns' own: no argument position is taken.
    struct ListColumn {
        Wire wire;  // Byte or String
        const std::vector<std::string>* values;
        TARVIK_STATUS code;
    };
    Command& rows(std::initializer_list<ListColumn> columns);

    // For the commands that check an argument themselves.
    Command& fail(TARVIK_STATUS code);
    Command& skipArgument() { ++position_; explicit_ = 0; return *this; }
    bool ok() const { return status_ == kOk; }
    TARVIK_HANDLE request() const { return request_; }

    // Posts the request with the caller's mode, or reports the first failure.
    // A request the caller holds no handle of is never left behind.
    TARVIK_STATUS post();

private:
    TARVIK_STATUS nextCode();
    // Runs one push under the current argument's code.
    template <class Push>
    Command& step(Push push);
    bool pushDate(unsigned char day, unsigned char month, unsigned short year);
    bool pushBytes(std::initializer_list<unsigned char> values);

    TARVIK_HANDLE request_ = nullptr;
    TARVIK_HANDLE* phRequest_;
    unsigned char tryb_;
    TARVIK_STATUS status_ = kOk;
    unsigned position_ = 3;
    TARVIK_STATUS explicit_ = 0;
};

// ---- reading -------------------------------------------------------------

// Reads one answered request. The constructor checks the handle, the
// request's status and its command; each step pops the next value and
// stores it where the caller's output is not null. The first failure stops
// every later step.
class Answer {
public:
    Answer(TARVIK_HANDLE phRequest, TARVIK_CMD cmd);
    Answer(const Answer&) = delete;
    Answer& operator=(const Answer&) = delete;

    // The next output must not be null: if it is, the call ends with code
    // once its value was taken, and the request stays.
    Answer& required(TARVIK_STATUS code) { required_ = code; return *this; }

    Answer& byte(unsigned char* out);
    Answer& word(unsigned short* out);
    Answer& dword(unsigned long* out);                          // wire Long
    // A narrower wire value into a wider output.
    Answer& byte(unsigned short* out);
    Answer& byte(unsigned long* out);
    Answer& word(unsigned long* out);
    Answer& string(char* out, uint32_t local = kShortText);
    Answer& numeric(char* out, uint32_t local = kShortText);
    Answer& currency(char* out, uint32_t local = kShortText);
    Answer& quantity(char* out, uint32_t local = kShortText);
    Answer& skip(Wire w);                                       // a value nobody receives
    // n values of one kind joined into one text, a line feed between two.
    Answer& joined(char* out, Wire w, unsigned n, uint32_t local = kShortText);
    // n pairs of values: the first value of each pair joined into one text,
    // the second into another (a line feed between two entries), copied in
    // that order once every pair was taken. n = 0 gives two empty texts.
    // The maxima are those the header states for the two outputs.
    Answer& pairs(unsigned n, Wire first, char* firsts, uint32_t firstsMax, Wire second, char* seconds,
                  uint32_t secondsMax, uint32_t local = kShortText);
    // Texts built from several values, copied as soon as they are complete.
    // A field out of its range (AnswerDateValid, AnswerTimeValid) is bad
    // data: nothing is written, whether the output is null or not.
    Answer& date(char* out);                                    // day, month, year
    Answer& dateTimeMin(char* out);                             // + hour, minute
    Answer& dateTimeSec(char* out);                             // + hour, minute, second
    Answer& time(char* out);                                    // hour, minute, second
    Answer& hourMinute(char* out);                              // hour, minute
    Answer& ipv4(char* out);                                    // Long as dotted text
    // Three Longs (address, netmask, gateway) as dotted texts; the register's
    // own reader copies the gateway before the netmask.
    Answer& ipv4Triple(char* address, char* netmask, char* gateway);
    Answer& portConfig(char* out);                              // five Bytes as a port text
    Answer& time2000(char* out);                                // Long seconds since 2000
    Answer& interval(char* out);                                // Long seconds as D:HH:MM:SS
    // A text of our own making, under the string result rule; max is what
    // the header states for the output (bytes, NUL included).
    Answer& text(char* out, const std::string& value, uint32_t max);

    // A count Byte, then that many rows of one value per column. Each column
    // becomes one joined text (numbers in decimal), copied in column order
    // once every row was read.
    struct Column {
        Wire wire;
        char* out;                    // null drops the column
        uint32_t max;                 // the output's stated maximum, NUL included
        uint32_t local = kShortText;  // local buffer of a text value
        TARVIK_STATUS required = 0;   // non-zero: out must not be null, this is the code
    };
    Answer& rows(std::initializer_list<Column> columns);

    // Raw pops for the layouts that branch on what they read; false once
    // anything failed.
    bool pop(unsigned char& v);
    bool pop(unsigned short& v);
    bool pop(uint32_t& v);
    bool pop(TextKind kind, std::string& v, uint32_t local = kShortText);
    // Any value as text (numbers in decimal).
    bool pop(Wire w, std::string& v, uint32_t local = kShortText);

    Answer& fail(TARVIK_STATUS code);
    bool ok() const { return status_ == kOk; }
    TARVIK_STATUS status() const { return status_; }
    TARVIK_HANDLE request() const { return request_; }
    // Number of values of the whole answer.
    uint32_t count() const;

    // Destroys the request when every step succeeded; the result either way.
    TARVIK_STATUS finish();
    // For type readers: the result, the request stays.
    TARVIK_STATUS keep() const { return status_; }

private:
    template <class T, class U>
    Answer& number(T* out);
    Answer& textValue(TextKind kind, char* out, uint32_t local);
    Answer& clockText(char* out, bool valid, const std::string& value, uint32_t max);
    // Whether a popped value is wanted; a missing required output fails.
    bool wanted(const void* out);

    TARVIK_HANDLE request_;
    TARVIK_STATUS status_ = kOk;
    TARVIK_STATUS required_ = 0;
};

}  // namespace mirtel
