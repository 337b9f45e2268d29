// The optional hand-tuning file "offset.txt" of the colour alignment.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace qzapi {

// Values of the last line mentioning "offset": the text strictly between its
// last "{" and its last "}", split at ",", each converted with strtod
// (malformed pieces give 0). Empty when no line has a "{...}" part.
std::vector<double> ParseOffsetValues(std::istream& in);

struct OffsetTuning {
  bool valid = false;  // more than 6 values and the seventh is exactly 1
  double rotation[3] = {0.0, 0.0, 0.0};
  double distanceSplit = 0.0;
  double addPixelGlobal = 0.0;
  double distanceToPixel = 0.0;
};

OffsetTuning TuningFromValues(const std::vector<double>& values);
// Reads and interprets the file; invalid when it cannot be opened.
OffsetTuning ReadOffsetFile(const std::string& path);

// "<folder>/offset.txt" with this platform's separator.
std::string OffsetFilePath(const std::string& folder);

}  // namespace qzapi
