#include "served/protocol.h"

#include <cstring>
#include <utility>

namespace served {
namespace {

void put16(Bytes& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
    }
}

// Reads a body front to back; any read past its end makes it fail.
class Reader {
  public:
    explicit Reader(const Bytes& body) : body_(body) {}

    bool ok() const { return ok_; }
    bool at_end() const { return pos_ == body_.size(); }
    size_t left() const { return body_.size() - pos_; }

    uint8_t u8() {
        if (left() < 1) {
            ok_ = false;
            return 0;
        }
        return body_[pos_++];
    }
    uint16_t u16() {
        uint16_t lo = u8();
        uint16_t hi = u8();
        return static_cast<uint16_t>(lo | (hi << 8));
    }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v |= static_cast<uint32_t>(u8()) << (8 * i);
        }
        return v;
    }
    bool bytes(size_t n, std::vector<uint8_t>* out) {
        if (left() < n) {
            ok_ = false;
            return false;
        }
        out->assign(body_.begin() + static_cast<std::ptrdiff_t>(pos_),
                    body_.begin() + static_cast<std::ptrdiff_t>(pos_ + n));
        pos_ += n;
        return true;
    }
    // A text of n bytes, straight from the body: no copy is left behind.
    bool text(size_t n, Text* out) {
        if (left() < n) {
            ok_ = false;
            return false;
        }
        out->assign(reinterpret_cast<const char*>(body_.data() + pos_), n);
        pos_ += n;
        return true;
    }

  private:
    const Bytes& body_;
    size_t pos_ = 0;
    bool ok_ = true;
};

bool known_type(uint8_t t) {
    switch (static_cast<Type>(t)) {
        case Type::Hello:
        case Type::SetFeature:
        case Type::GetFeature:
        case Type::Answer:
        case Type::InputReport:
        case Type::InputError:
        case Type::Swipe:
        case Type::Status:
        case Type::StatusAnswer:
        case Type::Unplug:
        case Type::Plug:
        case Type::Fault:
            return true;
    }
    return false;
}

constexpr size_t kHelloLength = 2 + 8 * 2 + 1;

// A text of at most 255 characters behind its length byte.
bool put_text(Bytes& out, const std::string& text) {
    if (text.size() > 255) {
        return false;
    }
    out.push_back(static_cast<uint8_t>(text.size()));
    out.insert(out.end(), text.begin(), text.end());
    return true;
}

bool get_text(Reader& r, std::string* text) {
    size_t n = r.u8();
    std::vector<uint8_t> bytes;
    if (!r.ok() || !r.bytes(n, &bytes)) {
        return false;
    }
    text->assign(bytes.begin(), bytes.end());
    return true;
}

}  // namespace

Bytes encode(Type type, const Bytes& body) {
    Bytes frame;
    if (body.size() <= kMaxBody) {
        frame.reserve(kHeaderLength + 1 + body.size());
        append_frame(&frame, type, body.data(), body.size());
    }
    return frame;
}

bool append_frame(Bytes* out, Type type, const uint8_t* body, size_t length) {
    if (length > kMaxBody || (body == nullptr && length > 0)) {
        return false;
    }
    put16(*out, static_cast<uint16_t>(length + 1));
    out->push_back(static_cast<uint8_t>(type));
    out->insert(out->end(), body, body + length);
    return true;
}

void Decoder::feed(const uint8_t* data, size_t length) {
    if (broken_) {
        return;
    }
    // Drop what was consumed before the buffer grows (wiped as it goes; a
    // block the buffer outgrows is wiped by its allocator).
    if (start_ > 0 && start_ == buffer_.size()) {
        wipe::clear(buffer_);
        start_ = 0;
    } else if (start_ > kMaxPayload) {
        wipe::erase_front(buffer_, start_);
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + length);
}

Decoder::Result Decoder::next(Message* message) {
    if (broken_) {
        return Result::Malformed;
    }
    size_t have = buffered();
    if (have < kHeaderLength) {
        return Result::NeedMore;
    }
    const uint8_t* p = buffer_.data() + start_;
    size_t payload = static_cast<size_t>(p[0]) | (static_cast<size_t>(p[1]) << 8);
    if (payload == 0 || payload > kMaxPayload) {
        broken_ = true;
        return Result::Malformed;
    }
    if (have < kHeaderLength + payload) {
        return Result::NeedMore;
    }
    if (!known_type(p[2])) {
        broken_ = true;
        return Result::Malformed;
    }
    message->type = static_cast<Type>(p[2]);
    // The message's last body goes first: a shorter one would leave its
    // tail in the block.
    wipe::secure_wipe(message->body.data(), message->body.size());
    message->body.assign(p + 3, p + kHeaderLength + payload);
    // The frame is the message's now; the buffer keeps no copy of it.
    wipe::secure_wipe(buffer_.data() + start_, kHeaderLength + payload);
    start_ += kHeaderLength + payload;
    return Result::Ready;
}

Bytes encode_hello(const Hello& hello) {
    Bytes out;
    put16(out, hello.version);
    const Identity& id = hello.identity;
    for (uint16_t v : {id.vendor_id, id.product_id, id.version, id.usage_page, id.usage,
                       id.input_report_length, id.output_report_length, id.feature_report_length}) {
        put16(out, v);
    }
    out.push_back(hello.flags);
    return out;
}

bool decode_hello(const Bytes& body, Hello* hello) {
    Reader r(body);
    Hello h;
    h.version = r.u16();
    // The version comes first so that any later version can be told apart
    // whatever else its hello carries.
    if (!r.ok() || h.version != kProtocolVersion || body.size() != kHelloLength) {
        return false;
    }
    Identity& id = h.identity;
    for (uint16_t* v :
         {&id.vendor_id, &id.product_id, &id.version, &id.usage_page, &id.usage,
          &id.input_report_length, &id.output_report_length, &id.feature_report_length}) {
        *v = r.u16();
    }
    h.flags = r.u8();
    if (!r.ok()) {
        return false;
    }
    *hello = h;
    return true;
}

uint16_t hello_version(const Bytes& body) {
    Reader r(body);
    uint16_t version = r.u16();
    return r.ok() ? version : 0;
}

Bytes encode_answer(bool ok, const uint8_t* data, size_t length) {
    if (data == nullptr) {
        length = 0;
    }
    Bytes out(1 + length);
    out[0] = ok ? 1 : 0;
    if (length > 0) {
        std::memcpy(out.data() + 1, data, length);
    }
    return out;
}

bool decode_answer(const Bytes& body, bool* ok, std::vector<uint8_t>* data) {
    if (body.empty() || body[0] > 1) {
        return false;
    }
    *ok = body[0] == 1;
    data->assign(body.begin() + 1, body.end());
    return true;
}

Bytes encode_swipe(const Swipe& swipe) {
    Bytes out;
    size_t length = 0;
    for (const SwipeTrack& t : swipe) {
        if (t.text.size() > 255) {
            return {};
        }
        length += 2 + t.text.size();
    }
    out.reserve(length);  // one block: growing would free copies of the tracks
    for (const SwipeTrack& t : swipe) {
        out.push_back(t.status);
        out.push_back(static_cast<uint8_t>(t.text.size()));
        out.insert(out.end(), t.text.begin(), t.text.end());
    }
    return out;
}

bool decode_swipe(const Bytes& body, Swipe* swipe) {
    Reader r(body);
    Swipe s;
    for (SwipeTrack& t : s) {
        t.status = r.u8();
        size_t n = r.u8();
        if (!r.ok() || !r.text(n, &t.text)) {
            return false;
        }
    }
    if (!r.at_end()) {
        return false;
    }
    *swipe = std::move(s);
    return true;
}

Bytes encode_status(const Status& s) {
    if (s.host_pids.size() > kStatusMaxHosts) {
        return {};
    }
    Bytes out;
    out.push_back(s.mode);
    put16(out, s.product_id);
    out.push_back(
        static_cast<uint8_t>((s.plugged ? 1 : 0) | (s.restarting ? 2 : 0) | (s.away ? 4 : 0)));
    out.insert(out.end(), s.state.begin(), s.state.end());
    for (const auto& record : s.records) {
        if (record.size() > 255) {
            return {};
        }
        out.push_back(static_cast<uint8_t>(record.size()));
        out.insert(out.end(), record.begin(), record.end());
    }
    out.push_back(static_cast<uint8_t>(s.host_pids.size()));
    for (uint32_t pid : s.host_pids) {
        put32(out, pid);
    }
    out.push_back(s.pending_mode);
    for (uint32_t count :
         {s.flushes, s.resets, s.mode_changes, s.cards_swiped, s.cards_delivered}) {
        put32(out, count);
    }
    if (s.history.size() > kStatusMaxHistory || s.faults.size() > kStatusMaxFaults) {
        return {};
    }
    out.push_back(static_cast<uint8_t>(s.history.size()));
    for (const StatusReport& h : s.history) {
        if (h.bytes.size() > kStatusMaxReport) {
            return {};
        }
        put32(out, h.time_ms);
        out.push_back(
            static_cast<uint8_t>((h.get ? 1 : 0) | (h.accepted ? 2 : 0) | (h.unanswered ? 4 : 0)));
        put16(out, h.length);
        out.push_back(static_cast<uint8_t>(h.bytes.size()));
        out.insert(out.end(), h.bytes.begin(), h.bytes.end());
        if (!put_text(out, h.command)) {
            return {};
        }
    }
    out.push_back(static_cast<uint8_t>(s.faults.size()));
    for (const StatusFault& f : s.faults) {
        if (!put_text(out, f.name)) {
            return {};
        }
        out.push_back(f.once ? 1 : 0);
        put32(out, static_cast<uint32_t>(f.value));
    }
    if (out.size() > kMaxBody) {
        return {};
    }
    return out;
}

bool decode_status(const Bytes& body, Status* status) {
    Reader r(body);
    Status s;
    s.mode = r.u8();
    s.product_id = r.u16();
    uint8_t flags = r.u8();
    if (!r.ok() || flags > 7) {
        return false;
    }
    s.plugged = (flags & 1) != 0;
    s.restarting = (flags & 2) != 0;
    s.away = (flags & 4) != 0;
    for (uint8_t& b : s.state) {
        b = r.u8();
    }
    for (auto& record : s.records) {
        size_t n = r.u8();
        if (!r.ok() || !r.bytes(n, &record)) {
            return false;
        }
    }
    size_t hosts = r.u8();
    if (!r.ok() || hosts > kStatusMaxHosts) {
        return false;
    }
    for (size_t i = 0; i < hosts; ++i) {
        s.host_pids.push_back(r.u32());
    }
    s.pending_mode = r.u8();
    s.flushes = r.u32();
    s.resets = r.u32();
    s.mode_changes = r.u32();
    s.cards_swiped = r.u32();
    s.cards_delivered = r.u32();
    size_t reports = r.u8();
    if (!r.ok() || reports > kStatusMaxHistory) {
        return false;
    }
    s.history.resize(reports);
    for (StatusReport& h : s.history) {
        h.time_ms = r.u32();
        uint8_t hflags = r.u8();
        h.length = r.u16();
        size_t n = r.u8();
        if (!r.ok() || hflags > 7 || n > kStatusMaxReport || !r.bytes(n, &h.bytes) ||
            !get_text(r, &h.command)) {
            return false;
        }
        h.get = (hflags & 1) != 0;
        h.accepted = (hflags & 2) != 0;
        h.unanswered = (hflags & 4) != 0;
    }
    size_t faults = r.u8();
    if (!r.ok() || faults > kStatusMaxFaults) {
        return false;
    }
    s.faults.resize(faults);
    for (StatusFault& f : s.faults) {
        if (!get_text(r, &f.name)) {
            return false;
        }
        uint8_t once = r.u8();
        f.value = static_cast<int32_t>(r.u32());
        if (!r.ok() || once > 1) {
            return false;
        }
        f.once = once == 1;
    }
    if (!r.ok() || !r.at_end()) {
        return false;
    }
    *status = s;
    return true;
}

Bytes encode_fault(const FaultRequest& f) {
    Bytes out;
    out.push_back(f.set ? 1 : 0);
    out.push_back(f.once ? 1 : 0);
    put32(out, static_cast<uint32_t>(f.value));
    if (!put_text(out, f.name)) {
        return {};
    }
    return out;
}

bool decode_fault(const Bytes& body, FaultRequest* fault) {
    Reader r(body);
    FaultRequest f;
    uint8_t set = r.u8();
    uint8_t once = r.u8();
    f.value = static_cast<int32_t>(r.u32());
    if (!r.ok() || set > 1 || once > 1 || !get_text(r, &f.name) || !r.at_end()) {
        return false;
    }
    f.set = set == 1;
    f.once = once == 1;
    *fault = f;
    return true;
}

}  // namespace served
