#include "velsor_convert.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace velsor {

void convert(std::istream& in, std::FILE* out) {
    // "Ramka wysłana" / "Ramka odebrana" in ISO-8859-2 (ł is the byte 0xB3).
    static const char kSent[] = "Ramka wys\xB3" "ana";
    static const char kReceived[] = "Ramka odebrana";

    std::vector<uint8_t> frame;
    bool open = false;
    bool sent = false;
    std::string line;
    while (in) {
        if (!std::getline(in, line)) line.clear();
        if (line.find("$$") != std::string::npos) {
            sent = line.find("$$I") == std::string::npos;
            std::istringstream words(line);
            std::string tok;
            words >> tok >> tok;  // marker and offset column
            for (int i = 0; i < 16; ++i) {
                tok.clear();
                words >> tok;
                if (tok.size() < 2) break;
                frame.push_back(static_cast<uint8_t>(std::strtoul(tok.c_str(), nullptr, 16) & 0xFF));
            }
            open = true;
        } else if (open) {
            std::fputs(sent ? kSent : kReceived, out);
            std::fputc('\n', out);
            // A dump line may carry no byte at all: then there is nothing to
            // write (and no buffer to hand to fwrite).
            if (!frame.empty()) std::fwrite(frame.data(), 1, frame.size(), out);
            std::fputc('\n', out);
            std::fflush(out);
            frame.clear();
            open = false;
        }
    }
}

}  // namespace velsor
