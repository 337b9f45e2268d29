#include "app/crash_handler.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <stdexcept>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

// Deliberately out of line and with external linkage, so the backtrace can
// name it.
__attribute__((noinline)) void crash_on_purpose(int how);
void crash_on_purpose(int how)
{
    switch (how) {
    case 0: {
        // An unmapped address that is not null: undefined-behaviour
        // sanitizers would intercept a null store before it faults.
        // Through a volatile address, so the compiler does not see (and
        // warn about) a store outside any object.
        volatile uintptr_t address = 0x10;
        volatile int* bad = reinterpret_cast<int*>(address);
        *bad = 42;
        break;
    }
    case 1: {
        // Thrown on a thread of its own, where nothing (not even the test
        // framework) catches it.
        std::thread([] { throw std::runtime_error("boom from the test"); }).join();
        break;
    }
    default:
        std::abort();
    }
}

namespace {

struct crash_case {
    const char* name;
    int how;
    int expected_signal;
    const char* expected_text;
    const char* expected_frame;  // a symbol the backtrace must name, or ""
};

class CrashHandler : public ::testing::TestWithParam<crash_case> {
};

// Every dump file under `root`, as (relative path, contents).
QMap<QString, QByteArray> dumps_under(const QString& root)
{
    QMap<QString, QByteArray> out;
    for (const QString& day : QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const QString& f : QDir(root + QLatin1Char('/') + day).entryList(QDir::Files)) {
            QFile file(root + QLatin1Char('/') + day + QLatin1Char('/') + f);
            if (file.open(QIODevice::ReadOnly))
                out.insert(day + QLatin1Char('/') + f, file.readAll());
        }
    }
    return out;
}

QString expected_name(const QDateTime& t)
{
    return QStringLiteral("%1-%2-%3/zavire-%4.%5.%6.dmp")
        .arg(t.date().year())
        .arg(t.date().month())
        .arg(t.date().day())
        .arg(t.time().hour())
        .arg(t.time().minute())
        .arg(t.time().second());
}

TEST_P(CrashHandler, ChildLeavesReportAndFails)
{
    const crash_case& c = GetParam();
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString root = tmp.path() + QStringLiteral("/crash");
    const QByteArray root_bytes = root.toLocal8Bit();

    const QDateTime before = QDateTime::currentDateTime();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        set_crash_root(root_bytes.constData());
        install_crash_handler();
        crash_on_purpose(c.how);
        _exit(0);  // not reached
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const QDateTime after = QDateTime::currentDateTime();

    // Never a clean exit: the signal's default action ends the child.
    ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0));
    if (WIFSIGNALED(status)) {
        EXPECT_EQ(WTERMSIG(status), c.expected_signal);
    }

    const QMap<QString, QByteArray> dumps = dumps_under(root);
    ASSERT_EQ(dumps.size(), 1);
    const QString name = dumps.firstKey();
    EXPECT_TRUE(name == expected_name(before) || name == expected_name(after)) << name.toStdString();
    const QByteArray text = dumps.first();
    EXPECT_TRUE(text.contains(c.expected_text)) << text.constData();
    EXPECT_TRUE(text.contains("signal: " + QByteArray::number(c.expected_signal)));
    EXPECT_TRUE(text.contains("address: 0x"));
    EXPECT_TRUE(text.contains("backtrace:\n"));
    // One line per frame: module, symbol where exported, address.
    EXPECT_GE(text.count("[0x"), 3) << text.constData();
    if (*c.expected_frame) {
        EXPECT_TRUE(text.contains(c.expected_frame)) << text.constData();
    }
}

const crash_case kCrashCases[] = {
    {"segfault", 0, SIGSEGV, "fatal signal", "crash_on_purpose"},
    {"uncaught_exception", 1, SIGABRT, "uncaught C++ exception: boom from the test", "libstdc++"},
    {"abort", 2, SIGABRT, "fatal signal", "(main+"},
};

INSTANTIATE_TEST_SUITE_P(Causes, CrashHandler, ::testing::ValuesIn(kCrashCases),
                         [](const ::testing::TestParamInfo<crash_case>& info) {
                             return std::string(info.param.name);
                         });

TEST(CrashHandlerAddress, SegfaultReportsTheFaultingAddress)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QByteArray root = (tmp.path() + QStringLiteral("/crash")).toLocal8Bit();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        set_crash_root(root.constData());
        install_crash_handler();
        volatile int* bad = reinterpret_cast<int*>(static_cast<uintptr_t>(0xdead0));
        *bad = 1;
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const QMap<QString, QByteArray> dumps = dumps_under(QString::fromLocal8Bit(root));
    ASSERT_EQ(dumps.size(), 1);
    EXPECT_TRUE(dumps.first().contains("address: 0xdead0")) << dumps.first().constData();
}

}  // namespace
