// What the generated bounds test (test_mirtel_bounds, from the command
// tables) needs: caller buffers of exactly a stated size, and the answers a
// hostile register could give to a hand-written reader, built from the
// reader's wire pattern.
#pragma once

#include <cctype>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "test_mirtel_fixture.h"

namespace mirtel_test {

// A caller's text buffer of exactly n bytes on the heap, where
// AddressSanitizer sees a byte written past it.
class Buf {
public:
    explicit Buf(size_t n) : n_(n), p_(new char[n]) { fill(); }
    char* p() { return p_.get(); }
    void fill() { std::memset(p_.get(), 0x5A, n_); }
    bool untouched() const {
        for (size_t i = 0; i < n_; ++i)
            if (p_[i] != 0x5A) return false;
        return true;
    }

private:
    size_t n_;
    std::unique_ptr<char[]> p_;
};

// The alternatives of a wire pattern (split at the '|' outside groups).
inline std::vector<std::string> alternatives(const std::string& pattern) {
    std::vector<std::string> out(1);
    int depth = 0;
    for (char c : pattern) {
        if (c == '|' && depth == 0) {
            out.emplace_back();
            continue;
        }
        depth += c == '(' ? 1 : c == ')' ? -1 : 0;
        out.back() += c;
    }
    return out;
}

// An answer of one alternative of a wire pattern that a broken or hostile
// register could send: every value at its longest text (Words 65535, Longs
// 4294967295, Numerics of twelve digits and a sign, Strings of length
// bytes), optional parts present, and each group the pattern repeats (*) as
// often as its count allows: a Byte right before such a group is its count
// and holds 255; a Word there counts runs repetitions, as many as there are
// where no count stands before the group (lists the answer's value count
// measures). Every other Byte holds selector, so that the layouts chosen by
// a record type or kind (0, 1, 2) are all reached.
inline std::vector<V> hostileAnswer(const std::string& layout, uint8_t selector, size_t length, uint16_t runs) {
    struct Gen {
        const std::string& t;
        size_t i = 0;
        uint8_t selector;
        size_t length;
        uint16_t runs;
        std::vector<V> out;

        V worst(char letter) const {
            switch (letter) {
            case 'B': return V::B(selector);
            case 'V': return V::W(65535);
            case 'L': return V::L(4294967295u);
            case 'S': return V::S(std::string(length, 'x'));
            case 'K': return V::K("-5000000000.00");
            case 'Q': return V::Q("-500000000.000");
            default: return V::N("-500000000000");
            }
        }
        // One sequence up to ')' or the end; returns it as (start, end) of t.
        void sequence() {
            char lastLetter = 0;    // the single value just emitted, if any
            size_t lastAt = 0;      // its index in out
            while (i < t.size() && t[i] != ')') {
                const size_t start = i;
                char letter = 0;
                if (t[i] == '(') {
                    int depth = 0;
                    do {
                        depth += t[i] == '(' ? 1 : t[i] == ')' ? -1 : 0;
                        ++i;
                    } while (depth > 0 && i < t.size());
                } else {
                    letter = t[i++];
                }
                const size_t end = i;
                // The repetition that follows.
                size_t times = 1;
                bool counted = false;
                if (i < t.size() && t[i] == '*') {
                    ++i;
                    counted = true;
                    times = lastLetter == 'B' ? 255 : runs;
                    if (lastLetter == 'B') out[lastAt] = V::B(255);
                    if (lastLetter == 'V') out[lastAt] = V::W(runs);
                } else if (i < t.size() && t[i] == '?') {
                    ++i;
                } else if (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) {
                    times = 0;
                    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) times = times * 10 + (t[i++] - '0');
                }
                const size_t after = i;
                for (size_t r = 0; r < times; ++r) {
                    if (letter) {
                        out.push_back(worst(letter));
                    } else {
                        i = start + 1;  // inside the group
                        sequence();
                    }
                }
                i = after;
                (void)end;
                lastLetter = letter && times == 1 && !counted ? letter : 0;
                lastAt = out.size() - 1;
            }
        }
    } g{layout, 0, selector, length, runs, {}};
    g.sequence();
    return std::move(g.out);
}

// What a reader may answer a hostile register: done, bad data, a text too
// long for the library's own buffer, or too few values.
inline bool acceptable(TARVIK_STATUS st) {
    return st == 0 || st == TARVIK_STATUS_BADDATA || st == TARVIK_STATUS_BUFFERTOOSMALL ||
           st == TARVIK_STATUS_NOMOREVALUES;
}

// Which requests the library freed; the test program links with
// --wrap=TRV_DestroyRequest and defines the wrapper with this macro.
inline std::set<TARVIK_HANDLE>& destroyedRequests() {
    static std::set<TARVIK_HANDLE> s;
    return s;
}
#define TRACK_DESTROYED_REQUESTS                                                          \
    extern "C" TARVIK_STATUS __real_TRV_DestroyRequest(TARVIK_HANDLE hRequest);           \
    extern "C" TARVIK_STATUS __wrap_TRV_DestroyRequest(TARVIK_HANDLE hRequest) {          \
        mirtel_test::destroyedRequests().insert(hRequest);                                \
        return __real_TRV_DestroyRequest(hRequest);                                       \
    }

class MirtelBounds : public MirtelTest {
protected:
    void SetUp() override {
        MirtelTest::SetUp();
        stringMode(0);
    }
    TARVIK_HANDLE answer(uint16_t cmd, const std::vector<V>& values) {
        TARVIK_HANDLE h = MirtelTest::answer(cmd, values);
        destroyedRequests().erase(h);
        return h;
    }
    static bool destroyed(TARVIK_HANDLE h) { return destroyedRequests().count(h) != 0; }

    // The longest answer of a regular reader fits the stated sizes exactly.
    template <class Read>
    void fits(uint16_t cmd, const std::vector<V>& worst, Read read, bool keeps) {
        TARVIK_HANDLE h = answer(cmd, worst);
        EXPECT_EQ(read(h), 0u);
        EXPECT_NE(destroyed(h), keeps);
        if (keeps) TRVG_Default(h);
    }

    // Each field out of its range (index in the answer, value) is bad data:
    // the output stays as it was and the request with the caller.
    template <class Read>
    void refused(uint16_t cmd, const std::vector<V>& worst, Read read, Buf& out,
                 std::initializer_list<std::pair<size_t, V>> cases) {
        for (const auto& [index, bad] : cases) {
            SCOPED_TRACE("value " + std::to_string(index) + " = " + std::to_string(bad.n));
            std::vector<V> values = worst;
            values[index] = bad;
            out.fill();
            TARVIK_HANDLE h = answer(cmd, values);
            EXPECT_EQ(read(h), TARVIK_STATUS_BADDATA);
            EXPECT_FALSE(destroyed(h));
            EXPECT_TRUE(out.untouched());
            TRVG_Default(h);
        }
    }

    // Hostile answers of every alternative of a hand-written reader's layout;
    // runs is one more than the longest list any of its outputs holds.
    template <class Read>
    void drive(uint16_t cmd, const std::string& pattern, uint16_t runs, Read read) {
        bool reached = false;  // some answer was read to its end, or refused as too long
        for (const std::string& layout : alternatives(pattern))
            for (uint8_t selector : {0, 1, 2, 255})
                for (size_t length : {63, 255}) {
                    SCOPED_TRACE(layout + " selector " + std::to_string(selector) + " length " +
                                 std::to_string(length));
                    TARVIK_HANDLE h = answer(cmd, hostileAnswer(layout, selector, length, runs));
                    const TARVIK_STATUS st = read(h);
                    EXPECT_TRUE(acceptable(st)) << std::hex << st;
                    EXPECT_EQ(destroyed(h), st == 0u);
                    if (!destroyed(h)) TRVG_Default(h);
                    reached = reached || st == 0u || st == TARVIK_STATUS_BADDATA;
                }
        EXPECT_TRUE(reached);
    }
};

}  // namespace mirtel_test
