// CEvent: construction and the two conversions to and from the store's event record.
#include <toolkit/event.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

namespace toolkit {

namespace {

// A pair that borrows the characters of `text`; valid while `text` is unchanged.
_byte_array_t borrow(const std::string& text) {
    _byte_array_t pair;
    pair.data = const_cast<char*>(text.data());
    pair.length = static_cast<uint32_t>(text.size());
    return pair;
}

// The text a pair describes; a null pointer or a length of 0 gives "".
bool has_text(const _byte_array_t& pair) {
    return pair.data != nullptr && pair.length != 0;
}

void take_text(std::string& to, const _byte_array_t& pair) {
    // assign() copes with a pair that points into `to` itself.
    if (has_text(pair))
        to.assign(pair.data, pair.length);
    else
        to.clear();
}

std::string text_of(const _byte_array_t& pair) {
    return has_text(pair) ? std::string(pair.data, pair.length) : std::string();
}

_byte_array_t* allocate_pairs(std::size_t count) {
    return static_cast<_byte_array_t*>(std::malloc(count * sizeof(_byte_array_t)));
}

using Details = std::map<std::string, std::string>;

// The texts an assignment reads once it starts writing over the event's lists (the lists' own
// texts, then the note), copied out first: whatever the record points into, writing over the
// lists cannot change what is still to be read. They fit in kRoom bytes or are not staged.
class StagedTexts {
public:
    // False when the texts do not fit.
    bool stage(const _event_t& record) {
        if (record.waveform_urls != nullptr)
            for (uint32_t i = 0; i < record.waveform_url_count; ++i)
                if (!put(record.waveform_urls[i])) return false;
        if (record.detail_keys != nullptr && record.detail_values != nullptr)
            for (uint32_t i = 0; i < record.detail_count; ++i)
                if (!put(record.detail_keys[i]) || !put(record.detail_values[i])) return false;
        return put(record.note);
    }
    // The texts in the order stage() took them; "" for a pair without text.
    std::string_view next() {
        uint32_t length = 0;
        std::memcpy(&length, bytes_ + read_, sizeof length);
        read_ += sizeof length;
        const std::string_view text(bytes_ + read_, length);
        read_ += length;
        return text;
    }

private:
    static constexpr std::size_t kRoom = 4096;

    bool put(const _byte_array_t& pair) {
        const uint32_t length = has_text(pair) ? pair.length : 0;
        if (kRoom - used_ < sizeof length || kRoom - used_ - sizeof length < length) return false;
        std::memcpy(bytes_ + used_, &length, sizeof length);
        used_ += sizeof length;
        if (length != 0) std::memcpy(bytes_ + used_, pair.data, length);
        used_ += length;
        return true;
    }

    char bytes_[kRoom];
    std::size_t used_ = 0, read_ = 0;
};

// The record's lists built aside and swapped in, the old ones handed to `old_urls` and
// `old_details`, where they stay readable until the caller is done with the record.
void take_lists_aside(const _event_t& record, std::vector<std::string>& urls, Details& details,
                      std::vector<std::string>& old_urls, Details& old_details) {
    std::vector<std::string> new_urls;
    if (record.waveform_urls != nullptr) {
        new_urls.reserve(record.waveform_url_count);
        for (uint32_t i = 0; i < record.waveform_url_count; ++i)
            new_urls.push_back(text_of(record.waveform_urls[i]));
    }
    Details entries;
    if (record.detail_keys != nullptr && record.detail_values != nullptr) {
        for (uint32_t i = 0; i < record.detail_count; ++i) {
            if (!has_text(record.detail_keys[i])) continue;
            entries.insert_or_assign(text_of(record.detail_keys[i]),
                                     text_of(record.detail_values[i]));
        }
    }
    urls.swap(new_urls);
    old_urls.swap(new_urls);
    details.swap(entries);
    old_details.swap(entries);
}

// The staged lists written over the ones the event holds, reusing their strings and map nodes.
void take_lists_in_place(const _event_t& record, StagedTexts& staged,
                         std::vector<std::string>& urls, Details& details) {
    if (record.waveform_urls == nullptr) {
        urls.clear();
    } else {
        urls.resize(record.waveform_url_count);
        for (std::string& url : urls) url.assign(staged.next());
    }

    if (record.detail_keys == nullptr || record.detail_values == nullptr) {
        details.clear();
        return;
    }
    // While the keys are the ones held, in their order (repeated events of one kind), only the
    // values change.
    const uint32_t count = record.detail_count;
    uint32_t i = 0;
    auto held = details.begin();
    std::string_view key, value;
    bool pending = false;
    while (i < count) {
        key = staged.next();
        value = staged.next();
        ++i;
        if (held == details.end() || key.empty() || key != held->first) {
            pending = true;
            break;
        }
        held->second.assign(value);
        ++held;
    }
    // The entries held beyond that carry the others; a later duplicate key wins.
    Details spare;
    while (held != details.end()) spare.insert(details.extract(held++));
    auto place = [&](std::string_view k, std::string_view v) {
        if (k.empty()) return;
        if (spare.empty()) {
            details.insert_or_assign(std::string(k), std::string(v));
            return;
        }
        auto node = spare.extract(spare.begin());
        node.key().assign(k);
        node.mapped().assign(v);
        auto placed = details.insert(std::move(node));
        if (!placed.inserted) placed.position->second.swap(placed.node.mapped());
    };
    if (pending) place(key, value);
    for (; i < count; ++i) {
        key = staged.next();
        value = staged.next();
        place(key, value);
    }
}

}  // namespace

CEvent::CEvent(int32_t kind)
    : type(kind),
      path("/"),
      cmd(10),
      value(true),
      severity(0),
      was_logged(false),
      event_id(0),
      sequence_id(0),
      event_time(CElement::_invalid_time),
      cause(0),
      final(false),
      ack_status(0),
      base_priority(0),
      condition_raised(false),
      auto_close(false),
      variation_level(0) {
    // The slot starts all zero, so a quality leaves no stray bytes above its 16 bits.
    if (kind != QEL_EVENT_SEVERITY_KIND) quality = 192;
}

CEvent::CEvent(const _event_t& record) : CEvent(0) {
    value = CElement();
    *this = record;
}

_event_t CEvent::get_base() const {
    _event_t out;
    std::memset(static_cast<void*>(&out), 0, sizeof(out));

    out.type = type;
    out.cmd = cmd;
    out.was_logged = was_logged ? 1 : 0;
    out.cause = cause;
    out.event_time = to_time32(event_time);
    out.path = borrow(path);
    out.source = borrow(source);
    out.value = value;  // the 32 bytes as they stand: a payload points into `value`'s buffer
    if (type == QEL_EVENT_SEVERITY_KIND)
        out.severity = severity;
    else
        out.quality = quality;

    if (!generic()) return out;

    out.description = borrow(description);
    out.event_id = event_id;
    out.sequence_id = sequence_id;

    // An allocation failure leaves the array null with the count kept: the list is absent.
    if (!waveform_urls.empty()) {
        out.waveform_url_count = static_cast<uint32_t>(waveform_urls.size());
        out.waveform_urls = allocate_pairs(waveform_urls.size());
        if (out.waveform_urls != nullptr) {
            for (std::size_t i = 0; i < waveform_urls.size(); ++i)
                out.waveform_urls[i] = borrow(waveform_urls[i]);
        }
    }
    if (!details.empty()) {
        out.detail_count = static_cast<uint32_t>(details.size());
        out.detail_keys = allocate_pairs(details.size());
        if (out.detail_keys != nullptr) {
            out.detail_values = allocate_pairs(details.size());
            if (out.detail_values == nullptr) {
                std::free(out.detail_keys);
                out.detail_keys = nullptr;
            }
        }
        if (out.detail_keys != nullptr) {
            std::size_t i = 0;
            for (const auto& entry : details) {
                out.detail_keys[i] = borrow(entry.first);
                out.detail_values[i] = borrow(entry.second);
                ++i;
            }
        }
    }

    if (is_alarm()) {
        out.ack_status = ack_status;
        out.base_priority = base_priority;
        out.condition_raised = condition_raised ? 1 : 0;
        out.auto_close = auto_close ? 1 : 0;
        out.variation_level = variation_level;
        out.note = borrow(note);
    }
    if (type == QEL_EVENT_FINAL_KIND) out.final = final ? 1 : 0;
    return out;
}

// Partial assignment: the record's kind decides which fields are taken; the rest keep their
// values. The record may point into this event itself (one built by its own get_base): the texts
// read once the lists start changing are staged first and then written over the event's own
// strings and map nodes; texts too long to stage make lists built aside and swapped in, the old
// ones kept until the note has been read. A list array that is null while its count is not zero
// marks the list as absent (what get_base leaves after a failed allocation): the list becomes
// empty. A detail list needs both its key and its value array.
CEvent& CEvent::operator=(const _event_t& record) {
    type = record.type;
    take_text(path, record.path);
    cmd = record.cmd;
    event_time = from_time32(record.event_time);
    value = record.value;
    take_text(source, record.source);
    if (type == QEL_EVENT_SEVERITY_KIND)
        severity = record.severity;
    else
        quality = record.quality;
    was_logged = record.was_logged != 0;
    cause = record.cause;

    if (!generic()) return *this;

    take_text(description, record.description);
    event_id = record.event_id;
    sequence_id = record.sequence_id;

    std::vector<std::string> old_urls;
    Details old_details;
    StagedTexts staged;
    const bool in_place = staged.stage(record);
    if (in_place)
        take_lists_in_place(record, staged, waveform_urls, details);
    else
        take_lists_aside(record, waveform_urls, details, old_urls, old_details);

    if (is_alarm()) {
        ack_status = record.ack_status;
        base_priority = record.base_priority;
        condition_raised = record.condition_raised != 0;
        if (in_place)
            note.assign(staged.next());
        else
            take_text(note, record.note);
        auto_close = record.auto_close != 0;
        variation_level = record.variation_level;
    }
    if (type == QEL_EVENT_FINAL_KIND) final = record.final != 0;
    return *this;
}

}  // namespace toolkit
