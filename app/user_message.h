#pragma once

#include <QString>

// Caption and observer name every user message in the program uses.
inline constexpr const char* kMessageCaption = "Tessivue Viewer";
inline constexpr const char* kMessageObserver = "slot_show_message";

// Posts ["Tessivue Viewer", text] to the observers named "slot_show_message".
void post_user_message(const QString& text);
