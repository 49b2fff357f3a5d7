// CEvent::to_string: the one-line dump, field by field.
#include <gtest/gtest.h>

#include <limits>

#include "unit/event_samples.h"

using toolkit::CElement;
using toolkit::CEvent;

namespace {

// The text between " label:" and the next " " of the line (the value of a space-free field).
std::string field(const std::string& line, const std::string& label) {
    const std::string key = " " + label + ":";
    const std::size_t at = line.find(key);
    if (at == std::string::npos) return "<missing>";
    const std::size_t from = at + key.size();
    const std::size_t to = line.find(' ', from);
    return line.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

} // namespace

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
}

TEST(EventDump, SeverityReplacesQualityForKind256) {
    CEvent e(0x100);
    e.severity = -3;
    const std::string line = e.to_string();
    EXPECT_EQ(field(line, "severity"), "-3");
    EXPECT_EQ(line.find(" quality:"), std::string::npos);
    EXPECT_EQ(field(line, "generic"), "0");
    EXPECT_EQ(field(line, "is_alarm"), "0");
    EXPECT_EQ(field(line, "is_ack"), "0");

    CEvent q(0x4);
    q.severity = -1; // quality 0xFFFF, and the upper half of the slot is not printed
    EXPECT_EQ(field(q.to_string(), "quality"), "65535");
}

TEST(EventDump, PredicatesPerKind) {
    struct Row {
        int32_t kind;
        const char* generic;
        const char* alarm;
        const char* ack;
    } rows[] = {{0x1, "0", "0", "0"},  {0x2, "0", "0", "0"},  {0x4, "1", "0", "0"},
                {0x8, "1", "1", "0"},  {0x10, "1", "1", "1"}, {0x20, "1", "0", "0"},
                {0x40, "1", "1", "0"}, {0x80, "1", "1", "1"}, {0x100, "0", "0", "0"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.kind);
        const std::string line = CEvent(row.kind).to_string();
        EXPECT_EQ(field(line, "generic"), row.generic);
        EXPECT_EQ(field(line, "is_alarm"), row.alarm);
        EXPECT_EQ(field(line, "is_ack"), row.ack);
    }
}

TEST(EventDump, ListSeparators) {
    CEvent e(0x4);
    e.waveform_urls = {""};
    EXPECT_NE(e.to_string().find(" waveform_urls: details:"), std::string::npos);
    e.waveform_urls = {"", ""};
    EXPECT_NE(e.to_string().find(" waveform_urls:, details:"), std::string::npos);
    e.details = {{"k", ""}};
    const std::string line = e.to_string();
    EXPECT_EQ(line.substr(line.size() - 12), " details:k=,") << "a comma follows even the last pair";
}

TEST(EventDump, ValueUsesTheElementText) {
    CEvent e;
    e.value = CElement(std::vector<char>{'\x01', '\x02', '\xff'});
    std::string blob_text;
    e.value.to_string(blob_text);
    ASSERT_FALSE(blob_text.empty());
    EXPECT_NE(e.to_string().find(" value:" + blob_text + " source:"), std::string::npos);
    e.value = CElement("with spaces, = and ,");
    EXPECT_NE(e.to_string().find(" value:with spaces, = and , source:"), std::string::npos);
}
