// The served readers' protocol over any byte stream, as either side reads
// it: the decoder never returns a frame it did not get, every decoded body
// either decodes or is refused, and what decodes encodes back to a body
// that decodes to the same thing.
#include <vector>

#include "harness.h"
#include "served/protocol.h"

using namespace served;

namespace {

void check_body(const Message& m) {
    switch (m.type) {
        case Type::Hello: {
            Hello h;
            if (decode_hello(m.body, &h)) {
                Hello again;
                fuzz::check(decode_hello(encode_hello(h), &again), "hello round trip");
                fuzz::check(
                    again.identity.product_id == h.identity.product_id && again.flags == h.flags,
                    "hello changed");
            }
            break;
        }
        case Type::Answer: {
            bool ok = false;
            std::vector<uint8_t> data;
            if (decode_answer(m.body, &ok, &data)) {
                bool ok2 = !ok;
                std::vector<uint8_t> data2;
                fuzz::check(
                    decode_answer(encode_answer(ok, data.data(), data.size()), &ok2, &data2),
                    "answer round trip");
                fuzz::check(ok2 == ok && data2 == data, "answer changed");
            }
            break;
        }
        case Type::Swipe: {
            Swipe s;
            if (decode_swipe(m.body, &s)) {
                Swipe again;
                fuzz::check(decode_swipe(encode_swipe(s), &again), "swipe round trip");
                for (size_t i = 0; i < 3; ++i) {
                    fuzz::check(again[i].text == s[i].text && again[i].status == s[i].status,
                                "swipe changed");
                }
            }
            break;
        }
        case Type::StatusAnswer: {
            Status st;
            if (decode_status(m.body, &st)) {
                Status again;
                fuzz::check(decode_status(encode_status(st), &again), "status round trip");
                fuzz::check(again.records == st.records && again.host_pids == st.host_pids &&
                                again.history.size() == st.history.size() &&
                                again.faults.size() == st.faults.size(),
                            "status changed");
            }
            break;
        }
        case Type::Fault: {
            FaultRequest f;
            if (decode_fault(m.body, &f)) {
                FaultRequest again;
                fuzz::check(decode_fault(encode_fault(f), &again), "fault round trip");
                fuzz::check(again.name == f.name && again.value == f.value && again.set == f.set &&
                                again.once == f.once,
                            "fault changed");
            }
            break;
        }
        default:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Decoder decoder;
    // Feed in uneven pieces, as a socket would deliver them.
    size_t at = 0;
    size_t piece = 1;
    size_t frames = 0;
    while (at < size) {
        size_t n = std::min(piece, size - at);
        decoder.feed(data + at, n);
        at += n;
        piece = piece * 3 % 17 + 1;
        Message m;
        for (;;) {
            Decoder::Result r = decoder.next(&m);
            if (r != Decoder::Result::Ready) {
                if (r == Decoder::Result::Malformed) {
                    return 0;  // the connection would be closed here
                }
                break;
            }
            ++frames;
            fuzz::check(!m.body.empty() || true, "");
            fuzz::check(m.body.size() <= kMaxBody, "a body over the limit");
            Bytes frame = encode(m.type, m.body);
            fuzz::check(!frame.empty(), "a decoded message does not encode");
            check_body(m);
        }
    }
    fuzz::check(frames * kHeaderLength <= size, "more frames than bytes");
    return 0;
}
