#include "offset_file.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace qzapi {

std::vector<double> ParseOffsetValues(std::istream& in) {
  std::vector<double> values;
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("offset") == std::string::npos) continue;
    values.clear();
    const auto open = line.rfind('{');
    const auto close = line.rfind('}');
    if (open == std::string::npos || close == std::string::npos || close <= open) continue;
    const std::string body = line.substr(open + 1, close - open - 1);
    std::size_t start = 0;
    while (true) {
      const auto comma = body.find(',', start);
      const std::string piece = body.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      values.push_back(std::strtod(piece.c_str(), nullptr));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  return values;
}

OffsetTuning TuningFromValues(const std::vector<double>& v) {
  OffsetTuning t;
  if (v.size() <= 6 || v[6] != 1.0) return t;
  t.valid = true;
  t.rotation[0] = v[0];
  t.rotation[1] = v[1];
  t.rotation[2] = v[2];
  t.distanceSplit = v[3];
  t.addPixelGlobal = v[4];
  t.distanceToPixel = v[5];
  return t;
}

OffsetTuning ReadOffsetFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {};
  return TuningFromValues(ParseOffsetValues(in));
}

std::string OffsetFilePath(const std::string& folder) {
  return (std::filesystem::path(folder) / "offset.txt").string();
}

}  // namespace qzapi
