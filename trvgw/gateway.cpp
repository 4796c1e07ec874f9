#include "gateway.h"

#include <algorithm>
#include <cstring>
#include <regex>

#include "charset.h"
#include "tarvik/mirtel.h"

namespace trvgw {

namespace {

using Clock = std::chrono::steady_clock;

// The answers whose body depends on a type read first (sale journal, fiscal
// memory, hotkeys): the type reader, its type output, and the body reader
// of each type.
struct TypeMap {
    const char* sender;
    const char* typeReader;
    const char* typeField;
    std::map<unsigned, std::pair<const char*, const char*>> types;  // code: label, reader
};

const std::vector<TypeMap>& typeMaps() {
    static const std::vector<TypeMap> m = {
        {"TRVS_SaleRecGet", "TRVG_SaleRecGetType", "typ",
         {{1, {"daily fiscal record", "TRVG_SaleRecGetFiscal"}},
          {2, {"finished receipt", "TRVG_v2_SaleRecGetFinished"}},
          {3, {"cancelled receipt", "TRVG_v2_SaleRecGetCancelled"}},
          {4, {"article line", "TRVG_v2_SaleRecGetPLUSet"}},
          {5, {"set line", "TRVG_v2_SaleRecGetPLUSet"}},
          {6, {"packaging", "TRVG_SaleRecGetPack"}},
          {7, {"payment", "TRVG_SaleRecGetPayformEx"}},
          {8, {"currency payment", "TRVG_SaleRecGetCurrencyEx"}},
          {9, {"discount or markup", "TRVG_SaleRecGetRebate"}},
          {10, {"article discount", "TRVG_SaleRecGetRebateMN"}},
          {11, {"cashback", "TRVG_SaleRecGetCashback"}},
          {12, {"authorisation", "TRVG_SaleRecGetAuthorize"}},
          {13, {"order line", "TRVG_SaleRecGetOrderPluPack"}},
          {14, {"inventory line", "TRVG_v2_SaleRecGetInventoryPluPack"}}}},
        {"TRVS_FiscMemRead", "TRVG_FiscMemReadType", "typ",
         {{1, {"daily report", "TRVG_FiscMemReadDaily"}},
          {2, {"fiscalisation", "TRVG_FiscMemReadFiscal"}},
          {3, {"VAT rate change", "TRVG_FiscMemReadPTUChange"}},
          {4, {"RAM clearing", "TRVG_FiscMemReadClearRAM"}},
          {5, {"start of sales", "TRVG_FiscMemReadSaleStart"}}}},
        {"TRVS_HotkeyRead", "TRVG_HotkeyReadGetType", "typ",
         {{1, {"quick sale", "TRVG_v2_HotkeyReadGetQuickSale"}},
          {2, {"discount", "TRVG_HotkeyReadGetDiscount"}},
          {3, {"payment form", "TRVG_HotkeyReadGetPayform"}},
          {4, {"packaging", "TRVG_HotkeyReadGetPack"}},
          {5, {"function", "TRVG_HotkeyReadGetFunction"}},
          {6, {"report set", "TRVG_HotkeyReadGetRepSet"}},
          {7, {"currency", "TRVG_HotkeyReadGetCurrency"}},
          {8, {"report", "TRVG_HotkeyReadGetReport"}}}},
    };
    return m;
}

const TypeMap* typeMapFor(const std::string& sender) {
    for (const TypeMap& m : typeMaps())
        if (sender == m.sender) return &m;
    return nullptr;
}

std::string utf8Of(const std::string& bytes, const std::string& charset) {
    if (auto s = fromRegister(bytes, charset)) return *s;
    // Bytes the set does not define: each as U+FFFD, the rest as they are.
    std::string out;
    for (unsigned char c : bytes) out += c < 0x80 ? std::string(1, static_cast<char>(c)) : "\xEF\xBF\xBD";
    return out;
}

void addOutputs(const Slots& s, const std::string& charset, Json& out) {
    const Call& c = s.call();
    for (size_t i = 0; i < c.fields.size(); ++i)
        out[c.fields[i].name] = s.isNumber(i) ? Json(s.number(i)) : Json(utf8Of(s.textOut(i), charset));
}

// Reads the answer of a completed request; the request is gone afterwards.
TARVIK_STATUS readAnswer(const Call& send, TARVIK_HANDLE req, const std::string& charset, Json& out) {
    out = Json::object();
    if (const TypeMap* m = typeMapFor(send.name)) {
        const Call* head = findCall(m->typeReader);
        Slots t(*head);
        TARVIK_STATUS st = head->read(req, t);
        if (st) {
            TRVG_Default(req);
            return st;
        }
        addOutputs(t, charset, out);
        const unsigned type = static_cast<unsigned>(t.number(static_cast<size_t>(head->field(m->typeField))));
        auto it = m->types.find(type);
        out["type_name"] = it == m->types.end() ? "unknown" : it->second.first;
        if (it == m->types.end()) {
            TRVG_Default(req);
            return 0;
        }
        const Call* body = findCall(it->second.second);
        Slots b(*body);
        st = body->read(req, b);
        if (st) {
            TRVG_Default(req);
            return st;
        }
        addOutputs(b, charset, out);
        return 0;
    }
    const Call* reader = readerFor(send);
    if (!reader) {
        TRVG_Default(req);
        return 0;
    }
    Slots o(*reader);
    const TARVIK_STATUS st = reader->read(req, o);
    if (st) {
        TRVG_Default(req);
        return st;
    }
    addOutputs(o, charset, out);
    return 0;
}

bool connectionLost(const Outcome& o) {
    const uint32_t s = o.status;
    return s == TARVIK_STATUS_OPENFAILED || (s >= TARVIK_STATUS_TCP_EINTR && s <= TARVIK_STATUS_TCP_EHOSTUNREACH) ||
           s == TARVIK_STATUS_OUTCOME_UNKNOWN || s == TARVIK_STATUS_TIMEOUT || s == TARVIK_STATUS_NULLHANDLE ||
           (s >= TARVIK_STATUS_MODEM_BUSY && s <= TARVIK_STATUS_MODEM_ERRORONDISCONNECT);
}

// Decimal texts compared by value ("12.5" is "12.50").
bool sameValue(const Json& a, const Json& b) {
    if (a == b) return true;
    if (!a.is_string() || !b.is_string()) return a.dump() == b.dump();
    auto norm = [](std::string s) {
        std::replace(s.begin(), s.end(), ',', '.');
        if (s.find('.') != std::string::npos) {
            while (!s.empty() && s.back() == '0') s.pop_back();
            if (!s.empty() && s.back() == '.') s.pop_back();
        }
        return s;
    };
    return norm(a.get<std::string>()) == norm(b.get<std::string>());
}

bool matches(const std::string& pattern, const std::string& text) {
    static std::mutex m;
    static std::map<std::string, std::regex> cache;
    std::lock_guard<std::mutex> l(m);
    auto it = cache.find(pattern);
    if (it == cache.end()) it = cache.emplace(pattern, std::regex(pattern, std::regex::ECMAScript)).first;
    return std::regex_search(text, it->second);
}

// Views of open registers, for the event callback (which gets only the event).
std::mutex gViewsMutex;
std::map<TARVIK_HANDLE, Register*> gViews;  // guarded by gViewsMutex

}  // namespace

std::string statusText(uint32_t status) {
    if (status == 0) return "";
    const char* t = TRV_GetErrorString(status, "en");
    if (t) return t;
    if (status >= TARVIK_STATUS_EXEC_ERROR && status < TARVIK_STATUS_EXEC_ERROR + 0x10000)
        return "the register refused the command (execution error " + std::to_string(status - TARVIK_STATUS_EXEC_ERROR) + ")";
    if (status >= TARVIK_STATUS_TRANS_ERROR && status < TARVIK_STATUS_TRANS_ERROR + 0x10000)
        return "transmission error " + std::to_string(status - TARVIK_STATUS_TRANS_ERROR);
    if (status > 0x10100 && status < 0x10200) return "invalid argument " + std::to_string(status - 0x10100);
    return "status " + std::to_string(status);
}

std::optional<ArgError> fillSlots(const Call& call, const Json& args, const std::string& charset, Slots& slots) {
    if (!args.is_object()) return ArgError{"", "the arguments must be a JSON object"};
    for (auto it = args.begin(); it != args.end(); ++it)
        if (call.field(it.key()) < 0) return ArgError{it.key(), "no argument of that name"};
    for (size_t i = 0; i < call.fields.size(); ++i) {
        const std::string name = call.fields[i].name;
        auto it = args.find(name);
        if (it == args.end()) return ArgError{name, "missing"};
        Json v = *it;
        if (v.is_string()) {
            auto bytes = toRegister(v.get<std::string>(), charset);
            if (!bytes) return ArgError{name, "cannot be written in the register's character set " + charset};
            v = *bytes;
        }
        const std::string why = slots.set(i, v);
        if (!why.empty()) return ArgError{name, why};
        // The text form the schema documents (decimal numbers, dates).
        if (v.is_string()) {
            const Json& prop = call.schema()["schema"]["properties"][name];
            if (prop.contains("pattern") && !matches(prop["pattern"].get<std::string>(), v.get<std::string>()))
                return ArgError{name, "must have the form " + prop.value("description", prop["pattern"].get<std::string>())};
        }
    }
    return std::nullopt;
}

// ---- Register ----------------------------------------------------------

Register::Register(Gateway& gw, const RegisterConfig& cfg) : gw_(gw), cfg_(cfg) { since_ = nowSeconds(); }

Register::~Register() { stop(); }

void Register::start() {
    nextJournal_ = Clock::now() + std::chrono::seconds(1);
    thread_ = std::thread([this] { run(); });
}

void Register::drain(Clock::time_point deadline) {
    std::lock_guard<std::mutex> l(mutex_);
    draining_ = true;
    deadline_ = deadline;
    cv_.notify_all();
}

void Register::stop() {
    {
        std::lock_guard<std::mutex> l(mutex_);
        stopping_ = true;
    }
    abort_ = true;
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool Register::idle() {
    std::lock_guard<std::mutex> l(mutex_);
    return !busy_;
}

void Register::enqueue(int64_t seq) {
    std::lock_guard<std::mutex> l(mutex_);
    queue_.push_back(seq);
    cv_.notify_all();
}

void Register::unqueue(int64_t seq) {
    std::lock_guard<std::mutex> l(mutex_);
    queue_.erase(std::remove(queue_.begin(), queue_.end(), seq), queue_.end());
}

size_t Register::queued() {
    std::lock_guard<std::mutex> l(mutex_);
    return queue_.size();
}

void Register::unknownJob(int64_t seq, bool holds) {
    std::lock_guard<std::mutex> l(mutex_);
    unsettled_.insert(seq);
    if (holds && cfg_.holdAfterUnknown) blocking_.insert(seq);
    nextSettle_ = Clock::now() + std::chrono::milliseconds(500);
}

void Register::settled(int64_t seq) {
    std::lock_guard<std::mutex> l(mutex_);
    blocking_.erase(seq);
    unsettled_.erase(seq);
    cv_.notify_all();
}

std::string Register::serial() {
    std::lock_guard<std::mutex> l(mutex_);
    return serial_;
}

void Register::setState(const std::string& s, uint32_t status, const std::string& error) {
    bool changed;
    {
        std::lock_guard<std::mutex> l(mutex_);
        changed = s != state_;
        if (changed) since_ = nowSeconds();
        state_ = s;
        lastStatus_ = status;
        lastError_ = error;
    }
    if (changed && gw_.chain()) gw_.chain()->health(cfg_.id, s, status, error);
    if (changed)
        gw_.publish("register", cfg_.id,
                    {{"register", cfg_.id}, {"state", s}, {"status", status}, {"text", error}}, false);
}

Json Register::statusJson() {
    std::lock_guard<std::mutex> l(mutex_);
    Json blocking = Json::array();
    for (int64_t s : blocking_) blocking.push_back("j" + std::to_string(s));
    return {{"id", cfg_.id},
            {"url", cfg_.conn.url},
            {"charset", cfg_.charset},
            {"state", state_},
            {"since", since_},
            {"last_status", lastStatus_},
            {"last_error", lastError_},
            {"reopens", reopens_},
            {"queued", queue_.size()},
            {"busy", busy_},
            {"held_by", blocking},
            {"hold_after_unknown", cfg_.holdAfterUnknown},
            {"journal", {{"collect", cfg_.collectJournal}, {"delete_after_commit", cfg_.journalDelete}}}};
}

uint32_t Register::timeoutFor(const Call& send) const {
    return std::string_view(send.unit) == "reports" ? cfg_.printMs : cfg_.answerMs;
}

void Register::onEvent(void* request) {
    TARVIK_HANDLE req = static_cast<TARVIK_HANDLE>(request);
    TARVIK_HANDLE view = TRV_RequestDevice(req);
    std::lock_guard<std::mutex> l(gViewsMutex);
    auto it = gViews.find(view);
    if (it != gViews.end()) {
        Register* r = it->second;
        char number[512] = "";
        unsigned char type = 0;
        TRV_PopResponseValueString(req, number, sizeof number);
        TRV_PopResponseValueByte(req, &type);
        r->gw_.publish("card", r->cfg_.id,
                       {{"register", r->cfg_.id}, {"command", TRV_GetRequestCommandID(req)},
                        {"card", utf8Of(number, r->cfg_.charset)}, {"type", type}});
    }
    TRV_DestroyRequest(req);
}

bool Register::open() {
    const Connection& c = cfg_.conn;
    uint32_t type = TARVIK_DEVICE_ETHER;
    if (c.kind == Connection::Kind::Serial || c.kind == Connection::Kind::Modem) type = TARVIK_DEVICE_RS232;
    if (c.kind == Connection::Kind::Usb) type = TARVIK_DEVICE_USB;
    device_ = TRV_CreateDeviceHandle(type);
    if (!device_) {
        setState("offline", TARVIK_STATUS_NOMEMORY, statusText(TARVIK_STATUS_NOMEMORY));
        return false;
    }
    TARVIK_STATUS st = 0;
    auto set = [&](uint32_t p, const std::string& v) {
        std::string copy = v;
        if (!st) st = TRV_SetDeviceParam(device_, p, copy.data());
    };
    switch (c.kind) {
    case Connection::Kind::Tcp:
        set(TARVIK_PARAM_IPADDRESS, c.host);
        if (!c.port.empty()) set(TARVIK_PARAM_IPPORT, c.port);
        break;
    case Connection::Kind::Serial:
    case Connection::Kind::Modem:
        set(TARVIK_PARAM_COMPARAMS, c.device + "," + c.lineSettings);
        if (c.kind == Connection::Kind::Modem) {
            unsigned char on = 1;
            if (!st) st = TRV_SetDeviceParam(device_, TARVIK_PARAM_MODEMMODE, &on);
            set(TARVIK_PARAM_MODEMCALL, c.number.rfind("AT", 0) == 0 ? c.number : "ATDT" + c.number);
            if (!c.init.empty()) set(TARVIK_PARAM_MODEMINIT, c.init);
        }
        break;
    case Connection::Kind::Usb:
        set(TARVIK_PARAM_SERIALNO, c.device);
        set(TARVIK_PARAM_COMPARAMS, c.device + "," + c.lineSettings);
        break;
    }
    char sep = '.';
    if (!st) st = TRV_SetDeviceParam(device_, TARVIK_PARAM_DECIMALSEP, &sep);
    if (!st) {
        view_ = TRV_OpenDevice(device_);
        if (!view_) st = TRV_GetError(device_) ? TRV_GetError(device_) : TARVIK_STATUS_OPENFAILED;
    }
    if (!st && c.kind == Connection::Kind::Modem) st = TRV_ModemDial(device_, 1);
    if (st) {
        if (view_) TRV_CloseDevice(view_);
        TRV_DestroyDeviceHandle(device_);
        view_ = device_ = nullptr;
        setState("offline", st, statusText(st));
        return false;
    }
    {
        std::lock_guard<std::mutex> l(gViewsMutex);
        gViews[view_] = this;
    }
    TRV_SetCallback(view_, &Register::onEvent);
    TRV_SetEventHandlingMode(view_, TARVIK_EVENT_CALLBACK);
    // The register must answer (or at least acknowledge: a slow one) before
    // it counts as online.
    const Outcome o = readNow(*findCall("TRVS_CashregStatusGet"), Json::object());
    if (o.kind != Outcome::Done && !o.acked) {
        close();
        setState("offline", o.status, o.text);
        return false;
    }
    setState("online", 0, "");
    return true;
}

void Register::close() {
    if (!view_) return;
    {
        std::lock_guard<std::mutex> l(gViewsMutex);
        gViews.erase(view_);
    }
    if (cfg_.conn.kind == Connection::Kind::Modem) TRV_ModemDisconnect(device_, 1);
    TRV_CloseDevice(view_);
    TRV_DestroyDeviceHandle(device_);
    view_ = device_ = nullptr;
}

Outcome Register::execute(const Call& send, Slots& slots, uint32_t timeoutMs) {
    Outcome o;
    TARVIK_HANDLE req = nullptr;
    TARVIK_STATUS st = send.send(view_, &req, slots, 0);
    if (st) {
        if (req) TRVG_Default(req);
        o.kind = Outcome::NotDone;
        o.status = st;
        o.text = statusText(st);
        // 0x10100 + n: n counts hDevice and phRequest before the arguments.
        if (st >= 0x10103 && st < 0x10103 + send.fields.size()) o.argument = send.fields[st - 0x10103].name;
        return o;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        const TARVIK_STATUS w =
            TRV_WaitForRequestCompleted(req, static_cast<uint32_t>(std::clamp<int64_t>(left, 50, 250)));
        if (w == 0) break;
        if (w == TARVIK_STATUS_TIMEOUT && left > 0 && !abort_) continue;
        // The wait ran out (or the gateway stops): what happened depends on
        // whether a frame went out. A cancel tells.
        o.acked = TRV_GetRequestState(req) == TARVIK_STATE_ACCEPTED;
        TRV_CancelRequest(req);
        break;
    }
    st = TRV_GetRequestStatus(req);
    if (st == 0) {
        Json result;
        const TARVIK_STATUS rs = readAnswer(send, req, cfg_.charset, result);
        o.kind = Outcome::Done;
        o.status = rs;
        o.result = rs ? Json() : result;
        if (rs) o.text = "the register ran the command, but its answer could not be read: " + statusText(rs);
        return o;
    }
    TRV_DestroyRequest(req);
    o.status = st;
    o.text = statusText(st);
    if (st == TARVIK_STATUS_OUTCOME_UNKNOWN) {
        o.kind = Outcome::Unknown;
    } else if (st == TARVIK_STATUS_CANCELLED) {
        // Cancelled before a frame left: the wait ran out while it was pending.
        o.kind = Outcome::NotDone;
        o.status = TARVIK_STATUS_TIMEOUT;
        o.text = "no answer in time; the request never left the gateway";
    } else {
        o.kind = Outcome::NotDone;  // the register refused it, or it was never written
    }
    return o;
}

Outcome Register::readNow(const Call& send, const Json& args) {
    Slots slots(send);
    if (auto err = fillSlots(send, args, cfg_.charset, slots)) {
        Outcome o;
        o.status = TARVIK_STATUS_INVALIDARG;
        o.argument = err->argument;
        o.text = err->argument + ": " + err->detail;
        return o;
    }
    if (!view_) {
        Outcome o;
        o.status = lastStatus_ ? lastStatus_ : TARVIK_STATUS_OPENFAILED;
        o.text = "the register is offline";
        return o;
    }
    return execute(send, slots, timeoutFor(send));
}

Outcome Register::read(const Call& send, const Json& args, uint32_t waitMs) {
    auto d = std::make_shared<Direct>();
    Outcome result;
    result.status = TARVIK_STATUS_TIMEOUT;
    result.text = "the register did not get to the read in time";
    auto out = std::make_shared<Outcome>(result);
    d->fn = [this, &send, args, out] { *out = readNow(send, args); };
    std::unique_lock<std::mutex> l(mutex_);
    if (stopping_) return result;
    directs_.push_back(d);
    cv_.notify_all();
    if (!doneCv_.wait_for(l, std::chrono::milliseconds(waitMs), [&] { return d->done; })) {
        directs_.erase(std::remove(directs_.begin(), directs_.end(), d), directs_.end());
        if (!d->done) return result;
    }
    return *out;
}

Json Register::collectJournal() {
    auto d = std::make_shared<Direct>();
    auto out = std::make_shared<Json>(Json{{"error", "the register did not get to it in time"}});
    d->fn = [this, out] { *out = collectNow(); };
    std::unique_lock<std::mutex> l(mutex_);
    directs_.push_back(d);
    cv_.notify_all();
    doneCv_.wait_for(l, std::chrono::milliseconds(cfg_.answerMs * 4 + 60000), [&] { return d->done; });
    if (!d->done) directs_.erase(std::remove(directs_.begin(), directs_.end(), d), directs_.end());
    return *out;
}

Json Register::collectNow() {
    // Every record from the first; those taken before (without clearing)
    // are passed over. A journal shorter than what was taken was cleared on
    // the register: then everything in it is new.
    const Call* get = findCall("TRVS_SaleRecGet");
    std::vector<Json> records;
    Outcome o = readNow(*get, {{"sposob", 1}});
    while (o.kind == Outcome::Done && o.status == 0) {
        records.push_back(o.result);
        if (o.result.value("nastepny", 0) == 0) break;
        o = readNow(*get, {{"sposob", 0}});
    }
    const bool empty = o.status == TARVIK_STATUS_EXEC_ERROR + 107;
    if (!(o.kind == Outcome::Done && o.status == 0) && !empty)
        return {{"error", o.text}, {"status", o.status}, {"read", records.size()}};
    Chain* chain = gw_.chain();
    std::string serial;
    if (chain) {
        // Head office knows a register by its unique number.
        serial = this->serial();
        if (serial.empty()) {
            const Outcome u = readNow(*findCall("TRVS_FiscMemStatus"), Json::object());
            if (u.kind == Outcome::Done && u.status == 0) serial = u.result.value("numer_unikatowy", "");
            while (!serial.empty() && serial.back() == ' ') serial.pop_back();
            if (serial.empty())
                return {{"error", "the register's unique number could not be read: " + u.text}, {"status", u.status}};
            std::lock_guard<std::mutex> l(mutex_);
            serial_ = serial;
        }
    }
    int64_t taken = gw_.store().journalTaken(cfg_.id);
    // Records are numbered from the first ever collected: base counts
    // those cleared from the register.
    int64_t base = gw_.store().journalBase(cfg_.id);
    if (static_cast<int64_t>(records.size()) < taken) base += taken, taken = 0;
    std::vector<Json> fresh(records.begin() + taken, records.end());
    const int64_t total = static_cast<int64_t>(records.size());
    const std::string id = cfg_.id;
    const bool clear = cfg_.journalDelete && !records.empty();
    const double collected = nowSeconds();
    std::vector<Store::OutMsg> out;
    if (chain) {
        for (size_t i = 0; i < fresh.size(); ++i) {
            const int64_t number = base + taken + static_cast<int64_t>(i) + 1;
            const std::string date = recordDate(fresh[i], collected);
            out.push_back(chain->message(id, "journal", journalMsgId(serial, number, date),
                                         {{"shop", chain->config().shop}, {"register", id}, {"serial", serial},
                                          {"number", number}, {"date", date}, {"type", fresh[i].value("typ", 0)},
                                          {"type_name", fresh[i].value("type_name", "")}, {"record", fresh[i]},
                                          {"collected", collected}}));
        }
    }
    auto t = gw_.store().submit([fresh, id, total, base, collected, out](Db& db) {
        for (const Json& r : fresh) {
            db.exec("INSERT INTO journal(register, record, collected) VALUES(?,?,?)", {id, r.dump(), collected});
        }
        for (const Store::OutMsg& m : out) Store::insertOutbox(db, m);
        db.exec("INSERT INTO journal_pos(register, taken) VALUES(?, ?) ON CONFLICT(register) DO UPDATE SET taken=excluded.taken",
                {id, total});
        db.exec("INSERT INTO journal_base(register, base) VALUES(?, ?) ON CONFLICT(register) DO UPDATE SET base=excluded.base",
                {id, base});
    });
    if (!t->wait()) return {{"error", "the records could not be committed"}, {"read", records.size()}};
    Json summary = {{"read", records.size()}, {"added", fresh.size()}, {"deleted_on_register", false}};
    if (!fresh.empty()) gw_.publish("journal", cfg_.id, {{"register", cfg_.id}, {"added", fresh.size()}});
    // With a chain, the records leave the register only once the shop's
    // message server holds them too.
    if (chain && !clear && !out.empty()) chain->wake();
    if (clear && chain && !chain->flush(id)) {
        summary["delete_waits"] = "the shop's message server has not acknowledged every record yet";
    } else if (clear) {
        // Only after the commit, and only when nothing came in since: the
        // last record must still be the one read last.
        Outcome last = readNow(*get, {{"sposob", 2}});
        if (last.kind == Outcome::Done && last.status == 0 && last.result == records.back()) {
            Slots s(*findCall("TRVS_SaleRecDelAll"));
            Outcome del = execute(*findCall("TRVS_SaleRecDelAll"), s, cfg_.answerMs);
            if (del.kind == Outcome::Done && del.status == 0) {
                summary["deleted_on_register"] = true;
                auto t2 = gw_.store().submit([id, base, total](Db& db) {
                    db.exec("UPDATE journal_pos SET taken=0 WHERE register=?", {id});
                    db.exec("UPDATE journal_base SET base=? WHERE register=?", {base + total, id});
                });
                t2->wait();
            } else {
                summary["delete_status"] = del.status;
                summary["delete_text"] = del.text;
                // Unknown: the next collection sees a shorter journal if it went.
            }
        }
    }
    return summary;
}

bool Register::settleByReadBack(Job& j, std::string& how) {
    const Json& rb = j.readback;
    if (!rb.is_object() || !rb.contains("read")) return false;
    const Call* read = findCall(rb["read"].get<std::string>());
    if (!read) return false;
    const Outcome o = readNow(*read, rb.value("args", Json::object()));
    if (rb.contains("empty_status") && o.kind == Outcome::Done && o.status == rb["empty_status"].get<uint32_t>()) {
        how = "read-back: " + std::string(read->name) + " finds nothing left";
        j.outcome = "done";
        return true;
    }
    if (o.kind != Outcome::Done || o.status != 0) return false;
    if (rb.contains("counter")) {
        const std::string c = rb["counter"];
        if (!o.result.contains(c) || !rb.contains("before")) return false;
        const int64_t now = o.result[c].get<int64_t>(), before = rb["before"].get<int64_t>();
        j.outcome = now > before ? "done" : "not_done";
        how = "read-back: " + c + " was " + std::to_string(before) + ", is " + std::to_string(now);
        return true;
    }
    if (rb.contains("same_as")) {
        // The record that the job would have removed is still there.
        j.outcome = o.result == rb["same_as"] ? "not_done" : "done";
        how = std::string("read-back: the first record is ") + (j.outcome == "done" ? "another" : "still the same");
        return true;
    }
    if (rb.contains("expect")) {
        bool all = true;
        for (auto it = rb["expect"].begin(); it != rb["expect"].end(); ++it)
            all = all && o.result.contains(it.key()) && sameValue(o.result[it.key()], it.value());
        j.outcome = all ? "done" : "not_done";
        how = std::string("read-back: the record ") + (all ? "holds" : "does not hold") + " what the job wrote";
        return true;
    }
    return false;
}

void Register::trySettle() {
    std::vector<int64_t> seqs;
    {
        std::lock_guard<std::mutex> l(mutex_);
        seqs.assign(unsettled_.begin(), unsettled_.end());
    }
    for (int64_t seq : seqs) {
        auto lj = gw_.live(seq);
        if (!lj) continue;
        Job j;
        {
            std::lock_guard<std::mutex> l(lj->m);
            j = lj->job;
        }
        if (j.state != "unknown") continue;
        std::string how;
        if (!settleByReadBack(j, how)) continue;
        Job out;
        std::string why;
        gw_.settle(seq, j.outcome == "done", "gateway", "read-back", how, out, why);
    }
}

void Register::runJob(int64_t seq) {
    auto lj = gw_.live(seq);
    if (!lj) return;
    Job j;
    {
        std::lock_guard<std::mutex> l(lj->m);
        if (lj->job.state != "queued") return;
        j = lj->job;
    }
    const Call* send = findCall(j.command);
    Slots slots(*send);
    if (auto err = fillSlots(*send, j.args, cfg_.charset, slots)) {
        j.state = "failed";
        j.status = TARVIK_STATUS_INVALIDARG;
        j.argument = err->argument;
        j.statusText = err->detail;
        j.updated = nowSeconds();
        gw_.commit(lj, j);
        return;
    }
    // What a read-back will compare with, taken before the frame goes out.
    if (j.readback.is_object() && j.readback.contains("before_read")) {
        const Json before = j.readback["before_read"];
        const Outcome b = readNow(*findCall(before["read"].get<std::string>()), before.value("args", Json::object()));
        if (b.kind == Outcome::Done && b.status == 0) {
            if (before.contains("counter")) j.readback["before"] = b.result[before["counter"].get<std::string>()];
            if (before.value("keep", false)) j.readback["same_as"] = b.result;
        } else if (b.kind == Outcome::Done && before.contains("empty_status") && b.status == before["empty_status"].get<uint32_t>()) {
            j.readback["nothing_before"] = true;
        } else if (!b.acked && connectionLost(b)) {
            // The register went: the job stays queued for when it is back.
            close();
            setState("offline", b.status, b.text);
            std::lock_guard<std::mutex> l(mutex_);
            queue_.push_front(seq);
            return;
        }
    }
    j.state = "sending";
    j.updated = nowSeconds();
    if (!gw_.commit(lj, j)) {
        j.state = "failed";
        j.status = TARVIK_STATUS_NOMEMORY;
        j.statusText = "the job could not be written to the journal; nothing was sent";
        gw_.commit(lj, j);
        return;
    }
    const Outcome o = execute(*send, slots, timeoutFor(*send));
    j.updated = nowSeconds();
    j.status = o.status;
    j.statusText = o.text;
    j.argument = o.argument;
    if (o.kind == Outcome::Done) {
        j.state = "succeeded";
        j.result = o.result;
    } else if (o.kind == Outcome::Unknown) {
        j.state = "unknown";
    } else {
        j.state = "failed";
    }
    if (o.kind == Outcome::Unknown) unknownJob(seq, !j.idempotent);
    gw_.commit(lj, j);
    if (o.kind != Outcome::Done && !o.acked && connectionLost(o)) {
        close();
        setState("offline", o.status, o.text);
    }
}

void Register::run() {
    unsigned backoffMs = 200;
    for (;;) {
        {
            std::unique_lock<std::mutex> l(mutex_);
            if (stopping_) break;
        }
        if (!view_) {
            if (!open()) {
                std::unique_lock<std::mutex> l(mutex_);
                ++reopens_;
                // Reads asked for meanwhile learn at once that it is offline.
                while (!directs_.empty()) {
                    auto d = directs_.front();
                    directs_.pop_front();
                    l.unlock();
                    d->fn();
                    l.lock();
                    d->done = true;
                    doneCv_.notify_all();
                }
                cv_.wait_for(l, std::chrono::milliseconds(backoffMs), [&] { return stopping_ || !directs_.empty(); });
                backoffMs = std::min(backoffMs * 2, 5000u);
                continue;
            }
            backoffMs = 200;
        }
        std::shared_ptr<Direct> d;
        int64_t seq = 0;
        bool settleNow = false, journalNow = false;
        {
            std::unique_lock<std::mutex> l(mutex_);
            auto jobsMayRun = [&] { return !draining_ && !queue_.empty() && blocking_.empty(); };
            auto next = std::min(unsettled_.empty() ? Clock::time_point::max() : nextSettle_,
                                 cfg_.collectJournal ? nextJournal_ : Clock::time_point::max());
            if (next == Clock::time_point::max()) next = Clock::now() + std::chrono::seconds(1);
            cv_.wait_until(l, next, [&] { return stopping_ || !directs_.empty() || jobsMayRun(); });
            if (stopping_) break;
            const auto now = Clock::now();
            if (!directs_.empty()) {
                d = directs_.front();
                directs_.pop_front();
            } else if (jobsMayRun()) {
                seq = queue_.front();
                queue_.pop_front();
                busy_ = true;
            } else if (!unsettled_.empty() && now >= nextSettle_) {
                settleNow = true;
                nextSettle_ = now + std::chrono::seconds(2);
            } else if (cfg_.collectJournal && now >= nextJournal_ && !draining_) {
                journalNow = true;
                nextJournal_ = now + std::chrono::seconds(cfg_.journalIntervalS);
            }
        }
        if (d) {
            d->fn();
            std::lock_guard<std::mutex> l(mutex_);
            d->done = true;
            doneCv_.notify_all();
        } else if (seq) {
            runJob(seq);
            std::lock_guard<std::mutex> l(mutex_);
            busy_ = false;
            doneCv_.notify_all();
        } else if (settleNow) {
            trySettle();
        } else if (journalNow) {
            collectNow();
        }
    }
    close();
    std::lock_guard<std::mutex> l(mutex_);
    state_ = "stopped";
    for (auto& d : directs_) d->done = true;
    directs_.clear();
    doneCv_.notify_all();
}

// ---- Gateway -----------------------------------------------------------

Gateway::Gateway(const Config& cfg, Store& store) : cfg_(cfg), store_(store) {
    jobSeq_ = store_.maxJobSeq();
    eventSeq_ = store_.maxEventSeq();
    for (const RegisterConfig& rc : cfg_.registers) {
        registers_.push_back(std::make_unique<Register>(*this, rc));
        byId_[rc.id] = registers_.back().get();
    }
    if (cfg_.chain.enabled) chain_ = std::make_unique<Chain>(cfg_.chain, store_);
}

Gateway::~Gateway() { stop(); }

void Gateway::start() {
    // Jobs that were being sent when the gateway stopped may have run.
    for (const Job& j : store_.recoverSending(nowSeconds()))
        publish("job", j.reg, jobJson(j));
    // Unfinished jobs come back: queued ones are sent, unknown ones hold
    // their register until settled.
    for (const Job& j : store_.jobsInStates({"queued", "unknown"})) {
        Register* r = reg(j.reg);
        auto lj = std::make_shared<LiveJob>();
        lj->job = j;
        {
            std::lock_guard<std::mutex> l(liveMutex_);
            live_[j.seq] = lj;
        }
        if (!r) continue;  // a register no longer configured: its jobs wait for it
        if (j.state == "queued") r->enqueue(j.seq);
        else r->unknownJob(j.seq, !j.idempotent);
    }
    for (auto& r : registers_) r->start();
    if (chain_) chain_->start(*this);
}

void Gateway::drain() {
    draining_ = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(cfg_.drainTimeoutS);
    for (auto& r : registers_) r->drain(deadline);
    for (auto& r : registers_)
        while (!r->idle() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void Gateway::stop() {
    if (chain_) chain_->stop();
    for (auto& r : registers_) r->stop();
    {
        std::lock_guard<std::mutex> l(eventMutex_);
        stopped_ = true;
    }
    eventCv_.notify_all();
}

Register* Gateway::reg(const std::string& id) {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second;
}

std::shared_ptr<LiveJob> Gateway::live(int64_t seq) {
    std::lock_guard<std::mutex> l(liveMutex_);
    auto it = live_.find(seq);
    return it == live_.end() ? nullptr : it->second;
}

Gateway::Created Gateway::create(const NewJob& nj, Job& out, std::string& why) {
    Register* r = reg(nj.reg);
    if (!r) {
        why = "no register " + nj.reg;
        return Created::Refused;
    }
    std::shared_ptr<LiveJob> lj;
    {
        std::lock_guard<std::mutex> l(createMutex_);
        auto same = [&](int64_t seq, const std::string& hash) {
            if (hash != nj.bodyHash) {
                why = "the Idempotency-Key was used for job j" + std::to_string(seq) + " with another request";
                return Created::Conflict;
            }
            if (auto j = job(seq)) out = *j;
            return Created::Same;
        };
        if (auto it = keys_.find(nj.key); it != keys_.end()) return same(it->second.first, it->second.second);
        if (auto j = store_.jobByKey(nj.key)) {
            keys_[nj.key] = {j->seq, j->bodyHash};
            return same(j->seq, j->bodyHash);
        }
        if (draining_) {
            why = "the gateway is stopping";
            return Created::Refused;
        }
        if (r->queued() >= cfg_.maxJobsQueued) {
            why = "register " + nj.reg + " has " + std::to_string(cfg_.maxJobsQueued) + " jobs waiting already";
            return Created::Refused;
        }
        Job j;
        j.seq = ++jobSeq_;
        j.reg = nj.reg;
        j.key = nj.key;
        j.bodyHash = nj.bodyHash;
        j.kind = nj.kind;
        j.command = nj.command;
        j.args = nj.args;
        j.idempotent = nj.idempotent;
        j.scope = nj.scope;
        j.readback = nj.readback;
        j.created = j.updated = nowSeconds();
        lj = std::make_shared<LiveJob>();
        lj->job = j;
        keys_[nj.key] = {j.seq, j.bodyHash};
        std::lock_guard<std::mutex> l2(liveMutex_);
        live_[j.seq] = lj;
        out = j;
    }
    // The insert and the register's "sending" that may follow commit in
    // order, often together.
    auto t = store_.submit([j = out](Db& db) { Store::insertJob(db, j); });
    r->enqueue(out.seq);
    if (!t->wait()) {
        r->unqueue(out.seq);
        {
            std::lock_guard<std::mutex> l(lj->m);
            lj->job.state = "cancelled";  // never written: the register thread passes it over
        }
        std::lock_guard<std::mutex> l(createMutex_);
        keys_.erase(nj.key);
        std::lock_guard<std::mutex> l2(liveMutex_);
        live_.erase(out.seq);
        why = "the job could not be written to the journal";
        return Created::Refused;
    }
    publish("job", out.reg, jobJson(out));
    return Created::New;
}

std::optional<Job> Gateway::job(int64_t seq) {
    if (auto lj = live(seq)) {
        std::lock_guard<std::mutex> l(lj->m);
        return lj->job;
    }
    return store_.job(seq);
}

std::optional<Job> Gateway::wait(int64_t seq, double seconds) {
    auto lj = live(seq);
    if (!lj) return store_.job(seq);
    std::unique_lock<std::mutex> l(lj->m);
    lj->cv.wait_for(l, std::chrono::duration<double>(seconds), [&] {
        return lj->job.final() || lj->job.state == "unknown";
    });
    return lj->job;
}

bool Gateway::commit(const std::shared_ptr<LiveJob>& lj, const Job& j, std::function<void(Db&)> extra) {
    // A fiscal job's outcome (a daily report) goes to head office with it.
    std::vector<Store::OutMsg> out;
    if (chain_ && j.scope == kFiscal && (j.final() || j.state == "unknown")) {
        Json p = jobJson(j);
        p["shop"] = chain_->config().shop;
        p["register"] = j.reg;
        if (Register* r = reg(j.reg)) p["serial"] = r->serial();
        out.push_back(chain_->message(j.reg, "fiscal",
                                      chain_->config().shop + "-" + j.reg + "-" + j.id() + "-" + j.state, p));
    }
    auto t = store_.submit([j, extra, out](Db& db) {
        Store::updateJob(db, j);
        if (extra) extra(db);
        for (const Store::OutMsg& m : out) Store::insertOutbox(db, m);
    });
    if (!t->wait()) return false;
    {
        std::lock_guard<std::mutex> l(lj->m);
        lj->job = j;
    }
    lj->cv.notify_all();
    publish("job", j.reg, jobJson(j));
    if (j.final()) {
        std::lock_guard<std::mutex> l(liveMutex_);
        live_.erase(j.seq);
    }
    return true;
}

bool Gateway::cancel(int64_t seq, Job& out) {
    auto lj = live(seq);
    if (!lj) {
        if (auto j = store_.job(seq)) out = *j;
        return false;
    }
    Job j;
    {
        std::lock_guard<std::mutex> l(lj->m);
        j = lj->job;
        if (j.state != "queued") {
            out = j;
            return false;
        }
        // Marked at once, so that the register thread passes it over.
        lj->job.state = "cancelled";
    }
    if (Register* r = reg(j.reg)) r->unqueue(seq);
    j.state = "cancelled";
    j.status = TARVIK_STATUS_CANCELLED;
    j.statusText = "cancelled before it was sent";
    j.updated = nowSeconds();
    commit(lj, j);
    out = j;
    return true;
}

bool Gateway::settle(int64_t seq, bool done, const std::string& by, const std::string& how, const std::string& note,
                     Job& out, std::string& why) {
    auto lj = live(seq);
    Job j;
    if (lj) {
        std::lock_guard<std::mutex> l(lj->m);
        j = lj->job;
    } else if (auto s = store_.job(seq)) {
        j = *s;
    } else {
        why = "no such job";
        return false;
    }
    if (j.state != "unknown" || !lj) {
        out = j;
        why = "only an unknown job can be settled; this one is " + j.state;
        return false;
    }
    j.state = "settled";
    j.outcome = done ? "done" : "not_done";
    j.settledBy = by;
    j.note = note;
    j.updated = nowSeconds();
    const int64_t js = j.seq;
    const std::string outcome = j.outcome;
    const bool ok = commit(lj, j, [js, outcome, how, by, note](Db& db) {
        db.exec("INSERT INTO settlements(job, outcome, how, by, note, at) VALUES(?,?,?,?,?,?)",
                {js, outcome, how, by, note, nowSeconds()});
    });
    if (!ok) {
        why = "the settlement could not be written";
        return false;
    }
    if (Register* r = reg(j.reg)) r->settled(seq);
    out = j;
    return true;
}

void Gateway::publish(const std::string& type, const std::string& reg, const Json& data, bool persist) {
    Event e;
    {
        std::lock_guard<std::mutex> l(eventMutex_);
        e = {++eventSeq_, type, reg, data};
        ring_.push_back(e);
        if (ring_.size() > 4096) ring_.pop_front();
    }
    eventCv_.notify_all();
    if (persist) store_.submit([e](Db& db) { Store::insertEvent(db, e.seq, e.type, e.reg, e.data); });
}

std::vector<Gateway::Event> Gateway::eventsAfter(int64_t after, int ms) {
    std::vector<Event> out;
    std::unique_lock<std::mutex> l(eventMutex_);
    if (!ring_.empty() && after + 1 < ring_.front().seq) {
        // Older than the ring: from the store (register state changes are
        // not kept there).
        l.unlock();
        for (auto& s : store_.events(after, 1000)) {
            if (s.seq >= ring_.front().seq) break;
            out.push_back({s.seq, s.type, s.reg, s.data});
        }
        if (!out.empty()) return out;
        l.lock();
        after = std::max(after, ring_.front().seq - 1);
    }
    auto has = [&] { return stopped_ || (!ring_.empty() && ring_.back().seq > after); };
    if (!has()) eventCv_.wait_for(l, std::chrono::milliseconds(ms), has);
    for (const Event& e : ring_)
        if (e.seq > after) out.push_back(e);
    return out;
}

int64_t Gateway::lastEvent() {
    std::lock_guard<std::mutex> l(eventMutex_);
    return eventSeq_;
}

void Gateway::wakeStreams() {
    {
        std::lock_guard<std::mutex> l(eventMutex_);
        stopped_ = true;
    }
    eventCv_.notify_all();
}

Json Gateway::jobJson(const Job& j) {
    Json o = {{"id", j.id()},
              {"register", j.reg},
              {"kind", j.kind},
              {"command", j.command},
              {"args", j.args},
              {"state", j.state},
              {"idempotent", j.idempotent},
              {"created", j.created},
              {"updated", j.updated}};
    if (j.status) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%X", j.status);
        o["status"] = j.status;
        o["status_hex"] = hex;
    } else {
        o["status"] = 0;
    }
    if (!j.statusText.empty()) o["text"] = j.statusText;
    if (!j.argument.empty()) o["argument"] = j.argument;
    if (!j.result.is_null()) o["result"] = j.result;
    if (j.state == "settled") {
        o["outcome"] = j.outcome;
        o["settled_by"] = j.settledBy;
        if (!j.note.empty()) o["note"] = j.note;
    }
    // What the state means for the client.
    static const std::map<std::string, std::string> meaning = {
        {"queued", "not sent yet"},
        {"sending", "being sent"},
        {"succeeded", "done"},
        {"failed", "not done: safe to retry with a new Idempotency-Key"},
        {"unknown", "written, answer lost: do not retry; settle it (read back, or decide)"},
        {"cancelled", "not done: cancelled before it was sent"}};
    if (auto it = meaning.find(j.state); it != meaning.end()) o["meaning"] = it->second;
    if (j.state == "settled") o["meaning"] = j.outcome == "done" ? "done (settled)" : "not done (settled): safe to retry";
    return o;
}

}  // namespace trvgw
