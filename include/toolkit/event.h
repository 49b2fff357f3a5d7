// toolkit::CEvent - the owning form of one event or alarm, and its conversions to and from the
// store's event record `_event_t`.
//
// The kind (`type`) decides which fields cross the store interface: the generic fields for kinds
// with a bit of 0xFC, the alarm fields for kinds with a bit of 0xD8, `final` for kind 0x20 only,
// and `severity` in place of `quality` for kind 0x100. Every kind carries type, path, cmd, value,
// source, severity/quality, was_logged, event_time and cause.
//
// Thread safety: a plain value type without locking; concurrent reads of one event are safe.
#ifndef TOOLKIT_EVENT_H
#define TOOLKIT_EVENT_H

#include <nyr.h>
#include <sys/time.h>
#include <toolkit/element.h>
#include <toolkit/export.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace toolkit {

class TOOLKIT_API CEvent {
public:
    int32_t type;
    std::string path;
    int32_t cmd;
    CElement value;
    std::string source;
    union {
        int32_t severity;  // kind 0x100
        uint16_t quality;  // every other kind
    };
    bool was_logged;
    std::string description;
    std::uint64_t event_id;
    uint32_t sequence_id;
    std::vector<std::string> waveform_urls;
    std::map<std::string, std::string> details;
    timeval event_time;
    int32_t cause;
    bool final;
    int32_t ack_status;
    uint32_t base_priority;
    bool condition_raised;
    std::string note;
    bool auto_close;
    int32_t variation_level;

    // Kind constructor: `type` and every other field at its default (path "/", cmd 10, value the
    // boolean true without time stamp, quality 192 or for kind 0x100 severity 0, event_time
    // {-1, 0}, everything else zero, false or empty).
    explicit CEvent(int32_t type = 0);
    // Starts as the kind constructor of kind 0 with an invalid value, then takes the record.
    explicit CEvent(const _event_t& record);
    CEvent(const CEvent& other) = default;
    CEvent(CEvent&& other) = default;
    CEvent& operator=(const CEvent& other) = default;
    CEvent& operator=(CEvent&& other) = default;
    ~CEvent() = default;

    // Partial assignment: takes every field the record's kind carries, keeps the others.
    CEvent& operator=(const _event_t& record);

    // An event record that borrows this event's strings and value payload and owns only its three
    // list arrays (malloc). Valid while this event is unchanged; release it with destruct_event.
    _event_t get_base() const;

    bool generic() const { return (type & QEL_EVENT_GENERIC_MASK) != 0; }
    bool is_alarm() const { return (type & QEL_EVENT_ALARM_MASK) != 0; }
    bool is_ack() const { return (type & QEL_EVENT_ACK_MASK) != 0; }

    // One line of labelled fields, for people (not parsed back).
    std::string to_string() const;

    // Source strings, encoded by the store. 0 on success, else the store's failure value with the
    // three outputs unchanged.
    static int parse_source_string(const std::string& source, std::string& first,
                                   std::string& second, std::string& third);
    // Length of the built source string, or the store's negative failure code (then `out` is
    // empty). Empty components are absent.
    static int format_source_string(std::string& out, const std::string& first,
                                    const std::string& second, const std::string& third);
    // "second@third (first)" with absent parts and their punctuation left out.
    static void human_source_string(const std::string& source, std::string& out);
};

}  // namespace toolkit

#endif  // TOOLKIT_EVENT_H
