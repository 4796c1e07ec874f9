// The receive path's state (trvlib_receive.cpp): the bytes received and not
// yet cut into frames, and the frame being processed. Receiver thread only.
#pragma once

#include "trvlib_fifo.h"
#include "trvlib_frame.h"

namespace trv {

struct ReceiveState {
    FIFO fifo;             // also the modem's line path's, while no call is connected
    DecodedFrame decoded;  // kept from frame to frame: its value list keeps its room
};

}  // namespace trv
