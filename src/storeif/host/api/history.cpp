// The entry points of the tree's history (api/local_history.cpp carries them out in this process).
#include "api/entry.h"

using namespace nyrproto;
using nyrapi::perform;

extern "C" {

int qel_host_history_info(qel_handle_t handle, uint64_t* revision, uint64_t* oldest,
                          const char** epoch) {
    HistoryInfo op;
    const auto result = static_cast<int>(perform(handle, op, revision && oldest && epoch));
    if (result != QEL_RESULT_OK) return result;
    *revision = op.revision, *oldest = op.oldest, *epoch = op.epoch;
    return result;
}

int qel_host_history_changes(qel_handle_t handle, const char* path, uint64_t from_revision,
                             uint32_t from_index, uint64_t until_revision,
                             const struct timeval* since, const struct timeval* until,
                             uint32_t limit, bool newest, api_status_t* status,
                             qel_host_change_t** changes, uint32_t* count) {
    HistoryChanges op;
    op.path = path, op.from_revision = from_revision, op.from_index = from_index;
    op.until_revision = until_revision, op.since = since, op.until = until;
    op.limit = limit, op.newest = newest;
    const auto result = static_cast<int>(perform(handle, op, status && changes && count));
    if (result != QEL_RESULT_OK) return result;
    *status = op.status, *changes = op.changes, *count = op.count;
    return result;
}

int qel_host_leaf_at(qel_handle_t handle, const char* path, uint64_t revision,
                     const struct timeval* at, api_status_t* status, _element_datatype_t* value,
                     element_property_t* property, uint64_t* at_revision) {
    LeafAt op;
    op.path = path, op.revision = revision, op.at = at;
    const auto result =
        static_cast<int>(perform(handle, op, status && value && property && at_revision));
    if (result != QEL_RESULT_OK) return result;
    *status = op.status, *at_revision = op.at_revision;
    if (op.status == QEL_STATUS_OK) *value = op.value, *property = op.property;
    return result;
}

int qel_host_subtree_at(qel_handle_t handle, const char* path, uint64_t revision,
                        const struct timeval* at, api_status_t* status, qel_host_entry_t** entries,
                        uint32_t* count, uint64_t* at_revision) {
    SubtreeAt op;
    op.path = path, op.revision = revision, op.at = at;
    const auto result =
        static_cast<int>(perform(handle, op, status && entries && count && at_revision));
    if (result != QEL_RESULT_OK) return result;
    *status = op.status, *entries = op.entries, *count = op.count, *at_revision = op.at_revision;
    return result;
}

int qel_host_event_register_from(qel_handle_t handle, const char* path, api_event_t kinds,
                                 bool subtree, uint64_t revision, api_status_t* status) {
    EventRegisterFrom op;
    op.path = path, op.kind = kinds, op.flag = subtree, op.revision = revision;
    return nyrapi::with_status(handle, op, status);
}

int qel_host_event_revisions(qel_handle_t handle, uint64_t** revisions, uint32_t* count) {
    EventRevisions op;
    const auto result = static_cast<int>(perform(handle, op, revisions && count));
    if (result != QEL_RESULT_OK) return result;
    *revisions = op.revisions, *count = op.count;
    return result;
}

}  // extern "C"
