// Device paths of any length and content pass through the trace: no entry
// may run past the line buffer, and each interface entry keeps its tail.
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "harness.h"
#include "kestro.h"
#include "kp/device.h"
#include "vr/inprocess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::fresh_platform();
    // A path is a C string: it ends at the first zero byte.
    std::string path(reinterpret_cast<const char*>(data), size);
    path = path.substr(0, path.find('\0'));
    if (path.empty() || path[0] == '\\') {
        path.insert(0, "x");  // not a drive path, not empty
    }
    auto reader = vr::InProcessReader::plug_new(vr::Mode::Idtech);
    reader->unplug();
    kp::attach_device(reader, path);
    fuzz::enable_trace();
    SetID(MR_PID_IDTECH);
    int32_t r = OpenUSB();
    fuzz::check(r == 0, "the reader was not found");
    CloseUSB();
    std::ifstream in(fuzz::temp_dir() + "/kestro.log", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    size_t at = text.find("\r\n --> ");
    fuzz::check(at != std::string::npos, "no interface entry");
    size_t tail = text.find(", acc=3221225472, vid=0, pid=0 ", at);
    fuzz::check(tail != std::string::npos, "the interface entry lost its tail");
    fuzz::check(tail + 31 - at <= 255, "an entry ran past the line buffer");
    return 0;
}
