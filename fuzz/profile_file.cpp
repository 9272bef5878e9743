// A profile file of any content: the first seven bytes, zero-padded, are
// what reaches the reader, whatever the rest holds.
#include <cstdio>
#include <fstream>

#include "harness.h"
#include "kestro.h"
#include "vr/inprocess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::fresh_platform();
    auto reader = vr::InProcessReader::plug_new(vr::Mode::Magtek);
    SetID(MR_PID_MAGTEK);
    fuzz::check(OpenUSB() == 0, "open");
    std::ofstream(fuzz::temp_dir() + "/msr.ini", std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    fuzz::check(SetMrState() == 0, "SetMrState");
    const auto& sent = reader->model().received.at(0);
    fuzz::check(sent.size() == MR_FEATURE_LEN && sent[1] == MR_CMD_SET_STATE, "frame");
    for (size_t i = 0; i < MR_STATE_LEN; ++i) {
        uint8_t want = i < size ? data[i] : 0;
        fuzz::check(sent[2 + i] == want, "configuration byte");
    }
    for (size_t i = 9; i < MR_FEATURE_LEN; ++i) {
        fuzz::check(sent[i] == 0, "fill byte");
    }
    CloseUSB();
    std::remove((fuzz::temp_dir() + "/msr.ini").c_str());
    return 0;
}
