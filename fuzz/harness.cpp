#include "harness.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "kestro.h"
#include "kp/clock.h"
#include "kp/device.h"
#include "kp/platform.h"

namespace fuzz {

const std::string& temp_dir() {
    // Under TMPDIR when set, so a long run can keep its files on tmpfs.
    static const std::string dir = [] {
        const char* base = getenv("TMPDIR");
        std::string tmpl =
            std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/kestro-fuzz-XXXXXX";
        if (mkdtemp(tmpl.data()) == nullptr) {
            std::abort();
        }
        return tmpl;
    }();
    return dir;
}

void fresh_platform() {
    CloseUSB();
    kp::reset_platform();
    kp::clock_use_virtual(1796650862);
    kp::set_drive_root(temp_dir());
    if (chdir(temp_dir().c_str()) != 0) {
        std::abort();
    }
    std::remove((temp_dir() + "/kestro.log").c_str());
}

void enable_trace() {
    std::ofstream(temp_dir() + "/kestro.log", std::ios::binary);
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "finding: %s\n", what);
        std::abort();
    }
}

}  // namespace fuzz
