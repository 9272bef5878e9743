// The protocol between a served reader (the kestro-virtual-reader program)
// and its clients over a local stream socket: the platform layer of a host
// process (hello, feature reports, input reports) and the program's own
// command line (swipe, status, unplug, plug, fault).
//
// Every message is framed as a 16-bit payload length (low byte first), then
// the payload: one type byte and the body. A payload is at least 1 and at
// most kMaxPayload bytes; anything else, an unknown type or a body that does
// not decode is malformed, and the receiver closes that connection. Each side
// starts with a hello carrying its protocol version. The reader answers a
// hello of another version with its own hello before it closes the
// connection, so that the client can tell which version it met.
//
// Frames and bodies carry card data (an input report, a swipe's tracks):
// they are held in Bytes and Text, whose blocks are wiped when freed, and
// the decoder wipes every frame it has returned.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "wipe/wipe.h"

namespace served {

using Bytes = wipe::Bytes;
using Text = wipe::Text;

constexpr uint16_t kProtocolVersion = 3;
constexpr size_t kHeaderLength = 2;
constexpr size_t kMaxPayload = 4096;  // type byte and body
constexpr size_t kMaxBody = kMaxPayload - 1;

enum class Type : uint8_t {
    Hello = 0x01,         // both ways, first: version (and the reader's identity)
    SetFeature = 0x02,    // host -> reader: the feature report
    GetFeature = 0x03,    // host -> reader: the host's prepared buffer
    Answer = 0x04,        // reader -> client: ok byte, then data (a refused swipe: why)
    InputReport = 0x05,   // reader -> host: one input report
    InputError = 0x06,    // reader -> host: empty; the pending reads fail
    Swipe = 0x10,         // command line -> reader: three tracks
    Status = 0x11,        // command line -> reader: empty, or kStatusReset
    StatusAnswer = 0x12,  // reader -> command line
    Unplug = 0x13,        // command line -> reader: empty
    Plug = 0x14,          // command line -> reader: empty
    Fault = 0x15,         // command line -> reader: set or clear a scenario fault
};

struct Message {
    Type type = Type::Hello;
    Bytes body;
};

// The frame of one message; empty when the body is longer than kMaxBody.
Bytes encode(Type type, const Bytes& body);
// Appends the frame of one message to `out`; false (and nothing appended)
// when the body is longer than kMaxBody.
bool append_frame(Bytes* out, Type type, const uint8_t* body, size_t length);

// Splits a byte stream into messages. Once it has seen a malformed frame it
// stays broken: the connection is to be closed.
class Decoder {
  public:
    enum class Result { NeedMore, Ready, Malformed };

    void feed(const uint8_t* data, size_t length);
    // The next whole message, if there is one.
    Result next(Message* message);
    // Bytes received and not yet returned as messages.
    size_t buffered() const { return buffer_.size() - start_; }

  private:
    // What was received: the frames returned (zeros by then) before start_.
    Bytes buffer_;
    size_t start_ = 0;
    bool broken_ = false;
};

// Hello. A client sends only its version (a zero identity); the reader
// answers with its identity and open-refusal flags.
constexpr uint8_t kRefuseReadWrite = 0x01;  // opens with read or write access fail

// The reader's USB identity as a host's HID stack would report it.
struct Identity {
    uint16_t vendor_id = 0;
    uint16_t product_id = 0;
    uint16_t version = 0;
    uint16_t usage_page = 0;
    uint16_t usage = 0;
    uint16_t input_report_length = 0;  // including the report-id byte
    uint16_t output_report_length = 0;
    uint16_t feature_report_length = 0;  // including the report-id byte
};

struct Hello {
    uint16_t version = kProtocolVersion;
    Identity identity;
    uint8_t flags = 0;
};
Bytes encode_hello(const Hello& hello);
// False when the body is malformed or of another protocol version.
bool decode_hello(const Bytes& body, Hello* hello);
// The protocol version a hello of any version carries; 0 when it has none.
uint16_t hello_version(const Bytes& body);

// Answer: whether the request succeeded, and its data (a feature report).
Bytes encode_answer(bool ok, const uint8_t* data = nullptr, size_t length = 0);
bool decode_answer(const Bytes& body, bool* ok, std::vector<uint8_t>* data);

// Swipe: for each of the three tracks its decode status (0 read well) and
// its text, at most 255 characters.
struct SwipeTrack {
    uint8_t status = 0;
    Text text;
};
using Swipe = std::array<SwipeTrack, 3>;
// Swipes in turn. A short track lives inside its Swipe, so their block is
// wiped when freed too.
using Swipes = std::vector<Swipe, wipe::WipingAllocator<Swipe>>;
Bytes encode_swipe(const Swipe& swipe);  // empty if a text is too long
bool decode_swipe(const Bytes& body, Swipe* swipe);

// Fault: sets or clears one of the reader's scenario faults by name (the
// reader knows the names; an empty name clears them all).
struct FaultRequest {
    bool set = false;    // else clear
    bool once = false;   // for its next hit only
    int32_t value = -1;  // its number, -1 for none
    std::string name;    // at most 255 characters
};
Bytes encode_fault(const FaultRequest& fault);  // empty if the name is too long
bool decode_fault(const Bytes& body, FaultRequest* fault);

// What the command line's status shows.
constexpr size_t kStatusRecords = 15;
constexpr size_t kStatusMaxHosts = 32;
constexpr size_t kStatusMaxHistory = 32;
constexpr size_t kStatusMaxFaults = 32;
constexpr size_t kStatusMaxReport = 64;  // report bytes kept per history entry

// One feature report the reader exchanged with a host.
struct StatusReport {
    uint32_t time_ms = 0;        // since the reader started
    bool get = false;            // a get-feature answer, else a set-feature report
    bool accepted = false;       // set: accepted; get: answered
    bool unanswered = false;     // the reader left the request unanswered
    uint16_t length = 0;         // its whole length
    std::vector<uint8_t> bytes;  // its first bytes, at most kStatusMaxReport
    std::string command;         // the command's name, at most 255 characters
};

// One scenario fault that is set.
struct StatusFault {
    std::string name;
    bool once = false;
    int32_t value = -1;
};

struct Status {
    uint8_t mode = 0;  // 1 keyboard, 2 IDTECH, 3 MAGTEK
    uint16_t product_id = 0;
    bool plugged = false;     // the user's plug state
    bool restarting = false;  // off the bus after a reset
    bool away = false;        // off the bus by the leave-bus fault
    std::array<uint8_t, 7> state{};
    std::array<std::vector<uint8_t>, kStatusRecords> records;  // records 1 to 15
    std::vector<uint32_t> host_pids;                           // connected hosts
    uint8_t pending_mode = 0;                                  // the mode after the next restart
    uint32_t flushes = 0;
    uint32_t resets = 0;
    uint32_t mode_changes = 0;
    uint32_t cards_swiped = 0;          // swipes asked for
    uint32_t cards_delivered = 0;       // of those, the ones a host received (or typed)
    std::vector<StatusReport> history;  // oldest first
    std::vector<StatusFault> faults;
};
// The body of a status request that also clears the counts and the
// history once they are reported.
constexpr uint8_t kStatusReset = 0x01;

// Empty when a record or a name is longer than 255 bytes, a list is longer
// than its limit, or the whole does not fit a message.
Bytes encode_status(const Status& status);
bool decode_status(const Bytes& body, Status* status);

}  // namespace served
