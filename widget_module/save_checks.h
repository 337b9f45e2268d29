#pragma once

#include <QString>

// The checks every save button runs on its frame count and folder, in the
// order the user is told about them: missing count, count outside 1 to 99,
// missing folder (where the save needs one), folder with CJK characters.
// Posts the refusal message and returns 0 when the save is refused;
// otherwise returns the frame count.
int checked_save_frames(const QString& frame_text, const QString& path, bool path_required);
