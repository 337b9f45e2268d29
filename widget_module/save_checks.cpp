#include "save_checks.h"

#include "app/user_message.h"
#include "is_chinese_path.h"
#include "viewer_messages.h"

int checked_save_frames(const QString& frame_text, const QString& path, bool path_required)
{
    if (frame_text.isEmpty()) {
        post_user_message(viewer_text::enter_frame);
        return 0;
    }
    // A count of 0 (a text the 1-to-30 validators let through while typing)
    // would ask for a save that writes nothing and never reports back.
    const int frame = frame_text.toInt();
    if (frame < 1 || frame > 99) {
        post_user_message(viewer_text::frame_range);
        return 0;
    }
    if (path_required && path.isEmpty()) {
        post_user_message(viewer_text::select_path);
        return 0;
    }
    if (is_chinese_path(path)) {
        post_user_message(viewer_text::chinese_path);
        return 0;
    }
    return frame;
}
