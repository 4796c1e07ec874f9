// Serves a simulated register on a pseudo-terminal, as if it hung on a
// serial port: the library opens the slave side like any serial device
// ("/dev/pts/7,9600,8,N,1,N"). Optionally a Hayes modem sits in front of the
// register (sim_modem.h), so the library's dial-up mode can be driven.
//
//   trvsim::Register reg;
//   trvsim::PtyServer pty(reg);            // or PtyServer(reg, {.modem = true})
//   std::string slave = pty.start();       // "/dev/pts/N"; "" on failure
//   ...
//   pty.stop();                            // joins the thread, closes the pty
//
// One thread serves the master side. Each time a client opens the slave a
// new register session starts (with the modem: each call); when the client
// closes it the master reports a hang-up until the slave is opened again,
// and the server naps in between rather than spinning.
//
// A pty has no modem lines. A test that needs DCD and DTR gives the library
// a stand-in whose carrier() is PtyServer::carrier() and whose setDTR()
// calls PtyServer::setDTR(); dropping DTR hangs the modem up. Closing the
// slave does the same (a real port drops DTR on close).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "sim_modem.h"
#include "sim_register.h"

namespace trvsim {

struct PtyOptions {
    std::string link;         // a symbolic link to the slave, made by start(), removed by stop()
    bool modem = false;       // a Hayes modem in front of the register
    ModemConfig modemConfig;  // its behaviour
};

class PtyStream;

class PtyServer {
public:
    explicit PtyServer(Register& reg, PtyOptions opts = {});
    ~PtyServer();  // stops
    PtyServer(const PtyServer&) = delete;
    PtyServer& operator=(const PtyServer&) = delete;

    // Opens a pty (raw line), makes the link if asked and starts serving.
    // Returns the slave's path, or "" (errno set) on failure or when already
    // running. An existing file at the link path is replaced only when it is
    // a symbolic link itself.
    std::string start();
    // Joins the thread, closes the pty and removes the link (if it still
    // points to this slave). Nothing is left running; start() may be called
    // again (it gets a new pty).
    void stop();
    // The slave's path while running. Not to be called during start()/stop().
    const std::string& slavePath() const { return slave_; }

    // ---- the modem lines a pty lacks; callable from any thread
    // Carrier detect: true while a modem call is up.
    bool carrier() const { return carrier_.load(); }
    // DTR from the library's side; a drop hangs up a call.
    void setDTR(bool on);
    // What the modem says to the next dial.
    void setDialAnswer(DialAnswer a) { dialAnswer_.store(static_cast<int>(a)); }

private:
    void run();
    bool waitForSlave();
    void nap(int ms);
    void serveModem(PtyStream& s);
    void wake();

    Register& reg_;
    const PtyOptions opts_;
    int master_ = -1;
    const int wakeFd_;  // eventfd for the whole life: stop, DTR, register events
    std::string slave_;
    bool linked_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<bool> carrier_{false};
    std::atomic<bool> dtr_{true};
    std::atomic<unsigned> dtrDrops_{0};
    std::atomic<int> dialAnswer_;
    std::unique_ptr<HayesModem> modem_;  // used by the server thread only
    std::thread th_;
};

}  // namespace trvsim
