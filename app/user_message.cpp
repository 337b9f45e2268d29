#include "user_message.h"

#include "global_message_module.h"

void post_user_message(const QString& text)
{
    global_message_module::instance()->post(QString::fromLatin1(kMessageObserver),
                                            QStringList{QString::fromLatin1(kMessageCaption), text});
}
