#include "app/ensure_folder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct folder_case {
    const char* name;
    const char* existing;  // relative folder created before the call ("" = none)
    const char* request;   // relative path passed (under the temporary root)
    const char* expected;  // relative result, or nullptr for failure
};

class EnsureFolder : public ::testing::TestWithParam<folder_case> {
};

TEST_P(EnsureFolder, CreatesLevelByLevel)
{
    const folder_case& c = GetParam();
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString root = tmp.path();
    if (*c.existing) {
        ASSERT_TRUE(QDir(root).mkpath(QString::fromLatin1(c.existing)));
    }
    // A plain file named "file" for the cases whose parent is not a folder.
    QFile file(root + QStringLiteral("/file"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    const QString result = ensure_folder(root + QLatin1Char('/') + QString::fromLatin1(c.request));
    if (c.expected == nullptr) {
        EXPECT_TRUE(result.isEmpty()) << result.toStdString();
        return;
    }
    EXPECT_EQ(result.toStdString(), (root + QLatin1Char('/') + QString::fromLatin1(c.expected)).toStdString());
    EXPECT_TRUE(QDir(result).exists());
}

const folder_case kCases[] = {
    {"already_there", "a/b", "a/b", "a/b"},
    {"two_levels_missing", "a", "a/b/c", "a/b/c"},
    {"all_missing", "", "x/y/z", "x/y/z"},
    {"trailing_slash", "", "a/b/", "a/b/"},
    {"parent_is_a_file", "", "file/sub", nullptr},
    {"deeper_under_a_file", "", "file/sub/deeper", nullptr},
};

INSTANTIATE_TEST_SUITE_P(Paths, EnsureFolder, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<folder_case>& info) {
                             return std::string(info.param.name);
                         });

TEST(EnsureFolderEdges, EmptyPathFails)
{
    EXPECT_TRUE(ensure_folder(QString()).isEmpty());
}

TEST(EnsureFolderEdges, RefusingParentFails)
{
    // /proc refuses new folders even for root.
    EXPECT_TRUE(ensure_folder(QStringLiteral("/proc/tessivue_no_such/a")).isEmpty());
}

}  // namespace
