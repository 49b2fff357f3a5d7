// The index of registrations: which handles an event at a path reaches.
#include "core/subscriptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "nyr_host.h"

namespace {

using nyrhost::Path;
using nyrhost::Subscriptions;

// Handles are only compared, never followed, so distinct addresses stand in for them.
qel_handle_s* handle(int n) {
    static char slots[8];
    return reinterpret_cast<qel_handle_s*>(&slots[n]);
}

std::vector<qel_handle_s*> reached(const Subscriptions& subs, const char* path, int32_t type) {
    Path parsed;
    EXPECT_EQ(Path::parse(path, parsed), QEL_STATUS_OK) << path;
    std::vector<qel_handle_s*> out;
    subs.match(parsed, type, out);
    std::sort(out.begin(), out.end());
    return out;
}

bool add(Subscriptions& subs, int h, const char* path, api_event_t kinds, bool subtree) {
    Path parsed;
    EXPECT_EQ(Path::parse(path, parsed), QEL_STATUS_OK) << path;
    return subs.add(handle(h), parsed, kinds, subtree);
}

TEST(Subscriptions, MatchFollowsPathSubtreeAndKind) {
    Subscriptions subs;
    add(subs, 0, "/a/b", 0x8, false);   // exactly at the path
    add(subs, 1, "/a", 0x8, true);      // an ancestor, for its subtree
    add(subs, 2, "/a", 0x8, false);     // an ancestor, itself only
    add(subs, 3, "/a/b/c", 0x8, true);  // a descendant
    add(subs, 4, "/a/bc", 0x8, true);   // a sibling whose name extends the path's
    add(subs, 5, "/", 0x8, true);       // the root, for everything
    add(subs, 6, "/a/b", 0x4, true);    // the path, for another kind only
    const std::vector<qel_handle_s*> expected{handle(0), handle(1), handle(5)};
    EXPECT_EQ(reached(subs, "/a/b", 0x8), expected);
    EXPECT_EQ(reached(subs, "/a/b", 0x4), (std::vector<qel_handle_s*>{handle(6)}));
    EXPECT_EQ(reached(subs, "/a/bc/d", 0x8),
              (std::vector<qel_handle_s*>{handle(1), handle(4), handle(5)}));
    EXPECT_EQ(reached(subs, "/", 0x8), (std::vector<qel_handle_s*>{handle(5)}));
    EXPECT_EQ(reached(subs, "/z", 0x8), (std::vector<qel_handle_s*>{handle(5)}));
    EXPECT_EQ(subs.size(), 7u);
}

TEST(Subscriptions, AHandleIsReachedOnceAndReRegistrationMergesKinds) {
    Subscriptions subs;
    EXPECT_TRUE(add(subs, 0, "/a", 0x8, true));
    EXPECT_TRUE(add(subs, 0, "/a/b", 0x8, false));
    EXPECT_EQ(reached(subs, "/a/b", 0x8), (std::vector<qel_handle_s*>{handle(0)}));
    // Registering again adds kinds and replaces the subtree flag; it is no new registration.
    EXPECT_FALSE(add(subs, 0, "/a", 0x4, false));
    EXPECT_EQ(subs.size(), 2u);
    EXPECT_EQ(reached(subs, "/a", 0x4), (std::vector<qel_handle_s*>{handle(0)}));
    EXPECT_TRUE(reached(subs, "/a/c", 0x8).empty());
}

TEST(Subscriptions, ClearingAndClosingEndRegistrations) {
    Subscriptions subs;
    add(subs, 0, "/a/b", 0x8 | 0x4, true);
    add(subs, 1, "/a/b", 0x8, true);
    add(subs, 1, "/x/y/z", 0x8, true);
    Path ab, other;
    Path::parse("/a/b", ab);
    Path::parse("/a/c", other);
    bool ended = true;
    EXPECT_FALSE(subs.clear(handle(0), other, 0x8, ended));
    EXPECT_FALSE(subs.clear(handle(2), ab, 0x8, ended));
    EXPECT_TRUE(subs.clear(handle(0), ab, 0x8, ended));
    EXPECT_FALSE(ended);  // 0x4 remains
    EXPECT_EQ(reached(subs, "/a/b/q", 0x8), (std::vector<qel_handle_s*>{handle(1)}));
    EXPECT_EQ(reached(subs, "/a/b/q", 0x4), (std::vector<qel_handle_s*>{handle(0)}));
    EXPECT_TRUE(subs.clear(handle(0), ab, 0x4, ended));
    EXPECT_TRUE(ended);
    EXPECT_TRUE(reached(subs, "/a/b", 0x4).empty());
    // A closing handle takes all of its registrations along, and no one else's.
    subs.remove(handle(1), {"/a/b", "/x/y/z"});
    EXPECT_EQ(subs.size(), 0u);
    EXPECT_TRUE(reached(subs, "/x/y/z", 0x8).empty());
    add(subs, 2, "/x/y/z", 0x8, false);
    EXPECT_EQ(reached(subs, "/x/y/z", 0x8), (std::vector<qel_handle_s*>{handle(2)}));
}

}  // namespace
