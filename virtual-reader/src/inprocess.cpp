#include "vr/inprocess.h"

#include "kp/clock.h"
#include "kp/winapi.h"

namespace vr {

std::shared_ptr<InProcessReader> InProcessReader::plug_new(Mode mode) {
    std::shared_ptr<InProcessReader> reader(new InProcessReader(mode));
    reader->plug();
    return reader;
}

void InProcessReader::plug() {
    if (!plugged()) {
        path_ = kp::attach_device(shared_from_this());
    }
}

void InProcessReader::unplug() {
    kp::detach_device(this);
}

bool InProcessReader::plugged() const {
    return kp::device_attached(this);
}

std::vector<uint8_t> InProcessReader::swipe(const Track tracks[3]) {
    std::vector<uint8_t> report = model_.swipe_report(tracks);
    if (!report.empty() && plugged()) {
        kp::deliver_input(this, report.data(), report.size());
    }
    return report;
}

void InProcessReader::fail_pending_reads() {
    kp::fail_pending_reads(this);
}

kp::HidIdentity InProcessReader::identity() const {
    kp::HidIdentity id;
    id.vendor_id = kVendorId;
    id.product_id = model_.product_id();
    id.version = kVersion;
    bool keyboard = model_.mode() == Mode::Keyboard;
    id.usage_page = keyboard ? 0x01 : 0xFF00;
    id.usage = keyboard ? 0x06 : 0x01;
    id.input_report_length =
        input_length_override != 0
            ? input_length_override
            : static_cast<uint16_t>(keyboard ? 9 : input_report_length(model_.mode()));
    id.feature_report_length = feature_length_override != 0 ? feature_length_override
                                                            : static_cast<uint16_t>(kFeatureLength);
    return id;
}

uint32_t InProcessReader::open_error(uint32_t access, bool overlapped) const {
    // In keyboard mode the reader is a keyboard that the system holds.
    bool keyboard = model_.mode() == Mode::Keyboard;
    if (access != 0 && (open_faults.refuse_read_write || keyboard)) {
        return ERROR_ACCESS_DENIED;
    }
    if (access == 0 && open_faults.refuse_query) {
        return ERROR_ACCESS_DENIED;
    }
    if (overlapped && open_faults.refuse_overlapped) {
        return ERROR_ACCESS_DENIED;
    }
    return 0;
}

bool InProcessReader::set_feature(const uint8_t* report, size_t length) {
    Effect effect = Effect::None;
    bool accepted = model_.set_feature(report, length, &effect);
    if (accepted && effect == Effect::Restart) {
        // The reader leaves the bus at once and comes back, in its new mode,
        // once it has restarted.
        unplug();
        std::weak_ptr<InProcessReader> self = shared_from_this();
        kp::clock_schedule_in(restart_ms, [self] {
            if (auto reader = self.lock()) {
                reader->model_.restart();
                reader->plug();
            }
        });
    }
    return accepted;
}

bool InProcessReader::get_feature(uint8_t* report, size_t length) {
    return model_.get_feature(report, length);
}

}  // namespace vr
