// The cache of frame sets and raw frames kept around the place shown.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "recent_cache.h"

namespace {

using playback::detail::recent_cache;

std::shared_ptr<const std::string> text(const char* s) { return std::make_shared<const std::string>(s); }

std::string value_of(recent_cache<int, std::string>& c, int key)
{
    const std::shared_ptr<const std::string> v = c.find(key);
    return v ? *v : "-";
}

TEST(RecentCache, KeepsTheMostRecentlyUsed)
{
    struct step {
        const char* what;
        char op;  // p: put, f: find
        int key;
        const char* value;
        const char* expected;  // after the step: values of keys 1..4, "-" when not kept
    };
    // Capacity 3; a find counts as a use.
    const step steps[] = {
        {"first", 'p', 1, "a", "a - - -"},
        {"second", 'p', 2, "b", "a b - -"},
        {"third", 'p', 3, "c", "a b c -"},
        {"fourth drops the oldest", 'p', 4, "d", "- b c d"},
        {"a find keeps 2", 'f', 2, "", "- b c d"},
        {"a put drops 3, not 2", 'p', 1, "e", "e b - d"},
        {"a put replaces", 'p', 2, "f", "e f - d"},
    };
    recent_cache<int, std::string> c(3);
    for (const step& s : steps) {
        if (s.op == 'p')
            c.put(s.key, text(s.value));
        else
            c.find(s.key);
        // holds() reads without counting as a use.
        std::string seen;
        for (int k = 1; k <= 4; ++k) {
            if (!seen.empty())
                seen += ' ';
            seen += c.holds(k) ? "x" : "-";
        }
        std::string want = s.expected;
        for (char& ch : want)
            if (ch != ' ' && ch != '-')
                ch = 'x';
        EXPECT_EQ(seen, want) << s.what;
        EXPECT_LE(c.size(), 3u) << s.what;
    }
    EXPECT_EQ(value_of(c, 1), "e");
    EXPECT_EQ(value_of(c, 2), "f");
    EXPECT_EQ(value_of(c, 3), "-");
    EXPECT_EQ(value_of(c, 4), "d");
}

TEST(RecentCache, DropsWhatIsStaleAndClears)
{
    recent_cache<std::pair<int, int>, std::string> c(8);  // (index, what it was built with)
    for (int i = 0; i < 3; ++i) {
        c.put({i, 1}, text("old"));
        c.put({i, 2}, text("new"));
    }
    c.drop_if([](const std::pair<int, int>& k) { return k.second != 2; });
    EXPECT_EQ(c.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(c.holds({i, 1})) << i;
        ASSERT_TRUE(c.find({i, 2})) << i;
        EXPECT_EQ(*c.find({i, 2}), "new");
    }
    c.clear();
    EXPECT_EQ(c.size(), 0u);
    EXPECT_EQ(c.find({0, 2}), nullptr);
}

TEST(RecentCache, ValuesOutliveTheirEviction)
{
    recent_cache<int, std::string> c(1);
    c.put(1, text("held"));
    const std::shared_ptr<const std::string> held = c.find(1);
    c.put(2, text("other"));
    EXPECT_FALSE(c.holds(1));
    ASSERT_TRUE(held);
    EXPECT_EQ(*held, "held");
}

// Several threads putting, finding and dropping at once (run under
// ThreadSanitizer too): every value found is the one put for its key.
TEST(RecentCache, ConcurrentUseFindsOnlyWhatWasPut)
{
    recent_cache<int, std::string> c(4);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const int key = (i + t) % 7;
                if (i % 3 == 0)
                    c.put(key, std::make_shared<const std::string>(std::to_string(key)));
                else if (const auto v = c.find(key); v && *v != std::to_string(key))
                    ++wrong;
                if (i % 97 == 0)
                    c.drop_if([&](int k) { return k == key; });
            }
        });
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_LE(c.size(), 4u);
}

}  // namespace
