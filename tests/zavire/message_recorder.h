#pragma once

// Registers itself on the message bus under "slot_show_message" and keeps
// every user message it receives (GUI thread).

#include <QObject>
#include <QStringList>

#include <functional>

class message_recorder : public QObject {
    Q_OBJECT
public:
    message_recorder();

    QStringList texts() const;
    int count(const QString& text) const;
    void clear() { m_texts.clear(); }

public slots:
    void slot_show_message(const QStringList& message);

private:
    QStringList m_texts;
};

// Processes GUI events until `done` holds or `timeout_ms` passes.
// The timeout is generous: sanitizer builds run the simulated camera many
// times slower, and a passing test never waits for it.
bool process_until(const std::function<bool()>& done, int timeout_ms = 60000);
