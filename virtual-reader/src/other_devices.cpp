// HID devices of a machine that are not the reader, for the enumeration to
// meet and skip.
#include "kp/winapi.h"
#include "vr/inprocess.h"

namespace vr {
namespace {

class PlainDevice : public kp::HidDevice {
  public:
    PlainDevice(kp::HidIdentity id, bool held_by_system) : id_(id), held_(held_by_system) {}

    kp::HidIdentity identity() const override { return id_; }
    uint32_t open_error(uint32_t access, bool) const override {
        return held_ && access != 0 ? ERROR_ACCESS_DENIED : 0;
    }
    bool set_feature(const uint8_t*, size_t) override { return false; }
    bool get_feature(uint8_t*, size_t) override { return false; }

  private:
    kp::HidIdentity id_;
    bool held_;
};

kp::HidIdentity identity_of(uint16_t vid, uint16_t pid, uint16_t page, uint16_t usage,
                            uint16_t input) {
    kp::HidIdentity id;
    id.vendor_id = vid;
    id.product_id = pid;
    id.version = 0x0110;
    id.usage_page = page;
    id.usage = usage;
    id.input_report_length = input;
    return id;
}

}  // namespace

std::shared_ptr<kp::HidDevice> make_system_keyboard() {
    return std::make_shared<PlainDevice>(identity_of(0x1A2C, 0x0E24, 0x01, 0x06, 9), true);
}

std::shared_ptr<kp::HidDevice> make_mouse() {
    return std::make_shared<PlainDevice>(identity_of(0x1BCF, 0x0005, 0x01, 0x02, 5), true);
}

std::shared_ptr<kp::HidDevice> make_foreign_device(uint16_t vendor_id, uint16_t product_id) {
    return std::make_shared<PlainDevice>(identity_of(vendor_id, product_id, 0xFF00, 0x01, 64),
                                         false);
}

}  // namespace vr
