// CEvent::to_string: the one-line dump, field by field.
#include <gtest/gtest.h>
#include <toolkit/event.h>

#include <limits>

#include "unit/event_samples.h"

using toolkit::CEvent;

TEST(EventDump, EveryFieldInOrderWithFullRangesAndNoEscaping) {
    EXPECT_EQ(CEvent().to_string(),
              "type:0 event_time:-1 event_id:0 sequence_id:0 path:/ cmd:10 value:true source: "
              "quality:192 was_logged:0 cause:0 generic:0 final:0 is_alarm:0 is_ack:0 "
              "ack_status:0 base_priority:0 condition_raised:0 auto_close:0 variation_level:0 "
              "note: description: waveform_urls: details:");

    CEvent e = eventtest::full_event(0x80);
    e.event_id = std::numeric_limits<uint64_t>::max();
    e.path = "/a b=c,d";
    e.cmd = -2;
    e.ack_status = -1;
    EXPECT_EQ(e.to_string(),
              "type:128 event_time:1700000000 event_id:18446744073709551615 "
              "sequence_id:4000000000 path:/a b=c,d cmd:-2 value:value a longer than any inline "
              "buffer source:src|a quality:48879 was_logged:1 cause:-9 generic:1 final:1 "
              "is_alarm:1 is_ack:1 ack_status:-1 base_priority:3000000000 condition_raised:1 "
              "auto_close:1 variation_level:-12 note:note a description:description a "
              "waveform_urls:http://w/a/1,,http://w/a/3 details:alpha=first a,mid=,zeta=last a,");
}

TEST(EventDump, KindSelectsSeverityAndPredicates) {
    CEvent severe(0x100);
    severe.severity = -3;
    EXPECT_NE(severe.to_string().find(" severity:-3 was_logged:0 cause:0 generic:0 final:0 "
                                      "is_alarm:0 is_ack:0 "),
              std::string::npos);
    CEvent q(0x4);
    q.severity = -1;  // quality 0xFFFF; the upper half of the slot is not printed
    EXPECT_NE(q.to_string().find(
                  " quality:65535 was_logged:0 cause:0 generic:1 final:0 is_alarm:0 is_ack:0 "),
              std::string::npos);
    EXPECT_NE(CEvent(0x10).to_string().find(" generic:1 final:0 is_alarm:1 is_ack:1 "),
              std::string::npos);
    EXPECT_NE(CEvent(0x2).to_string().find(" generic:0 final:0 is_alarm:0 is_ack:0 "),
              std::string::npos);
}
