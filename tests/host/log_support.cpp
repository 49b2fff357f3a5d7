// Shared pieces of the event log tests.
#include "host/log_support.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/event_copy_samples.h"
#include "nyr_host.h"

namespace logtest {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "nyrlog-XXXXXX").string();
    if (::mkdtemp(&pattern[0]) == nullptr) ADD_FAILURE() << "cannot make a scratch directory";
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

int store_samples(nyrhost::EventLog& log, const std::vector<Sample>& samples) {
    for (const Sample& sample : samples) {
        eventsamples::RecordBuilder builder(sample.kind);
        builder.set_path(sample.path);
        builder.set_time(sample.sec, sample.usec);
        const int result = log.store(&builder.record, 1, false);
        if (result != QEL_RESULT_OK) return result;
    }
    return QEL_RESULT_OK;
}

std::vector<std::string> paths_of(const std::vector<nyrhost::OwnedEvent>& events) {
    std::vector<std::string> paths;
    for (const nyrhost::OwnedEvent& event : events) paths.push_back(event.path);
    return paths;
}

std::vector<nyrhost::OwnedEvent> everything(nyrhost::EventLog& log) {
    std::vector<nyrhost::OwnedEvent> out;
    EXPECT_EQ(log.retrieve(out, nullptr, nullptr, nullptr, 0, false, 0), QEL_RESULT_OK);
    return out;
}

void EitherLog::SetUp() {
    int result = 1;
    const std::string file = dir_.file("events.db");
    log_ = nyrhost::EventLog::open(in_file() ? file.c_str() : nullptr, &result);
    ASSERT_NE(log_, nullptr);
    ASSERT_EQ(result, QEL_RESULT_OK);
}

std::string log_kind_name(const testing::TestParamInfo<bool>& info) {
    return info.param ? "File" : "Memory";
}

}  // namespace logtest
