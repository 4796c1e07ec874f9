// velsor: reads a libtarvik debug log on standard input and writes the frames
// it holds to standard output, one block per frame: a header line naming the
// direction, then the frame's raw bytes and a line feed.
#include <iostream>

#include "velsor_convert.h"

int main() {
    velsor::convert(std::cin, stdout);
    return 0;
}
