#include "app/log_store.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(LogStore, CreatesDatedFolderWithThreeEmptyFiles)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    init_log(tmp.path());

    const QString date = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    const QString folder = tmp.path() + QStringLiteral("/Log/") + date;
    const log_store_paths paths = log_store();
    EXPECT_TRUE(paths.ready);
    EXPECT_EQ(paths.folder, folder);
    for (const char* name : {"info.txt", "warn.txt", "error.txt"}) {
        const QFileInfo info(folder + QLatin1Char('/') + QLatin1String(name));
        EXPECT_TRUE(info.exists()) << name;
        EXPECT_EQ(info.size(), 0) << name;
    }
    EXPECT_EQ(paths.error_file, folder + QStringLiteral("/error.txt"));
}

TEST(LogStore, SecondRunLeavesExistingFilesUntouched)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    init_log(tmp.path());
    QFile info(log_store().info_file);
    ASSERT_TRUE(info.open(QIODevice::Append));
    info.write("kept\n");
    info.close();

    init_log(tmp.path());
    ASSERT_TRUE(info.open(QIODevice::ReadOnly));
    EXPECT_EQ(info.readAll(), QByteArray("kept\n"));
}

TEST(LogStore, EmptyBaseUsesApplicationFolder)
{
    init_log(QString());
    EXPECT_EQ(log_store().base_folder, QCoreApplication::applicationDirPath());
    EXPECT_TRUE(QDir(log_store().folder).exists());
}

TEST(LogStore, UncreatableFolderIsNotReady)
{
    init_log(QStringLiteral("/proc/tessivue_no_such"));
    EXPECT_FALSE(log_store().ready);
}

}  // namespace
