// Report descriptors of any content, as a device hands them to the hidraw
// backend: parsing ends, and what it finds does not depend on items that
// carry nothing for it. A long item in front changes nothing; one more input
// item at the end leaves everything but the input length alone and never
// shortens it (a length that wrapped round would).
#include <vector>

#include "harness.h"
#include "kp/hidraw.h"

namespace {

bool same_except_input(const kp::ReportDescriptorCaps& a, const kp::ReportDescriptorCaps& b) {
    return a.valid == b.valid && a.usage_page == b.usage_page && a.usage == b.usage &&
           a.output_report_length == b.output_report_length &&
           a.feature_report_length == b.feature_report_length && a.numbered == b.numbered;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const kp::ReportDescriptorCaps caps = kp::parse_report_descriptor(data, size);

    std::vector<uint8_t> longer = {0xFE, 0x01, 0x00, 0x5A};  // long item, one data byte
    longer.insert(longer.end(), data, data + size);
    const kp::ReportDescriptorCaps behind =
        kp::parse_report_descriptor(longer.data(), longer.size());
    fuzz::check(
        same_except_input(caps, behind) && caps.input_report_length == behind.input_report_length,
        "a long item in front changed the capabilities");

    if (caps.valid) {
        std::vector<uint8_t> more(data, data + size);
        more.push_back(0x81);  // Input, one data byte
        more.push_back(0x02);
        const kp::ReportDescriptorCaps after =
            kp::parse_report_descriptor(more.data(), more.size());
        if (after.valid) {
            fuzz::check(same_except_input(caps, after), "an input item changed another field");
            fuzz::check(after.input_report_length >= caps.input_report_length,
                        "an input item shortened the input report");
        }
    }
    return 0;
}
