#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

class QWidget;

namespace widget_test {

// Under ThreadSanitizer the camera pipeline runs several times slower (RGBD
// below one frame set a second): waits for frames last that much longer, and
// checks of the pace itself are left to the libraries' own tests there.
#if defined(__SANITIZE_THREAD__)
inline constexpr bool kThreadSanitizerBuild = true;
inline constexpr int kSlowBuildFactor = 4;
#else
inline constexpr bool kThreadSanitizerBuild = false;
inline constexpr int kSlowBuildFactor = 1;
#endif

// Collects the user messages posted on the bus while it lives.
class message_catcher {
public:
    message_catcher();
    ~message_catcher();
    QStringList texts() const;
    QString last() const;
    void clear();

    struct receiver;
};

// Points the save-settings store at a scratch file for the life of the object.
class scratch_settings {
public:
    scratch_settings();
    ~scratch_settings();
    QString file() const;
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Processes events until pred holds or timeout_ms passes; returns pred().
bool wait_until(const std::function<bool()>& pred, int timeout_ms = 5000);

// Grabs w (and its children) into docs/ or the build folder; returns the path.
QString save_screenshot(QWidget* w, const QString& name);

}  // namespace widget_test
