// A reader that answers feature requests with any bytes: the configuration
// answer passes through unchanged, and a statistics answer never makes the
// library write past the caller's buffer or read past the report.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "harness.h"
#include "kestro.h"
#include "kp/device.h"

namespace {

class AnsweringDevice : public kp::HidDevice {
  public:
    std::vector<uint8_t> answer;
    kp::HidIdentity identity() const override {
        kp::HidIdentity id;
        id.vendor_id = MR_VID;
        id.product_id = MR_PID_IDTECH;
        id.input_report_length = 538;
        id.feature_report_length = MR_FEATURE_LEN;
        return id;
    }
    bool set_feature(const uint8_t*, size_t) override { return true; }
    bool get_feature(uint8_t* report, size_t length) override {
        std::memcpy(report, answer.data(), std::min(length, answer.size()));
        return true;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    fuzz::fresh_platform();
    auto device = std::make_shared<AnsweringDevice>();
    // First byte: the caller's buffer length; the rest: the reader's answer.
    int32_t len = data[0] % 40;
    device->answer.assign(MR_FEATURE_LEN, 0);
    std::memcpy(device->answer.data(), data + 1, std::min<size_t>(size - 1, MR_FEATURE_LEN));
    kp::attach_device(device);
    SetID(MR_PID_IDTECH);
    fuzz::check(OpenUSB() == 0, "open");

    unsigned char report[MR_FEATURE_LEN];
    fuzz::check(GetMrState(report) == 0, "GetMrState");
    fuzz::check(std::memcmp(report, device->answer.data(), MR_FEATURE_LEN) == 0, "answer changed");

    std::vector<unsigned char> guarded(static_cast<size_t>(len) + 16, 0xEE);
    int32_t r = RetrieveStatistics(3, guarded.data(), len);
    int n = device->answer[1];
    int32_t want = len < 4 ? 2 : (len < n ? 3 : 0);
    fuzz::check(r == want, "retrieve result");
    size_t copied = len < 4 ? 0 : static_cast<size_t>(std::min({n, static_cast<int>(len), 23}));
    for (size_t i = 0; i < copied; ++i) {
        fuzz::check(guarded[i] == device->answer[2 + i], "retrieved byte");
    }
    for (size_t i = copied; i < guarded.size(); ++i) {
        fuzz::check(guarded[i] == 0xEE, "wrote past what the answer holds");
    }
    CloseUSB();
    return 0;
}
