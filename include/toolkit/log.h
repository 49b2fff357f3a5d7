// toolkit::CLog - the store's event log: store batches of events, retrieve them for a path and a
// time range, clear entries. Every member makes one store call with the handle it holds (it does
// not test the handle and has no read-only mode) and returns the store's result unchanged.
//
// Thread safety: no locking and no state besides the handle.
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

class TOOLKIT_API CLog {
public:
    explicit CLog(qel_handle_t handle) : _handle(handle) {}

    qel_handle_t handle() const { return _handle; }

    // The first `count` events from the front (all of them when `count` is 0 or too large).
    int store(const std::deque<CEvent>& events, unsigned count, bool flag);
    int store(const std::list<CEvent>& events, bool flag);
    int store(const std::vector<CEvent>& events, bool flag);
    // Records are built with CEvent::get_base (a null array for no events) and released whatever
    // the result.
    //
    // Appends the logged events to `out`, in the store's order when flag_a == flag_b and in
    // reverse order otherwise. An empty path goes as a null pointer; `from` and `to` are passed on
    // as they are. One working event takes every record in turn, so fields a record's kind does
    // not carry keep the previous record's values. On a non-zero result, or no records, `out` is
    // untouched and nothing is released.
    int retrieve(std::vector<CEvent>& out, const std::string& path, const timeval* from,
                 const timeval* to, unsigned option_a, bool flag_a, bool flag_b, unsigned option_b);
    // An empty path goes as a null pointer.
    int clear(const std::string& path, const timeval* from, const timeval* to);

private:
    qel_handle_t _handle;
};

}  // namespace toolkit

#endif  // TOOLKIT_LOG_H
