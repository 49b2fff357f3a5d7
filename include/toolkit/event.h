/// @file
/// @brief toolkit::CEvent, the owning form of one event or alarm.
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

/// The owning form of one event or alarm, and its conversions to and from the store's event
/// record `_event_t`.
///
/// The kind (`type`) decides which fields cross the store interface: the generic fields for kinds
/// with a bit of 0xFC, the alarm fields for kinds with a bit of 0xD8, `final` for kind 0x20 only,
/// and `severity` in place of `quality` for kind 0x100. Every kind carries type, path, cmd, value,
/// source, severity/quality, was_logged, event_time and cause.
///
/// Thread safety: a plain value type without locking; concurrent reads of one event are safe.
class TOOLKIT_API CEvent {
public:
    int32_t type;        ///< The kind: its bits select the fields the event carries.
    std::string path;    ///< Path of the store item the event is about.
    int32_t cmd;         ///< Command code, carried unchanged.
    CElement value;      ///< The event's value.
    std::string source;  ///< Source string: see format_source_string().
    /// Severity or quality, by kind: the two share one place, as in the record.
    union {
        int32_t severity;  ///< Kind 0x100 only.
        uint16_t quality;  ///< Every other kind.
    };
    bool was_logged;                             ///< The logged flag.
    std::string description;                     ///< Generic: description text.
    std::uint64_t event_id;                      ///< Generic: event identifier.
    uint32_t sequence_id;                        ///< Generic: sequence number.
    std::vector<std::string> waveform_urls;      ///< Generic: waveform URLs.
    std::map<std::string, std::string> details;  ///< Generic: details, by key.
    timeval event_time;                          ///< When it happened; tv_sec -1: not set.
    int32_t cause;                               ///< Cause code, carried unchanged.
    bool final;                                  ///< Kind 0x20 only: the final flag.
    int32_t ack_status;                          ///< Alarm: acknowledgement status.
    uint32_t base_priority;                      ///< Alarm: base priority.
    bool condition_raised;                       ///< Alarm: the condition-raised flag.
    std::string note;                            ///< Alarm: note text.
    bool auto_close;                             ///< Alarm: the auto-close flag.
    int32_t variation_level;                     ///< Alarm: variation level.

    /// Kind constructor: `type` and every other field at its default (path "/", cmd 10, value the
    /// boolean true without time stamp, quality 192 or for kind 0x100 severity 0, event_time
    /// {-1, 0}, everything else zero, false or empty).
    /// @param type The kind.
    explicit CEvent(int32_t type = 0);
    /// Starts as the kind constructor of kind 0 with an invalid value, then takes the record.
    /// @param record The record, only read; its strings and value payload are copied.
    explicit CEvent(const _event_t& record);
    /// A copy of every field.
    /// @param other The event to copy.
    CEvent(const CEvent& other) = default;
    /// Takes over every field.
    /// @param other The event to take over.
    CEvent(CEvent&& other) = default;
    /// Copies every field.
    /// @param other The event to copy.
    /// @return This event.
    CEvent& operator=(const CEvent& other) = default;
    /// Takes over every field.
    /// @param other The event to take over.
    /// @return This event.
    CEvent& operator=(CEvent&& other) = default;
    /// Releases the event's strings, lists and value.
    ~CEvent() = default;

    /// Partial assignment: takes every field the record's kind carries, keeps the others.
    /// @param record The record, only read; its strings and value payload are copied.
    /// @return This event.
    CEvent& operator=(const _event_t& record);

    /// An event record that borrows this event's strings and value payload and owns only its
    /// three list arrays (malloc). Valid while this event is unchanged; release it with
    /// destruct_event().
    /// @return The record.
    _event_t get_base() const;

    /// @return True when the kind carries the generic fields (a bit of 0xFC).
    bool generic() const { return (type & QEL_EVENT_GENERIC_MASK) != 0; }
    /// @return True when the kind is an alarm and carries the alarm fields (a bit of 0xD8).
    bool is_alarm() const { return (type & QEL_EVENT_ALARM_MASK) != 0; }
    /// @return True when the kind is an acknowledgement (a bit of 0x90).
    bool is_ack() const { return (type & QEL_EVENT_ACK_MASK) != 0; }

    /// One line of labelled fields, for people (not parsed back).
    /// @return The line.
    std::string to_string() const;

    /// Splits a source string into its components; the encoding is the store's.
    /// @param source The source string; the store sees its characters up to the first NUL.
    /// @param[out] first The first component ("" when absent).
    /// @param[out] second The second component ("" when absent).
    /// @param[out] third The third component ("" when absent).
    /// @return 0 on success, else the store's failure value with the three outputs unchanged.
    static int parse_source_string(const std::string& source, std::string& first,
                                   std::string& second, std::string& third);
    /// Builds a source string from its components; the encoding is the store's. Empty components
    /// are absent.
    /// @param[out] out The source string.
    /// @param first The first component.
    /// @param second The second component.
    /// @param third The third component.
    /// @return The length of the built source string, or the store's negative failure code (then
    ///         `out` is empty).
    static int format_source_string(std::string& out, const std::string& first,
                                    const std::string& second, const std::string& third);
    /// "second@third (first)" with absent parts and their punctuation left out; a source string
    /// that does not parse gives "".
    /// @param source The source string.
    /// @param[out] out The text for people.
    static void human_source_string(const std::string& source, std::string& out);
};

}  // namespace toolkit

#endif  // TOOLKIT_EVENT_H
