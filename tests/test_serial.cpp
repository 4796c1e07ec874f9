// The serial transport over a pty: port strings and the line settings they
// leave, frames both ways, the send time-out, busy polling after a long
// command.
#include <gtest/gtest.h>
#include <termios.h>

#include "pty_far_end.h"

using namespace trv;
using namespace trv::test;
using Clock = std::chrono::steady_clock;

namespace {

long msSince(Clock::time_point t) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count());
}

struct Serial : ::testing::Test {
    Pty pty;
    TARVIK_HANDLE dev = nullptr;
    TARVIK_HANDLE view = nullptr;

    void SetUp() override {
        ASSERT_FALSE(pty.slave.empty());
        dev = TRV_CreateDeviceHandle(TARVIK_DEVICE_RS232);
        ASSERT_NE(dev, nullptr);
    }
    void TearDown() override {
        if (view) TRV_CloseDevice(view);
        TRV_DestroyDeviceHandle(dev);
    }
    TARVIK_HANDLE open(const std::string& port) {
        EXPECT_EQ(TRV_SetDeviceParam(dev, TARVIK_PARAM_COMPARAMS, const_cast<char*>(port.c_str())), 0u);
        view = TRV_OpenDevice(dev);
        return view;
    }
    TARVIK_HANDLE post(uint16_t cmd, const std::string& text = "") {
        TARVIK_HANDLE r = TRV_CreateRequest(view, cmd);
        if (!text.empty()) {
            EXPECT_EQ(TRV_PushRequestParamString(r, text.c_str()), 0u);
        }
        EXPECT_EQ(TRV_PostRequest(r, 0), 0u);
        return r;
    }
};

// The line settings as another program on the same pty sees them.
termios settingsOf(const std::string& path) {
    termios t{};
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    return t;
}

}  // namespace

TEST_F(Serial, PortStringsSetTheLineAndCarryFramesBothWays) {
    struct Case {
        std::string fields;  // after the path
        speed_t speed;
        tcflag_t size;
        bool parenb, parodd, cstopb, crtscts, ixon;
    };
    const Case cases[] = {
        {"", B9600, CS8, false, false, false, true, false},  // the default's settings
        {",9600,8,N,1,H", B9600, CS8, false, false, false, true, false},
        {",115200,7,E,2,N,ignored", B115200, CS7, true, false, true, false, false},
        {",1200,6,O,1,S", B1200, CS6, true, true, false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fields);
        // Leave the line as a careless program would: cooked, echoing, two
        // stop bits, stripping bit 7.
        {
            const int fd = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
            termios t{};
            ::tcgetattr(fd, &t);
            t.c_lflag |= ICANON | ECHO | ISIG;
            t.c_iflag |= ISTRIP | ICRNL | IXANY;
            t.c_oflag |= OPOST | ONLCR;
            t.c_cflag |= CSTOPB;
            ::tcsetattr(fd, TCSANOW, &t);
            ::close(fd);
        }
        // A pty always keeps CS8 without parity, so the character format is
        // checked on the settings the device hands to tcsetattr.
        termios built{};
        built.c_cflag = CS5 | PARENB | PARODD;
        std::string path, bad;
        ASSERT_EQ(ApplyPortString(pty.slave + c.fields, false, built, path, bad), 0u);
        EXPECT_EQ(path, pty.slave);
        EXPECT_EQ(built.c_cflag & CSIZE, c.size);
        EXPECT_EQ((built.c_cflag & PARENB) != 0, c.parenb);
        if (c.parenb) {
            EXPECT_EQ((built.c_cflag & PARODD) != 0, c.parodd);
        }

        ASSERT_NE(open(pty.slave + c.fields), nullptr);
        const termios t = settingsOf(pty.slave);
        EXPECT_EQ(cfgetospeed(&t), c.speed);
        EXPECT_EQ(cfgetispeed(&t), c.speed);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.cstopb);
        EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, c.crtscts);
        EXPECT_EQ((t.c_iflag & IXON) != 0, c.ixon);
        EXPECT_EQ((t.c_iflag & IXOFF) != 0, c.ixon);
        // Raw whatever the fields said.
        EXPECT_EQ(t.c_lflag, 0u);
        EXPECT_EQ(t.c_oflag & (OPOST | ONLCR), 0u);
        EXPECT_EQ(t.c_iflag & (BRKINT | PARMRK | INPCK | INLCR | ICRNL | IXANY | ISTRIP | IGNCR), 0u);
        EXPECT_TRUE(t.c_iflag & IGNBRK);
        EXPECT_EQ(t.c_cflag & (CREAD | HUPCL | CLOCAL), static_cast<tcflag_t>(CREAD | HUPCL | CLOCAL));
        EXPECT_EQ(t.c_cc[VMIN], 0);
        EXPECT_EQ(t.c_cc[VTIME], 1);

        // Software handshake eats XON/XOFF bytes, so frames travel only on
        // the other settings.
        if (!c.ixon) {
            FarEnd reg(pty.master);
            reg.start();
            // Bytes that a cooked line would have mangled: CR, LF, 0x10, 0xFF.
            const std::string text = "a\r\nb\x10\xff" + std::string(300, 'z');
            TARVIK_HANDLE r = post(20, text);
            ASSERT_EQ(TRV_WaitForRequestCompleted(r, 3000), 0u);
            EXPECT_EQ(TRV_GetRequestStatus(r), 0u);
            unsigned short w = 0;
            EXPECT_EQ(TRV_PopResponseValueWord(r, &w), 0u);
            EXPECT_EQ(w, TRV_GetRequestCommandSerial(r));
            auto frames = reg.frames();
            ASSERT_EQ(frames.size(), 1u);
            EXPECT_EQ(frames[0].second.cmd, 20);
            ASSERT_EQ(frames[0].second.items.size(), 1u);
            EXPECT_EQ(frames[0].second.items[0].GetString(','), text);
            TRV_DestroyRequest(r);
        }
        EXPECT_EQ(TRV_CloseDevice(view), 0u);
        view = nullptr;
    }
}

TEST_F(Serial, BadFieldsAreRefusedBeforeThePortIsOpened) {
    // The path does not exist: a field status proves the fields came first.
    const std::pair<std::string, TARVIK_STATUS> cases[] = {
        {"/nonexistent/tty,9601,8,N,1,H", 14}, {"/nonexistent/tty,fast", 14},
        {"/nonexistent/tty,,8", 14},           {"/nonexistent/tty,9600,9,N,1,H", 15},
        {"/nonexistent/tty,9600,8,n,1,H", 16}, {"/nonexistent/tty,9600,8,N,0,H", 17},
        {"/nonexistent/tty,9600,8,N,1,X", 18}, {"/nonexistent/tty,9600,8,N,1,H", 13},
        {"/nonexistent/tty", 13},
    };
    for (const auto& [port, status] : cases) {
        SCOPED_TRACE(port);
        EXPECT_EQ(open(port), nullptr);
        EXPECT_EQ(TRV_GetError(dev), status);
    }

    // Transport parameters: a missing value changes nothing; modem strings
    // are kept in upper case.
    for (uint32_t id : {TARVIK_PARAM_COMPARAMS, TARVIK_PARAM_SENDTIMEOUT, TARVIK_PARAM_MODEMMODE,
                        TARVIK_PARAM_MODEMINIT, TARVIK_PARAM_MODEMCALL}) {
        EXPECT_EQ(TRV_SetDeviceParam(dev, id, nullptr), TARVIK_STATUS_MISSINGVALUE) << id;
        EXPECT_EQ(TRV_GetDeviceParam(dev, id, nullptr), TARVIK_STATUS_MISSINGVALUE) << id;
    }
    char buf[64];
    EXPECT_EQ(TRV_SetDeviceParam(dev, TARVIK_PARAM_MODEMINIT, const_cast<char*>("ate0 &c1")), 0u);
    EXPECT_EQ(TRV_GetDeviceParam(dev, TARVIK_PARAM_MODEMINIT, buf), 0u);
    EXPECT_STREQ(buf, "ATE0 &C1");

    // A modem always gets RTS/CTS: the handshake field is not looked at.
    uint8_t on = 1;
    ASSERT_EQ(TRV_SetDeviceParam(dev, TARVIK_PARAM_MODEMMODE, &on), 0u);
    ASSERT_NE(open(pty.slave + ",9600,8,N,1,X"), nullptr);
    EXPECT_TRUE(settingsOf(pty.slave).c_cflag & CRTSCTS);
}

TEST_F(Serial, StalledPortFailsTheFrameWithTheTimeOut) {
    ASSERT_NE(open(pty.slave + ",115200,8,N,1,N"), nullptr);
    // Nobody reads the master: the pty buffer fills part-way through the
    // first frame and then the port takes nothing more.
    const auto start = Clock::now();
    TARVIK_HANDLE big = post(20, std::string(60000, 'x'));
    ASSERT_EQ(TRV_WaitForRequestCompleted(big, 6000), 0u);
    const long took = msSince(start);
    EXPECT_EQ(TRV_GetRequestStatus(big), TARVIK_STATUS_TIMEOUT);
    EXPECT_GE(took, 700);
    EXPECT_LE(took, 5000);

    // While a frame hangs in the write, a modem text is refused.
    auto* rs = objectOf<TRV_RS232Device>(dev);
    TARVIK_HANDLE second = post(20, std::string(60000, 'y'));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(rs->WriteBuffer("ATI\r"), TARVIK_STATUS_WRITEBUSY);

    // With no periods allowed the first quiet period already fails.
    ASSERT_EQ(TRV_WaitForRequestCompleted(second, 6000), 0u);
    uint32_t none = 0;
    ASSERT_EQ(TRV_SetDeviceParam(dev, TARVIK_PARAM_SENDTIMEOUT, &none), 0u);
    const auto t0 = Clock::now();
    TARVIK_HANDLE quick = post(20, "z");
    ASSERT_EQ(TRV_WaitForRequestCompleted(quick, 3000), 0u);
    EXPECT_EQ(TRV_GetRequestStatus(quick), TARVIK_STATUS_TIMEOUT);
    EXPECT_LE(msSince(t0), 1500);
    for (TARVIK_HANDLE r : {big, second, quick}) TRV_DestroyRequest(r);
}

TEST_F(Serial, LongCommandIsFollowedByBusyPolls) {
    std::atomic<int> busyAnswers{2};
    FarEnd reg(pty.master);
    reg.onFrame = [&](FarEnd& f, const DecodedFrame& d) {
        f.send(regFrame(d.token, 1));
        if (d.cmd == 8) {
            const uint8_t busy = busyAnswers.fetch_sub(1) > 0;
            f.send(regFrame(d.token, 8, {B(busy), W(busy ? 3 : 0)}));
        } else if (d.cmd != 16) {  // 16, a printed report, stays running
            f.send(regFrame(d.token, d.cmd, {W(1)}));
        }
    };
    reg.start();
    ASSERT_NE(open(pty.slave + ",57600,8,N,1,N"), nullptr);
    TARVIK_HANDLE report = post(16);
    TARVIK_HANDLE ordinary = post(14);
    ASSERT_EQ(TRV_WaitForRequestCompleted(ordinary, 5000), 0u);

    // The report, a poll each pass until "not busy" came back (the third
    // answer; one more poll may be queued by then), then the held request.
    std::vector<uint16_t> order;
    std::vector<Clock::time_point> polls;
    for (const auto& [at, d] : reg.frames()) {
        order.push_back(d.cmd);
        if (d.cmd == 8) polls.push_back(at);
    }
    ASSERT_TRUE(polls.size() == 3 || polls.size() == 4) << polls.size();
    EXPECT_EQ(order.front(), 16);
    EXPECT_EQ(order.back(), 14);
    EXPECT_EQ(order.size(), polls.size() + 2);
    for (size_t i = 1; i < polls.size(); ++i) {
        const auto gap = std::chrono::duration_cast<std::chrono::milliseconds>(polls[i] - polls[i - 1]).count();
        EXPECT_GE(gap, 150);
        EXPECT_LE(gap, 1500);
    }
    TRV_DestroyRequest(report);
    TRV_DestroyRequest(ordinary);
}
