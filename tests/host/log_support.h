// Shared pieces of the event log tests: a scratch directory, a log of either kind, and short
// ways to store sample events and to look at what comes back.
#ifndef TESTS_HOST_LOG_SUPPORT_H
#define TESTS_HOST_LOG_SUPPORT_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host_log.h"

namespace logtest {

// A directory of its own under the system's temporary directory, removed with its files.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);

// One event of `kind` at `path` and event time (sec, usec), stored as a batch of one.
struct Sample {
    std::string path;
    int32_t sec = 0;
    int32_t usec = 0;
    int32_t kind = 0x4;
};
int store_samples(nyrhost::EventLog& log, const std::vector<Sample>& samples);
std::vector<std::string> paths_of(const std::vector<nyrhost::OwnedEvent>& events);
// Everything in the log, oldest first.
std::vector<nyrhost::OwnedEvent> everything(nyrhost::EventLog& log);

// Runs a test against the memory log and the file log alike.
class EitherLog : public testing::TestWithParam<bool> {
protected:
    void SetUp() override;
    bool in_file() const { return GetParam(); }
    TempDir dir_;
    std::unique_ptr<nyrhost::EventLog> log_;
};

std::string log_kind_name(const testing::TestParamInfo<bool>& info);

}  // namespace logtest

#endif  // TESTS_HOST_LOG_SUPPORT_H
