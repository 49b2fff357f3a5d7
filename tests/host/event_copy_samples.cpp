// Event records for host store tests.
#include "host/event_copy_samples.h"

#include <gtest/gtest.h>

#include <cstring>

namespace eventsamples {

const std::vector<int32_t> kKinds = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80, 0x100, 0x18};
const std::vector<data_type_t> kValueTypes = {
    DATATYPE_STRING, DATATYPE_BLOB,  DATATYPE_INT64,   DATATYPE_COMPLEX,
    DATATYPE_TIME,   DATATYPE_FLOAT, DATATYPE_UINT64,  DATATYPE_BOOL,
    DATATYPE_INT,    DATATYPE_UINT,  DATATYPE_INVALID,
};

namespace {

_byte_array_t pair_of(std::string& text) {
    return _byte_array_t{text.empty() ? nullptr : &text[0], static_cast<uint32_t>(text.size())};
}

std::string text_of(const _byte_array_t& pair) {
    return (pair.data && pair.length) ? std::string(pair.data, pair.length) : std::string();
}

std::vector<std::string> list_of(const _byte_array_t* pairs, uint32_t count) {
    std::vector<std::string> out;
    for (uint32_t i = 0; pairs != nullptr && i < count; ++i) out.push_back(text_of(pairs[i]));
    return out;
}

void fill_value(_element_datatype_t& value, data_type_t type, int seed, std::string& payload) {
    value.type = type;
    value.timestamp = qel_time32_t{1700000000 + seed, 250000 + seed};
    value._fill = 0xA5A5A500u + static_cast<uint32_t>(seed);
    switch (type) {
        case DATATYPE_STRING:
            payload = "value text " + std::to_string(seed);
            break;
        case DATATYPE_BLOB:
            payload = std::string("\x00\xFF\x01 blob", 8) + std::to_string(seed);
            break;
        case DATATYPE_INT64:
            value.value.int64_value = -(int64_t{1} << 40) - seed;
            break;
        case DATATYPE_UINT64:
            value.value.uint64_value = ~uint64_t{0} - seed;
            break;
        case DATATYPE_COMPLEX:
            value.value.complex_value = _complex_t{1.5 + seed, -2.25};
            break;
        case DATATYPE_TIME:
            value.value.time_value = qel_time32_t{-5 - seed, 999999};
            break;
        case DATATYPE_FLOAT:
            value.value.float_value = 3.0e-300 * (seed + 1);
            break;
        case DATATYPE_BOOL:
            value.value.bool_value = 7;
            break;
        case DATATYPE_INT:
            value.value.int_value = -42 - seed;
            break;
        case DATATYPE_UINT:
            value.value.uint_value = 0xFFFFFFF0u + (seed & 7);
            break;
        default:
            value.value.uint64_value = 0x0102030405060708ull;
            break;
    }
}

}  // namespace

RecordBuilder::RecordBuilder(int32_t kind, int seed) {
    const std::string tag = std::to_string(kind) + "-" + std::to_string(seed);
    record.type = kind;
    record.cmd = 10 + seed;
    path_ = "/samples/" + tag;
    source_ = "source\x1f" + tag;
    description_ = "description " + tag;
    note_ = "note text";
    urls_ = {"http://wave/" + tag, "", "file:///w"};
    keys_ = {"zeta", "alpha", "k" + tag};
    values_ = {"last", "", "v" + tag};
    fill_value(record.value, kValueTypes[static_cast<size_t>(seed + kind) % kValueTypes.size()],
               seed, payload_);
    if (kind == QEL_EVENT_SEVERITY_KIND)
        record.severity = -7 - seed;
    else
        record.quality = static_cast<uint16_t>(0xC0 + seed);
    record.was_logged = 1;
    record.event_id = 0x1122334455667788ull + static_cast<uint64_t>(seed);
    record.sequence_id = 900u + static_cast<uint32_t>(seed);
    record.event_time = qel_time32_t{1600000000 + seed, 123456};
    record.cause = -3 - seed;
    record.final = kind == QEL_EVENT_FINAL_KIND ? 1 : 0;
    record.ack_status = 5 + seed;
    record.base_priority = 4000000000u + static_cast<uint32_t>(seed);
    record.condition_raised = 1;
    record.auto_close = 1;
    record.variation_level = -99 - seed;
    point_at_storage();
}

void RecordBuilder::point_at_storage() {
    record.path = pair_of(path_);
    record.source = pair_of(source_);
    record.description = pair_of(description_);
    record.note = pair_of(note_);
    if (record.value.type == DATATYPE_STRING || record.value.type == DATATYPE_BLOB)
        record.value.value.string_value = pair_of(payload_);
    url_pairs_.clear();
    for (std::string& url : urls_) url_pairs_.push_back(pair_of(url));
    key_pairs_.clear();
    value_pairs_.clear();
    for (size_t i = 0; i < keys_.size(); ++i) {
        key_pairs_.push_back(pair_of(keys_[i]));
        value_pairs_.push_back(pair_of(values_[i]));
    }
    record.waveform_urls = url_pairs_.data();
    record.waveform_url_count = static_cast<uint32_t>(url_pairs_.size());
    record.detail_keys = key_pairs_.data();
    record.detail_values = value_pairs_.data();
    record.detail_count = static_cast<uint32_t>(key_pairs_.size());
}

void RecordBuilder::set_path(const std::string& path) {
    path_ = path;
    record.path = pair_of(path_);
}

void RecordBuilder::set_time(int32_t sec, int32_t usec) {
    record.event_time = {sec, usec};
}

void RecordBuilder::fill_everything() {
    record.final = 1;
}

void RecordBuilder::scribble() {
    for (std::string* text : {&path_, &source_, &description_, &note_, &payload_})
        std::fill(text->begin(), text->end(), '#');
    for (auto* list : {&urls_, &keys_, &values_})
        for (std::string& text : *list) std::fill(text.begin(), text.end(), '#');
}

void expect_same_carried_fields(const _event_t& expected, const _event_t& actual) {
    const int32_t kind = expected.type;
    EXPECT_EQ(actual.type, kind);
    EXPECT_EQ(text_of(actual.path), text_of(expected.path));
    EXPECT_EQ(actual.cmd, expected.cmd);
    EXPECT_EQ(text_of(actual.source), text_of(expected.source));
    EXPECT_EQ(actual.was_logged, expected.was_logged);
    EXPECT_EQ(actual.event_time.tv_sec, expected.event_time.tv_sec);
    EXPECT_EQ(actual.event_time.tv_usec, expected.event_time.tv_usec);
    EXPECT_EQ(actual.cause, expected.cause);
    if (kind == QEL_EVENT_SEVERITY_KIND)
        EXPECT_EQ(actual.severity, expected.severity);
    else
        EXPECT_EQ(actual.quality, expected.quality);

    const _element_datatype_t& ev = expected.value;
    const _element_datatype_t& av = actual.value;
    EXPECT_EQ(av.type, ev.type);
    EXPECT_EQ(av.timestamp.tv_sec, ev.timestamp.tv_sec);
    EXPECT_EQ(av.timestamp.tv_usec, ev.timestamp.tv_usec);
    EXPECT_EQ(av._fill, ev._fill);
    if (ev.type == DATATYPE_STRING || ev.type == DATATYPE_BLOB) {
        EXPECT_EQ(text_of(av.value.string_value), text_of(ev.value.string_value));
    } else {
        EXPECT_EQ(std::memcmp(&av.value, &ev.value, sizeof av.value), 0) << "value bytes";
    }

    if ((kind & QEL_EVENT_GENERIC_MASK) != 0) {
        EXPECT_EQ(text_of(actual.description), text_of(expected.description));
        EXPECT_EQ(actual.event_id, expected.event_id);
        EXPECT_EQ(actual.sequence_id, expected.sequence_id);
        EXPECT_EQ(list_of(actual.waveform_urls, actual.waveform_url_count),
                  list_of(expected.waveform_urls, expected.waveform_url_count));
        EXPECT_EQ(list_of(actual.detail_keys, actual.detail_count),
                  list_of(expected.detail_keys, expected.detail_count));
        EXPECT_EQ(list_of(actual.detail_values, actual.detail_count),
                  list_of(expected.detail_values, expected.detail_count));
    } else {
        EXPECT_EQ(actual.waveform_urls, nullptr);
        EXPECT_EQ(actual.detail_keys, nullptr);
        EXPECT_EQ(actual.event_id, 0u);
    }
    if ((kind & QEL_EVENT_ALARM_MASK) != 0) {
        EXPECT_EQ(actual.ack_status, expected.ack_status);
        EXPECT_EQ(actual.base_priority, expected.base_priority);
        EXPECT_EQ(actual.condition_raised, expected.condition_raised);
        EXPECT_EQ(text_of(actual.note), text_of(expected.note));
        EXPECT_EQ(actual.auto_close, expected.auto_close);
        EXPECT_EQ(actual.variation_level, expected.variation_level);
    } else {
        EXPECT_EQ(actual.ack_status, 0);
        EXPECT_EQ(actual.note.length, 0u);
    }
    EXPECT_EQ(actual.final, kind == QEL_EVENT_FINAL_KIND ? expected.final : 0);
}

}  // namespace eventsamples
