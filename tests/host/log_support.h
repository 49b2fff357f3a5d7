// Shared pieces of the event log tests: a scratch directory, a log of either kind, a file size
// limit that stands for a full disk, and short ways to store sample events and to look at what
// comes back.
#ifndef TESTS_HOST_LOG_SUPPORT_H
#define TESTS_HOST_LOG_SUPPORT_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <csignal>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "host/event_copy_samples.h"
#include "log/event_log.h"
#include "nyr_host.h"

namespace logtest {

using Paths = std::vector<std::string>;

// A directory of its own under the system's temporary directory, removed with its files.
class TempDir {
public:
    TempDir() : path_((std::filesystem::temp_directory_path() / "nyrlog-XXXXXX").string()) {
        if (::mkdtemp(&path_[0]) == nullptr) ADD_FAILURE() << "cannot make a scratch directory";
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::string read_file(const std::string& path) {
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

inline void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Events of kind 0x4 at `path` and event time (sec, usec), stored as one batch.
struct Sample {
    std::string path;
    int32_t sec = 0, usec = 0;
};
inline int store_samples(nyrhost::EventLog& log, const std::vector<Sample>& samples) {
    std::deque<eventsamples::RecordBuilder> builders;
    std::vector<_event_t> batch;
    for (const Sample& sample : samples) {
        builders.emplace_back(0x4).set_path(sample.path);
        builders.back().record.event_time = {sample.sec, sample.usec};
        batch.push_back(builders.back().record);
    }
    return log.store(batch.data(), static_cast<uint32_t>(batch.size()), false);
}

inline Paths paths_of(const std::vector<nyrhost::OwnedEvent>& events) {
    Paths paths;
    for (const nyrhost::OwnedEvent& event : events) paths.push_back(event.path);
    return paths;
}

// Everything in the log, oldest first.
inline std::vector<nyrhost::OwnedEvent> everything(nyrhost::EventLog& log) {
    std::vector<nyrhost::OwnedEvent> out;
    EXPECT_EQ(log.retrieve(out, {nullptr, nullptr, nullptr}), QEL_RESULT_OK);
    return out;
}

// Runs a test against the memory log and the file log alike.
class EitherLog : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        int result = 1;
        log_ =
            nyrhost::EventLog::open(GetParam() ? dir_.file("events.db").c_str() : nullptr, &result);
        ASSERT_NE(log_, nullptr);
        ASSERT_EQ(result, QEL_HOST_OPEN_OK);
    }
    TempDir dir_;
    std::unique_ptr<nyrhost::EventLog> log_;
};

// Makes writes that would take any file of this process past `bytes` fail with EFBIG, as writes to
// a full disk fail, until it goes out of scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : old_handler_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_handler_);
    }

private:
    rlimit saved_{};
    void (*old_handler_)(int);
};

}  // namespace logtest

#endif  // TESTS_HOST_LOG_SUPPORT_H
