// Status texts from language files, and the library version.
//
// A language is the file "tarvik_<lang>.lng": one entry per line, the code
// in decimal at the very start, a run of tabs and spaces, then the text up
// to the line end. Other lines are skipped; the first line of a code wins.
// A language is read on its first use and kept until the library is
// unloaded, so the texts handed out never move or change. A language whose
// file did not open is not kept, and the next call looks for it again.
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "trvlib_boundary.h"
#include "trvlib_global.h"

#ifndef TARVIK_LANG_DIR
#define TARVIK_LANG_DIR "/usr/share/tarvik"
#endif

using namespace trv;

namespace {

struct LangList {
    std::string lang;  // exactly as the caller named it
    // Node-based, so a text keeps its address however many entries follow;
    // emplace keeps the first text of a code.
    std::unordered_map<uint32_t, std::string> code_list;
};

struct LangCache {
    std::mutex mutex;
    std::vector<std::unique_ptr<LangList>> languages;  // guarded by mutex
};

// Never destroyed: a thread still asking for a text while the process exits
// must not find the cache gone.
LangCache& cache() {
    static LangCache* c = new LangCache;
    return *c;
}

LangList* findLang(const std::string& lang, LangCache& c) {
    for (auto& l : c.languages)
        if (l->lang == lang) return l.get();
    return nullptr;
}

const char* findEntry(uint32_t code, const LangList& language) {
    auto it = language.code_list.find(code);
    return it == language.code_list.end() ? nullptr : it->second.c_str();
}

// Reads one file into a new language of the cache; nothing is added when the
// file does not open. A read error ends the reading and keeps what was read.
void LoadLanguage(const std::string& fileName, const std::string& lang, LangCache& c) {
    std::ifstream in(fileName, std::ios::in | std::ios::binary);
    if (!in.is_open()) return;
    auto language = std::make_unique<LangList>();
    language->lang = lang;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // CRLF files
        size_t p = 0;
        while (p < line.size() && line[p] >= '0' && line[p] <= '9') ++p;
        const int code = stringtoi(line.substr(0, p));
        if (code < 0) continue;  // no number at the start, or too large
        while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
        language->code_list.emplace(static_cast<uint32_t>(code), line.substr(p));
    }
    c.languages.push_back(std::move(language));
}

bool fileExists(const std::string& path) {
    std::ifstream f(path);
    return f.is_open();
}

// Where "tarvik_<lang>.lng" is read from: the directory named by
// TARVIK_LIB_SHARE_DIR when that is set and not empty; otherwise the current
// directory, and failing that the installed data directory.
std::string languageFile(const std::string& lang) {
    const std::string name = "tarvik_" + lang + ".lng";
    const char* env = std::getenv("TARVIK_LIB_SHARE_DIR");
    if (env && *env) {
        std::string dir(env);
        if (dir.back() != '/') dir += '/';
        return dir + name;
    }
    if (fileExists(name)) return name;
    return std::string(TARVIK_LANG_DIR) + "/" + name;
}

}  // namespace

extern "C" {

TARVIK_API const char* TRV_GetErrorString(TARVIK_STATUS code, const char* lang) {
    if (!lang) return nullptr;
    return guarded([&]() -> const char* {
        LangCache& c = cache();
        std::lock_guard<std::mutex> lk(c.mutex);
        const std::string name(lang);
        LangList* language = findLang(name, c);
        if (!language) {
            LoadLanguage(languageFile(name), name, c);
            language = findLang(name, c);
        }
        return language ? findEntry(code, *language) : nullptr;
    });
}

TARVIK_API uint32_t TRV_GetLibraryVersion(void) { return 0x01000486u; }

}
