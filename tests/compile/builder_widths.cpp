// Compiled, not run: the command builder takes only the exact wire widths.
// Built once as it stands (it must compile) and once with WRONG_WIDTH (it
// must not).
#include "tarvik_mirtel_helper.h"

TARVIK_STATUS send(TARVIK_HANDLE view, unsigned char b, unsigned short w, unsigned long l) {
    mirtel::Command c(view, nullptr, 2100, 0);
    c.byte(b).word(w).dword(l).filler(0);
#ifdef WRONG_WIDTH
    c.byte(w);  // a Word pushed as a Byte
#endif
    return c.post();
}
