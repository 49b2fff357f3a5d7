// A scriptable stand-in for the store interface, for contract tests of the library.
//
// Every qel_ function (and destruct_event, serialize_*) records a Call with its arguments and then
// answers: through its hook when the test installed one, otherwise with the scripted result and
// status of that function (defaults: result 0, status 1). Status arrays handed back hold the
// scripted array, or else one scripted status per item, and stay valid until the next call.
// destruct_event really frees the three list arrays, so leaks and double frees show up under the
// sanitizers, and it records each record it was given.
#ifndef TESTS_DOUBLE_STORE_DOUBLE_H
#define TESTS_DOUBLE_STORE_DOUBLE_H

#include <gtest/gtest.h>
#include <nyr.h>
#include <toolkit/element.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace nyrdouble {

// A text argument as it reached the store: nullopt for a null pointer.
using Text = std::optional<std::string>;

// Deep copy of an event record as it reached the store.
struct RecordedEvent {
    _event_t raw;  // the record itself (its pointers are only valid during the call)
    std::string path, note;
    std::vector<std::string> waveform_urls, detail_keys;
};

struct Call {
    std::string fn;
    qel_handle_t handle = nullptr;
    std::vector<Text> texts;                  // text arguments in argument order
    std::vector<long long> numbers;           // counts, capacities, kinds, flags, in order
    std::vector<const void*> pointers;        // out-parameters and arrays, in argument order
    std::vector<std::string> paths;           // the path array of a batch
    std::vector<_element_datatype_t> values;  // value records passed in
    std::vector<std::string> payloads;        // bytes of each value record ("" unless text/blob)
    std::vector<qel_tribool_t> tribools;
    std::vector<bool> auto_times;
    std::vector<RecordedEvent> events;  // event records passed in
};

// Answers of the exact signature of their function, for the functions whose answer carries more
// than a result and a status.
struct Hooks {
    template <auto& F>
    using Of = std::function<std::remove_reference_t<decltype(F)>>;
    Of<qel_get_leaf> get_leaf;
    Of<qel_test_nodes> test_nodes;
    Of<qel_set_leaves> set_leaves;
    Of<qel_get_leaves> get_leaves;
    Of<qel_list_node> list_node;
    Of<qel_mpl_fetch> mpl_fetch;
    Of<qel_events_get> events_get, events_get_nonblocking;
    Of<qel_log_retrieve> log_retrieve;
    Of<qel_create_uuid> create_uuid;
    Of<qel_format_source_string> format_source_string;
    Of<qel_parse_source_string> parse_source_string;
    Of<::serialize_element> serialize_element;
    Of<::serialize_event> serialize_event;
};

class StoreDouble {
public:
    static StoreDouble& get();
    void reset();  // forgets calls, hooks, scripts and reports

    // Scripted answers used when no hook is installed (function names without "qel_").
    void script_result(const std::string& fn, int result) { results[fn] = result; }
    void script_status(const std::string& fn, api_status_t status) { statuses[fn] = status; }
    // Status array a batch hands back whatever the number of items (default: one per item).
    void script_statuses(const std::string& fn, std::vector<api_status_t> all) {
        status_arrays[fn] = std::move(all);
    }

    std::size_t count(const std::string& fn) const;
    const Call& last(const std::string& fn) const;  // fails the test if there is none
    std::vector<std::string> call_names() const;    // in call order

    std::vector<Call> calls;
    Hooks hooks;
    std::map<std::string, int> results;
    std::map<std::string, api_status_t> statuses;
    std::map<std::string, std::vector<api_status_t>> status_arrays;
    std::vector<std::string> errors;           // texts reported through qel_err
    std::vector<const _event_t*> destructed;   // records given to destruct_event, in order
    std::vector<api_status_t> status_storage;  // backing of default handed-back status arrays
};

// Test fixture base: a clean double for every test, and the element's auto-time switches back
// at their defaults afterwards.
class DoubleTest : public ::testing::Test {
protected:
    void SetUp() override { StoreDouble::get().reset(); }
    void TearDown() override {
        StoreDouble::get().reset();
        toolkit::CElement::_auto_time = true;
        toolkit::CElement::_forced_auto_time = false;
    }
    StoreDouble& store() { return StoreDouble::get(); }
    // A non-null handle value for client objects; the double never dereferences it.
    static qel_handle_t fake_handle() { return reinterpret_cast<qel_handle_t>(uintptr_t{0x1000}); }
};

}  // namespace nyrdouble

#endif  // TESTS_DOUBLE_STORE_DOUBLE_H
