#pragma once

#include <QObject>
#include <QString>

// Text remembered on a resolution list under user-data id 256: the entry the
// camera last accepted, restored when a change is refused.
class user_define : public QObjectUserData {
public:
    explicit user_define(const QString& text = QString()) : m_text(text) { }

    QString text() const { return m_text; }
    void set_text(const QString& text) { m_text = text; }

    // User-data id under which the record is attached.
    static constexpr uint id = 256;

    // Attaches a record holding text to owner (replacing any earlier one; the
    // owner deletes it).
    static void attach(QObject* owner, const QString& text);
    // The record attached to owner, or null.
    static user_define* of(const QObject* owner);

private:
    QString m_text;
};
