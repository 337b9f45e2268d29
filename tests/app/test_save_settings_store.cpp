#include "app/save_settings_store.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class SaveSettingsStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_tmp.isValid());
        m_file = m_tmp.path() + QStringLiteral("/configuration.ini");
        set_save_settings_file(m_file);
    }
    void TearDown() override { set_save_settings_file(QString()); }

    QByteArray contents() const
    {
        QFile f(m_file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write_raw(const QByteArray& text) const
    {
        QFile f(m_file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    QTemporaryDir m_tmp;
    QString m_file;
};

TEST_F(SaveSettingsStore, DefaultFileIsBesideTheExecutable)
{
    set_save_settings_file(QString());
    EXPECT_EQ(save_settings_file(), QCoreApplication::applicationDirPath() + QStringLiteral("/configuration.ini"));
}

TEST_F(SaveSettingsStore, FirstRunReadsZerosAndCreatesNoFile)
{
    const save_settings s = load_save_settings();
    EXPECT_EQ(s.frame, 0);
    EXPECT_FALSE(s.pcl);  // a missing key reads false, unlike a fresh record
    EXPECT_FALSE(s.depth);
    EXPECT_TRUE(s.file_path.isEmpty());
    EXPECT_TRUE(s.rgbd_file_path.isEmpty());
    EXPECT_FALSE(QFile::exists(m_file));
}

TEST_F(SaveSettingsStore, TofStoreIsOnDiskBeforeReturning)
{
    save_settings s;
    s.frame = 5;
    s.depth = true;
    s.pcl = true;
    s.ir = false;
    s.file_path = QStringLiteral("/data/out");
    store_tof_settings(s);

    // No event loop has run: the text must already be in the file.
    const QByteArray text = contents();
    EXPECT_TRUE(text.contains("[save%20configuration]")) << text.constData();
    EXPECT_TRUE(text.contains("frame=5\n"));
    EXPECT_TRUE(text.contains("depth=1\n"));
    EXPECT_TRUE(text.contains("pcl=1\n"));
    EXPECT_TRUE(text.contains("ir=0\n"));
    EXPECT_TRUE(text.contains("file_path=/data/out\n"));
    EXPECT_FALSE(text.contains("RGBFrame"));
}

TEST_F(SaveSettingsStore, RoundTripOfEveryGroup)
{
    save_settings s;
    s.frame = 7;
    s.depth = true;
    s.pcl = false;
    s.ir = true;
    s.file_path = QStringLiteral("/tmp/tof dir");
    s.RGBFrame = 3;
    s.rgb_file_path = QStringLiteral("/tmp/rgb");
    s.RGBDFrame = 9;
    s.RGBD = true;
    s.RGBDPcl = true;
    s.rgbd_file_path = QStringLiteral("/tmp/rgbd");
    store_tof_settings(s);
    store_rgb_settings(s);
    store_rgbd_settings(s);

    const save_settings r = load_save_settings();
    EXPECT_EQ(r.frame, 7);
    EXPECT_TRUE(r.depth);
    EXPECT_FALSE(r.pcl);
    EXPECT_TRUE(r.ir);
    EXPECT_EQ(r.file_path, s.file_path);
    EXPECT_EQ(r.RGBFrame, 3);
    EXPECT_EQ(r.rgb_file_path, s.rgb_file_path);
    EXPECT_EQ(r.RGBDFrame, 9);
    EXPECT_TRUE(r.RGBD);
    EXPECT_TRUE(r.RGBDPcl);
    EXPECT_EQ(r.rgbd_file_path, s.rgbd_file_path);
}

TEST_F(SaveSettingsStore, TrueWrittenByHandReadsAsFalse)
{
    write_raw("[save%20configuration]\ndepth=true\npcl=2\nframe=abc\n");
    const save_settings r = load_save_settings();
    EXPECT_FALSE(r.depth);
    EXPECT_TRUE(r.pcl);
    EXPECT_EQ(r.frame, 0);
}

struct path_case {
    const char* name;
    void (*store)(const QString&);
    const char* key;
};

class SingleKeyStore : public SaveSettingsStore, public ::testing::WithParamInterface<path_case> {
};

TEST_P(SingleKeyStore, WritesOnlyItsKey)
{
    write_raw("[save%20configuration]\nframe=4\nfile_path=/a\nrgb_file_path=/b\nrgbd_file_path=/c\n");
    GetParam().store(QStringLiteral("/new"));
    QSettings check(m_file, QSettings::IniFormat);
    const QString key = QStringLiteral("save configuration/") + QLatin1String(GetParam().key);
    EXPECT_EQ(check.value(key).toString(), QStringLiteral("/new"));
    int changed = 0;
    const QStringList keys{"file_path", "rgb_file_path", "rgbd_file_path"};
    for (const QString& k : keys) {
        if (check.value(QStringLiteral("save configuration/") + k).toString() == QStringLiteral("/new"))
            ++changed;
    }
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(check.value(QStringLiteral("save configuration/frame")).toInt(), 4);
}

const path_case kPathCases[] = {
    {"tof", &store_file_path, "file_path"},
    {"rgb", &store_rgb_file_path, "rgb_file_path"},
    {"rgbd", &store_rgbd_file_path, "rgbd_file_path"},
};

INSTANTIATE_TEST_SUITE_P(Paths, SingleKeyStore, ::testing::ValuesIn(kPathCases),
                         [](const ::testing::TestParamInfo<path_case>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
