// The event log, memory and file alike: what it keeps, what a selection picks, in what order.
#include <limits>
#include <thread>

#include "host/log_support.h"

namespace {

using namespace logtest;
using nyrhost::OwnedEvent;

TEST_P(EitherLog, KeepsEveryFieldEachKindCarries) {
    // One batch holding every kind with every value type.
    std::deque<eventsamples::RecordBuilder> builders;
    std::vector<_event_t> batch;
    for (int32_t kind : eventsamples::kKinds)
        for (int seed = 0; seed < static_cast<int>(eventsamples::kValueTypes.size()); ++seed)
            batch.push_back(builders.emplace_back(kind, seed).record);
    batch.push_back(batch.front());  // and a type code beyond the known ones, kept as raw bytes
    batch.back().value.type = static_cast<data_type_t>(42);
    ASSERT_EQ(log_->store(batch.data(), static_cast<uint32_t>(batch.size()), true), 0);

    const std::vector<OwnedEvent> back = everything(*log_);
    ASSERT_EQ(back.size(), batch.size());
    for (size_t i = 0; i < back.size(); ++i) {
        SCOPED_TRACE(i);
        eventsamples::expect_same_carried_fields(batch[i], eventsamples::BuiltRecord(back[i]));
    }
}

TEST_P(EitherLog, SelectsSubtreesByWholeNamesAndInclusiveTimeRanges) {
    ASSERT_EQ(
        store_samples(
            *log_, {{"/a", 1}, {"/a/b", 2}, {"/ab", 3}, {"/a/b/c", 4}, {"/b", 5}, {"/", 6}, {""}}),
        0);
    auto under = [&](const char* path) {
        std::vector<OwnedEvent> out;
        EXPECT_EQ(log_->retrieve(out, {path, nullptr, nullptr}), 0);
        return paths_of(out);
    };
    const Paths all{"/a", "/a/b", "/ab", "/a/b/c", "/b", "/", ""};
    const struct {
        const char* path;
        Paths expected;
    } subtrees[] = {{"/a", {"/a", "/a/b", "/a/b/c"}},
                    {"/a/", {"/a", "/a/b", "/a/b/c"}},
                    {"/a/b", {"/a/b", "/a/b/c"}},
                    {"/ab", {"/ab"}},
                    {"/a/b/c/d", {}},
                    {"/zz", {}},
                    {nullptr, all},
                    {"", all},
                    {"/", all}};
    for (const auto& row : subtrees) EXPECT_EQ(under(row.path), row.expected) << row.path;

    ASSERT_EQ(log_->clear({nullptr, nullptr, nullptr}), 0);
    ASSERT_EQ(store_samples(*log_, {{"/none", -1, 0},
                                    {"/t10", 10, 0},
                                    {"/t10.5", 10, 500000},
                                    {"/t11", 11, 0},
                                    {"/t12", 12, 999999},
                                    {"/neg", -20, 5}}),
              0);
    auto between = [&](const char* path, const timeval* from, const timeval* to) {
        std::vector<OwnedEvent> out;
        EXPECT_EQ(log_->retrieve(out, {path, from, to}), 0);
        return paths_of(out);
    };
    const timeval t10_5{10, 500000}, t11{11, 0}, t12_end{12, 999999}, t12{12, 0};
    // Later than every logged time, on hosts with a 32-bit time_t as well.
    const timeval big{std::numeric_limits<decltype(timeval::tv_sec)>::max(), 0};
    EXPECT_EQ(between(nullptr, &t10_5, &t11), (Paths{"/t10.5", "/t11"}));
    EXPECT_EQ(between(nullptr, &t10_5, nullptr), (Paths{"/t10.5", "/t11", "/t12"}));
    EXPECT_EQ(between(nullptr, nullptr, &t10_5), (Paths{"/none", "/t10", "/t10.5", "/neg"}));
    EXPECT_EQ(between(nullptr, &t12_end, &t12_end), (Paths{"/t12"}));
    EXPECT_EQ(between(nullptr, &t12, &t10_5), Paths{});  // from later than to
    EXPECT_EQ(between(nullptr, &big, nullptr), Paths{});
    EXPECT_EQ(between(nullptr, nullptr, nullptr).size(), 6u);
    // "/t10.5" is not under "/t10", and "/t10" is too early.
    EXPECT_EQ(between("/t10", &t10_5, nullptr), Paths{});
}

TEST_P(EitherLog, RetrievesInInsertionOrderThroughAWindow) {
    // Event times run backwards so that order by time and by insertion differ.
    ASSERT_EQ(
        store_samples(*log_,
                      {{"/e0", 50}, {"/x", 40}, {"/e1", 30}, {"/e2", 20}, {"/e3", 10}, {"/e4", 5}}),
        0);
    const struct {
        uint32_t option_a;
        bool flag_a;
        uint32_t option_b;
        Paths expected;
    } windows[] = {{0, false, 0, {"/e1", "/e2", "/e3", "/e4"}},
                   {2, false, 0, {"/e1", "/e2"}},
                   {2, false, 1, {"/e2", "/e3"}},
                   {0, false, 3, {"/e4"}},
                   {2, true, 0, {"/e3", "/e4"}},
                   {2, true, 1, {"/e2", "/e3"}},
                   {0, true, 1, {"/e1", "/e2", "/e3"}},
                   {9, true, 9, {}}};
    const timeval upto{30, 0};
    for (const auto& row : windows) {
        std::vector<OwnedEvent> out;
        EXPECT_EQ(
            log_->retrieve(out, {nullptr, nullptr, &upto, row.option_a, row.flag_a, row.option_b}),
            0);
        EXPECT_EQ(paths_of(out), row.expected) << row.option_a << row.flag_a << row.option_b;
    }

    // What `out` held stays in front.
    std::vector<OwnedEvent> out(1);
    out[0].path = "/held";
    ASSERT_EQ(log_->retrieve(out, {"/e2", nullptr, nullptr}), 0);
    EXPECT_EQ(paths_of(out), (Paths{"/held", "/e2"}));
}

TEST_P(EitherLog, ClearRemovesExactlyTheSelection) {
    ASSERT_EQ(store_samples(*log_, {{"/a", 1}, {"/a/x", 5}, {"/ab", 5}, {"/a/y", 9}, {"/b", 5}}),
              0);
    const timeval from{4, 0}, to{6, 0};
    ASSERT_EQ(log_->clear({"/a", &from, &to}), 0);
    EXPECT_EQ(paths_of(everything(*log_)), (Paths{"/a", "/ab", "/a/y", "/b"}));
    ASSERT_EQ(log_->clear({"/a", nullptr, nullptr}), 0);
    EXPECT_EQ(paths_of(everything(*log_)), (Paths{"/ab", "/b"}));
    ASSERT_EQ(log_->clear({"/nothing", nullptr, nullptr}), 0);
    ASSERT_EQ(log_->clear({nullptr, nullptr, &from}), 0);
    EXPECT_EQ(paths_of(everything(*log_)), (Paths{"/ab", "/b"}));
    ASSERT_EQ(log_->clear({nullptr, nullptr, nullptr}), 0);
    EXPECT_TRUE(everything(*log_).empty());
    // The log goes on after being emptied, in order; records it cannot read are refused.
    ASSERT_EQ(store_samples(*log_, {{"/c"}, {"/d"}}), 0);
    EXPECT_EQ(log_->store(nullptr, 2, false), QEL_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(log_->store(nullptr, 0, false), QEL_RESULT_OK);
    EXPECT_EQ(paths_of(everything(*log_)), (Paths{"/c", "/d"}));
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

    // A batch's events are next to each other, in order, and each thread's batches follow one
    // another.
    const std::vector<OwnedEvent> all = everything(*log_);
    ASSERT_EQ(all.size(), size_t{kThreads * kBatches * kBatchSize});
    std::vector<int> next_batch(kThreads, 0);
    for (size_t i = 0; i < all.size(); i += kBatchSize) {
        const std::string& path = all[i].path;
        const int thread = path[2] - '0';
        EXPECT_EQ(path, "/t" + std::to_string(thread) + "/" + std::to_string(next_batch[thread]++));
        for (int k = 0; k < kBatchSize; ++k) {
            EXPECT_EQ(all[i + k].path, path);
            EXPECT_EQ(all[i + k].scalars.sequence_id, static_cast<uint32_t>(k));
        }
    }
}

#ifdef NYR_HAVE_SQLITE
INSTANTIATE_TEST_SUITE_P(Log, EitherLog, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "File" : "Memory"; });
#else
INSTANTIATE_TEST_SUITE_P(Log, EitherLog, testing::Values(false),
                         [](const auto& info) { return info.param ? "File" : "Memory"; });
#endif

}  // namespace
