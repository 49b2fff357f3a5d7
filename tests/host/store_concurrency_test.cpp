// Many threads on several handles of one store at once: writers, readers, listers, event senders
// and a receiver. Under ThreadSanitizer this finds data races; in every build the checks find
// torn batches, lost events and memory handed back to one thread being changed by another.
#include <atomic>
#include <chrono>
#include <thread>

#include "store_fixture.h"

using namespace storetest;

namespace {

constexpr int kWriters = 3, kRounds = 300, kLeaves = 8, kSenders = 2, kEventsPerSender = 400;

// A writer's leaf paths; the texts stay alive with the object.
struct WriterPaths {
    explicit WriterPaths(int writer) {
        for (int i = 0; i < kLeaves; ++i)
            texts.push_back("/w" + std::to_string(writer) + "/leaf" + std::to_string(i));
        for (auto& p : texts) paths.push_back(p.c_str());
    }
    std::vector<std::string> texts;
    std::vector<const char*> paths;
};

// Writes each round to all of the writer's leaves in one batch: every leaf holds "r:<round>".
void write_rounds(qel_handle_t handle, int writer) {
    const WriterPaths w(writer);
    const std::vector<qel_tribool_t> tribools(kLeaves, 0);
    const bool auto_time[kLeaves] = {};
    for (int round = 1; round <= kRounds; ++round) {
        std::string text = "r:" + std::to_string(round);
        const std::vector<_element_datatype_t> values(kLeaves, text_value(text));
        api_status_t* statuses = nullptr;
        uint32_t count = 0;
        ASSERT_EQ(qel_set_leaves(handle, w.paths.data(), kLeaves, values.data(), tribools.data(),
                                 auto_time, "writer", &statuses, &count),
                  0);
        ASSERT_EQ(statuses_of(statuses, count), Statuses(kLeaves, QEL_STATUS_OK));
    }
}

// Reads and lists a writer's batch again and again: all leaves show one round, never going
// back, and a listing holds all of them, sorted, or none.
void read_rounds(qel_handle_t handle, int writer, const std::atomic<bool>& done) {
    const WriterPaths w(writer);
    const std::string node = "/w" + std::to_string(writer);
    int last_round = 0;
    while (!done.load()) {
        _element_datatype_t values[kLeaves];
        element_property_t properties[kLeaves];
        api_status_t* statuses = nullptr;
        uint32_t count = 0;
        ASSERT_EQ(qel_get_leaves(handle, w.paths.data(), kLeaves, &statuses, &count, values,
                                 properties, kLeaves),
                  0);
        if (statuses[0] != QEL_STATUS_OK) continue;  // not written yet
        const std::string first = bytes_of(values[0].value.string_value);
        for (int i = 1; i < kLeaves; ++i) {
            ASSERT_EQ(statuses[i], QEL_STATUS_OK);
            ASSERT_EQ(bytes_of(values[i].value.string_value), first) << "torn batch";
        }
        const int round = std::atoi(first.c_str() + 2);
        ASSERT_GE(round, last_round);
        last_round = round;

        api_status_t status = 0;
        uint32_t total = 0;
        element_type_t types[16];
        _byte_array_t names[16];
        ASSERT_EQ(qel_list_node(handle, node.c_str(), &status, &total, types, 16, properties, 0,
                                names, 16),
                  0);
        ASSERT_EQ(total, static_cast<uint32_t>(kLeaves));
        for (uint32_t i = 1; i < total; ++i) ASSERT_LT(bytes_of(names[i - 1]), bytes_of(names[i]));
    }
}

void send_numbered(qel_store_t* store, int sender) {
    qel_handle_t handle = open_handle(store);
    std::string path = "/events/s" + std::to_string(sender);
    for (int i = 0; i < kEventsPerSender; ++i) {
        _event_t record = event_at(path, 0x4, i);
        api_status_t* statuses = nullptr;
        uint32_t count = 0;
        ASSERT_EQ(qel_events_send(handle, &record, 1, &statuses, &count), 0);
        ASSERT_EQ(statuses[0], QEL_STATUS_OK);
    }
    qel_host_handle_close(handle);
}

}  // namespace

TEST(HostStoreConcurrency, WritersReadersListersAndEventsOnOneStore) {
    qel_store_t* store = qel_host_store_open(nullptr);
    ASSERT_NE(store, nullptr);
    ASSERT_EQ(qel_host_set_event_wait(store, 20), 0);
    ASSERT_EQ(qel_host_set_queue_capacity(store, 1u << 20), 0);
    qel_handle_t shared = open_handle(store);  // used by several threads at once
    qel_handle_t receiver = open_handle(store);
    api_status_t status = 0;
    ASSERT_EQ(qel_event_register(receiver, "/events", 0x4, true, &status), 0);
    // Tree changes under /w0 reach the receiver too, so writes and deliveries interleave.
    ASSERT_EQ(qel_event_register(receiver, "/w0", QEL_HOST_EVENT_TREE_CHANGE, true, &status), 0);

    std::atomic<bool> writers_done{false}, senders_done{false};
    std::vector<std::thread> writers, others;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back(write_rounds, open_handle(store), w);
        others.emplace_back(read_rounds, shared, w, std::cref(writers_done));
    }
    for (int s = 0; s < kSenders; ++s) others.emplace_back(send_numbered, store, s);
    // The receiver counts the sent events per sender and checks their order.
    int received = 0, tree_changes = 0;
    std::thread receiving([&] {
        std::vector<int> next(kSenders, 0);
        while (true) {
            const bool last_pass = senders_done.load();
            _event_t* records = nullptr;
            const int n = qel_events_get(receiver, &records);
            ASSERT_GE(n, 0);
            for (int i = 0; i < n; ++i) {
                if (records[i].type == 0x4) {
                    const int s = bytes_of(records[i].path).back() - '0';
                    ASSERT_EQ(records[i].cmd, next[s]++) << "events of one sender out of order";
                    ++received;
                } else {
                    ++tree_changes;
                }
                destruct_event(&records[i]);
            }
            std::free(records);
            if (last_pass && n == 0) break;
        }
    });

    for (std::thread& t : writers) t.join();
    writers_done = true;
    for (std::thread& t : others) t.join();
    senders_done = true;
    receiving.join();

    EXPECT_EQ(received, kSenders * kEventsPerSender);
    EXPECT_GT(tree_changes, 0);
    EXPECT_EQ(qel_host_overflow_count(receiver), 0);
    // Every writer's last round is what remains.
    for (int w = 0; w < kWriters; ++w) {
        _element_datatype_t value{};
        element_property_t property = 0;
        get(shared, WriterPaths(w).paths.back(), value, property);
        EXPECT_EQ(bytes_of(value.value.string_value), "r:" + std::to_string(kRounds));
    }
    close_store(store);
}

TEST(HostStoreConcurrency, ClosingAStoreWhileItsHandlesAreInUseIsSafe) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        qel_store_t* store = qel_host_store_open(nullptr);
        ASSERT_NE(store, nullptr);
        qel_handle_t handle = qel_host_handle_open(store);
        std::atomic<bool> stop{false};
        std::thread user([&] {
            for (int writes = 0; !stop.load(); ++writes) {
                api_status_t status = 0;
                const std::string path = "/n/" + std::to_string(writes % 50);
                const int result =
                    qel_set_leaf(handle, path.c_str(), int_value(writes), 0, true, "", &status);
                if (result == QEL_RESULT_BAD_HANDLE) break;  // closed under us: the documented end
                ASSERT_EQ(result, 0);
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        qel_host_store_close(store);
        stop = true;
        user.join();
        api_status_t status = 0;
        EXPECT_EQ(qel_test_node(handle, "/", &status), QEL_RESULT_BAD_HANDLE);
    }
}
