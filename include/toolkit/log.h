/// @file
/// @brief toolkit::CLog, the store's event log.
#ifndef TOOLKIT_LOG_H
#define TOOLKIT_LOG_H

#include <nyr.h>
#include <sys/time.h>
#include <toolkit/event.h>
#include <toolkit/export.h>

#include <deque>
#include <list>
#include <string>
#include <vector>

namespace toolkit {

/// The store's event log: store batches of events, retrieve them for a path and a time range,
/// clear entries. Every member makes one store call with the handle it holds (it does not test the
/// handle and has no read-only mode) and returns the store's result unchanged.
///
/// Thread safety: no locking and no state besides the handle.
class TOOLKIT_API CLog {
public:
    /// A log object on `handle`.
    /// @param handle The store handle, not owned: CLog never opens or closes it.
    explicit CLog(qel_handle_t handle) : _handle(handle) {}

    /// @return The store handle this object uses.
    qel_handle_t handle() const { return _handle; }

    /// Stores the first `count` events from the front (all of them when `count` is 0 or too
    /// large). Records are built with CEvent::get_base() (a null array for no events) and
    /// released whatever the result.
    /// @param events The events.
    /// @param count How many events from the front.
    /// @param flag Passed on to the store.
    /// @return The store's result.
    int store(const std::deque<CEvent>& events, unsigned count, bool flag);
    /// Stores every event of the list, as the deque form does.
    /// @param events The events.
    /// @param flag Passed on to the store.
    /// @return The store's result.
    int store(const std::list<CEvent>& events, bool flag);
    /// Stores every event of the vector, as the deque form does.
    /// @param events The events.
    /// @param flag Passed on to the store.
    /// @return The store's result.
    int store(const std::vector<CEvent>& events, bool flag);
    /// Appends the logged events to `out`, in the store's order when flag_a == flag_b and in
    /// reverse order otherwise. One working event takes every record in turn, so fields a
    /// record's kind does not carry keep the previous record's values. On a non-zero result, or no
    /// records, `out` is untouched and nothing is released.
    /// @param[in,out] out The events are appended here.
    /// @param path Path whose events are wanted; an empty path goes as a null pointer.
    /// @param from Earliest event time, passed on as it is.
    /// @param to Latest event time, passed on as it is.
    /// @param option_a Passed on to the store.
    /// @param flag_a Passed on to the store; with `flag_b` it decides the order.
    /// @param flag_b Not passed on; with `flag_a` it decides the order.
    /// @param option_b Passed on to the store.
    /// @return The store's result.
    int retrieve(std::vector<CEvent>& out, const std::string& path, const timeval* from,
                 const timeval* to, unsigned option_a, bool flag_a, bool flag_b, unsigned option_b);
    /// Clears logged events for a path and a time range.
    /// @param path Path whose events go; an empty path goes as a null pointer.
    /// @param from Earliest event time, passed on as it is.
    /// @param to Latest event time, passed on as it is.
    /// @return The store's result.
    int clear(const std::string& path, const timeval* from, const timeval* to);

private:
    qel_handle_t _handle;
};

}  // namespace toolkit

#endif  // TOOLKIT_LOG_H
