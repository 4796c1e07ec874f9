// Character sets: trvctl works in UTF-8 inside; the register keeps its texts
// in a single-byte character set of its own (CP1250 unless --charset or
// TARVIK_CHARSET says otherwise), and CSV files may come in another encoding
// than UTF-8. Conversions go through glibc's iconv.
#pragma once

#include <string>

namespace trvctl {

// The register's character set: --charset, else TARVIK_CHARSET, else CP1250.
// Throws UsageError when iconv does not know the name.
void setRegisterCharset(const std::string& name);
const std::string& registerCharset();

// UTF-8 text as the register's bytes. False when the text is not valid UTF-8
// or holds a character the register's set cannot represent; `error` then
// names the character ("'😀' (U+1F600) is not in CP1250").
bool toRegister(const std::string& utf8, std::string& out, std::string& error);
// The register's bytes as UTF-8; a byte the set does not define becomes
// U+FFFD.
std::string fromRegister(const std::string& bytes);

// Whether the text is valid UTF-8; `at` gets the offset of the first bad byte.
bool validUtf8(const std::string& s, size_t* at = nullptr);
// Characters (not bytes) of UTF-8 text.
size_t utf8Length(const std::string& s);

// The encoding of a CSV file: UTF-8 (a byte order mark is passed over on
// reading; written only for "utf-8-bom"), or any single-byte set iconv knows
// (cp1250, iso-8859-2, ...).
struct Encoding {
    std::string name = "UTF-8";  // as iconv knows it
    bool utf8 = true;
    bool bom = false;            // write a byte order mark
};
// Throws UsageError for a name iconv does not know.
Encoding parseEncoding(const std::string& name);

// One line of a file as UTF-8 / UTF-8 as the file's bytes. False with a
// reason when a byte or character does not convert.
bool decodeText(const Encoding& e, const std::string& in, std::string& utf8, std::string& error);
bool encodeText(const Encoding& e, const std::string& utf8, std::string& out, std::string& error);

}  // namespace trvctl
