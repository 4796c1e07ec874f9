// Status texts from language files, and the library version.
//
// A language is the file "tarvik_<lang>.lng": one entry per line, the code
// in decimal at the very start, a run of tabs and spaces, then the text up
// to the line end. Other lines are skipped; the first line of a code wins.
// A language is read on its first use and kept until the library is
// unloaded, so the texts handed out never move or change. A language whose
// file did not open is not kept, and the next call looks for it again.
//
// Only regular files are read, opened without blocking, and no lock is held
// while a file is read: a FIFO or a device node named like a language file
// cannot hold up this call, nor any other thread's look-up.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "trvlib_boundary.h"
#include "trvlib_global.h"
#include "trvlib_sync.h"

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
    Mutex mutex;  // leaf; never held during file I/O
    std::vector<std::unique_ptr<LangList>> languages GUARDED_BY(mutex);
};

// Never destroyed: a thread still asking for a text while the process exits
// must not find the cache gone.
LangCache& cache() {
    static LangCache* c = new LangCache;
    return *c;
}

LangList* findLang(const std::string& lang, LangCache& c) REQUIRES(c.mutex) {
    for (auto& l : c.languages)
        if (l->lang == lang) return l.get();
    return nullptr;
}

const char* findEntry(uint32_t code, const LangList& language) {
    auto it = language.code_list.find(code);
    return it == language.code_list.end() ? nullptr : it->second.c_str();
}

// The contents of a regular file, read whole; false when there is no such
// file or it is something else (a FIFO, a device, a directory). The open
// does not block and follows no controlling-terminal rules.
bool readRegularFile(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    out.clear();
    char buf[8192];
    while (true) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;  // end of file, or a read error: what was read stays
    }
    ::close(fd);
    return true;
}

// One language from the text of its file.
std::unique_ptr<LangList> ParseLanguage(const std::string& text, const std::string& lang) {
    auto language = std::make_unique<LangList>();
    language->lang = lang;
    size_t from = 0;
    while (from < text.size()) {
        size_t eol = text.find('\n', from);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(from, eol - from);
        from = eol + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();  // CRLF files
        size_t p = 0;
        while (p < line.size() && line[p] >= '0' && line[p] <= '9') ++p;
        const int code = stringtoi(line.substr(0, p));
        if (code < 0) continue;  // no number at the start, or too large
        while (p < line.size() && (line[p] == ' ' || line[p] == '\t')) ++p;
        language->code_list.emplace(static_cast<uint32_t>(code), line.substr(p));
    }
    return language;
}

// Where "tarvik_<lang>.lng" is looked for, in order: only the directory
// named by TARVIK_LIB_SHARE_DIR when that is set and not empty; otherwise
// the current directory, then the installed data directory.
std::vector<std::string> languageFiles(const std::string& lang) {
    const std::string name = "tarvik_" + lang + ".lng";
    const char* env = std::getenv("TARVIK_LIB_SHARE_DIR");
    if (env && *env) {
        std::string dir(env);
        if (dir.back() != '/') dir += '/';
        return {dir + name};
    }
    return {name, std::string(TARVIK_LANG_DIR) + "/" + name};
}

// The first of the candidate files that is a regular file, parsed.
std::unique_ptr<LangList> LoadLanguage(const std::string& lang) {
    std::string text;
    for (const std::string& path : languageFiles(lang))
        if (readRegularFile(path, text)) return ParseLanguage(text, lang);
    return nullptr;
}

}  // namespace

extern "C" {

TARVIK_API const char* TRV_GetErrorString(TARVIK_STATUS code, const char* lang) {
    if (!lang) return nullptr;
    return guarded([&]() -> const char* {
        LangCache& c = cache();
        const std::string name(lang);
        {
            MutexLock lk(c.mutex);
            if (LangList* language = findLang(name, c)) return findEntry(code, *language);
        }
        // Read without the lock; when two threads load one language at once,
        // the first to finish is kept and the other's copy is dropped, so
        // every caller sees the same texts.
        std::unique_ptr<LangList> loaded = LoadLanguage(name);
        if (!loaded) return nullptr;
        MutexLock lk(c.mutex);
        LangList* language = findLang(name, c);
        if (!language) {
            c.languages.push_back(std::move(loaded));
            language = c.languages.back().get();
        }
        return findEntry(code, *language);
    });
}

TARVIK_API uint32_t TRV_GetLibraryVersion(void) { return TARVIK_VERSION; }

}
