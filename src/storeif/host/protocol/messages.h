// Requests and replies of the protocol between remote handles and nyrd (frames and handshake:
// protocol/frame.h). A request body is a u8 operation (Op) and its arguments; the reply body
// starts with the call's integer result (i64 for the three counts, i32 otherwise) and carries
// the outputs only when the call was carried out (result 0; for an event fetch, a count > 0).
// The client refuses bad arguments itself, as the store does, so only calls that reach the store
// travel.
//
// Pieces:
//   ptext   a C text: u32 length, the bytes, a 0 byte; length 0xFFFFFFFF is a null pointer
//           (nothing follows). Its bytes may be used in place as a NUL-terminated text.
//   paths   u32 count, count ptexts
//   value   u32 fill word, u8 form, then by form:
//             0: a value body with its time stamp (codec/wire_format.h), for types 1..10
//             1: i32 type, i32 seconds, i32 microseconds, the 16 bytes of the value union as
//                the record held them: a type the body cannot hold (0, or outside 0..10)
//             2: i32 type, i32 seconds, i32 microseconds, u32 length: a string or blob whose
//                data pointer is null with a non-zero length (the store refuses it)
//   event   u32 the value's fill word, u8 raw (0|1), [raw: i32 type, 16 union bytes], the event
//           encoding (codec/wire_format.h) with value type 0 when raw
//   events  u32 count, count events
//   time    u8 present, [i64 seconds, i64 microseconds]
//
// Requests (after the operation byte)                  Reply outputs (after the result)
//   add_node, remove_node, clear_leaf: ptext path, ptext source          i32 status
//   set_leaf: ptext path, value, i32 tribool, u8 auto_time, ptext source i32 status
//   test_node: ptext path                                                i32 status
//   get_leaf: ptext path               i32 status, u8 found, [value, u32 property]
//   test_nodes: paths                                                    u32 n, n i32
//   add_nodes, remove_nodes, clear_leaves: paths, ptext source           u32 n, n i32
//   set_leaves: paths, per path (value, i32 tribool, u8 auto_time), ptext source
//                                                                        u32 n, n i32
//   get_leaves: paths                  u32 n, n (i32 status, u8 found, [value, u32 property])
//   list_node: ptext path, u32 types, u32 properties, u32 names capacity
//        i32 status, u32 total, u32 n + n i32 types, u32 n + n u32 properties, u32 n + n ptext
//   mpl_fetch: ptext path, u32 values, u32 names capacity
//                             i32 status, u32 total, u32 n + n values, u32 n + n ptext names
//   event_register: ptext path, i32 kind, u8 flag                        i32 status
//   event_clear: ptext path, i32 kind                                    i32 status
//   events_send: events                                                  u32 n, n i32
//   events_get, events_get_nonblocking: -              (the result is the count) events
//   log_store: events, u8 flag                                           -
//   log_retrieve: ptext path, time from, time to, u32 a, u8 flag, u32 b  events
//   log_clear: ptext path, time from, time to                            -
//   watchdog_register: ptext text, u32 number, u8 flag                   i32 status
//   watchdog_ping, watchdog_clear: -                                     i32 status
//   set_verbosity: i32 thread, u32 level, ptext text                     i32 status
//   syslog_add: ptext first, i32 severity, ptext second, ptext third     -
//   overflow_count, queued_count, syslog_count: -                        (i64 result only)
//   watchdog_state: -                                 i32 registered, u32 pings, u32 number
//   verbosity: i32 thread                                                u32 level
//   syslog_entry: u32 index                               i32 severity, 3 ptexts
//
// Values come back from the daemon as the store hands them out, except that the bytes of the
// value union a known type does not use read as zero, as in the event log's file.
#ifndef NYR_HOST_PROTOCOL_MESSAGES_H
#define NYR_HOST_PROTOCOL_MESSAGES_H

#include <sys/time.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "codec/byte_cursor.h"
#include "core/owned_event.h"
#include "nyr.h"

namespace nyrproto {

enum class Op : uint8_t {
    kAddNode = 1,
    kRemoveNode,
    kSetLeaf,
    kClearLeaf,
    kTestNode,
    kGetLeaf,
    kTestNodes,
    kAddNodes,
    kRemoveNodes,
    kClearLeaves,
    kSetLeaves,
    kGetLeaves,
    kListNode,
    kMplFetch,
    kEventRegister,
    kEventClear,
    kEventsSend,
    kEventsGet,
    kEventsGetNonblocking,
    kLogStore,
    kLogRetrieve,
    kLogClear,
    kWatchdogRegister,
    kWatchdogPing,
    kWatchdogClear,
    kSetVerbosity,
    kSyslogAdd,
    kOverflowCount,
    kQueuedCount,
    kWatchdogState,
    kVerbosity,
    kSyslogCount,
    kSyslogEntry,
    kLast = kSyslogEntry
};

constexpr uint32_t kNullText = 0xFFFFFFFFu;

// Writers of the pieces.
void write_ptext(nyrhost::WireWriter& w, const char* text);
void write_ptext(nyrhost::WireWriter& w, const char* data, uint32_t length);
void write_paths(nyrhost::WireWriter& w, const char* const* paths, uint32_t count);
void write_value(nyrhost::WireWriter& w, const _element_datatype_t& value);
void write_event(nyrhost::WireWriter& w, const _event_t& record);
void write_events(nyrhost::WireWriter& w, const _event_t* records, uint32_t count);
void write_time(nyrhost::WireWriter& w, const struct timeval* time);

// Readers of the pieces; false (and the reader failed) for bytes that do not follow the layout.
// A ptext read in place points into the reader's input.
bool read_ptext(nyrhost::WireReader& r, const char*& text);
bool read_ptext(nyrhost::WireReader& r, const char*& text, uint32_t& length);
// A value: a string's or blob's bytes go to `payload` and `value` points at them.
bool read_value(nyrhost::WireReader& r, _element_datatype_t& value, std::string& payload);
bool read_event(nyrhost::WireReader& r, nyrhost::OwnedEvent& out);
bool read_events(nyrhost::WireReader& r, std::vector<nyrhost::OwnedEvent>& out);
bool read_time(nyrhost::WireReader& r, bool& present, struct timeval& time);

// A decoded request. Texts point into the frame it was read from; the other members own their
// memory. Which members an operation fills is given in the table above, the integers in the
// order they appear there: `path` is also the text of watchdog_register and set_verbosity and the
// first text of syslog_add, `source` its second, `third` its third; `i` is a tribool, kind,
// thread or severity; `a`, `b`, `c` the unsigned integers (capacities, number, level, index,
// option a and b).
struct Request {
    Op op = Op::kAddNode;
    const char* path = nullptr;
    const char* source = nullptr;
    const char* third = nullptr;
    int32_t i = 0;
    uint32_t a = 0, b = 0, c = 0;
    bool flag = false;
    bool has_from = false, has_to = false;
    struct timeval from {};
    struct timeval to {};
    std::vector<const char*> paths;
    std::vector<_element_datatype_t> values;
    std::vector<qel_tribool_t> tribools;
    std::unique_ptr<bool[]> auto_times;
    std::deque<std::string> payloads;  // the bytes of string and blob values
    std::vector<nyrhost::OwnedEvent> events;
};

// Decodes one request body of `size` bytes. False for anything that is not exactly one
// well-formed request: an unknown operation, a piece that runs past the end or does not follow
// its layout, a count larger than the bytes could hold, or bytes left over. Never reads outside
// [body, body + size); allocates no more than a small multiple of `size`.
bool decode_request(const char* body, std::size_t size, Request& out);

}  // namespace nyrproto

#endif  // NYR_HOST_PROTOCOL_MESSAGES_H
