// The gateway's configuration: a JSON file (or, for --sim, built in code).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chain.h"
#include "http.h"

namespace trvgw {

// Where a register is: parsed from its connection URL.
//   tcp://HOST[:PORT]
//   serial://DEVICE?baud=9600&bits=8&parity=N&stop=1&flow=N
//   usb://SERIALNUMBER?baud=...            (the FTDI bridge's serial number)
//   modem://DEVICE?number=123456&init=ATZ&baud=...
struct Connection {
    enum class Kind { Tcp, Serial, Usb, Modem } kind = Kind::Tcp;
    std::string host, port;        // TCP
    std::string device;            // serial, modem: the port; USB: the serial number
    std::string lineSettings;      // "baud,bits,parity,stop,flow"
    std::string number, init;      // modem
    std::string url;               // as written
};
// Throws std::runtime_error naming what is wrong.
Connection parseConnection(const std::string& url);

struct RegisterConfig {
    std::string id;
    Connection conn;
    std::string charset;           // resolved (never empty)
    uint32_t answerMs = 10000;     // how long an ordinary answer may take
    uint32_t printMs = 600000;     // a printed report
    bool holdAfterUnknown = true;  // later jobs wait while a non-idempotent job is unknown
    bool collectJournal = false;
    uint32_t journalIntervalS = 60;
    bool journalDelete = false;    // clear the register's journal once collected and committed
};

enum Scope : unsigned { kRead = 1, kOperate = 2, kFiscal = 4 };

struct Token {
    std::string name;
    std::string sha256;  // hex of SHA-256 of the token
    unsigned scopes = 0;
};

struct Config {
    http::Listen listen;
    http::Limits limits;
    std::string database = "trvgw.db";
    std::vector<Token> tokens;       // none: no token needed
    std::vector<RegisterConfig> registers;
    uint32_t drainTimeoutS = 30;
    size_t maxJobsQueued = 10000;    // per register
    ChainConfig chain;               // off unless the file has a "chain" section
};

// Reads and checks the file; throws std::runtime_error with every problem found.
Config loadConfig(const std::string& path);
// "HOST:PORT" (IPv6 as [::1]:PORT) into listen; throws on a bad text.
void parseListen(const std::string& text, http::Listen& listen);
unsigned parseScopes(const std::vector<std::string>& names);  // throws
std::string sha256Hex(const std::string& text);

}  // namespace trvgw
