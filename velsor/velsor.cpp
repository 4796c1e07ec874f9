// velsor: reads a libtarvik debug log on standard input and writes the frames
// it holds to standard output, one block per frame: a header line naming the
// direction, then the frame's raw bytes and a line feed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

int main() {
    // "Ramka wysłana" / "Ramka odebrana" in ISO-8859-2 (ł is the byte 0xB3).
    static const char kSent[] = "Ramka wys\xB3" "ana";
    static const char kReceived[] = "Ramka odebrana";

    std::vector<uint8_t> frame;
    bool open = false;
    bool sent = false;
    std::string line;
    while (std::cin) {
        if (!std::getline(std::cin, line)) line.clear();
        if (line.find("$$") != std::string::npos) {
            sent = line.find("$$I") == std::string::npos;
            std::istringstream in(line);
            std::string tok;
            in >> tok >> tok;  // marker and offset column
            for (int i = 0; i < 16; ++i) {
                tok.clear();
                in >> tok;
                if (tok.size() < 2) break;
                frame.push_back(static_cast<uint8_t>(std::strtoul(tok.c_str(), nullptr, 16) & 0xFF));
            }
            open = true;
        } else if (open) {
            std::fputs(sent ? kSent : kReceived, stdout);
            std::fputc('\n', stdout);
            std::fwrite(frame.data(), 1, frame.size(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
            frame.clear();
            open = false;
        }
    }
    return 0;
}
