#pragma once

// The depth filter mode the user last chose in the Filter section (standard
// or noise-aware), kept between runs in the settings file of the save
// settings (group "filter configuration", key "mode").

enum class filter_mode_choice {
    standard,     // the camera's median and block-deviation filters
    noise_aware,  // the camera's noise-aware depth, where it offers it
};

// The last stored choice; standard on a first run or for an unknown text.
filter_mode_choice load_filter_mode();
// Stores the choice and syncs the file at once.
void store_filter_mode(filter_mode_choice mode);
