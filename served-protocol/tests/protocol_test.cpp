// The served-reader protocol: framing, the decoder's limits, and each
// message body's encoding.
#include <gtest/gtest.h>

#include "served/protocol.h"

namespace {

using namespace served;

std::vector<Message> decode_all(const std::vector<uint8_t>& stream, Decoder::Result* last) {
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
    std::vector<uint8_t> stream;
    const std::vector<uint8_t> big(kMaxBody, 0x5A);
    const std::vector<std::pair<Type, std::vector<uint8_t>>> sent = {
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
    EXPECT_TRUE(encode(Type::InputReport, std::vector<uint8_t>(kMaxBody + 1)).empty());
}

TEST(ServedProtocol, MalformedFramesBreakTheDecoderForGood) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"empty payload", {0x00, 0x00}},
        {"payload over the limit", {0x01, 0x04}},  // 1025
        {"huge payload", {0xFF, 0xFF}},
        {"unknown type", {0x01, 0x00, 0x06}},
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
    auto f = encode(Type::InputReport, std::vector<uint8_t>(kMaxBody));
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

    auto other = body;
    other[0] = 2;
    EXPECT_FALSE(decode_hello(other, &back));
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
    s[2] = {0, std::string(255, '9')};
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
    s[1].text = std::string(256, 'x');
    EXPECT_TRUE(encode_swipe(s).empty());

    Status st;
    st.mode = 2;
    st.product_id = 0x05A0;
    st.plugged = true;
    st.state = {1, 2, 3, 4, 5, 6, 7};
    st.records[0] = {0xAA};
    st.records[14] = std::vector<uint8_t>(21, 0x21);
    st.host_pids = {12, 0xFFFFFFFF};
    Status sback;
    auto sbody = encode_status(st);
    ASSERT_TRUE(decode_status(sbody, &sback));
    EXPECT_EQ(sback.product_id, 0x05A0);
    EXPECT_TRUE(sback.plugged);
    EXPECT_FALSE(sback.restarting);
    EXPECT_EQ(sback.state, st.state);
    EXPECT_EQ(sback.records, st.records);
    EXPECT_EQ(sback.host_pids, st.host_pids);
    sbody.push_back(0);
    EXPECT_FALSE(decode_status(sbody, &sback));
    sbody.resize(sbody.size() - 3);
    EXPECT_FALSE(decode_status(sbody, &sback));
    st.host_pids.assign(kStatusMaxHosts + 1, 1);
    EXPECT_TRUE(encode_status(st).empty());
}

}  // namespace
