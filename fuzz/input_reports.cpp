// Input reports of any length from a reader announcing any report length:
// ReadData delivers at most the 538 bytes it asks for, behind their length,
// and zeros after them; it never writes past the 1024-byte buffer.
#include <algorithm>
#include <cstring>
#include <vector>

#include "harness.h"
#include "kestro.h"
#include "kp/device.h"
#include "vr/inprocess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    fuzz::fresh_platform();
    auto reader = vr::InProcessReader::plug_new(vr::Mode::Idtech);
    reader->unplug();
    // First two bytes: the report length the reader announces (1 to 1100).
    reader->input_length_override = static_cast<uint16_t>(1 + (data[0] | data[1] << 8) % 1100);
    reader->plug();
    SetID(MR_PID_IDTECH);
    fuzz::check(OpenUSB() == 0, "open");
    kp::deliver_input(reader.get(), data + 2, size - 2);
    std::vector<unsigned char> buf(MR_READ_BUF_LEN + 16, 0xEE);
    int32_t r = ReadData(buf.data(), 0, 0);
    size_t announced = reader->input_length_override;
    if (announced > MR_READ_LEN) {
        // The platform refuses a read buffer shorter than the report.
        fuzz::check(r == 3, "a read into a short buffer succeeded");
    } else {
        fuzz::check(r == 0, "no report");
        size_t n = static_cast<size_t>(buf[0] | buf[1] << 8);
        fuzz::check(n == announced, "length");
        size_t given = std::min(n, size - 2);
        fuzz::check(std::memcmp(buf.data() + 2, data + 2, given) == 0, "report bytes");
        for (size_t i = 2 + given; i < MR_READ_BUF_LEN; ++i) {
            fuzz::check(buf[i] == 0, "not zero after the report");
        }
    }
    for (size_t i = MR_READ_BUF_LEN; i < buf.size(); ++i) {
        fuzz::check(buf[i] == 0xEE, "wrote past the 1024-byte buffer");
    }
    CloseUSB();
    return 0;
}
