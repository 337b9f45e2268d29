#pragma once

// Resource paths of the main window's state icons.
namespace viewer_icons {
inline const char* const switch_on = ":/zavire/image/switch_on.png";
inline const char* const switch_off = ":/zavire/image/switch_off.png";
inline const char* const section_expanded = ":/zavire/image/module_expand.png";
inline const char* const section_collapsed = ":/zavire/image/module_close.png";
inline const char* const info_shown = ":/zavire/image/info_off.png";
inline const char* const info_hidden = ":/zavire/image/info.png";
inline const char* const left_panel_shown = ":/zavire/image/left_panel_close.png";
inline const char* const left_panel_hidden = ":/zavire/image/left_panel_expend.png";
}  // namespace viewer_icons
