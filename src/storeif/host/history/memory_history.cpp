// The history of a store without a file, in memory under the same limits.
#include <algorithm>
#include <deque>
#include <unordered_map>

#include "history/epoch.h"
#include "history/history.h"
#include "nyr_host.h"

namespace nyrhost {

namespace {

class MemoryHistory final : public History {
public:
    MemoryHistory() : epoch_(new_epoch()) {}

    const std::string& epoch() const override { return epoch_; }
    uint64_t revision() const override { return revision_; }
    uint64_t held_changes() const override { return changes_.size(); }
    uint64_t held_bytes() const override { return bytes_; }
    uint64_t oldest() const override {
        return changes_.empty() ? revision_ + 1 : changes_.front().revision;
    }
    uint64_t dropped_revision() const override { return dropped_revision_; }
    int64_t dropped_time_us() const override { return dropped_time_us_; }
    int64_t last_time_us() const override { return last_time_us_; }
    void set_limits(const HistoryLimits& limits) override { limits_ = limits; }

    bool record(const Tree::Changes& changes, const WriteInfo& info) override {
        revision_ = info.revision;
        last_time_us_ = info.time_us;
        try {
            std::vector<HistoryChange> rows = rows_of(changes, info);
            for (HistoryChange& row : rows) {
                by_path_[row.path].push_back(base_ + changes_.size());
                bytes_ += row.bytes();
                changes_.push_back(std::move(row));
            }
        } catch (const std::bad_alloc&) {
            // The write is carried out already: the history restarts after it.
            base_ += changes_.size();
            changes_.clear();
            by_path_.clear();
            bytes_ = 0;
            dropped_revision_ = info.revision;
            dropped_time_us_ = info.time_us;
            return true;
        }
        trim(info.time_us);
        return true;
    }
    void settle(bool) override {}

    int select(const HistorySelection& s, std::vector<HistoryChange>& out) override {
        const std::size_t kept = out.size();
        auto first = std::lower_bound(
            changes_.begin(), changes_.end(), std::make_pair(s.from_revision, s.from_index),
            [](const HistoryChange& c, const std::pair<uint64_t, uint32_t>& at) {
                return std::make_pair(c.revision, c.index) < at;
            });
        const auto picked = [&](const HistoryChange& c) {
            return c.time_us >= s.since_us && c.time_us <= s.until_us && within(c.path, s.subtree);
        };
        if (!s.newest) {
            for (auto it = first; it != changes_.end() && it->revision <= s.until_revision; ++it) {
                if (!picked(*it)) continue;
                out.push_back(*it);
                if (s.limit != 0 && out.size() - kept == s.limit) break;
            }
            return QEL_RESULT_OK;
        }
        auto end =
            std::upper_bound(first, changes_.end(), s.until_revision,
                             [](uint64_t r, const HistoryChange& c) { return r < c.revision; });
        while (end != first) {
            --end;
            if (!picked(*end)) continue;
            out.push_back(*end);
            if (s.limit != 0 && out.size() - kept == s.limit) break;
        }
        std::reverse(out.begin() + static_cast<std::ptrdiff_t>(kept), out.end());
        return QEL_RESULT_OK;
    }

    int first_after(const std::vector<std::string>& paths, uint64_t revision, HistoryChange& out,
                    bool& found) override {
        found = false;
        auto it =
            std::upper_bound(changes_.begin(), changes_.end(), revision,
                             [](uint64_t r, const HistoryChange& c) { return r < c.revision; });
        for (; it != changes_.end(); ++it) {
            if (std::find(paths.begin(), paths.end(), it->path) == paths.end()) continue;
            out = *it;
            found = true;
            break;
        }
        return QEL_RESULT_OK;
    }

    int held_revision_at(int64_t time_us, uint64_t& revision) override {
        auto it = std::upper_bound(changes_.begin(), changes_.end(), time_us,
                                   [](int64_t t, const HistoryChange& c) { return t < c.time_us; });
        revision = it == changes_.begin() ? 0 : std::prev(it)->revision;
        return QEL_RESULT_OK;
    }

private:
    // Drops the oldest revisions, whole, while a limit is passed.
    void trim(int64_t now_us) {
        const int64_t limit_us = static_cast<int64_t>(
            std::min<uint64_t>(limits_.seconds, uint64_t{INT64_MAX} / 1000000) * 1000000);
        while (!changes_.empty() &&
               (changes_.size() > limits_.changes || bytes_ > limits_.bytes ||
                changes_.front().time_us < now_us - limit_us || limits_.seconds == 0)) {
            const uint64_t dropped = changes_.front().revision;
            dropped_revision_ = dropped;
            dropped_time_us_ = changes_.front().time_us;
            while (!changes_.empty() && changes_.front().revision == dropped) {
                const auto list = by_path_.find(changes_.front().path);
                list->second.pop_front();  // the oldest of its path too
                if (list->second.empty()) by_path_.erase(list);
                bytes_ -= changes_.front().bytes();
                changes_.pop_front();
                ++base_;
            }
        }
    }

    std::string epoch_;
    HistoryLimits limits_;
    std::deque<HistoryChange> changes_;
    // The position of every held change (base_ is the oldest's), listed by path in order.
    uint64_t base_ = 0;
    std::unordered_map<std::string, std::deque<uint64_t>> by_path_;
    uint64_t bytes_ = 0;
    uint64_t revision_ = 0;
    uint64_t dropped_revision_ = 0;
    int64_t dropped_time_us_ = INT64_MIN;
    int64_t last_time_us_ = INT64_MIN;
};

}  // namespace

std::unique_ptr<History> make_memory_history() {
    return std::make_unique<MemoryHistory>();
}

}  // namespace nyrhost
