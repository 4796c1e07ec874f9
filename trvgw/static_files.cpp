#include "static_files.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace trvgw {

namespace fs = std::filesystem;

std::string findWwwDir(const std::string& given) {
    std::error_code ec;
    if (!given.empty()) return fs::is_directory(given, ec) ? given : "";
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return "";
    for (const fs::path& dir : {exe.parent_path() / "www", exe.parent_path().parent_path() / "share" / "trvgw" / "www"})
        if (fs::exists(dir / "index.html", ec)) return dir.string();
    return "";
}

namespace {

const char* typeOf(const std::string& name) {
    static const std::map<std::string, const char*> types = {
        {".html", "text/html; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},   {".svg", "image/svg+xml"},
        {".png", "image/png"},                 {".txt", "text/plain; charset=utf-8"},
        {".lng", "text/plain; charset=utf-8"}};
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return nullptr;
    auto it = types.find(name.substr(dot));
    return it == types.end() ? nullptr : it->second;
}

bool plainName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name[0] == '.') return false;
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') return false;
    return true;
}

void serve(const std::string& dir, const std::string& name, http::Response& res) {
    const char* type = plainName(name) ? typeOf(name) : nullptr;
    std::error_code ec;
    const fs::path p = fs::path(dir) / name;
    std::ifstream f;
    if (type && fs::is_regular_file(p, ec)) f.open(p, std::ios::binary);
    if (!type || !f.is_open() || !f) {
        res.status = 404;
        res.contentType = "text/plain; charset=utf-8";
        res.body = "not found\n";
        return;
    }
    std::ostringstream s;
    s << f.rdbuf();
    res.body = s.str();
    res.contentType = type;
    // The page loads nothing from elsewhere and runs no inline script, and
    // the browser is told so: an injected text cannot become code.
    res.header("Content-Security-Policy",
               "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
               "connect-src 'self'; form-action 'self'; base-uri 'none'; frame-ancestors 'none'");
    res.header("X-Content-Type-Options", "nosniff");
    res.header("Referrer-Policy", "no-referrer");
    res.header("Cache-Control", "no-cache");
}

}  // namespace

void addStaticRoutes(http::Router& router, const std::string& dir, const std::string& langDir) {
    router.add("GET", "/", [dir](const http::Request&, http::Response& res) { serve(dir, "index.html", res); });
    router.add("GET", "/{file}",
               [dir](const http::Request& req, http::Response& res) {
                   const std::string& f = req.params.at("file");
                   serve(dir, f.size() > 4 && f.compare(f.size() - 4, 4, ".lng") == 0 ? "" : f, res);
               });
    router.add("GET", "/lang/{file}", [langDir](const http::Request& req, http::Response& res) {
        const std::string& f = req.params.at("file");
        const bool lng = !langDir.empty() && f.rfind("tarvik_", 0) == 0 && f.size() > 4 && f.compare(f.size() - 4, 4, ".lng") == 0;
        serve(lng ? langDir : "", lng ? f : "", res);
    });
}

}  // namespace trvgw
