// velsor's conversion, apart from its main() so that the fuzz target runs
// the very same code: reads a libtarvik debug log from `in` and writes one
// block per frame dump to `out` (a header line naming the direction, then
// the frame's raw bytes and a line feed), flushing after every block.
#pragma once

#include <cstdio>
#include <istream>

namespace velsor {

void convert(std::istream& in, std::FILE* out);

}  // namespace velsor
