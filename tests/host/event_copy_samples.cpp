// Event records for host store tests.
#include "host/event_copy_samples.h"

#include <gtest/gtest.h>

#include <tuple>

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

std::vector<std::string> list_of(const _byte_array_t* pairs, uint32_t count) {
    std::vector<std::string> out;
    for (uint32_t i = 0; pairs != nullptr && i < count; ++i)
        out.push_back(pairs[i].data ? std::string(pairs[i].data, pairs[i].length) : "");
    return out;
}

std::string text_of(const _byte_array_t& pair) {
    return list_of(&pair, 1)[0];
}

void fill_value(_element_datatype_t& value, data_type_t type, int seed, std::string& payload) {
    value.type = type;
    value.timestamp = qel_time32_t{1700000000 + seed, 250000 + seed};
    value._fill = 0xA5A5A500u + static_cast<uint32_t>(seed);
    auto& v = value.value;
    // clang-format off
    switch (type) {
        case DATATYPE_STRING: payload = "value text " + std::to_string(seed); break;
        case DATATYPE_BLOB: payload = std::string("\x00\xFF\x01 blob", 8) + std::to_string(seed); break;
        case DATATYPE_INT64: v.int64_value = -(int64_t{1} << 40) - seed; break;
        case DATATYPE_UINT64: v.uint64_value = ~uint64_t{0} - seed; break;
        case DATATYPE_COMPLEX: v.complex_value = _complex_t{1.5 + seed, -2.25}; break;
        case DATATYPE_TIME: v.time_value = qel_time32_t{-5 - seed, 999999}; break;
        case DATATYPE_FLOAT: v.float_value = 3.0e-300 * (seed + 1); break;
        case DATATYPE_BOOL: v.bool_value = 7; break;
        case DATATYPE_INT: v.int_value = -42 - seed; break;
        case DATATYPE_UINT: v.uint_value = 0xFFFFFFF0u + (seed & 7); break;
        default: v.uint64_value = 0x0102030405060708ull; break;
    }
    // clang-format on
}

}  // namespace

RecordBuilder::RecordBuilder(int32_t kind, int seed) {
    const std::string tag = std::to_string(kind) + "-" + std::to_string(seed);
    record.type = kind;
    record.cmd = 10 + seed;
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

    set_path("/samples/" + tag);
    record.source = pair_of(source_);
    record.description = pair_of(description_);
    record.note = pair_of(note_);
    if (record.value.type == DATATYPE_STRING || record.value.type == DATATYPE_BLOB)
        record.value.value.string_value = pair_of(payload_);
    for (size_t i = 0; i < urls_.size(); ++i) {
        url_pairs_.push_back(pair_of(urls_[i]));
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

void RecordBuilder::scribble() {
    for (std::string* text : {&path_, &source_, &description_, &note_, &payload_})
        std::fill(text->begin(), text->end(), '#');
    for (auto* list : {&urls_, &keys_, &values_})
        for (std::string& text : *list) std::fill(text.begin(), text.end(), '#');
}

void expect_same_carried_fields(const _event_t& expected, const _event_t& actual) {
    const int32_t kind = expected.type;
    // What every kind carries; severity and quality share a slot.
    auto common = [kind](const _event_t& r) {
        const _element_datatype_t& v = r.value;
        const bool payload = v.type == DATATYPE_STRING || v.type == DATATYPE_BLOB;
        const std::string value_bytes =
            payload ? text_of(v.value.string_value)
                    : std::string(reinterpret_cast<const char*>(&v.value), sizeof v.value);
        return std::make_tuple(r.type, text_of(r.path), r.cmd, text_of(r.source), r.was_logged,
                               r.event_time.tv_sec, r.event_time.tv_usec, r.cause,
                               kind == QEL_EVENT_SEVERITY_KIND ? r.severity : r.quality, v.type,
                               v.timestamp.tv_sec, v.timestamp.tv_usec, v._fill, value_bytes);
    };
    auto generic = [](const _event_t& r) {
        return std::make_tuple(text_of(r.description), r.event_id, r.sequence_id,
                               list_of(r.waveform_urls, r.waveform_url_count),
                               list_of(r.detail_keys, r.detail_count),
                               list_of(r.detail_values, r.detail_count));
    };
    auto alarm = [](const _event_t& r) {
        return std::make_tuple(r.ack_status, r.base_priority, r.condition_raised, text_of(r.note),
                               r.auto_close, r.variation_level);
    };
    EXPECT_EQ(common(actual), common(expected));
    if ((kind & QEL_EVENT_GENERIC_MASK) != 0) {
        EXPECT_EQ(generic(actual), generic(expected));
    } else {
        EXPECT_EQ(actual.waveform_urls, nullptr);
        EXPECT_EQ(actual.detail_keys, nullptr);
        EXPECT_EQ(actual.event_id, 0u);
    }
    if ((kind & QEL_EVENT_ALARM_MASK) != 0) {
        EXPECT_EQ(alarm(actual), alarm(expected));
    } else {
        EXPECT_EQ(actual.ack_status, 0);
        EXPECT_EQ(actual.note.length, 0u);
    }
    EXPECT_EQ(actual.final, kind == QEL_EVENT_FINAL_KIND ? expected.final : 0);
}

}  // namespace eventsamples
