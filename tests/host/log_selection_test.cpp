// The event log, memory and file alike: what it keeps, what a selection picks, in what order.
#include <cstdlib>
#include <deque>
#include <thread>

#include "host/event_copy_samples.h"
#include "host/log_support.h"
#include "nyr_host.h"

namespace {

using logtest::EitherLog;
using logtest::everything;
using logtest::paths_of;
using logtest::Sample;
using logtest::store_samples;
using nyrhost::OwnedEvent;
using Paths = std::vector<std::string>;

TEST_P(EitherLog, KeepsEveryFieldEachKindCarries) {
    // One batch holding every kind with every value type.
    std::deque<eventsamples::RecordBuilder> builders;
    std::vector<_event_t> batch;
    for (int32_t kind : eventsamples::kKinds)
        for (int seed = 0; seed < static_cast<int>(eventsamples::kValueTypes.size()); ++seed)
            batch.push_back(builders.emplace_back(kind, seed).record);
    ASSERT_EQ(log_->store(batch.data(), static_cast<uint32_t>(batch.size()), true), 0);

    const std::vector<OwnedEvent> back = everything(*log_);
    ASSERT_EQ(back.size(), batch.size());
    for (size_t i = 0; i < back.size(); ++i) {
        SCOPED_TRACE(i);
        _event_t record{};
        std::deque<std::string> texts;
        nyrhost::to_record(back[i], record, texts);
        eventsamples::expect_same_carried_fields(batch[i], record);
        std::free(record.waveform_urls);
        std::free(record.detail_keys);
        std::free(record.detail_values);
    }
}

TEST_P(EitherLog, SelectsSubtreesByWholeNames) {
    ASSERT_EQ(store_samples(*log_, {{"/a"}, {"/a/b"}, {"/ab"}, {"/a/b/c"}, {"/b"}, {"/"}, {""}}),
              0);
    auto under = [&](const char* path) {
        std::vector<OwnedEvent> out;
        EXPECT_EQ(log_->retrieve(out, path, nullptr, nullptr, 0, false, 0), 0);
        return paths_of(out);
    };
    EXPECT_EQ(under("/a"), (Paths{"/a", "/a/b", "/a/b/c"}));
    EXPECT_EQ(under("/a/"), (Paths{"/a", "/a/b", "/a/b/c"}));
    EXPECT_EQ(under("/a/b"), (Paths{"/a/b", "/a/b/c"}));
    EXPECT_EQ(under("/ab"), (Paths{"/ab"}));
    EXPECT_EQ(under("/a/b/c/d"), Paths{});
    EXPECT_EQ(under("/zz"), Paths{});
    const Paths all{"/a", "/a/b", "/ab", "/a/b/c", "/b", "/", ""};
    EXPECT_EQ(under(nullptr), all);
    EXPECT_EQ(under(""), all);
    EXPECT_EQ(under("/"), all);
}

TEST_P(EitherLog, SelectsInclusiveTimeRangesWithOpenBounds) {
    ASSERT_EQ(store_samples(*log_, {{"/none", -1, 0},
                                    {"/t10", 10, 0},
                                    {"/t10.5", 10, 500000},
                                    {"/t11", 11, 0},
                                    {"/t12", 12, 999999},
                                    {"/neg", -20, 5}}),
              0);
    auto between = [&](const timeval* from, const timeval* to) {
        std::vector<OwnedEvent> out;
        EXPECT_EQ(log_->retrieve(out, nullptr, from, to, 0, false, 0), 0);
        return paths_of(out);
    };
    const timeval t10_5{10, 500000}, t11{11, 0}, t12_end{12, 999999}, t12{12, 0}, big{1L << 40, 0};
    EXPECT_EQ(between(&t10_5, &t11), (Paths{"/t10.5", "/t11"}));
    EXPECT_EQ(between(&t10_5, nullptr), (Paths{"/t10.5", "/t11", "/t12"}));
    EXPECT_EQ(between(nullptr, &t10_5), (Paths{"/none", "/t10", "/t10.5", "/neg"}));
    EXPECT_EQ(between(&t12_end, &t12_end), (Paths{"/t12"}));
    EXPECT_EQ(between(&t12, &t10_5), Paths{});  // from later than to
    EXPECT_EQ(between(&big, nullptr), Paths{});
    EXPECT_EQ(between(nullptr, nullptr).size(), 6u);

    // Path and time together.
    std::vector<OwnedEvent> out;
    ASSERT_EQ(log_->retrieve(out, "/t10", &t10_5, nullptr, 0, false, 0), 0);
    EXPECT_TRUE(out.empty());  // "/t10.5" is not under "/t10"; "/t10" is too early
}

TEST_P(EitherLog, RetrievesInInsertionOrderThroughAWindow) {
    // Event times run backwards so that order by time and by insertion differ.
    ASSERT_EQ(
        store_samples(*log_,
                      {{"/e0", 50}, {"/x", 40}, {"/e1", 30}, {"/e2", 20}, {"/e3", 10}, {"/e4", 5}}),
        0);
    auto window = [&](uint32_t option_a, bool flag_a, uint32_t option_b) {
        std::vector<OwnedEvent> out;
        const timeval upto{30, 0};
        EXPECT_EQ(log_->retrieve(out, nullptr, nullptr, &upto, option_a, flag_a, option_b), 0);
        return paths_of(out);
    };
    EXPECT_EQ(window(0, false, 0), (Paths{"/e1", "/e2", "/e3", "/e4"}));
    EXPECT_EQ(window(2, false, 0), (Paths{"/e1", "/e2"}));
    EXPECT_EQ(window(2, false, 1), (Paths{"/e2", "/e3"}));
    EXPECT_EQ(window(0, false, 3), (Paths{"/e4"}));
    EXPECT_EQ(window(2, true, 0), (Paths{"/e3", "/e4"}));
    EXPECT_EQ(window(2, true, 1), (Paths{"/e2", "/e3"}));
    EXPECT_EQ(window(0, true, 1), (Paths{"/e1", "/e2", "/e3"}));
    EXPECT_EQ(window(9, true, 9), Paths{});

    // What `out` held stays in front.
    std::vector<OwnedEvent> out(1);
    out[0].path = "/held";
    ASSERT_EQ(log_->retrieve(out, "/e2", nullptr, nullptr, 0, false, 0), 0);
    EXPECT_EQ(paths_of(out), (Paths{"/held", "/e2"}));
}

TEST_P(EitherLog, ClearRemovesExactlyTheSelection) {
    ASSERT_EQ(store_samples(*log_, {{"/a", 1}, {"/a/x", 5}, {"/ab", 5}, {"/a/y", 9}, {"/b", 5}}),
              0);
    const timeval from{4, 0}, to{6, 0};
    ASSERT_EQ(log_->clear("/a", &from, &to), 0);
    EXPECT_EQ(paths_of(everything(*log_)), (Paths{"/a", "/ab", "/a/y", "/b"}));
    ASSERT_EQ(log_->clear("/a", nullptr, nullptr), 0);
    EXPECT_EQ(paths_of(everything(*log_)), (Paths{"/ab", "/b"}));
    ASSERT_EQ(log_->clear("/nothing", nullptr, nullptr), 0);
    ASSERT_EQ(log_->clear(nullptr, nullptr, &from), 0);
    EXPECT_EQ(paths_of(everything(*log_)), (Paths{"/ab", "/b"}));
    ASSERT_EQ(log_->clear(nullptr, nullptr, nullptr), 0);
    EXPECT_TRUE(everything(*log_).empty());
    // The log goes on after being emptied, in order.
    ASSERT_EQ(store_samples(*log_, {{"/c"}, {"/d"}}), 0);
    EXPECT_EQ(paths_of(everything(*log_)), (Paths{"/c", "/d"}));
}

TEST_P(EitherLog, RefusesRecordsItCannotRead) {
    ASSERT_EQ(store_samples(*log_, {{"/kept"}}), 0);
    EXPECT_EQ(log_->store(nullptr, 2, false), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(log_->store(nullptr, 0, false), QEL_RESULT_OK);
    EXPECT_EQ(paths_of(everything(*log_)), (Paths{"/kept"}));
}

TEST_P(EitherLog, KeepsConcurrentBatchesWhole) {
    constexpr int kThreads = 4, kBatches = 15, kBatchSize = 6;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int b = 0; b < kBatches; ++b) {
                std::deque<eventsamples::RecordBuilder> builders;
                std::vector<_event_t> batch;
                for (int i = 0; i < kBatchSize; ++i) {
                    auto& builder = builders.emplace_back(0x8, i);
                    builder.set_path("/t" + std::to_string(t) + "/" + std::to_string(b));
                    builder.record.sequence_id = static_cast<uint32_t>(i);
                    batch.push_back(builder.record);
                }
                EXPECT_EQ(log_->store(batch.data(), kBatchSize, false), 0);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    const std::vector<OwnedEvent> all = everything(*log_);
    ASSERT_EQ(all.size(), size_t{kThreads * kBatches * kBatchSize});
    std::vector<int> next_batch(kThreads, 0);
    for (size_t i = 0; i < all.size(); i += kBatchSize) {
        // A batch's events are next to each other, in order, and each thread's batches follow
        // one another.
        const std::string& path = all[i].path;
        const int thread = path[2] - '0';
        EXPECT_EQ(path, "/t" + std::to_string(thread) + "/" + std::to_string(next_batch[thread]));
        ++next_batch[thread];
        for (int k = 0; k < kBatchSize; ++k) {
            EXPECT_EQ(all[i + k].path, path);
            EXPECT_EQ(all[i + k].scalars.sequence_id, static_cast<uint32_t>(k));
        }
    }
}

#ifdef NYR_HAVE_SQLITE
INSTANTIATE_TEST_SUITE_P(Log, EitherLog, testing::Values(false, true), logtest::log_kind_name);
#else
INSTANTIATE_TEST_SUITE_P(Log, EitherLog, testing::Values(false), logtest::log_kind_name);
#endif

}  // namespace
