// The register's settings for selling, stock, accessories, printing,
// displays and communication: what a set command stores and the matching get
// command answers. The values are the register's own codes, kept as they
// arrive; the defaults are the sample settings of a fresh simulator.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace trvsim {

// Selling (301/302, 335/336, 350).
struct SaleSettings {
    uint8_t cashClosing = 1, priceCheck = 1, amountFormat = 0, checkOnSale = 0, weeklyStats = 1, yearlyStats = 1;
    // Hand-entry limits, as Numerics, in wire order.
    int64_t rebatePercent = 10, markupPercent = 5, rebateAmount = 1000, markupAmount = 500;
    uint8_t rebates = 1, markups = 1, keyCode = 0, automatic = 0;
    uint8_t nameAsPrice = 0;  // 350
};

// Stock keeping of articles (304) and packagings (305); 303/340 read both.
struct StoreSettings {
    uint8_t pluOn = 1, pluControl = 1, pluBlock = 0;
    uint8_t packOn = 0, packControl = 0, packBlock = 0;
    uint8_t recipes = 0;
};

struct BillBuffer {  // 316/339/317
    uint8_t active = 0, overflowSignal = 1;
    uint16_t threshold = 80;
    uint8_t block = 0, info = 1;
};

struct CardReader {  // 330/334/331
    uint8_t valid = 1;
    uint16_t responseTime = 500, inputMethod = 1;
    std::string params;
};

struct PriceVerifier {  // 337/338, per verifier type
    uint8_t count = 1, blink = 0, delay = 3, time = 10;
    std::array<std::string, 4> lines;  // 2 used for type 0, 4 for the others
};

struct Addon {  // 342/341
    uint8_t two = 1, five = 1;
    uint16_t spacing = 0;
};

struct PrintSettings {  // 314/315
    uint8_t nonFiscal = 1, pluChanges = 0, paperSensitivity = 2, cutter = 1;
};

struct ExternalPrinter {  // 510/511, per printer number
    uint8_t fonts = 0, width = 40, cutter = 0;
    std::array<std::string, 3> header;
};

struct Display {  // 101/100, per display number
    uint8_t contrast = 8, backlight = 1, backlightMode = 0;
    uint16_t delay = 30;
};

struct DisplayEntry {  // 380/381: one rolling display entry
    uint8_t type = 0;
    std::string text;
    uint8_t inversion = 0, speed = 0, direction = 0, timeFormat = 0;
};

// Line parameters of a serial port, in wire order.
struct LineCodes {
    uint8_t baud = 3, handshake = 0, dataBits = 0, parity = 0, stopBits = 0;  // 9600,8,N,1,N
};

struct SerialPort {  // 325/326
    uint8_t deviceType = 0;
    std::string name;
    LineCodes line;
    uint8_t subtype = 0;
};

struct HostInterface {  // 327/345/328
    uint8_t type = 1, channel = 0, cipher = 0, charset = 0, tcpip = 1;
    uint32_t address = 0xC0A80064, netmask = 0xFFFFFF00, gateway = 0xC0A80001;  // 192.168.0.100/24 via .1
    uint16_t port = 6001;
    uint8_t dhcp = 0;
};

struct Modem {  // 312/313
    uint8_t use = 0;
    std::string init = "ATZ", phone;
};

struct Settings {
    SaleSettings sale;
    StoreSettings store;
    uint16_t drawerImpulse = 100;              // 306/307
    uint8_t soundFlag = 1, soundSource = 0;   // 308/309
    BillBuffer billBuffer;
    uint8_t loginMethod = 0, loginControl = 0;  // 323/324
    CardReader cardReader;
    std::map<uint8_t, PriceVerifier> priceVerifiers;
    Addon addon;
    uint8_t takingsVerify = 0;  // 371/370
    uint8_t changeLogout = 0;   // 361/360
    static constexpr uint16_t kMonitorStrings = 16;  // numbered 1..16
    std::map<uint16_t, std::string> monitorStrings;  // 3170/3160

    PrintSettings print;
    std::map<uint8_t, ExternalPrinter> externalPrinters;
    std::map<uint8_t, Display> displays;
    uint8_t infoLoggedIn = 1, infoLoggedOut = 0;  // 382/383
    static constexpr size_t kDisplayEntries = 16;
    std::map<uint8_t, std::vector<DisplayEntry>> displayContents;

    HostInterface host;
    static constexpr uint8_t kPorts = 4;  // ports 1..4
    std::map<uint8_t, SerialPort> ports;
    std::vector<std::pair<uint8_t, LineCodes>> terminalPorts;  // 384: port number and line
    Modem modem;
};

}  // namespace trvsim
