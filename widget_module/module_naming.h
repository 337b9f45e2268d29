#pragma once

#include <QString>

// Name of the camera as the module list and the product information show it:
// the model ("QZ30" unless only "QZ20" occurs), optionally after the vendor
// word, followed by "Single" or "Dual" when the raw name says so (any case).
QString module_display_name(const QString& raw_name, bool with_vendor);

// Firmware version as shown in the product information: QZ20 modules carry a
// board prefix ("KM-V1-" for the dual variant, spelled "DUAL" exactly in the
// raw name; "KM-V2-" otherwise), other models the plain version.
QString firmware_display_text(const QString& display_name, const QString& raw_name,
                              const QString& version);

// The user message when the firmware does not contain the recommended
// version, or an empty string when it matches (an empty recommendation always
// matches).
QString firmware_mismatch_message(const QString& version, const QString& recommended);
