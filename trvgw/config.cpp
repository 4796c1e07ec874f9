#include "config.h"

#include <openssl/evp.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "charset.h"

namespace trvgw {

using Json = nlohmann::json;

namespace {

std::map<std::string, std::string> queryOf(const std::string& q, const std::string& url) {
    std::map<std::string, std::string> out;
    size_t i = 0;
    while (i < q.size()) {
        size_t amp = q.find('&', i);
        if (amp == std::string::npos) amp = q.size();
        const std::string part = q.substr(i, amp - i);
        const size_t eq = part.find('=');
        if (eq == std::string::npos || eq == 0) throw std::runtime_error("bad option '" + part + "' in " + url);
        std::string v;
        if (!http::percentDecode(part.substr(eq + 1), v, false)) throw std::runtime_error("bad escape in " + url);
        out[part.substr(0, eq)] = v;
        i = amp + 1;
    }
    return out;
}

// The known keys of an object; anything else is a mistake worth telling.
void onlyKeys(const Json& j, const std::set<std::string>& keys, const std::string& where) {
    if (!j.is_object()) throw std::runtime_error(where + " must be an object");
    for (auto it = j.begin(); it != j.end(); ++it)
        if (!keys.count(it.key())) throw std::runtime_error(where + ": unknown setting '" + it.key() + "'");
}

template <class T>
T number(const Json& j, const std::string& key, T dflt, T lo, T hi, const std::string& where) {
    if (!j.contains(key)) return dflt;
    const Json& v = j[key];
    if (!v.is_number_integer() || v.get<int64_t>() < static_cast<int64_t>(lo) || v.get<int64_t>() > static_cast<int64_t>(hi))
        throw std::runtime_error(where + "." + key + " must be an integer from " + std::to_string(lo) + " to " +
                                 std::to_string(hi));
    return static_cast<T>(v.get<int64_t>());
}

bool boolean(const Json& j, const std::string& key, bool dflt, const std::string& where) {
    if (!j.contains(key)) return dflt;
    if (!j[key].is_boolean()) throw std::runtime_error(where + "." + key + " must be true or false");
    return j[key].get<bool>();
}

std::string text(const Json& j, const std::string& key, const std::string& dflt, const std::string& where) {
    if (!j.contains(key)) return dflt;
    if (!j[key].is_string()) throw std::runtime_error(where + "." + key + " must be a string");
    return j[key].get<std::string>();
}

bool validId(const std::string& id) {
    if (id.empty() || id.size() > 64) return false;
    for (char c : id)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_' && c != '.') return false;
    return id != "." && id != "..";
}

}  // namespace

Connection parseConnection(const std::string& url) {
    Connection c;
    c.url = url;
    const size_t colon = url.find("://");
    if (colon == std::string::npos) throw std::runtime_error("'" + url + "' is not a connection URL (tcp://, serial://, usb://, modem://)");
    const std::string scheme = url.substr(0, colon);
    std::string rest = url.substr(colon + 3);
    std::string query;
    if (const size_t q = rest.find('?'); q != std::string::npos) {
        query = rest.substr(q + 1);
        rest = rest.substr(0, q);
    }
    auto opts = queryOf(query, url);
    auto take = [&](const std::string& k, const std::string& d) {
        auto it = opts.find(k);
        if (it == opts.end()) return d;
        std::string v = it->second;
        opts.erase(it);
        return v;
    };
    if (scheme == "tcp") {
        c.kind = Connection::Kind::Tcp;
        if (!rest.empty() && rest.back() == '/') rest.pop_back();
        if (!rest.empty() && rest[0] == '[') {
            const size_t close = rest.find(']');
            if (close == std::string::npos) throw std::runtime_error("bad address in " + url);
            c.host = rest.substr(1, close - 1);
            if (close + 1 < rest.size() && rest[close + 1] == ':') c.port = rest.substr(close + 2);
        } else {
            const size_t p = rest.rfind(':');
            c.host = rest.substr(0, p);
            if (p != std::string::npos) c.port = rest.substr(p + 1);
        }
        if (c.host.empty()) throw std::runtime_error("no host in " + url);
        if (!c.port.empty()) {
            for (char ch : c.port)
                if (ch < '0' || ch > '9') throw std::runtime_error("bad port in " + url);
            if (c.port.size() > 5 || std::stoi(c.port) < 1 || std::stoi(c.port) > 65535)
                throw std::runtime_error("bad port in " + url);
        }
    } else if (scheme == "serial" || scheme == "modem" || scheme == "usb") {
        c.kind = scheme == "serial" ? Connection::Kind::Serial
                 : scheme == "modem" ? Connection::Kind::Modem
                                     : Connection::Kind::Usb;
        c.device = rest;
        if (c.device.empty()) throw std::runtime_error("no " + std::string(scheme == "usb" ? "serial number" : "device") + " in " + url);
        c.lineSettings = take("baud", "9600") + "," + take("bits", "8") + "," + take("parity", "N") + "," +
                         take("stop", "1") + "," + take("flow", "N");
        if (c.kind == Connection::Kind::Modem) {
            c.number = take("number", "");
            c.init = take("init", "");
            if (c.number.empty()) throw std::runtime_error("modem:// needs number= in " + url);
        }
    } else {
        throw std::runtime_error("unknown connection kind '" + scheme + "' in " + url);
    }
    if (!opts.empty()) throw std::runtime_error("unknown option '" + opts.begin()->first + "' in " + url);
    return c;
}

void parseListen(const std::string& text, http::Listen& l) {
    std::string host, port;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            throw std::runtime_error("bad listen address '" + text + "'");
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else {
        const size_t c = text.rfind(':');
        if (c == std::string::npos) throw std::runtime_error("listen address '" + text + "' has no :PORT");
        host = text.substr(0, c);
        port = text.substr(c + 1);
    }
    if (host.empty() || port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(port) > 65535)
        throw std::runtime_error("bad listen address '" + text + "'");
    l.host = host;
    l.port = std::stoi(port);
}

unsigned parseScopes(const std::vector<std::string>& names) {
    unsigned s = 0;
    for (const std::string& n : names) {
        if (n == "read") s |= kRead;
        else if (n == "operate") s |= kOperate;
        else if (n == "fiscal") s |= kFiscal;
        else throw std::runtime_error("unknown scope '" + n + "' (read, operate, fiscal)");
    }
    return s;
}

std::string sha256Hex(const std::string& t) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned n = 0;
    EVP_Digest(t.data(), t.size(), md, &n, EVP_sha256(), nullptr);
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < n; ++i) {
        out.push_back(hex[md[i] >> 4]);
        out.push_back(hex[md[i] & 15]);
    }
    return out;
}

Config loadConfig(const std::string& path) {
    std::ifstream f(path);
    if (!f) throw std::runtime_error("cannot read " + path);
    std::stringstream ss;
    ss << f.rdbuf();
    Json j;
    try {
        j = Json::parse(ss.str());
    } catch (const std::exception& e) {
        throw std::runtime_error(path + ": not JSON: " + e.what());
    }
    Config c;
    onlyKeys(j, {"listen", "unix_socket", "tls", "database", "tokens", "http", "registers", "drain_timeout_s",
                 "max_jobs_queued", "chain"},
             "configuration");
    if (j.contains("listen")) parseListen(text(j, "listen", "", "configuration"), c.listen);
    if (j.contains("unix_socket")) {
        const Json& u = j["unix_socket"];
        onlyKeys(u, {"path", "mode"}, "unix_socket");
        c.listen.unixPath = text(u, "path", "", "unix_socket");
        const std::string mode = text(u, "mode", "0660", "unix_socket");
        if (mode.empty() || mode.find_first_not_of("01234567") != std::string::npos || mode.size() > 4)
            throw std::runtime_error("unix_socket.mode must be octal, such as 0660");
        c.listen.unixMode = static_cast<unsigned>(std::stoul(mode, nullptr, 8));
        if (c.listen.unixPath.empty()) throw std::runtime_error("unix_socket.path is empty");
    }
    if (j.contains("tls")) {
        const Json& t = j["tls"];
        onlyKeys(t, {"cert", "key", "client_ca"}, "tls");
        c.listen.tlsCert = text(t, "cert", "", "tls");
        c.listen.tlsKey = text(t, "key", "", "tls");
        c.listen.tlsClientCa = text(t, "client_ca", "", "tls");
        if (c.listen.tlsCert.empty() || c.listen.tlsKey.empty()) throw std::runtime_error("tls needs cert and key");
        for (const std::string* p : {&c.listen.tlsCert, &c.listen.tlsKey})
            if (!std::ifstream(*p)) throw std::runtime_error("cannot read " + *p);
        if (!c.listen.tlsClientCa.empty() && !std::ifstream(c.listen.tlsClientCa))
            throw std::runtime_error("cannot read " + c.listen.tlsClientCa);
    }
    c.database = text(j, "database", c.database, "configuration");
    c.drainTimeoutS = number<uint32_t>(j, "drain_timeout_s", 30, 0, 3600, "configuration");
    c.maxJobsQueued = number<size_t>(j, "max_jobs_queued", 10000, 1, 1000000, "configuration");
    if (j.contains("http")) {
        const Json& h = j["http"];
        onlyKeys(h, {"threads", "keep_alive_s", "read_timeout_s", "max_body", "max_headers", "max_header_bytes",
                     "max_streams"},
                 "http");
        c.limits.threads = number<size_t>(h, "threads", c.limits.threads, 4, 4096, "http");
        c.limits.keepAliveSec = number<int>(h, "keep_alive_s", c.limits.keepAliveSec, 0, 300, "http");
        c.limits.readTimeoutSec = number<int>(h, "read_timeout_s", c.limits.readTimeoutSec, 1, 300, "http");
        c.limits.maxBody = number<size_t>(h, "max_body", c.limits.maxBody, 1024, 256u << 20, "http");
        c.limits.maxHeaders = number<size_t>(h, "max_headers", c.limits.maxHeaders, 8, 1000, "http");
        c.limits.maxHeaderBytes = number<size_t>(h, "max_header_bytes", c.limits.maxHeaderBytes, 1024, 1 << 20, "http");
        c.limits.maxStreams = number<size_t>(h, "max_streams", std::min<size_t>(c.limits.maxStreams, c.limits.threads / 4),
                                             0, 4096, "http");
        if (c.limits.maxStreams + 4 > c.limits.threads)
            throw std::runtime_error("http.max_streams must leave threads for requests (at least 4 fewer than http.threads)");
    }
    if (j.contains("tokens")) {
        if (!j["tokens"].is_array()) throw std::runtime_error("tokens must be a list");
        for (const Json& t : j["tokens"]) {
            onlyKeys(t, {"name", "sha256", "scopes"}, "token");
            Token tok;
            tok.name = text(t, "name", "", "token");
            tok.sha256 = text(t, "sha256", "", "token");
            if (tok.sha256.size() != 64 || tok.sha256.find_first_not_of("0123456789abcdef") != std::string::npos)
                throw std::runtime_error("token " + tok.name + ": sha256 must be 64 lower-case hex digits (trvgw --hash-token)");
            if (!t.contains("scopes") || !t["scopes"].is_array()) throw std::runtime_error("token " + tok.name + ": scopes must be a list");
            tok.scopes = parseScopes(t["scopes"].get<std::vector<std::string>>());
            c.tokens.push_back(tok);
        }
    }
    if (!j.contains("registers") || !j["registers"].is_array() || j["registers"].empty())
        throw std::runtime_error("registers: a list of at least one register is needed");
    std::set<std::string> ids;
    for (const Json& r : j["registers"]) {
        RegisterConfig rc;
        rc.id = text(r, "id", "", "register");
        const std::string where = "register " + rc.id;
        onlyKeys(r, {"id", "url", "charset", "timeouts", "hold_after_unknown", "journal"}, where);
        if (!validId(rc.id)) throw std::runtime_error("register id '" + rc.id + "': letters, digits, - _ . (at most 64)");
        if (!ids.insert(rc.id).second) throw std::runtime_error("register id '" + rc.id + "' given twice");
        rc.conn = parseConnection(text(r, "url", "", where));
        rc.charset = chooseCharset(text(r, "charset", "", where));
        if (!charsetKnown(rc.charset)) throw std::runtime_error(where + ": unknown character set " + rc.charset);
        if (r.contains("timeouts")) {
            const Json& t = r["timeouts"];
            onlyKeys(t, {"answer_ms", "print_ms"}, where + ".timeouts");
            rc.answerMs = number<uint32_t>(t, "answer_ms", rc.answerMs, 100, 3600000, where + ".timeouts");
            rc.printMs = number<uint32_t>(t, "print_ms", rc.printMs, 100, 3600000, where + ".timeouts");
        }
        rc.holdAfterUnknown = boolean(r, "hold_after_unknown", true, where);
        if (r.contains("journal")) {
            const Json& jn = r["journal"];
            onlyKeys(jn, {"collect", "interval_s", "delete_after_commit"}, where + ".journal");
            rc.collectJournal = boolean(jn, "collect", false, where + ".journal");
            rc.journalIntervalS = number<uint32_t>(jn, "interval_s", 60, 1, 86400, where + ".journal");
            rc.journalDelete = boolean(jn, "delete_after_commit", false, where + ".journal");
        }
        c.registers.push_back(rc);
    }
    if (j.contains("chain")) {
        c.chain = parseChainConfig(j["chain"]);
        // A register's id is one token of the subjects it publishes on.
        for (const RegisterConfig& rc : c.registers)
            if (c.chain.enabled && rc.id.find('.') != std::string::npos)
                throw std::runtime_error("register id '" + rc.id + "': no '.' when the chain section is on");
    }
    return c;
}

}  // namespace trvgw
