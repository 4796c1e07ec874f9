// Texts between the API (UTF-8) and a register's character set, with iconv
// both ways. A character the register's set cannot hold is refused, never
// replaced.
#pragma once

#include <optional>
#include <string>

namespace trvgw {

// The character set: the explicit setting, else $TARVIK_CHARSET, else CP1250.
std::string chooseCharset(const std::string& configured);
// True when iconv knows the set (both directions).
bool charsetKnown(const std::string& charset);
// UTF-8 into the register's bytes; nullopt when a character cannot be
// represented or the input is not UTF-8.
std::optional<std::string> toRegister(const std::string& utf8, const std::string& charset);
// The register's bytes into UTF-8 (bytes that do not decode are refused too).
std::optional<std::string> fromRegister(const std::string& bytes, const std::string& charset);

}  // namespace trvgw
