// toolkit::CNyr - the client object through which an application reaches the store.
//
// It wraps one store handle (not owned: no member opens, closes or replaces it) and a read-only
// switch. Rules common to every member that uses the store:
//  - a null handle gives -1 at once; no argument is touched and the store is not called;
//  - write members then honour the read-only flag: each status becomes 1 (batch writes append one
//    1 per path) and the result is 0, without a store call;
//  - otherwise one store call is made and its integer result is handed back unchanged, with the
//    per-item outcomes in the api_status_t out-parameters.
// Statuses written by the client itself: 1 for a refused write in read-only mode, 2 for a leaf
// whose property changed during a subtree copy, 3 for a move onto an existing node.
//
// Thread safety: no member takes a lock; calls on one object from several threads reach the store
// concurrently with the same handle, as far as the store allows that.
#ifndef TOOLKIT_NYR_H
#define TOOLKIT_NYR_H

#include <nyr.h>
#include <toolkit/element.h>
#include <toolkit/event.h>
#include <toolkit/export.h>

#include <string>
#include <utility>
#include <vector>

namespace toolkit {

class TOOLKIT_API CNyr {
public:
    using listing_t =
        std::vector<std::pair<std::string, std::pair<element_type_t, element_property_t>>>;
    using fetch_t = std::vector<std::pair<std::string, CElement>>;

    explicit CNyr(qel_handle_t handle, bool read_only = false)
        : _handle(handle), _read_only(read_only) {}

    qel_handle_t handle() const { return _handle; }

    // ---- Read-only mode --------------------------------------------------------------------
    bool isReadOnly() const { return _read_only; }
    void setReadOnly() { _read_only = true; }
    void clearReadOnly() { _read_only = false; }

    // ---- Single items ----------------------------------------------------------------------
    int add_node(const std::string& path, api_status_t& status, const std::string& source);
    int remove_node(const std::string& path, api_status_t& status, const std::string& source);
    // Asks the store to stamp the write when CElement::_forced_auto_time is set, or when
    // CElement::_auto_time is set and `value` has no time stamp.
    int set_leaf(const std::string& path, const CElement& value, api_status_t& status,
                 qel_tribool_t tribool, const std::string& source);
    int clear_leaf(const std::string& path, api_status_t& status, const std::string& source);
    // status 1: the node exists.
    int test_node(const std::string& path, api_status_t& status);
    // `value` takes the leaf's value only on result 0 with status 1; `property` is the store's.
    int get_leaf(const std::string& path, api_status_t& status, CElement& value,
                 element_property_t& property);

    // ---- Batches ---------------------------------------------------------------------------
    // Each batch hands the store an array of the paths' characters and their 32-bit count (-1
    // without a store call for more than UINT32_MAX paths). test_nodes resizes `statuses` to the
    // number of paths and the store writes them in place, whatever the result. The writes append
    // one status 1 per path in read-only mode; otherwise they, like get_leaves, replace `statuses`
    // on result 0 with as many statuses as the store reports (none when it hands back no array)
    // and leave it untouched on any other result.
    int test_nodes(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses);
    int add_nodes(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                  const std::string& source);
    int remove_nodes(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                     const std::string& source);
    int clear_leaves(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                     const std::string& source);
    // -1 when `values` or `tribools` differs in length from `paths` (also in read-only mode).
    int set_leaves(const std::vector<std::string>& paths, const std::vector<CElement>& values,
                   const std::vector<qel_tribool_t>& tribools, std::vector<api_status_t>& statuses,
                   const std::string& source);
    // `properties` is resized to the number of paths and written by the store whatever the result.
    // On result 0 `values` holds one element per path, also for records the store did not fill
    // (DATATYPE_INVALID, time stamp {0, 0}); otherwise `values` and `statuses` are untouched.
    int get_leaves(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                   std::vector<CElement>& values, std::vector<element_property_t>& properties);

    // ---- Listing ---------------------------------------------------------------------------
    // Working arrays grow by 512 (list_node) or 32 (mpl_fetch) entries and the store is asked
    // again until its `total` fits. On result 0 with status 1, `entries` holds exactly `total`
    // entries in the store's order; on result 0 with another status, or a non-zero result (handed
    // back at once), it is untouched. A total that no capacity reachable in whole steps within
    // 32 bits could hold (above 4294966784, or 4294967264 for mpl_fetch) gives -1 at once with
    // `entries` untouched, rather than growing towards it.
    int list_node(const std::string& path, api_status_t& status, listing_t& entries);
    int mpl_fetch(const std::string& path, api_status_t& status, fetch_t& entries);

    // ---- Subtree copy and move -------------------------------------------------------------
    // Depth first through list_node: each sub-node is copied when it is met, then the node's leaves
    // of property 0 or 1 are read with one get_leaves and written with one set_leaves (property
    // as tri-state); a node with nothing to copy becomes an empty node through add_node. A
    // non-zero result of any step ends the copy and is returned. An item failure ends it with
    // result 0 and `status` the item's status; 2 after a leaf's property changed to above 1 (also
    // reported through qel_err), and 0 when the store reported fewer statuses than leaves. Nothing
    // already written is undone.
    int copy_node_recursive(const std::string& from, const std::string& to, api_status_t& status,
                            const std::string& source);
    // Read-only: status 1 and nothing happens. A target that exists: status 3, nothing written.
    // Otherwise copies and, when the copy ends with status 1, removes the source.
    int move_node(const std::string& from, const std::string& to, api_status_t& status,
                  const std::string& source);

    // ---- Events ----------------------------------------------------------------------------
    int event_register(const std::string& path, api_event_t kind, bool flag, api_status_t& status);
    int event_clear(const std::string& path, api_event_t kind, api_status_t& status);
    // Sends records built with CEvent::get_base (a null array for no events) and releases them
    // whatever the result; on result 0 `statuses` holds as many statuses as the store reports.
    int events_send(const std::vector<CEvent>& events, std::vector<api_status_t>& statuses);
    // Number of events fetched, or the store's result <= 0 with `events` untouched. `events` is
    // resized to that number and its elements are reused: fields a record's kind does not carry
    // keep what the element held. A positive count without an array gives -1, `events` untouched.
    int events_get(std::vector<CEvent>& events);
    // As events_get, but `events` then holds exactly the fetched events, each built fresh.
    int events_get_nonblocking(std::vector<CEvent>& events);

    // ---- Process services ------------------------------------------------------------------
    int watchdog_register(api_status_t& status, const std::string& text, unsigned int number,
                          bool flag);
    int watchdog_ping(api_status_t& status);
    int watchdog_clear(api_status_t& status);
    int set_verbosity(nyrverb_thread_t thread, unsigned int level, const std::string& text,
                      api_status_t& status);
    int syslog_add(const std::string& first, syslog_severity_t severity, const std::string& second,
                   const std::string& third);
    // Texts of the empty strings of syslog_add go as null pointers.
    //
    // The first `length` lowercase hex digits of HMAC-SHA1 of `data` under `key` (all bytes,
    // NUL bytes included) into `out`, and 0. A `length` of 0 or above 20 gives -1, as does a
    // build without OpenSSL; `out` is then untouched.
    static int create_hmac(const std::string& key, const std::string& data, std::string& out,
                           unsigned int length);
    // On result 0, `out` holds all 37 bytes the store wrote (the terminating NUL included);
    // otherwise the store's result is returned and `out` is untouched.
    static int create_uuid(const std::string& text, std::string& out);

private:
    // The auto-time flag of a write of `value`, from CElement's two class-wide switches.
    static bool auto_time_for(const CElement& value);

    qel_handle_t _handle;
    bool _read_only;
};

}  // namespace toolkit

#endif  // TOOLKIT_NYR_H
