// CEvent::to_string: the one-line dump, field by field.
#include <gtest/gtest.h>
#include <toolkit/event.h>

#include <limits>

using toolkit::CElement;
using toolkit::CEvent;

TEST(EventDump, DefaultEventLine) {
    EXPECT_EQ(CEvent().to_string(),
              "type:0 event_time:-1 event_id:0 sequence_id:0 path:/ cmd:10 value:true source: "
              "quality:192 was_logged:0 cause:0 generic:0 final:0 is_alarm:0 is_ack:0 "
              "ack_status:0 base_priority:0 condition_raised:0 auto_close:0 variation_level:0 "
              "note: description: waveform_urls: details:");
}

TEST(EventDump, EveryFieldInOrderWithFullRanges) {
    CEvent e(0x80);
    e.event_time = timeval{1700000000, 999999};
    e.event_id = std::numeric_limits<uint64_t>::max();
    e.sequence_id = 4294967295u;
    e.path = "/a b=c,d";
    e.cmd = -2;
    e.value = CElement(int32_t{-5});
    e.source = "x|y";
    e.quality = 65535;
    e.was_logged = true;
    e.cause = -7;
    e.final = true;
    e.ack_status = -1;
    e.base_priority = 4000000000u;
    e.condition_raised = true;
    e.auto_close = true;
    e.variation_level = -3;
    e.note = "n o,te";
    e.description = "d=1";
    e.waveform_urls = {"a", "b"};
    e.details = {{"b", "2"}, {"a", "1"}};
    EXPECT_EQ(e.to_string(),
              "type:128 event_time:1700000000 event_id:18446744073709551615 "
              "sequence_id:4294967295 path:/a b=c,d cmd:-2 value:-5 source:x|y quality:65535 "
              "was_logged:1 cause:-7 generic:1 final:1 is_alarm:1 is_ack:1 ack_status:-1 "
              "base_priority:4000000000 condition_raised:1 auto_close:1 variation_level:-3 "
              "note:n o,te description:d=1 waveform_urls:a,b details:a=1,b=2,");

    e.waveform_urls = {"", ""};
    EXPECT_NE(e.to_string().find(" waveform_urls:, details:"), std::string::npos);
}

TEST(EventDump, KindSelectsSeverityAndPredicates) {
    CEvent severe(0x100);
    severe.severity = -3;
    EXPECT_NE(severe.to_string().find(" severity:-3 was_logged:0 cause:0 generic:0 final:0 "
                                      "is_alarm:0 is_ack:0 "),
              std::string::npos);
    CEvent q(0x4);
    q.severity = -1;  // quality 0xFFFF; the upper half of the slot is not printed
    EXPECT_NE(q.to_string().find(" quality:65535 "), std::string::npos);
    EXPECT_NE(q.to_string().find(" generic:1 final:0 is_alarm:0 is_ack:0 "), std::string::npos);
    EXPECT_NE(CEvent(0x10).to_string().find(" generic:1 final:0 is_alarm:1 is_ack:1 "),
              std::string::npos);
    EXPECT_NE(CEvent(0x2).to_string().find(" generic:0 final:0 is_alarm:0 is_ack:0 "),
              std::string::npos);
}
