#include "user_define.h"

// QObject's user-data slots are deprecated in Qt 5.15 but still the place the
// resolution lists keep their committed entry.
QT_WARNING_PUSH
QT_WARNING_DISABLE_DEPRECATED

void user_define::attach(QObject* owner, const QString& text)
{
    if (!owner)
        return;
    // setUserData does not free a record it replaces.
    delete owner->userData(id);
    owner->setUserData(id, new user_define(text));
}

user_define* user_define::of(const QObject* owner)
{
    return owner ? static_cast<user_define*>(owner->userData(id)) : nullptr;
}

QT_WARNING_POP
