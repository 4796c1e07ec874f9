#include "api.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <charconv>
#include <cstring>

#include "charset.h"

namespace trvgw {

using http::Request;
using http::Response;

namespace {

// ---- what the OpenAPI document says about each route --------------------

struct RouteDoc {
    std::string method, path, summary, scope;
    Json body;                     // request body schema, or null
    std::map<std::string, Json> responses;  // status: schema (null: no body)
    std::vector<Json> params;      // extra query or header parameters
};

std::vector<RouteDoc>& routeDocs() {
    static std::vector<RouteDoc> d;
    return d;
}

Json ref(const std::string& name) { return {{"$ref", "#/components/schemas/" + name}}; }

// ---- problems -----------------------------------------------------------

std::string hex(uint32_t v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%X", v);
    return b;
}

void libraryProblem(Response& res, int httpStatus, const std::string& slug, const std::string& title, uint32_t status,
                    const std::string& text, const std::string& argument) {
    Json extra = {{"library_status", status}, {"library_status_hex", hex(status)}, {"library_text", statusText(status)}};
    if (!argument.empty()) extra["argument"] = argument;
    problem(res, httpStatus, slug, title, text.empty() ? statusText(status) : text, extra);
}

// ---- small helpers ------------------------------------------------------

bool nestingTooDeep(const std::string& s, int limit) {
    int depth = 0;
    bool inString = false, escape = false;
    for (char c : s) {
        if (inString) {
            if (escape) escape = false;
            else if (c == '\\') escape = true;
            else if (c == '"') inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

// The body as a JSON object; a 4xx problem when it is not one.
bool jsonBody(const Request& req, Response& res, Json& out, bool allowEmpty = false) {
    if (req.body.empty() && allowEmpty) {
        out = Json::object();
        return true;
    }
    const std::string ct = req.header("Content-Type");
    if (ct.rfind("application/json", 0) != 0) {
        problem(res, 415, "unsupported-media-type", "Unsupported media type", "send the body as application/json");
        return false;
    }
    if (nestingTooDeep(req.body, 32)) {
        problem(res, 400, "malformed-json", "Malformed JSON", "the body is nested too deeply");
        return false;
    }
    out = Json::parse(req.body, nullptr, false);
    if (out.is_discarded()) {
        problem(res, 400, "malformed-json", "Malformed JSON", "the body is not valid JSON");
        return false;
    }
    if (!out.is_object()) {
        problem(res, 400, "malformed-json", "Malformed JSON", "the body must be a JSON object");
        return false;
    }
    return true;
}

bool onlyFields(const Json& body, std::initializer_list<const char*> known, Response& res) {
    for (auto it = body.begin(); it != body.end(); ++it) {
        bool ok = false;
        for (const char* k : known) ok = ok || it.key() == k;
        if (!ok) {
            problem(res, 422, "unknown-field", "Unknown field", "the field '" + it.key() + "' is not known here",
                    {{"argument", it.key()}});
            return false;
        }
    }
    return true;
}

std::optional<int64_t> parseInt(const std::string& s, int64_t lo, int64_t hi) {
    int64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || p != s.data() + s.size() || v < lo || v > hi) return std::nullopt;
    return v;
}

std::optional<int64_t> jobSeq(const std::string& id) {
    if (id.size() < 2 || id[0] != 'j') return std::nullopt;
    return parseInt(id.substr(1), 1, INT64_MAX);
}

// Prefer: wait=N (RFC 7240), in seconds.
double preferWait(const Request& req, double max) {
    const std::string p = req.header("Prefer");
    const size_t at = p.find("wait=");
    if (at == std::string::npos) return 0;
    size_t end = at + 5;
    while (end < p.size() && (std::isdigit(static_cast<unsigned char>(p[end])) || p[end] == '.')) ++end;
    try {
        return std::clamp(std::stod(p.substr(at + 5, end - at - 5)), 0.0, max);
    } catch (...) {
        return 0;
    }
}

bool isFiscal(const Call& c) {
    const std::string n = c.name;
    return !readsOnly(c) && (n.find("Fsk") != std::string::npos || n.find("Fisc") != std::string::npos ||
                             n == "TRVS_SaleRecDelAll");
}

unsigned scopeOf(const Call& c) { return readsOnly(c) ? kRead : isFiscal(c) ? kFiscal : kOperate; }

const char* scopeName(unsigned s) { return s == kRead ? "read" : s == kFiscal ? "fiscal" : "operate"; }

// ---- the tables as resources ---------------------------------------------

struct TableDef {
    const char* name;
    const char* read;       // TRVS_ reading one record
    const char* readKey;    // its key argument
    Json readExtra;         // its other arguments
    const char* write;      // TRVS_ writing one record
    const char* writeKey;
    Json fixed;             // arguments the resource sets itself
    Json defaults;          // arguments that may be left out
    std::vector<std::pair<const char*, const char*>> compare;  // written argument: read result
};

const std::vector<TableDef>& tables() {
    static const std::vector<TableDef> t = {
        {"articles", "TRVS_PLURead", "numer_rekordu", {{"z_kodem", 1}}, "TRVS_PLUIns", "numer_rekordu",
         {{"czy_nadpisac", 1}}, {{"czy_nadpisac_niezerowy", 0}},
         {{"nazwa", "nazwa"}, {"barcode", "kod_kreskowy_podstawowy"}, {"cena", "cena"}}},
        {"packagings", "TRVS_PackRead", "numer_rekordu", Json::object(), "TRVS_PackIns", "numer_rekordu",
         {{"czy_nadpisac", 1}}, {{"czy_niezerowy", 0}}, {{"nazwa", "nazwa"}, {"kod_kreskowy", "kod_kreskowy"}, {"cena", "cena"}}},
        {"users", "TRVS_UserRead", "numer_rekordu", Json::object(), "TRVS_UserIns", "numer_rekordu",
         {{"czy_nadpisac", 1}}, {{"czy_nadpisac_niezerowe", 0}}, {{"nazwa", "nazwa"}}},
        {"groups", "TRVS_GroupRead", "numer_rekordu", Json::object(), "TRVS_GroupIns", "numer_rekordu",
         {{"czy_nadpisac", 1}}, {{"czy_nadpisac_niezerowe", 0}}, {{"nazwa", "nazwa"}}},
        {"units", "TRVS_MURead", "numer_rekordu", Json::object(), "TRVS_MUIns", "numer_rekordu", {{"czy_nadpisac", 1}},
         Json::object(), {{"nazwa", "nazwa"}, {"skrot", "skrot"}}},
        {"payment-forms", "TRVS_PayformRead", "numer_rekordu", Json::object(), "TRVS_PayformIns", "numer_rekordu",
         {{"czy_nadpisac", 1}}, {{"czy_nadpisac_niezerowe", 0}}, {{"nazwa", "nazwa"}}},
        {"discounts", "TRVS_DiscntRead", "numer_rekordu", Json::object(), "TRVS_StdDiscntIns", "numer_rekordu",
         {{"czy_nadpisac", 1}}, {{"czy_nadpisac_niezerowe", 0}}, {{"nazwa", "nazwa"}}},
        {"code-formats", "TRVS_CodeFmtRead", "numer_rekordu", Json::object(), "TRVS_CodeFmtIns", "numer_rekordu",
         {{"czy_nadpisac", 1}}, Json::object(), {{"format", "format"}}},
        {"article-descriptions", "TRVS_PLUDescRead", "numer", Json::object(), "TRVS_PLUDescIns", "numer_rekordu",
         Json::object(), Json::object(), {{"komunikat", "komunikat"}}},
    };
    return t;
}

const TableDef* table(const std::string& name) {
    for (const TableDef& t : tables())
        if (name == t.name) return &t;
    return nullptr;
}

// ---- the API --------------------------------------------------------------

class Api {
public:
    Api(Gateway& gw, const ApiOptions& opt) : gw_(gw), opt_(opt) {}

    // Who is asking, if allowed `need`; else the response is the problem.
    // `scopes` (when given) receives what the asker may do.
    bool allow(const Request& req, Response& res, unsigned need, std::string& who, unsigned* scopes = nullptr) {
        if (scopes) *scopes = kRead | kOperate | kFiscal;
        if (req.remote == "unix" && opt_.unixTrusted) {
            who = "local socket";
            return true;
        }
        if (opt_.tokens.empty()) {
            who = "anonymous";
            return true;
        }
        const std::string auth = req.header("Authorization");
        const Token* found = nullptr;
        if (auth.size() > 7 && (auth.compare(0, 7, "Bearer ") == 0 || auth.compare(0, 7, "bearer ") == 0)) {
            // Compared as hashes, every token, in constant time.
            const std::string h = sha256Hex(auth.substr(7));
            for (const Token& t : opt_.tokens)
                if (t.sha256.size() == h.size() && CRYPTO_memcmp(t.sha256.data(), h.data(), h.size()) == 0) found = &t;
        }
        std::optional<Token> session;
        if (!found && auth.empty() && opt_.sessions && (session = opt_.sessions->find(req))) {
            // A cookie rides along with any request the browser makes: one
            // made by another site's page is refused.
            if (!sameOrigin(req)) {
                problem(res, 403, "cross-site", "Forbidden", "a request from another site's page");
                return false;
            }
            found = &*session;
        }
        if (!found) {
            problem(res, 401, "unauthorized", "Unauthorized", "a valid bearer token is needed");
            res.header("WWW-Authenticate", "Bearer realm=\"trvgw\"");
            return false;
        }
        if ((found->scopes & need) != need) {
            problem(res, 403, "forbidden", "Forbidden",
                    std::string("the token has no ") + scopeName(need) + " scope", {{"scope", scopeName(need)}});
            return false;
        }
        who = found->name;
        if (scopes) *scopes = found->scopes;
        return true;
    }

    static bool sameOrigin(const Request& req) {
        if (req.header("Sec-Fetch-Site") == "cross-site") return false;
        const std::string origin = req.header("Origin");
        return origin.empty() || origin == (req.tls ? "https://" : "http://") + req.header("Host");
    }

    static Json scopeList(unsigned scopes) {
        Json a = Json::array();
        for (unsigned s : {kRead, kOperate, kFiscal})
            if (scopes & s) a.push_back(scopeName(s));
        return a;
    }

    // The support page's sign-in: a token for a session cookie.
    void addSession(const std::function<void(const std::string&, const std::string&,
                                                                   const std::string&, const std::string&, Json,
                                                                   std::map<std::string, Json>, http::Handler)>& route) {
        const Json who = {{"type", "object"},
                          {"required", {"signed_in", "name", "scopes", "token_needed"}},
                          {"properties",
                           {{"signed_in", {{"type", "boolean"}}},
                            {"name", {{"type", "string"}}},
                            {"scopes", {{"type", "array"}, {"items", {{"enum", {"read", "operate", "fiscal"}}}}}},
                            {"token_needed", {{"type", "boolean"}}}}}};
        route("GET", "/v1/session", "Who is asking: the token's or the session's name and scopes", "", nullptr,
              {{"200", who}}, [this](const Request& req, Response& res) {
                  std::string name;
                  unsigned scopes = 0;
                  // Nobody signed in is an answer here, not an error: the page asks first.
                  const bool local = req.remote == "unix" && opt_.unixTrusted;
                  if (!local && !opt_.tokens.empty() && req.header("Authorization").empty() &&
                      !(opt_.sessions && opt_.sessions->find(req))) {
                      res.body = Json{{"signed_in", false}, {"name", ""}, {"scopes", Json::array()}, {"token_needed", true}}.dump();
                      return;
                  }
                  if (!allow(req, res, 0, name, &scopes)) return;
                  res.body = Json{{"signed_in", true}, {"name", name}, {"scopes", scopeList(scopes)},
                                  {"token_needed", !opt_.tokens.empty() && !local}}.dump();
              });
        route("POST", "/v1/session", "Signs in: the token becomes an HttpOnly, SameSite=Strict session cookie", "",
              {{"type", "object"}, {"required", {"token"}}, {"properties", {{"token", {{"type", "string"}}}}}},
              {{"200", who}}, [this](const Request& req, Response& res) {
                  Json body;
                  if (!jsonBody(req, res, body)) return;
                  if (!onlyFields(body, {"token"}, res)) return;
                  if (!body.contains("token") || !body["token"].is_string()) {
                      problem(res, 422, "invalid-argument", "Invalid sign-in", "token must be a string", {{"argument", "token"}});
                      return;
                  }
                  if (!sameOrigin(req)) {
                      problem(res, 403, "cross-site", "Forbidden", "a request from another site's page");
                      return;
                  }
                  if (opt_.tokens.empty() || !opt_.sessions) {
                      res.body = Json{{"signed_in", true}, {"name", "anonymous"}, {"scopes", scopeList(kRead | kOperate | kFiscal)},
                                      {"token_needed", false}}.dump();
                      return;
                  }
                  const std::string h = sha256Hex(body["token"].get<std::string>());
                  const Token* found = nullptr;
                  for (const Token& t : opt_.tokens)
                      if (t.sha256.size() == h.size() && CRYPTO_memcmp(t.sha256.data(), h.data(), h.size()) == 0) found = &t;
                  if (!found) {
                      problem(res, 401, "unauthorized", "Unauthorized", "that token is not known");
                      return;
                  }
                  res.header("Set-Cookie", Sessions::setCookie(opt_.sessions->create(*found), req.tls, opt_.sessions->lifetime()));
                  res.header("Cache-Control", "no-store");
                  res.body = Json{{"signed_in", true}, {"name", found->name}, {"scopes", scopeList(found->scopes)},
                                  {"token_needed", true}}.dump();
              });
        route("DELETE", "/v1/session", "Signs out: ends the session and clears its cookie", "", nullptr,
              {{"204", nullptr}}, [this](const Request& req, Response& res) {
                  if (opt_.sessions) opt_.sessions->remove(req);
                  res.status = 204;
                  res.contentType = "";
                  res.header("Set-Cookie", Sessions::clearCookie(req.tls));
              });
    }

    Register* regOf(const Request& req, Response& res) {
        Register* r = gw_.reg(req.params.at("reg"));
        if (!r) problem(res, 404, "no-such-register", "No such register", "no register " + req.params.at("reg"));
        return r;
    }

    // Creates the job and answers with it, after waiting as the client prefers.
    void submit(const Request& req, Response& res, Gateway::NewJob nj) {
        const std::string key = req.header("Idempotency-Key");
        if (key.empty() || key.size() > 200 ||
            std::any_of(key.begin(), key.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
            problem(res, 400, "idempotency-key-missing", "Idempotency-Key needed",
                    "a request that creates a job needs an Idempotency-Key header of 1 to 200 characters");
            return;
        }
        nj.key = key;
        nj.bodyHash = sha256Hex(req.method + " " + req.path + "\n" + nj.args.dump() + "\n" + nj.command);
        Job j;
        std::string why;
        const Gateway::Created c = gw_.create(nj, j, why);
        if (c == Gateway::Created::Conflict) {
            problem(res, 409, "idempotency-key-reused", "Idempotency-Key reused", why);
            return;
        }
        if (c == Gateway::Created::Refused) {
            problem(res, 503, "not-accepted", "Job not accepted", why);
            res.header("Retry-After", "5");
            return;
        }
        answerJob(req, res, j, c == Gateway::Created::New ? 201 : 200);
    }

    void answerJob(const Request& req, Response& res, Job j, int finishedStatus) {
        const double w = preferWait(req, opt_.maxWaitS);
        if (w > 0 && !j.final() && j.state != "unknown") {
            if (auto got = gw_.wait(j.seq, w)) j = *got;
            res.header("Preference-Applied", "wait=" + std::to_string(static_cast<int>(w)));
        }
        res.status = (j.final() || j.state == "unknown") ? finishedStatus : 202;
        res.header("Location", "/v1/jobs/" + j.id());
        res.body = Gateway::jobJson(j).dump();
    }

    // A read on the register, answered at once (nothing journaled).
    void directRead(Register& r, const Call& send, const Json& args, Response& res, Json* out = nullptr) {
        const Outcome o = r.read(send, args, r.config().answerMs + 2000);
        if (o.kind == Outcome::Done && o.status == 0) {
            if (out) *out = o.result;
            else res.body = o.result.dump();
            return;
        }
        if (!o.argument.empty() && o.status == TARVIK_STATUS_INVALIDARG) {
            libraryProblem(res, 422, "invalid-argument", "Invalid argument", o.status, o.text, o.argument);
        } else if (o.status == TARVIK_STATUS_EXEC_ERROR + 104) {
            libraryProblem(res, 404, "no-such-record", "No such record", o.status, "the register has no such record", "");
        } else if (o.status >= TARVIK_STATUS_EXEC_ERROR && o.status < TARVIK_STATUS_TRANS_ERROR + 0x10000) {
            libraryProblem(res, 422, "register-refused", "The register refused the command", o.status, o.text, o.argument);
        } else if (o.status > 0x10100 && o.status < 0x10200) {
            libraryProblem(res, 422, "invalid-argument", "Invalid argument", o.status, o.text, o.argument);
        } else {
            libraryProblem(res, 503, "register-unavailable", "The register did not answer", o.status, o.text, "");
            res.header("Retry-After", "2");
        }
    }

    // Checks arguments the way the register thread will, before the job is written.
    bool checkArgs(const Call& send, const Json& args, const std::string& charset, Response& res) {
        Slots s(send);
        if (auto err = fillSlots(send, args, charset, s)) {
            // The status libmirtel gives for that argument: 0x10100 + its
            // position (hDevice and phRequest first).
            const int i = send.field(err->argument);
            const uint32_t st = i >= 0 ? 0x10103u + static_cast<uint32_t>(i) : TARVIK_STATUS_INVALIDARG;
            Json extra = {{"library_status", st}, {"library_status_hex", hex(st)}, {"library_text", statusText(st)}};
            if (!err->argument.empty()) extra["argument"] = err->argument;
            problem(res, 422, "invalid-argument", "Invalid argument", err->argument + ": " + err->detail, extra);
            return false;
        }
        return true;
    }

    // A job for a libmirtel function by name.
    void commandJob(const Request& req, Response& res, Register& r, const std::string& name, const Json& args,
                    const std::string& kind) {
        const Call* c = findCall(name);
        if (!c || !c->sends) {
            problem(res, 404, "no-such-command", "No such command", "no sending libmirtel function " + name);
            return;
        }
        std::string who;
        if (!allow(req, res, scopeOf(*c), who)) return;
        if (!checkArgs(*c, args, r.config().charset, res)) return;
        Gateway::NewJob nj;
        nj.reg = r.id();
        nj.kind = kind;
        nj.command = c->name;
        nj.args = args;
        nj.idempotent = readsOnly(*c);
        nj.scope = scopeOf(*c);
        // What tells afterwards whether it ran, should its answer be lost.
        if (nj.command == "TRVS_RepFskDaily") {
            nj.readback = {{"before_read", {{"read", "TRVS_FiscMemStatus"}, {"counter", "rap_dobowe"}}},
                           {"read", "TRVS_FiscMemStatus"},
                           {"counter", "rap_dobowe"}};
        } else if (nj.command == "TRVS_SaleRecDelAll") {
            const uint32_t none = TARVIK_STATUS_EXEC_ERROR + 107;
            nj.readback = {{"before_read", {{"read", "TRVS_SaleRecGet"}, {"args", {{"sposob", 1}}}, {"keep", true}, {"empty_status", none}}},
                           {"read", "TRVS_SaleRecGet"},
                           {"args", {{"sposob", 1}}},
                           {"empty_status", none}};
        }
        submit(req, res, nj);
    }

    void add(http::Router& router) {
        auto route = [&](const std::string& method, const std::string& path, const std::string& summary,
                         const std::string& scope, Json body, std::map<std::string, Json> responses,
                         http::Handler h, std::vector<Json> params = {}) {
            router.add(method, path, std::move(h));
            routeDocs().push_back({method, path, summary, scope, std::move(body), std::move(responses), std::move(params)});
        };
        addSession([&](const std::string& m, const std::string& p, const std::string& sum, const std::string& sc,
                               Json b, std::map<std::string, Json> r, http::Handler h) {
            route(m, p, sum, sc, std::move(b), std::move(r), std::move(h));
        });
        const Json jobResponses = Json::object();
        const auto jobAnswers = std::map<std::string, Json>{
            {"200", ref("Job")}, {"201", ref("Job")}, {"202", ref("Job")}};

        route("GET", "/v1/health", "Liveness and a summary of the registers", "", nullptr, {{"200", ref("Health")}},
              [this](const Request&, Response& res) {
                  size_t online = 0;
                  for (auto& r : gw_.registers()) online += r->statusJson()["state"] == "online";
                  res.body = Json{{"status", gw_.draining() ? "draining" : "ok"},
                                  {"registers", gw_.registers().size()},
                                  {"online", online}}
                                 .dump();
              });

        route("GET", "/v1/openapi.json", "This description", "", nullptr, {{"200", {{"type", "object"}}}},
              [](const Request&, Response& res) {
                  static const std::string doc = openapiDocument().dump();
                  res.body = doc;
              });

        route("GET", "/v1/registers", "Every register and its connection state", "read", nullptr,
              {{"200", ref("RegisterList")}}, [this](const Request& req, Response& res) {
                  std::string who;
                  if (!allow(req, res, kRead, who)) return;
                  Json a = Json::array();
                  for (auto& r : gw_.registers()) a.push_back(r->statusJson());
                  res.body = Json{{"registers", a}}.dump();
              });

        route("GET", "/v1/registers/{reg}", "One register and its connection state", "read", nullptr,
              {{"200", ref("Register")}}, [this](const Request& req, Response& res) {
                  std::string who;
                  if (!allow(req, res, kRead, who)) return;
                  if (Register* r = regOf(req, res)) res.body = r->statusJson().dump();
              });

        route("GET", "/v1/registers/{reg}/status", "The register's own status, read now", "read", nullptr,
              {{"200", ref("TRVG_CashRegStatusGet.result")}}, [this](const Request& req, Response& res) {
                  std::string who;
                  if (!allow(req, res, kRead, who)) return;
                  if (Register* r = regOf(req, res)) directRead(*r, *findCall("TRVS_CashregStatusGet"), Json::object(), res);
              });

        route("GET", "/v1/commands", "Every libmirtel command that can be run by name", "read", nullptr,
              {{"200", ref("CommandList")}}, [this](const Request& req, Response& res) {
                  std::string who;
                  if (!allow(req, res, kRead, who)) return;
                  Json a = Json::array();
                  for (const Call& c : calls())
                      if (c.sends) a.push_back(commandJson(c, false));
                  res.body = Json{{"commands", a}}.dump();
              });

        route("GET", "/v1/commands/{name}", "One command: its arguments and results", "read", nullptr,
              {{"200", ref("Command")}}, [this](const Request& req, Response& res) {
                  std::string who;
                  if (!allow(req, res, kRead, who)) return;
                  const Call* c = findCall(req.params.at("name"));
                  if (!c || !c->sends) {
                      problem(res, 404, "no-such-command", "No such command", "no sending function " + req.params.at("name"));
                      return;
                  }
                  res.body = commandJson(*c, true).dump();
              });

        route("POST", "/v1/registers/{reg}/commands/{name}",
              "Runs a libmirtel command by name as a job; the body holds its named arguments", "read|operate|fiscal",
              {{"type", "object"}}, jobAnswers, [this](const Request& req, Response& res) {
                  Json body;
                  if (!jsonBody(req, res, body, true)) return;
                  if (Register* r = regOf(req, res)) commandJob(req, res, *r, req.params.at("name"), body, "command");
              });

        route("POST", "/v1/jobs", "Creates a job: a command with its arguments for a register", "read|operate|fiscal",
              ref("JobRequest"), jobAnswers, [this](const Request& req, Response& res) {
                  Json body;
                  if (!jsonBody(req, res, body)) return;
                  if (!onlyFields(body, {"register", "command", "args"}, res)) return;
                  if (!body.contains("register") || !body["register"].is_string() || !body.contains("command") ||
                      !body["command"].is_string()) {
                      problem(res, 422, "invalid-argument", "Invalid request", "register and command are needed as strings");
                      return;
                  }
                  Register* r = gw_.reg(body["register"]);
                  if (!r) {
                      problem(res, 404, "no-such-register", "No such register", "no register " + body["register"].get<std::string>());
                      return;
                  }
                  commandJob(req, res, *r, body["command"], body.value("args", Json::object()), "command");
              });

        route("GET", "/v1/jobs", "Jobs, by register and state, oldest first from a cursor", "read", nullptr,
              {{"200", ref("JobList")}}, [this](const Request& req, Response& res) {
                  std::string who;
                  if (!allow(req, res, kRead, who)) return;
                  auto after = parseInt(req.queryValue("after", "0"), 0, INT64_MAX);
                  auto limit = parseInt(req.queryValue("limit", "100"), 1, 1000);
                  const std::string state = req.queryValue("state");
                  static const std::set<std::string> states = {"", "queued", "sending", "succeeded", "failed",
                                                               "unknown", "settled", "cancelled"};
                  if (!after || !limit || !states.count(state)) {
                      problem(res, 400, "bad-query", "Bad query", "after >= 0, limit 1 to 1000, state one of the job states");
                      return;
                  }
                  Json a = Json::array();
                  int64_t last = *after;
                  for (const Job& j : gw_.store().jobs(req.queryValue("register"), state, *after, static_cast<size_t>(*limit))) {
                      Job cur = gw_.job(j.seq).value_or(j);
                      a.push_back(Gateway::jobJson(cur));
                      last = j.seq;
                  }
                  res.body = Json{{"jobs", a}, {"next", last}}.dump();
              },
              {{{"name", "register"}, {"in", "query"}, {"schema", {{"type", "string"}}}},
               {{"name", "state"}, {"in", "query"}, {"schema", {{"type", "string"}}}},
               {{"name", "after"}, {"in", "query"}, {"schema", {{"type", "integer"}, {"minimum", 0}}}},
               {{"name", "limit"}, {"in", "query"}, {"schema", {{"type", "integer"}, {"minimum", 1}, {"maximum", 1000}}}}});

        route("GET", "/v1/jobs/{id}", "One job; Prefer: wait=N waits up to N s for it to end", "read", nullptr,
              {{"200", ref("Job")}, {"202", ref("Job")}}, [this](const Request& req, Response& res) {
                  std::string who;
                  if (!allow(req, res, kRead, who)) return;
                  auto seq = jobSeq(req.params.at("id"));
                  auto j = seq ? gw_.job(*seq) : std::nullopt;
                  if (!j) {
                      problem(res, 404, "no-such-job", "No such job", "no job " + req.params.at("id"));
                      return;
                  }
                  answerJob(req, res, *j, 200);
              });

        route("POST", "/v1/jobs/{id}/cancel", "Cancels a job that is still queued", "operate", nullptr,
              {{"200", ref("Job")}}, [this](const Request& req, Response& res) {
                  std::string who;
                  if (!allow(req, res, kOperate, who)) return;
                  auto seq = jobSeq(req.params.at("id"));
                  Job j;
                  if (!seq || !gw_.job(*seq)) {
                      problem(res, 404, "no-such-job", "No such job", "no job " + req.params.at("id"));
                      return;
                  }
                  if (!gw_.cancel(*seq, j)) {
                      problem(res, 409, "not-cancellable", "Not cancellable",
                              "only a queued job can be cancelled; this one is " + j.state, {{"job", Gateway::jobJson(j)}});
                      return;
                  }
                  res.body = Gateway::jobJson(j).dump();
              });

        route("POST", "/v1/jobs/{id}/settle",
              "Settles an unknown job: a person's decision whether the register ran it (audited)", "operate",
              ref("Settlement"), {{"200", ref("Job")}}, [this](const Request& req, Response& res) {
                  auto seq = jobSeq(req.params.at("id"));
                  auto cur = seq ? gw_.job(*seq) : std::nullopt;
                  if (!cur) {
                      problem(res, 404, "no-such-job", "No such job", "no job " + req.params.at("id"));
                      return;
                  }
                  std::string who;
                  if (!allow(req, res, kOperate | cur->scope, who)) return;
                  Json body;
                  if (!jsonBody(req, res, body)) return;
                  if (!onlyFields(body, {"outcome", "note"}, res)) return;
                  const std::string outcome = body.value("outcome", "");
                  if (outcome != "done" && outcome != "not_done") {
                      problem(res, 422, "invalid-argument", "Invalid outcome", "outcome must be done or not_done",
                              {{"argument", "outcome"}});
                      return;
                  }
                  if (body.contains("note") && !body["note"].is_string()) {
                      problem(res, 422, "invalid-argument", "Invalid note", "note must be a string", {{"argument", "note"}});
                      return;
                  }
                  Job j;
                  std::string why;
                  if (!gw_.settle(*seq, outcome == "done", who, "operator", body.value("note", ""), j, why)) {
                      problem(res, 409, "not-settleable", "Not settleable", why, {{"job", Gateway::jobJson(j)}});
                      return;
                  }
                  res.body = Gateway::jobJson(j).dump();
              });

        route("GET", "/v1/jobs/{id}/settlements", "Who settled the job, how and when", "read", nullptr,
              {{"200", {{"type", "object"}}}}, [this](const Request& req, Response& res) {
                  std::string who;
                  if (!allow(req, res, kRead, who)) return;
                  auto seq = jobSeq(req.params.at("id"));
                  if (!seq || !gw_.job(*seq)) {
                      problem(res, 404, "no-such-job", "No such job", "no job " + req.params.at("id"));
                      return;
                  }
                  res.body = Json{{"settlements", gw_.store().settlements(*seq)}}.dump();
              });

        route("GET", "/v1/registers/{reg}/tables", "The tables that are resources", "read", nullptr,
              {{"200", {{"type", "object"}}}}, [this](const Request& req, Response& res) {
                  std::string who;
                  if (!allow(req, res, kRead, who) || !regOf(req, res)) return;
                  Json a = Json::array();
                  for (const TableDef& t : tables())
                      a.push_back({{"name", t.name}, {"read", t.read}, {"write", t.write}, {"key", t.readKey}});
                  res.body = Json{{"tables", a}}.dump();
              });

        auto getRecord = [this](const Request& req, Response& res, const std::string& tname) {
            std::string who;
            if (!allow(req, res, kRead, who)) return;
            Register* r = regOf(req, res);
            if (!r) return;
            const TableDef* t = table(tname);
            if (!t) {
                problem(res, 404, "no-such-table", "No such table", "no table " + tname);
                return;
            }
            auto key = parseInt(req.params.at("key"), 0, 65535);
            if (!key) {
                problem(res, 400, "bad-key", "Bad key", "a record number from 0 to 65535", {{"argument", "key"}});
                return;
            }
            Json args = t->readExtra;
            args[t->readKey] = *key;
            directRead(*r, *findCall(t->read), args, res);
        };
        auto putRecord = [this](const Request& req, Response& res, const std::string& tname) {
            Register* r = regOf(req, res);
            if (!r) return;
            const TableDef* t = table(tname);
            if (!t) {
                problem(res, 404, "no-such-table", "No such table", "no table " + tname);
                return;
            }
            std::string who;
            if (!allow(req, res, kOperate, who)) return;
            auto key = parseInt(req.params.at("key"), 0, 65535);
            if (!key) {
                problem(res, 400, "bad-key", "Bad key", "a record number from 0 to 65535", {{"argument", "key"}});
                return;
            }
            Json body;
            if (!jsonBody(req, res, body)) return;
            recordJob(req, res, *r, *t, *key, body);
        };
        route("GET", "/v1/registers/{reg}/tables/{table}/{key}", "Reads one record of a table", "read", nullptr,
              {{"200", {{"type", "object"}}}},
              [getRecord](const Request& req, Response& res) { getRecord(req, res, req.params.at("table")); });
        route("PUT", "/v1/registers/{reg}/tables/{table}/{key}",
              "Writes one whole record (a job; idempotent: writing it twice is writing it once)", "operate",
              {{"type", "object"}}, jobAnswers,
              [putRecord](const Request& req, Response& res) { putRecord(req, res, req.params.at("table")); });
        route("GET", "/v1/registers/{reg}/articles/{key}", "Reads one article (the articles table)", "read", nullptr,
              {{"200", ref("TRVG_PLURead.result")}},
              [getRecord](const Request& req, Response& res) { getRecord(req, res, "articles"); });
        route("PUT", "/v1/registers/{reg}/articles/{key}", "Writes one article (a job)", "operate",
              ref("TRVS_PLUIns.args"), jobAnswers,
              [putRecord](const Request& req, Response& res) { putRecord(req, res, "articles"); });

        route("POST", "/v1/registers/{reg}/tables/{table}/import",
              "Writes many records, one job each; the answer has a result per line", "operate", ref("ImportRequest"),
              {{"200", ref("ImportResult")}}, [this](const Request& req, Response& res) { importRecords(req, res); });

        route("POST", "/v1/registers/{reg}/reports/{name}",
              "Prints a report (a job): name is a report function such as RepPTU, or daily for RepFskDaily",
              "operate|fiscal", {{"type", "object"}}, jobAnswers, [this](const Request& req, Response& res) {
                  Register* r = regOf(req, res);
                  if (!r) return;
                  std::string name = req.params.at("name");
                  if (name == "daily") name = "RepFskDaily";
                  if (name.rfind("TRVS_", 0) != 0) name = "TRVS_" + name;
                  const Call* c = findCall(name);
                  if (!c || std::string_view(c->unit) != "reports") {
                      problem(res, 404, "no-such-report", "No such report", "no report " + req.params.at("name"));
                      return;
                  }
                  Json body;
                  if (!jsonBody(req, res, body, true)) return;
                  commandJob(req, res, *r, name, body, "report");
              });

        route("GET", "/v1/registers/{reg}/fiscal-memory", "The fiscal memory's counters, read now", "read", nullptr,
              {{"200", ref("TRVG_FiscMemStatus.result")}}, [this](const Request& req, Response& res) {
                  std::string who;
                  if (!allow(req, res, kRead, who)) return;
                  if (Register* r = regOf(req, res)) directRead(*r, *findCall("TRVS_FiscMemStatus"), Json::object(), res);
              });
        route("GET", "/v1/registers/{reg}/fiscal-memory/{key}", "One fiscal memory record, read now", "read", nullptr,
              {{"200", {{"type", "object"}}}}, [this](const Request& req, Response& res) {
                  std::string who;
                  if (!allow(req, res, kRead, who)) return;
                  Register* r = regOf(req, res);
                  if (!r) return;
                  auto key = parseInt(req.params.at("key"), 1, 65535);
                  if (!key) {
                      problem(res, 400, "bad-key", "Bad key", "a record number from 1 to 65535", {{"argument", "key"}});
                      return;
                  }
                  directRead(*r, *findCall("TRVS_FiscMemRead"), {{"numer_rekordu", *key}}, res);
              });

        auto journalPage = [this](const Request& req, Response& res, const std::string& reg) {
            std::string who;
            if (!allow(req, res, kRead, who)) return;
            auto after = parseInt(req.queryValue("after", "0"), 0, INT64_MAX);
            auto limit = parseInt(req.queryValue("limit", "100"), 1, 1000);
            if (!after || !limit) {
                problem(res, 400, "bad-query", "Bad query", "after >= 0 and limit 1 to 1000");
                return;
            }
            Json a = Json::array();
            int64_t last = *after;
            for (auto& r : gw_.store().journal(reg, *after, static_cast<size_t>(*limit))) {
                a.push_back({{"seq", r.seq}, {"register", r.reg}, {"collected", r.collected}, {"record", r.record}});
                last = r.seq;
            }
            res.body = Json{{"records", a}, {"next", last}}.dump();
        };
        const std::vector<Json> pageParams = {
            {{"name", "after"}, {"in", "query"}, {"schema", {{"type", "integer"}, {"minimum", 0}}}},
            {{"name", "limit"}, {"in", "query"}, {"schema", {{"type", "integer"}, {"minimum", 1}, {"maximum", 1000}}}}};
        route("GET", "/v1/journal", "The collected sale journal of every register, from a cursor", "read", nullptr,
              {{"200", ref("JournalPage")}},
              [journalPage](const Request& req, Response& res) { journalPage(req, res, req.queryValue("register")); },
              pageParams);
        route("GET", "/v1/registers/{reg}/journal", "The register's collected sale journal, from a cursor", "read",
              nullptr, {{"200", ref("JournalPage")}},
              [this, journalPage](const Request& req, Response& res) {
                  if (regOf(req, res)) journalPage(req, res, req.params.at("reg"));
              },
              pageParams);
        route("POST", "/v1/registers/{reg}/journal/collect",
              "Collects the sale journal now (and clears it on the register when configured, after the commit)",
              "operate", nullptr, {{"200", {{"type", "object"}}}}, [this](const Request& req, Response& res) {
                  std::string who;
                  if (!allow(req, res, kOperate, who)) return;
                  if (Register* r = regOf(req, res)) {
                      Json s = r->collectJournal();
                      if (s.contains("error")) {
                          problem(res, 503, "register-unavailable", "The journal was not collected", s["error"].get<std::string>(), s);
                          return;
                      }
                      res.body = s.dump();
                  }
              });

        route("GET", "/v1/events",
              "Server-Sent Events: job changes, card events, register states, journal collections; resumes after Last-Event-ID",
              "read", nullptr, {{"200", {{"type", "string"}}}}, [this](const Request& req, Response& res) { events(req, res); },
              {{{"name", "Last-Event-ID"}, {"in", "header"}, {"schema", {{"type", "string"}}}},
               {{"name", "register"}, {"in", "query"}, {"schema", {{"type", "string"}}}},
               {{"name", "types"}, {"in", "query"}, {"schema", {{"type", "string"}}}}});
    }

    Json commandJson(const Call& c, bool full) {
        Json o = {{"name", c.name}, {"id", c.command}, {"unit", c.unit}, {"reads_only", readsOnly(c)},
                  {"scope", scopeName(scopeOf(c))}};
        const Json& s = c.schema();
        if (s.contains("section")) o["section"] = s["section"];
        if (full) {
            o["args"] = s.value("schema", Json::object());
            if (const Call* r = readerFor(c)) o["result"] = r->schema().value("schema", Json::object());
            o["doc"] = s.value("doc", Json::array());
        }
        return o;
    }

    // The job that writes one record.
    bool recordArgs(const TableDef& t, int64_t key, const Json& body, Json& args, std::string& argument,
                    std::string& why) {
        args = t.defaults;
        for (auto it = body.begin(); it != body.end(); ++it) {
            if (it.key() == t.writeKey || t.fixed.contains(it.key())) {
                argument = it.key();
                why = "set by the resource itself";
                return false;
            }
            args[it.key()] = it.value();
        }
        for (auto it = t.fixed.begin(); it != t.fixed.end(); ++it) args[it.key()] = it.value();
        args[t.writeKey] = key;
        return true;
    }

    Json recordReadback(const TableDef& t, int64_t key, const Json& args) {
        Json expect = Json::object();
        for (auto& [w, r] : t.compare)
            if (args.contains(w)) expect[r] = args[w];
        Json readArgs = t.readExtra;
        readArgs[t.readKey] = key;
        return {{"read", t.read}, {"args", readArgs}, {"expect", expect}};
    }

    void recordJob(const Request& req, Response& res, Register& r, const TableDef& t, int64_t key, const Json& body) {
        Json args;
        std::string argument, why;
        if (!recordArgs(t, key, body, args, argument, why)) {
            problem(res, 422, "invalid-argument", "Invalid argument", argument + ": " + why, {{"argument", argument}});
            return;
        }
        const Call* w = findCall(t.write);
        if (!checkArgs(*w, args, r.config().charset, res)) return;
        Gateway::NewJob nj;
        nj.reg = r.id();
        nj.kind = std::string("table:") + t.name;
        nj.command = t.write;
        nj.args = args;
        nj.idempotent = true;  // a whole record: writing it again changes nothing more
        nj.scope = kOperate;
        nj.readback = recordReadback(t, key, args);
        submit(req, res, nj);
    }

    void importRecords(const Request& req, Response& res) {
        Register* r = regOf(req, res);
        if (!r) return;
        const TableDef* t = table(req.params.at("table"));
        if (!t) {
            problem(res, 404, "no-such-table", "No such table", "no table " + req.params.at("table"));
            return;
        }
        std::string who;
        if (!allow(req, res, kOperate, who)) return;
        const std::string key = req.header("Idempotency-Key");
        if (key.empty() || key.size() > 180) {
            problem(res, 400, "idempotency-key-missing", "Idempotency-Key needed",
                    "an import needs an Idempotency-Key header (each line's job gets KEY#LINE)");
            return;
        }
        Json body;
        if (!jsonBody(req, res, body)) return;
        if (!onlyFields(body, {"records"}, res)) return;
        if (!body.contains("records") || !body["records"].is_array() || body["records"].size() > 10000) {
            problem(res, 422, "invalid-argument", "Invalid import", "records must be a list of at most 10000 objects",
                    {{"argument", "records"}});
            return;
        }
        struct Line {
            size_t n;
            Json out;
            int64_t seq = 0;
        };
        std::vector<Line> lines;
        const Call* w = findCall(t->write);
        size_t n = 0;
        for (const Json& rec : body["records"]) {
            ++n;
            Line line{n, {{"line", n}}};
            Json args;
            std::string argument, why;
            if (!rec.is_object() || !rec.contains("key") || !rec["key"].is_number_unsigned() || rec["key"].get<uint64_t>() > 65535) {
                line.out["problem"] = {{"status", 422}, {"detail", "each record needs key, a record number 0 to 65535"}, {"argument", "key"}};
                lines.push_back(line);
                continue;
            }
            const int64_t k = rec["key"].get<int64_t>();
            Json fields = rec;
            fields.erase("key");
            Slots s(*w);
            std::optional<ArgError> bad;
            if (!recordArgs(*t, k, fields, args, argument, why)) bad = ArgError{argument, why};
            else bad = fillSlots(*w, args, r->config().charset, s);
            if (bad) {
                line.out["problem"] = {{"status", 422}, {"detail", bad->argument + ": " + bad->detail}, {"argument", bad->argument}};
                lines.push_back(line);
                continue;
            }
            Gateway::NewJob nj;
            nj.reg = r->id();
            nj.kind = std::string("table:") + t->name;
            nj.command = t->write;
            nj.args = args;
            nj.idempotent = true;
            nj.key = key + "#" + std::to_string(n);
            nj.bodyHash = sha256Hex("PUT /v1/registers/" + r->id() + "/tables/" + t->name + "/" + std::to_string(k) +
                                    "\n" + args.dump() + "\n" + nj.command);
            nj.readback = recordReadback(*t, k, args);
            Job j;
            std::string whyNot;
            const Gateway::Created c = gw_.create(nj, j, whyNot);
            if (c == Gateway::Created::Conflict || c == Gateway::Created::Refused) {
                line.out["problem"] = {{"status", c == Gateway::Created::Conflict ? 409 : 503}, {"detail", whyNot}};
            } else {
                line.seq = j.seq;
                line.out["job"] = j.id();
            }
            lines.push_back(line);
        }
        const double w8 = preferWait(req, opt_.maxWaitS);
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(w8);
        Json out = Json::array();
        size_t ok = 0, bad = 0, open = 0;
        for (Line& l : lines) {
            if (l.seq) {
                const double left = std::chrono::duration<double>(until - std::chrono::steady_clock::now()).count();
                auto j = left > 0 ? gw_.wait(l.seq, left) : gw_.job(l.seq);
                if (j) {
                    l.out["state"] = j->state;
                    if (j->status) l.out["status"] = j->status;
                    if (!j->statusText.empty()) l.out["text"] = j->statusText;
                    if (j->state == "succeeded") ++ok;
                    else if (j->final()) ++bad;
                    else ++open;
                }
            } else {
                ++bad;
            }
            out.push_back(l.out);
        }
        res.body = Json{{"lines", out}, {"succeeded", ok}, {"failed", bad}, {"pending", open}}.dump();
    }

    void events(const Request& req, Response& res) {
        std::string who;
        if (!allow(req, res, kRead, who)) return;
        std::string last = req.header("Last-Event-ID");
        if (last.empty()) last = req.queryValue("after");
        int64_t after = gw_.lastEvent();
        if (!last.empty()) {
            auto v = parseInt(last, 0, INT64_MAX);
            if (!v) {
                problem(res, 400, "bad-event-id", "Bad Last-Event-ID", "an event id is a number");
                return;
            }
            after = *v;
        }
        const std::string reg = req.queryValue("register");
        std::set<std::string> types;
        const std::string t = req.queryValue("types");
        for (size_t i = 0; i < t.size();) {
            size_t c = t.find(',', i);
            if (c == std::string::npos) c = t.size();
            types.insert(t.substr(i, c - i));
            i = c + 1;
        }
        res.contentType = "text/event-stream";
        Gateway* gw = &gw_;
        res.stream = [gw, after, reg, types](http::EventSink& sink) mutable {
            if (!sink.send("retry: 2000\n\n")) return;
            while (!gw->draining()) {
                auto evs = gw->eventsAfter(after, 10000);
                if (evs.empty()) {
                    if (!sink.send(": keep-alive\n\n")) return;
                    continue;
                }
                for (const auto& e : evs) {
                    after = e.seq;
                    if (!reg.empty() && e.reg != reg) continue;
                    if (!types.empty() && !types.count(e.type)) continue;
                    if (!sink.send("id: " + std::to_string(e.seq) + "\nevent: " + e.type + "\ndata: " + e.data.dump() + "\n\n"))
                        return;
                }
            }
        };
    }

private:
    Gateway& gw_;
    ApiOptions opt_;
};

}  // namespace

void problem(Response& res, int status, const std::string& slug, const std::string& title, const std::string& detail,
             const Json& extra) {
    Json p = {{"type", "urn:trvgw:problem:" + slug}, {"title", title}, {"status", status}, {"detail", detail}};
    for (auto it = extra.begin(); it != extra.end(); ++it) p[it.key()] = it.value();
    res.status = status;
    res.contentType = "application/problem+json";
    res.body = p.dump();
}

void addRoutes(http::Router& router, Gateway& gw, const ApiOptions& opt) {
    static std::unique_ptr<Api> api;  // one per process, as the daemon has one router
    api = std::make_unique<Api>(gw, opt);
    routeDocs().clear();
    api->add(router);
}

Json openapiDocument() {
    Json schemas = Json::object();
    const Json problemSchema = {
        {"type", "object"},
        {"required", {"type", "title", "status"}},
        {"properties",
         {{"type", {{"type", "string"}}},
          {"title", {{"type", "string"}}},
          {"status", {{"type", "integer"}}},
          {"detail", {{"type", "string"}}},
          {"library_status", {{"type", "integer"}, {"description", "the libtarvik / libmirtel status"}}},
          {"library_status_hex", {{"type", "string"}}},
          {"library_text", {{"type", "string"}}},
          {"argument", {{"type", "string"}, {"description", "the argument at fault"}}}}}};
    schemas["Problem"] = problemSchema;
    schemas["Job"] = {
        {"type", "object"},
        {"required", {"id", "register", "command", "state", "status"}},
        {"properties",
         {{"id", {{"type", "string"}, {"pattern", "^j[0-9]+$"}}},
          {"register", {{"type", "string"}}},
          {"kind", {{"type", "string"}}},
          {"command", {{"type", "string"}}},
          {"args", {{"type", "object"}}},
          {"state", {{"enum", {"queued", "sending", "succeeded", "failed", "unknown", "settled", "cancelled"}}}},
          {"meaning", {{"type", "string"}}},
          {"outcome", {{"enum", {"done", "not_done"}}}},
          {"settled_by", {{"type", "string"}}},
          {"note", {{"type", "string"}}},
          {"idempotent", {{"type", "boolean"}}},
          {"status", {{"type", "integer"}}},
          {"status_hex", {{"type", "string"}}},
          {"text", {{"type", "string"}}},
          {"argument", {{"type", "string"}}},
          {"result", {{"type", "object"}}},
          {"created", {{"type", "number"}}},
          {"updated", {{"type", "number"}}}}}};
    schemas["JobList"] = {{"type", "object"},
                          {"required", {"jobs", "next"}},
                          {"properties", {{"jobs", {{"type", "array"}, {"items", ref("Job")}}}, {"next", {{"type", "integer"}}}}}};
    schemas["JobRequest"] = {{"type", "object"},
                             {"required", {"register", "command"}},
                             {"additionalProperties", false},
                             {"properties",
                              {{"register", {{"type", "string"}}},
                               {"command", {{"type", "string"}}},
                               {"args", {{"type", "object"}}}}}};
    schemas["Settlement"] = {{"type", "object"},
                             {"required", {"outcome"}},
                             {"additionalProperties", false},
                             {"properties", {{"outcome", {{"enum", {"done", "not_done"}}}}, {"note", {{"type", "string"}}}}}};
    schemas["Register"] = {{"type", "object"},
                           {"required", {"id", "state"}},
                           {"properties",
                            {{"id", {{"type", "string"}}},
                             {"url", {{"type", "string"}}},
                             {"charset", {{"type", "string"}}},
                             {"state", {{"enum", {"opening", "online", "offline", "stopped"}}}},
                             {"since", {{"type", "number"}}},
                             {"last_status", {{"type", "integer"}}},
                             {"last_error", {{"type", "string"}}},
                             {"reopens", {{"type", "integer"}}},
                             {"queued", {{"type", "integer"}}},
                             {"busy", {{"type", "boolean"}}},
                             {"held_by", {{"type", "array"}, {"items", {{"type", "string"}}}}},
                             {"hold_after_unknown", {{"type", "boolean"}}},
                             {"journal", {{"type", "object"}}}}}};
    schemas["RegisterList"] = {{"type", "object"},
                               {"required", {"registers"}},
                               {"properties", {{"registers", {{"type", "array"}, {"items", ref("Register")}}}}}};
    schemas["Health"] = {{"type", "object"},
                         {"required", {"status"}},
                         {"properties",
                          {{"status", {{"enum", {"ok", "draining"}}}},
                           {"registers", {{"type", "integer"}}},
                           {"online", {{"type", "integer"}}}}}};
    schemas["Command"] = {{"type", "object"},
                          {"required", {"name", "id", "scope"}},
                          {"properties",
                           {{"name", {{"type", "string"}}},
                            {"id", {{"type", "integer"}}},
                            {"unit", {{"type", "string"}}},
                            {"section", {{"type", "string"}}},
                            {"reads_only", {{"type", "boolean"}}},
                            {"scope", {{"enum", {"read", "operate", "fiscal"}}}},
                            {"args", {{"type", "object"}}},
                            {"result", {{"type", "object"}}},
                            {"doc", {{"type", "array"}, {"items", {{"type", "string"}}}}}}}};
    schemas["CommandList"] = {{"type", "object"},
                              {"required", {"commands"}},
                              {"properties", {{"commands", {{"type", "array"}, {"items", ref("Command")}}}}}};
    schemas["JournalPage"] = {
        {"type", "object"},
        {"required", {"records", "next"}},
        {"properties",
         {{"records",
           {{"type", "array"},
            {"items",
             {{"type", "object"},
              {"properties",
               {{"seq", {{"type", "integer"}}},
                {"register", {{"type", "string"}}},
                {"collected", {{"type", "number"}}},
                {"record", {{"type", "object"}}}}}}}}},
          {"next", {{"type", "integer"}}}}}};
    schemas["ImportRequest"] = {
        {"type", "object"},
        {"required", {"records"}},
        {"properties", {{"records", {{"type", "array"}, {"items", {{"type", "object"}, {"required", {"key"}}}}}}}}};
    schemas["ImportResult"] = {{"type", "object"},
                               {"required", {"lines"}},
                               {"properties",
                                {{"lines", {{"type", "array"}, {"items", {{"type", "object"}}}}},
                                 {"succeeded", {{"type", "integer"}}},
                                 {"failed", {{"type", "integer"}}},
                                 {"pending", {{"type", "integer"}}}}}};
    // Every libmirtel function, from the generated schema.
    for (const Json& e : schemaDocument()) {
        Json s = e["schema"];
        if (e.contains("doc") && !e["doc"].empty()) {
            std::string d;
            for (const Json& l : e["doc"]) d += (d.empty() ? "" : " ") + l.get<std::string>();
            s["description"] = d;
        }
        schemas[e["name"].get<std::string>() + (e["direction"] == "send" ? ".args" : ".result")] = s;
    }

    Json paths = Json::object();
    for (const RouteDoc& d : routeDocs()) {
        std::string path = d.path;
        Json op = {{"summary", d.summary}, {"operationId", d.method + " " + d.path}};
        Json params = Json::array();
        size_t i = 0;
        while ((i = path.find('{', i)) != std::string::npos) {
            const size_t j = path.find('}', i);
            params.push_back({{"name", path.substr(i + 1, j - i - 1)}, {"in", "path"}, {"required", true},
                              {"schema", {{"type", "string"}}}});
            i = j;
        }
        for (const Json& p : d.params) params.push_back(p);
        const bool job = d.responses.count("201") > 0;
        if (job) {
            params.push_back({{"name", "Idempotency-Key"}, {"in", "header"}, {"required", true},
                              {"schema", {{"type", "string"}, {"minLength", 1}, {"maxLength", 200}}}});
        }
        if (job || d.path == "/v1/jobs/{id}")
            params.push_back({{"name", "Prefer"}, {"in", "header"}, {"schema", {{"type", "string"}, {"example", "wait=10"}}}});
        if (!params.empty()) op["parameters"] = params;
        if (!d.body.is_null())
            op["requestBody"] = {{"required", true}, {"content", {{"application/json", {{"schema", d.body}}}}}};
        Json responses = Json::object();
        for (const auto& [status, schema] : d.responses) {
            const std::string type = d.path == "/v1/events" ? "text/event-stream" : "application/json";
            responses[status] = {{"description", status == "202" ? "accepted, not finished yet" : "success"},
                                 {"content", {{type, {{"schema", schema}}}}}};
        }
        responses["default"] = {{"description", "a problem (RFC 9457)"},
                                {"content", {{"application/problem+json", {{"schema", ref("Problem")}}}}}};
        op["responses"] = responses;
        if (!d.scope.empty()) {
            op["security"] = Json::array({{{"bearer", Json::array()}}});
            op["x-scope"] = d.scope;
        } else {
            op["security"] = Json::array({Json::object()});
        }
        std::string method = d.method;
        std::transform(method.begin(), method.end(), method.begin(), ::tolower);
        paths[path][method] = op;
    }
    return {{"openapi", "3.1.0"},
            {"info",
             {{"title", "trvgw: the tarvik register gateway"},
              {"version", "1"},
              {"description",
               "Jobs are durable before they are sent. A job ends succeeded (done), failed (not done: safe to retry "
               "with a new Idempotency-Key), cancelled (not done) or unknown (the frame was written and the answer "
               "lost: never retried by itself; settled by a read-back or a person into settled done / not_done)."}}},
            {"paths", paths},
            {"components",
             {{"schemas", schemas},
              {"securitySchemes", {{"bearer", {{"type", "http"}, {"scheme", "bearer"}}}}}}}};
}

}  // namespace trvgw
