// The served-reader protocol: framing, the decoder's limits, and each
// message body's encoding.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "served/protocol.h"

namespace {

using namespace served;

std::vector<Message> decode_all(const Bytes& stream, Decoder::Result* last) {
    Decoder d;
    std::vector<Message> out;
    // One byte at a time: messages may arrive in any pieces.
    for (uint8_t b : stream) {
        d.feed(&b, 1);
        Message m;
        while ((*last = d.next(&m)) == Decoder::Result::Ready) {
            out.push_back(m);
        }
        if (*last == Decoder::Result::Malformed) {
            break;
        }
    }
    return out;
}

TEST(ServedProtocol, FramesSurviveAnySplitAndKeepTheirOrder) {
    Bytes stream;
    const Bytes big(kMaxBody, 0x5A);
    const std::vector<std::pair<Type, Bytes>> sent = {
        {Type::Hello, encode_hello(Hello{})},
        {Type::Status, {}},
        {Type::InputReport, big},
        {Type::Answer, encode_answer(true)},
    };
    for (const auto& [type, body] : sent) {
        auto f = encode(type, body);
        ASSERT_EQ(f.size(), kHeaderLength + 1 + body.size());
        stream.insert(stream.end(), f.begin(), f.end());
    }
    Decoder::Result last;
    auto got = decode_all(stream, &last);
    EXPECT_EQ(last, Decoder::Result::NeedMore);
    ASSERT_EQ(got.size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(got[i].type, sent[i].first);
        EXPECT_EQ(got[i].body, sent[i].second);
    }
    EXPECT_TRUE(encode(Type::InputReport, Bytes(kMaxBody + 1)).empty());
}

TEST(ServedProtocol, MalformedFramesBreakTheDecoderForGood) {
    struct Case {
        const char* what;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty payload", {0x00, 0x00}},
        {"payload over the limit", {0x01, 0x10}},  // 4097
        {"huge payload", {0xFF, 0xFF}},
        {"unknown type", {0x01, 0x00, 0x07}},
        {"unknown type zero", {0x01, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Decoder d;
        d.feed(c.bytes.data(), c.bytes.size());
        Message m;
        EXPECT_EQ(d.next(&m), Decoder::Result::Malformed);
        auto good = encode(Type::Status, {});
        d.feed(good.data(), good.size());
        EXPECT_EQ(d.next(&m), Decoder::Result::Malformed);
    }
    // The largest payload is fine.
    Decoder d;
    auto f = encode(Type::InputReport, Bytes(kMaxBody));
    d.feed(f.data(), f.size());
    Message m;
    EXPECT_EQ(d.next(&m), Decoder::Result::Ready);
}

TEST(ServedProtocol, HelloCarriesIdentityAndRefusesOtherVersions) {
    Hello h;
    h.identity.vendor_id = 0x3E7A;
    h.identity.product_id = 0x05B0;
    h.identity.version = 0x0100;
    h.identity.usage_page = 0xFF00;
    h.identity.usage = 1;
    h.identity.input_report_length = 338;
    h.identity.output_report_length = 0;
    h.identity.feature_report_length = 25;
    h.flags = kRefuseReadWrite;
    auto body = encode_hello(h);
    Hello back;
    ASSERT_TRUE(decode_hello(body, &back));
    EXPECT_EQ(back.identity.product_id, 0x05B0);
    EXPECT_EQ(back.identity.input_report_length, 338);
    EXPECT_EQ(back.identity.feature_report_length, 25);
    EXPECT_EQ(back.flags, kRefuseReadWrite);

    EXPECT_EQ(hello_version(body), kProtocolVersion);
    // A hello of another version, longer or shorter, is refused, but its
    // version can be read to say which one it was.
    for (Bytes other : {Bytes{1, 0}, Bytes{3, 0, 9}}) {
        EXPECT_FALSE(decode_hello(other, &back));
        EXPECT_EQ(hello_version(other), other[0]);
    }
    auto other = body;
    other[0] = 1;
    EXPECT_FALSE(decode_hello(other, &back));
    EXPECT_EQ(hello_version({7}), 0);
    EXPECT_FALSE(decode_hello({0x01}, &back));
    auto longer = body;
    longer.push_back(0);
    EXPECT_FALSE(decode_hello(longer, &back));
    body.pop_back();
    EXPECT_FALSE(decode_hello(body, &back));
}

TEST(ServedProtocol, AnswerSwipeAndStatusRoundTripAndRejectBadBodies) {
    bool ok = false;
    std::vector<uint8_t> data;
    const uint8_t report[3] = {0x00, 0xB3, 0x07};
    ASSERT_TRUE(decode_answer(encode_answer(true, report, 3), &ok, &data));
    EXPECT_TRUE(ok);
    EXPECT_EQ(data, std::vector<uint8_t>(report, report + 3));
    EXPECT_FALSE(decode_answer({}, &ok, &data));
    EXPECT_FALSE(decode_answer({2}, &ok, &data));

    Swipe s;
    s[0] = {1, "%E?"};
    s[2] = {0, Text(255, '9')};
    Swipe back;
    auto body = encode_swipe(s);
    ASSERT_TRUE(decode_swipe(body, &back));
    EXPECT_EQ(back[0].status, 1);
    EXPECT_EQ(back[0].text, "%E?");
    EXPECT_EQ(back[1].text, "");
    EXPECT_EQ(back[2].text, s[2].text);
    body.push_back(0);
    EXPECT_FALSE(decode_swipe(body, &back)) << "trailing byte";
    body.resize(body.size() - 2);
    EXPECT_FALSE(decode_swipe(body, &back)) << "truncated text";
    s[1].text = Text(256, 'x');
    EXPECT_TRUE(encode_swipe(s).empty());

    Status st;
    st.mode = 2;
    st.product_id = 0x05A0;
    st.plugged = true;
    st.state = {1, 2, 3, 4, 5, 6, 7};
    st.records[0] = {0xAA};
    st.records[14] = std::vector<uint8_t>(21, 0x21);
    st.host_pids = {12, 0xFFFFFFFF};
    st.away = true;
    st.pending_mode = 3;
    st.flushes = 70000;
    st.resets = 2;
    st.mode_changes = 1;
    st.cards_swiped = 9;
    st.cards_delivered = 0x01020304;
    StatusReport h;
    h.time_ms = 123456;
    h.get = true;
    h.accepted = true;
    h.length = 40;
    h.bytes.assign(kStatusMaxReport, 0xB3);
    h.command = "MR_CMD_GET_STATE";
    StatusReport unanswered;
    unanswered.unanswered = true;
    unanswered.command = "MR_CMD_RESET";
    st.history = {h, unanswered};
    st.faults = {{"fail-get", true, -1}, {"leave-bus", false, 86400000}};
    Status sback;
    auto sbody = encode_status(st);
    ASSERT_TRUE(decode_status(sbody, &sback));
    EXPECT_EQ(sback.product_id, 0x05A0);
    EXPECT_TRUE(sback.plugged);
    EXPECT_FALSE(sback.restarting);
    EXPECT_EQ(sback.state, st.state);
    EXPECT_EQ(sback.records, st.records);
    EXPECT_EQ(sback.host_pids, st.host_pids);
    EXPECT_TRUE(sback.away);
    EXPECT_EQ(sback.pending_mode, 3);
    EXPECT_EQ(sback.flushes, 70000u);
    EXPECT_EQ(sback.resets, 2u);
    EXPECT_EQ(sback.mode_changes, 1u);
    EXPECT_EQ(sback.cards_swiped, 9u);
    EXPECT_EQ(sback.cards_delivered, 0x01020304u);
    ASSERT_EQ(sback.history.size(), 2u);
    EXPECT_EQ(sback.history[0].time_ms, 123456u);
    EXPECT_TRUE(sback.history[0].get && sback.history[0].accepted);
    EXPECT_FALSE(sback.history[0].unanswered);
    EXPECT_EQ(sback.history[0].length, 40);
    EXPECT_EQ(sback.history[0].bytes, h.bytes);
    EXPECT_EQ(sback.history[0].command, h.command);
    EXPECT_TRUE(sback.history[1].unanswered);
    EXPECT_EQ(sback.history[1].command, "MR_CMD_RESET");
    ASSERT_EQ(sback.faults.size(), 2u);
    EXPECT_TRUE(sback.faults[0].once);
    EXPECT_EQ(sback.faults[0].value, -1);
    EXPECT_EQ(sback.faults[1].name, "leave-bus");
    EXPECT_EQ(sback.faults[1].value, 86400000);
    sbody.push_back(0);
    EXPECT_FALSE(decode_status(sbody, &sback));
    sbody.resize(sbody.size() - 3);
    EXPECT_FALSE(decode_status(sbody, &sback));
    // Lists and texts over their limits do not encode.
    Status too_many = st;
    too_many.history.assign(kStatusMaxHistory + 1, unanswered);
    EXPECT_TRUE(encode_status(too_many).empty());
    too_many = st;
    too_many.history[0].bytes.push_back(0);
    EXPECT_TRUE(encode_status(too_many).empty());
    too_many = st;
    too_many.faults[0].name = std::string(256, 'f');
    EXPECT_TRUE(encode_status(too_many).empty());
    // The most the reader sends fits one message.
    Status full = st;
    full.records.fill(std::vector<uint8_t>(21, 1));
    full.host_pids.assign(kStatusMaxHosts, 1);
    h.command = "MR_CMD_RETRIEVE_STATISTICS";
    full.history.assign(kStatusMaxHistory, h);
    full.faults.assign(9, StatusFault{"bad-retrieve-count", true, 255});
    EXPECT_FALSE(encode_status(full).empty());
    st.host_pids.assign(kStatusMaxHosts + 1, 1);
    EXPECT_TRUE(encode_status(st).empty());

    FaultRequest f;
    f.set = true;
    f.once = true;
    f.value = 300;
    f.name = "stall-reads";
    FaultRequest fback;
    auto fbody = encode_fault(f);
    ASSERT_TRUE(decode_fault(fbody, &fback));
    EXPECT_TRUE(fback.set && fback.once);
    EXPECT_EQ(fback.value, 300);
    EXPECT_EQ(fback.name, "stall-reads");
    f.value = -1;
    f.name.clear();
    ASSERT_TRUE(decode_fault(encode_fault(f), &fback));
    EXPECT_EQ(fback.value, -1);
    EXPECT_EQ(fback.name, "");
    fbody.push_back(0);
    EXPECT_FALSE(decode_fault(fbody, &fback)) << "trailing byte";
    EXPECT_FALSE(decode_fault({2, 0, 0, 0, 0, 0, 0}, &fback)) << "set byte over 1";
    f.name = Text(256, 'x');
    EXPECT_TRUE(encode_fault(f).empty());
}

// A card's input report as a reader sends it (report id 0, then track 2),
// and its frame.
const std::string kTrack = ";4111111111111111=2512?";
Bytes card_report() {
    Bytes r(kTrack.size() + 1, 0);
    std::copy(kTrack.begin(), kTrack.end(), r.begin() + 1);
    return r;
}
const size_t kReport = kTrack.size() + 1;           // 24
const size_t kFrame = kHeaderLength + 1 + kReport;  // 27

// Every block of card bytes the protocol frees, as a frame, a body, the
// decoder's buffer or a track, is all zeros by then (seen through the
// wiping allocator's hook). Each step frees exactly the blocks listed by
// their sizes (libstdc++'s growth): one kept in a plain vector would not
// show up, one freed unwiped shows the card.
TEST(ServedProtocol, EveryBlockOfCardBytesIsWipedBeforeItIsFreed) {
    struct Step {
        const char* name;
        std::function<void()> act;
        std::vector<size_t> freed;
    };
    // Made before the hook is set: the steps free only their own blocks.
    const Bytes frame = encode(Type::InputReport, card_report());
    Swipe card;
    card[1].text = kTrack.c_str();
    const Bytes swipe_body = encode_swipe(card);  // 2 + 2 + 23 + 2 bytes
    const Bytes status = encode(Type::Status, {});

    const Step steps[] = {
        {"a frame encoded and dropped",
         [] { Bytes f = encode(Type::InputReport, card_report()); },
         {kReport, kFrame}},
        {"the buffer outgrows its block",
         [&] {
             Decoder d;
             d.feed(frame.data(), 10);
             d.feed(frame.data() + 10, frame.size() - 10);  // 10 -> 27 bytes
             Message m;
             EXPECT_EQ(d.next(&m), Decoder::Result::Ready);
             EXPECT_EQ(m.body, card_report());
         },
         // The first block, the card compared, the message, the decoder.
         {10, kReport, kReport, kFrame}},
        {"a longer body replaces the card's",
         [&] {
             Decoder d;
             Message m;
             d.feed(frame.data(), frame.size());
             EXPECT_EQ(d.next(&m), Decoder::Result::Ready);
             const Bytes longer = encode(Type::InputReport, Bytes(100, 0));
             d.feed(longer.data(), longer.size());           // the buffer's 27 grow to 103
             EXPECT_EQ(d.next(&m), Decoder::Result::Ready);  // the body's 24 to 100
         },
         // The body given to encode, the decoder's and the message's first
         // blocks as they grow, then the frame, the message, the decoder.
         {100, kFrame, kReport, 103, 100, 103}},
        {"a swipe's body and its decoded tracks",
         [&] {
             Swipe back;
             EXPECT_TRUE(decode_swipe(swipe_body, &back));
             EXPECT_EQ(back[1].text, kTrack.c_str());
             Bytes again = encode_swipe(back);
         },
         // The body encoded again, then the track's text (30 characters of
         // room: libstdc++ doubles the short string's 15).
         {swipe_body.size(), 31}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        std::vector<size_t> sizes;
        std::vector<std::vector<uint8_t>> freed;
        wipe::set_freed_block_hook(
            [&](const uint8_t* data, size_t length) { freed.emplace_back(data, data + length); });
        step.act();
        wipe::set_freed_block_hook(nullptr);
        for (const auto& block : freed) {
            sizes.push_back(block.size());
            EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](uint8_t b) { return b == 0; }))
                << "a freed block of " << block.size() << " bytes kept its data";
        }
        EXPECT_EQ(sizes, step.freed);
    }

    // A shorter body taking the card's place in the same block leaves
    // zeros behind it, and the decoder keeps the card no longer than it
    // takes to return it.
    Decoder d;
    Message m;
    d.feed(frame.data(), frame.size());
    ASSERT_EQ(d.next(&m), Decoder::Result::Ready);
    const uint8_t* block = m.body.data();
    d.feed(status.data(), status.size());
    ASSERT_EQ(d.next(&m), Decoder::Result::Ready);
    ASSERT_EQ(m.body.data(), block);
    EXPECT_TRUE(std::all_of(block, block + kReport, [](uint8_t b) { return b == 0; }));
}

}  // namespace
