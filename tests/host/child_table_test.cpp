// The hash table that finds a node's children by name, against an ordered map, through many
// inserts and erases (erasing moves later entries back, the easiest place to lose one).
#include "core/child_table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

namespace {

struct Named {
    std::string name;
    int value = 0;
};

TEST(ChildTable, AgreesWithAnOrderedMapThroughInsertsAndErases) {
    nyrhost::ChildTable<Named> table;
    std::map<std::string, int> expected;
    std::mt19937 random(7);
    for (int step = 0; step < 20000; ++step) {
        const std::string name = "n" + std::to_string(random() % 600);
        if (expected.count(name) == 0) {
            const int value = step;
            table.insert(Named{name, value});
            expected[name] = value;
        } else if (random() % 2 == 0) {
            Named taken;
            ASSERT_TRUE(table.erase(name, taken));
            EXPECT_EQ(taken.value, expected[name]);
            expected.erase(name);
        }
        ASSERT_EQ(table.size(), expected.size());
    }
    for (int i = 0; i < 600; ++i) {
        const std::string name = "n" + std::to_string(i);
        const auto it = expected.find(name);
        const Named* found = table.find(name);
        ASSERT_EQ(found != nullptr, it != expected.end()) << name;
        if (found) {
            EXPECT_EQ(found->value, it->second);
        }
    }
}

}  // namespace
