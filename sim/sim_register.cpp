#include "sim_register.h"

#include "sim_commands.h"

#include <algorithm>

namespace trvsim {

namespace {
constexpr uint8_t DLE = 0x10, STX = 0x02, ETX = 0x03, CAN = 0x18;
constexpr size_t kCacheSize = 32;
constexpr uint16_t kTcpClose = 6;  // the register closes the connection after answering

uint16_t busyCodeFor(uint16_t cmd) {
    return (cmd == cmd::DateTimeSet || cmd == cmd::HeaderSet || cmd == cmd::VATSet || cmd == cmd::FooterSet)
               ? busy::kSettings
               : busy::kReport;
}

// The command of a frame that did not decode, for its error answer: read
// from the escaped header; 0 when the frame is enciphered or too short.
uint16_t peekCommand(const std::vector<uint8_t>& f) {
    uint8_t h[12];
    size_t k = 0;
    for (size_t i = 2; i + 2 < f.size() && k < sizeof h; ++i) {
        if (f[i] == DLE) ++i;  // the second byte of a doubled DLE is the data
        if (i + 2 >= f.size()) break;
        h[k++] = f[i];
    }
    if (k < sizeof h || (h[0] & trv::kFlagEnciphered)) return 0;
    return static_cast<uint16_t>(h[10] | (h[11] << 8));
}

// Gives a well-formed frame a wrong CRC: the escaped body is unescaped, the
// two CRC bytes inverted, and the body escaped again.
void corruptCrc(std::vector<uint8_t>& frame) {
    std::vector<uint8_t> body;
    for (size_t i = 2; i + 2 < frame.size(); ++i) {
        if (frame[i] == DLE) ++i;
        body.push_back(frame[i]);
    }
    if (body.size() < 2) return;
    body[body.size() - 1] ^= 0xFF;
    body[body.size() - 2] ^= 0xFF;
    std::vector<uint8_t> out{DLE, STX};
    const std::vector<uint8_t> esc = trv::escapeDLE(body.data(), body.size());
    out.insert(out.end(), esc.begin(), esc.end());
    out.push_back(DLE);
    out.push_back(ETX);
    frame = std::move(out);
}

int msUntil(SteadyClock::time_point t, SteadyClock::time_point now) {
    if (t <= now) return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(t - now).count());
}
}  // namespace

// ---------------------------------------------------------------- Register

Register::Register() {
    const auto now = SteadyClock::now();
    lastActivity_ = now;
    nextCard_ = now;
    busyUntil_ = now;
}

Register::~Register() {
    if (logFile_) std::fclose(logFile_);
    if (paperFile_ && !paperIsStdout_) std::fclose(paperFile_);
}

void Register::setBusyMs(int ms) {
    std::lock_guard lk(mu_);
    busyMs_ = std::max(0, ms);
}

int Register::busyMs() const {
    std::lock_guard lk(mu_);
    return busyMs_;
}

void Register::setCardEveryMs(int ms) {
    std::lock_guard lk(mu_);
    cardEveryMs_ = std::max(0, ms);
    nextCard_ = SteadyClock::now() + std::chrono::milliseconds(cardEveryMs_);
    wakeAllLocked();
}

void Register::setCipherOnConnect(uint8_t method, const std::string& hexKey) {
    std::lock_guard lk(mu_);
    if (method == 0) {
        connectSetup_.reset();
        return;
    }
    Event ev{3, 0, Values().byte(method).str(hexKey).items, trv::Cipher{}};
    ev.newCipher->method = method;
    ev.newCipher->haveKey = trv::Hex2Key(hexKey, ev.newCipher->key);
    connectSetup_ = std::move(ev);
}

void Register::setFaults(const Faults& f) {
    std::lock_guard lk(mu_);
    faults_ = f;
    rng_.seed(f.seed);
    finalSent_ = framesSeen_ = 0;
}

Faults Register::faults() const {
    std::lock_guard lk(mu_);
    return faults_;
}

void Register::failNextFrames(unsigned n, uint16_t transError) {
    std::lock_guard lk(mu_);
    failNext_ = n;
    failNextCode_ = transError;
}

void Register::silenceNextFrames(unsigned n) {
    std::lock_guard lk(mu_);
    silenceNext_ = n;
}

void Register::dropConnections() {
    std::lock_guard lk(mu_);
    ++dropGen_;
    wakeAllLocked();
}

void Register::setAnswer(uint16_t cmd, Items values) {
    std::lock_guard lk(mu_);
    canned_[cmd] = Canned{false, std::move(values), {}};
}

void Register::setError(uint16_t cmd, uint16_t execError, uint16_t transError, uint16_t other) {
    std::lock_guard lk(mu_);
    canned_[cmd] = Canned{true, {}, {cmd, transError, execError, other}};
}

void Register::clearAnswer(uint16_t cmd) {
    std::lock_guard lk(mu_);
    canned_.erase(cmd);
}

void Register::clearAnswers() {
    std::lock_guard lk(mu_);
    canned_.clear();
}

Register::Event Register::cardEventLocked() {
    ++cardSeq_;
    const std::string number = "99000000" + std::to_string(10000 + cardSeq_ % 90000);
    return Event{2, cardSeq_, Values().str(number).byte(1).items, std::nullopt};
}

void Register::pushCardEvent(const std::string& number, uint8_t type) {
    std::lock_guard lk(mu_);
    events_.push_back(Event{2, ++cardSeq_, Values().str(number).byte(type).items, std::nullopt});
    wakeAllLocked();
}

void Register::pushCipherSetup(uint8_t method, const std::string& hexKey) {
    std::lock_guard lk(mu_);
    Event ev{3, 0, Values().byte(method).str(hexKey).items, trv::Cipher{}};
    ev.newCipher->method = method;
    ev.newCipher->haveKey = trv::Hex2Key(hexKey, ev.newCipher->key);
    events_.push_back(std::move(ev));
    wakeAllLocked();
}

DateTime Register::clock() const {
    std::lock_guard lk(mu_);
    return state_.now();
}

void Register::setClock(const DateTime& t) {
    std::lock_guard lk(mu_);
    state_.setClock(t);
}

std::array<uint16_t, 7> Register::vatRates() const {
    std::lock_guard lk(mu_);
    return state_.vat;
}

std::vector<std::pair<uint8_t, std::string>> Register::header() const {
    std::lock_guard lk(mu_);
    return state_.header;
}

std::vector<std::pair<uint8_t, std::string>> Register::footer() const {
    std::lock_guard lk(mu_);
    return state_.footer;
}

std::optional<Article> Register::article(uint16_t number) const {
    std::lock_guard lk(mu_);
    auto it = state_.articles.find(number);
    if (it == state_.articles.end()) return std::nullopt;
    return it->second;
}

std::optional<Article> Register::articleByBarcode(const std::string& code) const {
    std::lock_guard lk(mu_);
    const Article* a = state_.findBarcode(code);
    if (!a) return std::nullopt;
    return *a;
}

size_t Register::articleCount() const {
    std::lock_guard lk(mu_);
    return state_.articles.size();
}

void Register::putArticle(const Article& a) {
    std::lock_guard lk(mu_);
    state_.putArticle(a);
}

size_t Register::journalSize() const {
    std::lock_guard lk(mu_);
    return state_.journal.size();
}

void Register::addJournalRecord(const Record& r) {
    std::lock_guard lk(mu_);
    state_.journal.push_back(r);
    countSale(state_, r);
}

void Register::setUniqueNumber(const std::string& number) {
    std::lock_guard lk(mu_);
    state_.uniqueNumber = number;
}

uint32_t Register::lastReceipt() const {
    std::lock_guard lk(mu_);
    return state_.lastReceipt;
}

uint32_t Register::ringUpReceipt() {
    std::lock_guard lk(mu_);
    State& s = state_;
    const uint32_t number = ++s.lastReceipt;
    const int64_t price = 100 + number % 900;  // grosze
    const std::vector<Record> records = {
        {journal::kArticle, Values().byte(1).word(1).str("5900000000017").str("CHLEB").num(1).num(price).items},
        {journal::kPayment, Values().word(1).str("GOTOWKA").byte(0).num(price).str("").str("KASA 1").str("ANNA").word(1).items},
        {journal::kFinished,
         Values().dword(number).dateHM(s.now()).str("KASA 1").str("ANNA").word(1).num(price).num(price).dword(number).items},
    };
    for (const Record& r : records) {
        s.journal.push_back(r);
        countSale(s, r);
    }
    return number;
}

size_t Register::fiscalMemorySize() const {
    std::lock_guard lk(mu_);
    return state_.fiscalMemory.size();
}

bool Register::busy() const {
    std::lock_guard lk(mu_);
    return busyLocked(SteadyClock::now());
}

trv::Cipher Register::cipher() const {
    std::lock_guard lk(mu_);
    return cipher_;
}

Stats Register::stats() const {
    std::lock_guard lk(mu_);
    return stats_;
}

std::string Register::lastMismatch() const {
    std::lock_guard lk(mu_);
    return lastMismatch_;
}

size_t Register::openSessions() const {
    std::lock_guard lk(mu_);
    return wakers_.size();
}

SteadyClock::time_point Register::lastActivity() const {
    std::lock_guard lk(mu_);
    return lastActivity_;
}

void Register::withState(const std::function<void(State&)>& f) {
    std::lock_guard lk(mu_);
    f(state_);
}

bool Register::setLogFile(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f) return false;
    std::lock_guard lk(mu_);
    if (logFile_) std::fclose(logFile_);
    logFile_ = f;
    return true;
}

void Register::setLogSink(std::function<void(const std::string&)> sink) {
    std::lock_guard lk(mu_);
    logSink_ = std::move(sink);
}

void Register::note(const std::string& line) {
    std::lock_guard lk(mu_);
    lastActivity_ = SteadyClock::now();
    logLocked(line);
}

bool Register::setPaperFile(const std::string& path) {
    const bool toStdout = path == "-";
    std::FILE* f = toStdout ? stdout : std::fopen(path.c_str(), "w");
    if (!f) return false;
    std::lock_guard lk(mu_);
    if (paperFile_ && !paperIsStdout_) std::fclose(paperFile_);
    paperFile_ = f;
    paperIsStdout_ = toStdout;
    return true;
}

void Register::setPaperSink(std::function<void(const std::string&)> sink) {
    std::lock_guard lk(mu_);
    paperSink_ = std::move(sink);
}

void Register::paperLocked() {
    std::vector<std::string> printed;
    printed.swap(state_.printed);
    for (const std::string& p : printed) printLocked(p);
}

void Register::printLocked(const std::string& printout) {
    if (paperFile_) {
        std::fputs(printout.c_str(), paperFile_);
        std::fflush(paperFile_);
    }
    if (paperSink_) paperSink_(printout);
}

void Register::logLocked(const std::string& line) {
    if (logFile_) {
        std::fputs(line.c_str(), logFile_);
        std::fputc('\n', logFile_);
        std::fflush(logFile_);
    }
    if (logSink_) logSink_(line);
}

void Register::wakeAllLocked() {
    for (auto& [id, wake] : wakers_)
        if (wake) wake();
}

bool Register::busyLocked(SteadyClock::time_point now) const { return now < busyUntil_; }

bool Register::chance(double p) {
    if (p <= 0) return false;
    return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < p;
}

// ---------------------------------------------------------------- Session

Session::Session(Register& reg, std::function<void()> wake) : reg_(reg) {
    std::lock_guard lk(reg_.mu_);
    id_ = reg_.nextSession_++;
    reg_.wakers_[id_] = std::move(wake);
    dropGen_ = reg_.dropGen_;
    // With a cipher set up per connection, each connection starts plain and
    // announces the cipher first; otherwise it continues the register's.
    if (!reg_.connectSetup_) cipher_ = reg_.cipher_;
    needSetup_ = reg_.connectSetup_.has_value();
    ++reg_.stats_.connections;
    reg_.lastActivity_ = SteadyClock::now();
    reg_.logLocked("SIM: Connection " + std::to_string(id_) + " opened");
}

Session::~Session() {
    std::lock_guard lk(reg_.mu_);
    reg_.wakers_.erase(id_);
    // Nobody is left to send the running long command's answer; the register
    // stays busy until its time is up.
    if (reg_.long_ && reg_.long_->session == id_) reg_.long_.reset();
    reg_.lastActivity_ = SteadyClock::now();
    reg_.logLocked("SIM: Connection " + std::to_string(id_) + " closed");
}

Output Session::receive(const uint8_t* data, size_t n) {
    Output out;
    std::lock_guard lk(reg_.mu_);
    const auto now = SteadyClock::now();
    reg_.lastActivity_ = now;
    if (reg_.loggingLocked()) reg_.logLocked("SIM: Data received : " + trv::FrameDump(data, n, 0));
    emitSetup(out);
    emitDue(now, out);
    fifo_.push(data, n);
    std::vector<uint8_t> frame;
    while (!out.drop) {
        const size_t before = fifo_.size();
        size_t dropped = 0;
        const bool got = fifo_.nextFrame(frame, dropped);
        if (dropped) reg_.logLocked("SIM: Dropped recv bytes : " + std::to_string(dropped));
        if (got) {
            handleFrame(frame, out);
            continue;
        }
        // A stray end marker is removed without a frame; look again behind it.
        if (fifo_.size() == 0 || fifo_.size() >= before) break;
    }
    return out;
}

Output Session::poll() {
    Output out;
    std::lock_guard lk(reg_.mu_);
    if (dropGen_ != reg_.dropGen_) {
        dropGen_ = reg_.dropGen_;
        ++reg_.stats_.drops;
        reg_.logLocked("SIM: Dropping connection " + std::to_string(id_));
        out.drop = true;
        return out;
    }
    const auto now = SteadyClock::now();
    emitSetup(out);
    emitDue(now, out);
    if (reg_.cardEveryMs_ > 0 && now >= reg_.nextCard_) {
        reg_.events_.push_back(reg_.cardEventLocked());
        reg_.nextCard_ = now + std::chrono::milliseconds(reg_.cardEveryMs_);
    }
    emitEvents(out);
    return out;
}

int Session::msUntilDue() const {
    std::lock_guard lk(reg_.mu_);
    const auto now = SteadyClock::now();
    int ms = 1000;
    if (reg_.long_ && reg_.long_->session == id_) ms = std::min(ms, msUntil(reg_.busyUntil_, now));
    if (reg_.cardEveryMs_ > 0) ms = std::min(ms, msUntil(reg_.nextCard_, now));
    if (!reg_.events_.empty() || needSetup_ || dropGen_ != reg_.dropGen_) ms = 0;
    return ms;
}

void Session::handleFrame(const std::vector<uint8_t>& frame, Output& out) {
    Stats& st = reg_.stats_;
    const Faults& f = reg_.faults_;
    ++st.framesReceived;
    if (reg_.loggingLocked())
        reg_.logLocked("SIM: FRAME Received : " + trv::FrameDump(frame.data(), frame.size(), 2));

    if (f.dropEvery && ++reg_.framesSeen_ % f.dropEvery == 0) {
        ++st.drops;
        reg_.logLocked("SIM: Dropping connection " + std::to_string(id_) + " (fault)");
        out.drop = true;
        return;
    }
    if (reg_.silenceNext_ > 0 || f.silent) {
        if (reg_.silenceNext_ > 0) --reg_.silenceNext_;
        reg_.logLocked("SIM: Frame left unanswered (fault)");
        return;
    }

    trv::DecodedFrame req;
    const int rc = trv::decodeFrame(frame.data(), frame.size(), cipher_, trv::CipherOrder::ItemsFirst, req);
    if (rc == trv::FRAME_CRC) {
        ++st.badCrcReceived;
        reg_.logLocked("SIM: CRC error in received frame");
        sendError(out, req.token, req.cmd, trans::kCrc, 0);
        return;
    }
    if (rc != trv::FRAME_OK) {
        ++st.malformedReceived;
        reg_.logLocked("SIM: Frame is unreadable: " + std::to_string(rc));
        sendError(out, req.token, peekCommand(frame), trans::kMalformed, 0);
        return;
    }
    if (reg_.failNext_ > 0) {
        --reg_.failNext_;
        sendError(out, req.token, req.cmd, reg_.failNextCode_, 0);
        return;
    }
    if (reg_.chance(f.transErrorRate)) {
        sendError(out, req.token, req.cmd, f.transErrorCode, 0);
        return;
    }
    // A repeated frame that was already executed (its answer was lost or
    // arrived damaged) is answered again from the cache, not run twice.
    if (req.flags & trv::kFlagRepeated) {
        if (Cached* c = cached(req.token, req.cmd)) {
            reg_.logLocked("SIM: Repeated frame, answering again");
            sendAck(out, req.token);
            if (c->answered) {
                if (c->error) {
                    sendFrame(out, req.token, 0, c->values, true, f.answerDelayMs);
                    ++st.errorAnswers;
                } else {
                    sendAnswer(out, req.token, req.cmd, c->values, f.answerDelayMs);
                }
            }
            return;
        }
    }
    execute(req, out);
}

void Session::execute(const trv::DecodedFrame& req, Output& out) {
    const uint16_t cmd = req.cmd;
    const uint32_t token = req.token;
    const int delay = reg_.faults_.answerDelayMs;
    if (cmd <= trv::proto::kAnswerCipher) {  // the register's own frame types are no requests
        sendError(out, token, cmd, 0, err::kBadCommand, 0, 0);
        return;
    }
    sendAck(out, token);
    const auto now = SteadyClock::now();
    const bool busy = reg_.busyLocked(now);

    bool failed = false;
    std::array<uint16_t, 4> errv{cmd, 0, 0, 0};
    Values v;
    if (busy && !trv::proto::answeredWhileBusy(cmd)) {
        failed = true;
        errv[2] = err::kBusy;
    } else if (auto c = reg_.canned_.find(cmd); c != reg_.canned_.end()) {
        failed = c->second.error;
        if (failed) errv = c->second.err;
        else v.items = c->second.values;
    } else if (cmd == cmd::WaitStatusGet) {
        v.byte(busy ? 1 : 0).word(busy ? reg_.busyCode_ : 0);
    } else if (cmd == cmd::SeqStatusGet) {
        v.word(reg_.seqCmd_).word(busy ? reg_.busyCode_ : reg_.seqStatus_).dword(reg_.seqToken_);
    } else if (cmd == cmd::CmplxSeqStop) {
        if (busy) {
            reg_.busyUntil_ = now;
            reg_.seqStatus_ = err::kStopped;
            if (reg_.long_) reg_.long_->stopped = true;
            reg_.logLocked("SIM: Long command stopped");
            if (reg_.busyCode_ == busy::kReport) reg_.printLocked("*** WYDRUK PRZERWANY ***\n");
            emitDue(now, out);
        }
    } else {
        try {
            reg_.state_.execute(cmd, req.items, v);
            // A handler's answer must be readable by the library's reader.
            if (std::string wrong = commandTable().answerMismatch(cmd, v.items); !wrong.empty()) {
                ++reg_.stats_.answerMismatches;
                reg_.logLocked("SIM: Answer of command " + std::to_string(cmd) + " does not fit its layout: " + wrong);
                reg_.lastMismatch_ = "answer of " + wrong;
            }
        } catch (const ExecError& e) {
            failed = true;
            errv[2] = e.code;
            if (e.code == err::kBadLayout) {
                ++reg_.stats_.requestMismatches;
                reg_.logLocked("SIM: Request of command " + std::to_string(cmd) + " does not fit its layout: " + e.detail);
                reg_.lastMismatch_ = "request of " + e.detail;
            } else {
                ++reg_.stats_.execErrors;
            }
            reg_.state_.printed.clear();  // a command that failed printed nothing
        }
        reg_.paperLocked();
    }

    if (failed) {
        sendError(out, token, errv[0], errv[1], errv[2], errv[3], delay);
        remember(token, cmd, true, true, Values().word(errv[0]).word(errv[1]).word(errv[2]).word(errv[3]).items);
        return;
    }
    if (trv::proto::IsLongCommand(cmd)) {
        // Acknowledged now, answered when the register is done.
        reg_.busyUntil_ = now + std::chrono::milliseconds(reg_.busyMs_);
        reg_.busyCode_ = busyCodeFor(cmd);
        reg_.seqCmd_ = cmd;
        reg_.seqToken_ = token;
        reg_.seqStatus_ = 0;
        reg_.long_ = Register::LongAnswer{id_, token, cmd, std::move(v.items)};
        remember(token, cmd, false, false, {});
        reg_.logLocked("SIM: Long command, busy for " + std::to_string(reg_.busyMs_) + " ms");
        emitDue(now, out);
        return;
    }
    sendAnswer(out, token, cmd, v.items, delay);
    remember(token, cmd, true, false, v.items);
    if (cmd == kTcpClose) {
        // Asked to close the connection: it answers first, then hangs up.
        ++reg_.stats_.drops;
        reg_.logLocked("SIM: Closing connection " + std::to_string(id_) + " as asked (command 6)");
        out.drop = true;
    }
}

void Session::emitSetup(Output& out) {
    if (!needSetup_) return;
    needSetup_ = false;
    if (!reg_.connectSetup_) return;
    const Register::Event& ev = *reg_.connectSetup_;
    cipher_ = trv::Cipher{};  // the announcement itself travels plain
    sendFrame(out, ev.token, ev.cmd, ev.values, false);
    ++reg_.stats_.cipherSetups;
    cipher_ = *ev.newCipher;
}

void Session::emitDue(SteadyClock::time_point now, Output& out) {
    auto& l = reg_.long_;
    if (!l || l->session != id_ || (now < reg_.busyUntil_ && !l->stopped)) return;
    const int delay = reg_.faults_.answerDelayMs;
    Values errv;
    if (l->stopped) {
        errv.word(l->cmd).word(0).word(err::kStopped).word(0);
        sendError(out, l->token, l->cmd, 0, err::kStopped, 0, delay);
    } else {
        sendAnswer(out, l->token, l->cmd, l->values, delay);
    }
    if (Cached* c = cached(l->token, l->cmd)) {
        c->answered = true;
        c->error = l->stopped;
        c->values = l->stopped ? std::move(errv.items) : std::move(l->values);
    }
    reg_.logLocked("SIM: Long command done");
    l.reset();
}

void Session::emitEvents(Output& out) {
    while (!reg_.events_.empty()) {
        Register::Event ev = std::move(reg_.events_.front());
        reg_.events_.pop_front();
        sendFrame(out, ev.token, ev.cmd, ev.values, false);
        if (ev.cmd == trv::proto::kAnswerCard) ++reg_.stats_.cardEvents;
        if (ev.newCipher) {
            ++reg_.stats_.cipherSetups;
            cipher_ = *ev.newCipher;
            reg_.cipher_ = *ev.newCipher;
        }
    }
}

void Session::sendFrame(Output& out, uint32_t token, uint16_t cmd, const Items& values, bool finalAnswer,
                        int delayMs) {
    Register& r = reg_;
    const Faults& f = r.faults_;
    std::vector<const trv::TRV_DataItem*> ptrs;
    ptrs.reserve(values.size());
    for (const trv::TRV_DataItem& it : values) ptrs.push_back(&it);
    uint16_t flags = 0;
    std::vector<uint8_t> bytes = trv::encodeFrame(flags, token, cmd, ptrs, cipher_, trv::CipherOrder::CommandFirst);
    if (bytes.empty()) {
        r.logLocked("SIM: Answer does not fit a frame");
        if (finalAnswer && cmd != 0) sendError(out, token, cmd, 0, err::kAnswerTooLarge, 0, delayMs);
        return;
    }
    if (finalAnswer) {
        ++r.finalSent_;
        if ((f.crcErrorEvery && r.finalSent_ % f.crcErrorEvery == 0) || r.chance(f.crcErrorRate)) {
            corruptCrc(bytes);
            ++r.stats_.corruptedSent;
            r.logLocked("SIM: CRC of the next frame corrupted (fault)");
        }
    }
    if (r.loggingLocked()) r.logLocked("SIM: FRAME Sent: " + trv::FrameDump(bytes.data(), bytes.size(), 1));
    ++r.stats_.framesSent;

    if (f.garbage) {
        // Noise without DLE, then a frame start cancelled by DLE CAN.
        std::vector<uint8_t> noise;
        auto rnd = [&] {
            uint8_t b;
            do b = static_cast<uint8_t>(r.rng_()); while (b == DLE);
            return b;
        };
        for (int k = 1 + static_cast<int>(r.rng_() % 6); k > 0; --k) noise.push_back(rnd());
        noise.push_back(DLE);
        noise.push_back(STX);
        for (int k = 1 + static_cast<int>(r.rng_() % 4); k > 0; --k) noise.push_back(rnd());
        noise.push_back(DLE);
        noise.push_back(CAN);
        if (r.loggingLocked()) r.logLocked("SIM: Noise sent : " + trv::FrameDump(noise.data(), noise.size(), 0));
        bytes.insert(bytes.begin(), noise.begin(), noise.end());
    }

    if (f.splitBytes == 0 || bytes.size() <= f.splitBytes) {
        out.chunks.push_back(Chunk{std::move(bytes), delayMs});
        return;
    }
    for (size_t pos = 0; pos < bytes.size(); pos += f.splitBytes) {
        const size_t n = std::min(f.splitBytes, bytes.size() - pos);
        out.chunks.push_back(Chunk{std::vector<uint8_t>(bytes.begin() + static_cast<long>(pos),
                                                        bytes.begin() + static_cast<long>(pos + n)),
                                   pos == 0 ? delayMs : f.chunkDelayMs});
    }
}

void Session::sendAck(Output& out, uint32_t token) {
    sendFrame(out, token, 1, {}, false);
    ++reg_.stats_.acks;
}

void Session::sendAnswer(Output& out, uint32_t token, uint16_t cmd, const Items& values, int delayMs) {
    sendFrame(out, token, cmd, values, true, delayMs);
    ++reg_.stats_.answers;
}

void Session::sendError(Output& out, uint32_t token, uint16_t cmd, uint16_t trans, uint16_t exec, uint16_t other,
                        int delayMs) {
    reg_.logLocked("SIM: Error answer: [cmdid] " + std::to_string(cmd) + " [trans] " + std::to_string(trans) +
                   " [exec] " + std::to_string(exec) + " [other] " + std::to_string(other));
    sendFrame(out, token, 0, Values().word(cmd).word(trans).word(exec).word(other).items, true, delayMs);
    ++reg_.stats_.errorAnswers;
}

Session::Cached* Session::cached(uint32_t token, uint16_t cmd) {
    for (Cached& c : cache_)
        if (c.token == token && c.cmd == cmd) return &c;
    return nullptr;
}

void Session::remember(uint32_t token, uint16_t cmd, bool answered, bool error, const Items& values) {
    if (Cached* c = cached(token, cmd)) {
        *c = Cached{token, cmd, answered, error, values};
        return;
    }
    cache_.push_back(Cached{token, cmd, answered, error, values});
    if (cache_.size() > kCacheSize) cache_.pop_front();
}

}  // namespace trvsim
