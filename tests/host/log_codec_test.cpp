// The encoding of logged events: the same bytes on every host, and damaged bodies refused.
#include <gtest/gtest.h>

#include "host/event_copy_samples.h"
#include "host_log_codec.h"

namespace {

using nyrhost::OwnedEvent;

std::vector<unsigned char> bytes_of(const std::string& body) {
    return std::vector<unsigned char>(body.begin(), body.end());
}

TEST(LogCodec, WritesLittleEndianWhateverTheHost) {
    OwnedEvent event;
    event.scalars.type = 0x100;
    event.scalars.cmd = 0x01020304;
    event.scalars.value.type = DATATYPE_INT;
    event.scalars.value.timestamp = {-1, 0};
    const std::vector<unsigned char> body = bytes_of(nyrhost::encode_logged_event(event));
    ASSERT_GE(body.size(), 13u);
    const std::vector<unsigned char> head(body.begin(), body.begin() + 13);
    EXPECT_EQ(head, (std::vector<unsigned char>{1, 0x00, 0x01, 0, 0, 0x04, 0x03, 0x02, 0x01, 2, 0,
                                                0, 0}));
}

TEST(LogCodec, RefusesBodiesItDidNotWrite) {
    eventsamples::RecordBuilder sample(0x10, 0);
    const std::vector<unsigned char> body =
        bytes_of(nyrhost::encode_logged_event(nyrhost::from_record(sample.record)));
    OwnedEvent out;
    ASSERT_TRUE(nyrhost::decode_logged_event(body.data(), body.size(), out));
    EXPECT_EQ(out.details.size(), 3u);

    // Every shorter prefix, a trailing byte, another version and no data at all are refused.
    for (size_t size = 0; size < body.size(); ++size)
        EXPECT_FALSE(nyrhost::decode_logged_event(body.data(), size, out)) << size;
    std::vector<unsigned char> longer = body;
    longer.push_back(0);
    EXPECT_FALSE(nyrhost::decode_logged_event(longer.data(), longer.size(), out));
    std::vector<unsigned char> version = body;
    version[0] = 2;
    EXPECT_FALSE(nyrhost::decode_logged_event(version.data(), version.size(), out));
    EXPECT_FALSE(nyrhost::decode_logged_event(nullptr, 10, out));
}

}  // namespace
