/// @file
/// @brief toolkit::CNyr, the client object through which an application reaches the store.
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

/// The client object through which an application reaches the store.
///
/// It wraps one store handle (not owned: no member opens, closes or replaces it) and a read-only
/// switch. Rules common to every member that uses the store:
///  - a null handle gives -1 at once; no argument is touched and the store is not called;
///  - write members then honour the read-only flag: each status becomes 1 (batch writes append one
///    1 per path) and the result is 0, without a store call;
///  - otherwise one store call is made and its integer result is handed back unchanged, with the
///    per-item outcomes in the api_status_t out-parameters.
///
/// Statuses written by the client itself: 1 for a refused write in read-only mode, 2 for a leaf
/// whose property changed during a subtree copy, 3 for a move onto an existing node.
///
/// Thread safety: no member takes a lock; calls on one object from several threads reach the store
/// concurrently with the same handle, as far as the store allows that.
class TOOLKIT_API CNyr {
public:
    /// A listing: per entry its name, then its kind (#QEL_ELEMENT_LEAF or #QEL_ELEMENT_NODE) and
    /// its property word.
    using listing_t =
        std::vector<std::pair<std::string, std::pair<element_type_t, element_property_t>>>;
    /// A fetch: per leaf its name and its value.
    using fetch_t = std::vector<std::pair<std::string, CElement>>;

    /// A client on `handle`.
    /// @param handle The store handle, not owned; a null handle makes every store member give -1.
    /// @param read_only True starts the client in read-only mode.
    explicit CNyr(qel_handle_t handle, bool read_only = false)
        : _handle(handle), _read_only(read_only) {}

    /// @return The store handle this client uses.
    qel_handle_t handle() const { return _handle; }

    // ---- Read-only mode --------------------------------------------------------------------
    /// @return True in read-only mode, where write members succeed without reaching the store.
    bool isReadOnly() const { return _read_only; }
    /// Switches read-only mode on.
    void setReadOnly() { _read_only = true; }
    /// Switches read-only mode off.
    void clearReadOnly() { _read_only = false; }

    // ---- Single items ----------------------------------------------------------------------
    /// Adds a node. A write member.
    /// @param path Path of the new node.
    /// @param[out] status The item's outcome, 1 on success.
    /// @param source Source string of the change.
    /// @return -1 without a handle, 0 in read-only mode, else the store's result.
    int add_node(const std::string& path, api_status_t& status, const std::string& source);
    /// Removes a node. A write member.
    /// @param path Path of the node.
    /// @param[out] status The item's outcome, 1 on success.
    /// @param source Source string of the change.
    /// @return -1 without a handle, 0 in read-only mode, else the store's result.
    int remove_node(const std::string& path, api_status_t& status, const std::string& source);
    /// Writes a leaf. A write member. Asks the store to stamp the write when
    /// CElement::_forced_auto_time is set, or when CElement::_auto_time is set and `value` has no
    /// time stamp.
    /// @param path Path of the leaf.
    /// @param value The value; its record and payload are only read.
    /// @param[out] status The item's outcome, 1 on success.
    /// @param tribool Three-state value of the write.
    /// @param source Source string of the change.
    /// @return -1 without a handle, 0 in read-only mode, else the store's result.
    int set_leaf(const std::string& path, const CElement& value, api_status_t& status,
                 qel_tribool_t tribool, const std::string& source);
    /// Clears a leaf. A write member.
    /// @param path Path of the leaf.
    /// @param[out] status The item's outcome, 1 on success.
    /// @param source Source string of the change.
    /// @return -1 without a handle, 0 in read-only mode, else the store's result.
    int clear_leaf(const std::string& path, api_status_t& status, const std::string& source);
    /// Tests whether a node exists.
    /// @param path Path to test.
    /// @param[out] status 1: the node exists.
    /// @return -1 without a handle, else the store's result.
    int test_node(const std::string& path, api_status_t& status);
    /// Reads a leaf.
    /// @param path Path of the leaf.
    /// @param[out] status The item's outcome, 1 on success.
    /// @param[out] value Takes the leaf's value only on result 0 with status 1.
    /// @param[out] property The store's property word of the leaf.
    /// @return -1 without a handle, else the store's result.
    int get_leaf(const std::string& path, api_status_t& status, CElement& value,
                 element_property_t& property);

    /// @name Batches
    /// Each batch hands the store an array of the paths' characters and their 32-bit count (-1
    /// without a store call for more than UINT32_MAX paths). test_nodes resizes `statuses` to the
    /// number of paths and the store writes them in place, whatever the result. The writes append
    /// one status 1 per path in read-only mode; otherwise they, like get_leaves, replace
    /// `statuses` on result 0 with as many statuses as the store reports (none when it hands back
    /// no array) and leave it untouched on any other result.
    //@{
    /// Tests for each path whether a node exists there.
    /// @param paths The paths.
    /// @param[out] statuses Resized to the number of paths and written by the store in place,
    ///             whatever the result: 1 where the node exists.
    /// @return -1 without a handle or for more than UINT32_MAX paths, else the store's result.
    int test_nodes(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses);
    /// Adds a node at each path. A write member.
    /// @param paths The paths.
    /// @param[out] statuses In read-only mode one 1 per path is appended; otherwise replaced on
    ///             result 0 by the statuses the store reports, untouched on any other result.
    /// @param source Source string of the changes.
    /// @return -1 without a handle or for more than UINT32_MAX paths, 0 in read-only mode, else
    ///         the store's result.
    int add_nodes(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                  const std::string& source);
    /// Removes the node at each path. A write member.
    /// @param paths The paths.
    /// @param[out] statuses In read-only mode one 1 per path is appended; otherwise replaced on
    ///             result 0 by the statuses the store reports, untouched on any other result.
    /// @param source Source string of the changes.
    /// @return -1 without a handle or for more than UINT32_MAX paths, 0 in read-only mode, else
    ///         the store's result.
    int remove_nodes(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                     const std::string& source);
    /// Clears the leaf at each path. A write member.
    /// @param paths The paths.
    /// @param[out] statuses In read-only mode one 1 per path is appended; otherwise replaced on
    ///             result 0 by the statuses the store reports, untouched on any other result.
    /// @param source Source string of the changes.
    /// @return -1 without a handle or for more than UINT32_MAX paths, 0 in read-only mode, else
    ///         the store's result.
    int clear_leaves(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                     const std::string& source);
    /// Writes the leaf at each path. A write member; each write asks for a store time stamp as
    /// set_leaf() does.
    /// @param paths The paths.
    /// @param values One value per path.
    /// @param tribools One three-state value per path.
    /// @param[out] statuses In read-only mode one 1 per path is appended; otherwise replaced on
    ///             result 0 by the statuses the store reports, untouched on any other result.
    /// @param source Source string of the changes.
    /// @return -1 without a handle, for more than UINT32_MAX paths, or when `values` or
    ///         `tribools` differs in length from `paths` (also in read-only mode); 0 in read-only
    ///         mode; else the store's result.
    int set_leaves(const std::vector<std::string>& paths, const std::vector<CElement>& values,
                   const std::vector<qel_tribool_t>& tribools, std::vector<api_status_t>& statuses,
                   const std::string& source);
    /// Reads the leaf at each path.
    /// @param paths The paths.
    /// @param[out] statuses On result 0 the statuses the store reports; otherwise untouched.
    /// @param[out] values On result 0 one element per path, also for records the store did not
    ///             fill (DATATYPE_INVALID, time stamp {0, 0}); otherwise untouched.
    /// @param[out] properties Resized to the number of paths and written by the store whatever
    ///             the result.
    /// @return -1 without a handle or for more than UINT32_MAX paths, else the store's result.
    int get_leaves(const std::vector<std::string>& paths, std::vector<api_status_t>& statuses,
                   std::vector<CElement>& values, std::vector<element_property_t>& properties);
    //@}

    /// @name Listing
    /// Working arrays grow by 512 (list_node) or 32 (mpl_fetch) entries and the store is asked
    /// again until its `total` fits. On result 0 with status 1, `entries` holds exactly `total`
    /// entries in the store's order; on result 0 with another status, or a non-zero result (handed
    /// back at once), it is untouched. A total that no capacity reachable in whole steps within
    /// 32 bits could hold (above 4294966784, or 4294967264 for mpl_fetch) gives -1 at once with
    /// `entries` untouched, rather than growing towards it.
    //@{
    /// Lists the entries of a node, asking the store in steps of 512 entries.
    /// @param path Path of the node.
    /// @param[out] status The store's status of the listing, 1 on success.
    /// @param[out] entries On result 0 with status 1 exactly the store's `total` entries, in the
    ///             store's order; otherwise untouched.
    /// @return -1 without a handle or for a total above 4294966784, else the store's result.
    int list_node(const std::string& path, api_status_t& status, listing_t& entries);
    /// Fetches the leaves at a path with their values, asking the store in steps of 32 entries.
    /// @param path Path of the node (or leaf).
    /// @param[out] status The store's status of the fetch, 1 on success.
    /// @param[out] entries On result 0 with status 1 exactly the store's `total` entries, in the
    ///             store's order; otherwise untouched.
    /// @return -1 without a handle or for a total above 4294967264, else the store's result.
    int mpl_fetch(const std::string& path, api_status_t& status, fetch_t& entries);
    //@}

    // ---- Subtree copy and move -------------------------------------------------------------
    /// Copies the subtree at `from` to `to`. Depth first through list_node: each sub-node is
    /// copied when it is met, then the node's leaves of property 0 or 1 are read with one
    /// get_leaves and written with one set_leaves (property as tri-state); a node with nothing to
    /// copy becomes an empty node through add_node. A non-zero result of any step ends the copy
    /// and is returned. An item failure ends it with result 0 and `status` the item's status; 2
    /// after a leaf's property changed to above 1 (also reported through qel_err()), and 0 when
    /// the store reported fewer statuses than leaves. Nothing already written is undone.
    /// @param from Path of the subtree to copy.
    /// @param to Path of the copy.
    /// @param[out] status 1 when everything was copied, else the status that ended the copy.
    /// @param source Source string of the writes.
    /// @return 0, or the first non-zero result of a step (-1 without a handle).
    int copy_node_recursive(const std::string& from, const std::string& to, api_status_t& status,
                            const std::string& source);
    /// Moves the subtree at `from` to `to`. Read-only: status 1 and nothing happens. A target that
    /// exists: status 3, nothing written. Otherwise copies and, when the copy ends with status 1,
    /// removes the source.
    /// @param from Path of the subtree to move.
    /// @param to Its new path.
    /// @param[out] status 1 when moved (or in read-only mode), 3 for an existing target, else the
    ///             status that ended the copy or the removal.
    /// @param source Source string of the changes.
    /// @return -1 without a handle, 0 in read-only mode, else the first non-zero result of a step
    ///         or 0.
    int move_node(const std::string& from, const std::string& to, api_status_t& status,
                  const std::string& source);

    // ---- Events ----------------------------------------------------------------------------
    /// Subscribes this client's handle to events at `path`.
    /// @param path Path the registration covers.
    /// @param kind Event kind mask.
    /// @param flag Passed on to the store (the host store: true covers everything below `path`).
    /// @param[out] status The item's outcome, 1 on success.
    /// @return -1 without a handle, else the store's result.
    int event_register(const std::string& path, api_event_t kind, bool flag, api_status_t& status);
    /// Removes kinds from this client's registration at `path`.
    /// @param path Path of the registration.
    /// @param kind Event kind mask to remove.
    /// @param[out] status The item's outcome, 1 on success.
    /// @return -1 without a handle, else the store's result.
    int event_clear(const std::string& path, api_event_t kind, api_status_t& status);
    /// Sends records built with CEvent::get_base() (a null array for no events) and releases them
    /// whatever the result.
    /// @param events The events.
    /// @param[out] statuses On result 0 as many statuses as the store reports.
    /// @return -1 without a handle or for more than UINT32_MAX events, else the store's result.
    int events_send(const std::vector<CEvent>& events, std::vector<api_status_t>& statuses);
    /// Fetches the events queued for this client's handle; the store may wait for a first one.
    /// @param[in,out] events Resized to the number fetched, its elements reused: fields a
    ///                record's kind does not carry keep what the element held. Untouched on a
    ///                result <= 0 or -1.
    /// @return The number of events fetched, or the store's result <= 0 with `events` untouched.
    ///         A positive count without an array gives -1, `events` untouched.
    int events_get(std::vector<CEvent>& events);
    /// As events_get(), without waiting, and `events` then holds exactly the fetched events, each
    /// built fresh.
    /// @param[out] events The fetched events; untouched on a result <= 0.
    /// @return The number of events fetched, or the store's result <= 0 with `events` untouched.
    ///         A positive count without an array gives -1, `events` untouched.
    int events_get_nonblocking(std::vector<CEvent>& events);

    // ---- Process services ------------------------------------------------------------------
    /// Registers this client's handle with the store's watchdog.
    /// @param[out] status The item's outcome, 1 on success.
    /// @param text Passed on to the store.
    /// @param number Passed on to the store.
    /// @param flag Passed on to the store.
    /// @return -1 without a handle, else the store's result.
    int watchdog_register(api_status_t& status, const std::string& text, unsigned int number,
                          bool flag);
    /// Pings the watchdog registration.
    /// @param[out] status The item's outcome, 1 on success.
    /// @return -1 without a handle, else the store's result.
    int watchdog_ping(api_status_t& status);
    /// Ends the watchdog registration.
    /// @param[out] status The item's outcome, 1 on success.
    /// @return -1 without a handle, else the store's result.
    int watchdog_clear(api_status_t& status);
    /// Sets the verbosity of one thread.
    /// @param thread The thread.
    /// @param level The new level.
    /// @param text Passed on to the store.
    /// @param[out] status The item's outcome, 1 on success.
    /// @return -1 without a handle, else the store's result.
    int set_verbosity(nyrverb_thread_t thread, unsigned int level, const std::string& text,
                      api_status_t& status);
    /// Adds an entry to the system log. Empty texts go as null pointers.
    /// @param first First text.
    /// @param severity Severity of the entry.
    /// @param second Second text.
    /// @param third Third text.
    /// @return -1 without a handle, else the store's result.
    int syslog_add(const std::string& first, syslog_severity_t severity, const std::string& second,
                   const std::string& third);
    /// The first `length` lowercase hex digits of HMAC-SHA1 of `data` under `key` (all bytes, NUL
    /// bytes included) into `out`. Needs no handle.
    /// @param key The key.
    /// @param data The data.
    /// @param[out] out The hex digits; untouched on -1.
    /// @param length How many hex digits, 1 to 20.
    /// @return 0; -1 for a `length` of 0 or above 20, when OpenSSL cannot compute the code, and in
    ///         a build without OpenSSL.
    static int create_hmac(const std::string& key, const std::string& data, std::string& out,
                           unsigned int length);
    /// A UUID text from the store. Needs no handle.
    /// @param text Passed on to the store (the host store: name-based from a non-empty text,
    ///        random otherwise).
    /// @param[out] out On result 0 all 37 bytes the store wrote (the terminating NUL included);
    ///             otherwise untouched.
    /// @return 0, or the store's result.
    static int create_uuid(const std::string& text, std::string& out);

private:
    // The auto-time flag of a write of `value`, from CElement's two class-wide switches.
    static bool auto_time_for(const CElement& value);

    qel_handle_t _handle;
    bool _read_only;
};

}  // namespace toolkit

#endif  // TOOLKIT_NYR_H
