#include "reconstruction_input.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace fuzz {
namespace {

template <typename T>
T Read(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <typename T>
void Write(std::vector<uint8_t>& out, size_t at, T v) {
  std::memcpy(out.data() + at, &v, sizeof v);
}

char* BlockWords(qzapi::CalibrationBlock& b) { return reinterpret_cast<char*>(&b.distCoeffs[0]); }
const char* BlockWords(const qzapi::CalibrationBlock& b) { return reinterpret_cast<const char*>(&b.distCoeffs[0]); }

}  // namespace

bool Decode(const uint8_t* data, size_t size, ReconstructionInput& out) {
  if (size < kHeaderBytes) return false;
  out.initKind = data[0] < 3 ? data[0] : 0;
  out.deviceType = static_cast<int8_t>(data[1]);
  out.mode = static_cast<int8_t>(data[2]);
  out.operations = data[3];
  out.width = Read<uint16_t>(data + 4);
  out.height = Read<uint16_t>(data + 6);
  out.frameWidth = Read<uint16_t>(data + 8);
  out.frameHeight = Read<uint16_t>(data + 10);
  out.filterMode = data[12];
  out.orientation = data[13];
  out.filterCode = data[14];
  const size_t serialBytes = std::min<size_t>(data[15], kMaxSerialBytes);
  out.filterValues[0] = Read<float>(data + 16);
  out.filterValues[1] = Read<float>(data + 20);
  out.frequency1 = Read<int32_t>(data + 24);
  out.frequency2 = Read<int32_t>(data + 28);
  size_t at = kHeaderBytes;
  const size_t serial = std::min(serialBytes, size - at);
  out.block = qzapi::CalibrationBlock{};
  out.block.serialNumber.assign(reinterpret_cast<const char*>(data + at), serial);
  at += serial;
  out.block.frequency1 = out.frequency1;
  out.block.frequency2 = out.frequency2;
  const size_t words = std::min(kBlockWordBytes, size - at);
  std::memcpy(BlockWords(out.block), data + at, words);
  at += words;
  out.pixels.assign(data + at, data + size);
  return true;
}

std::vector<uint8_t> Encode(const ReconstructionInput& in) {
  const size_t serial = std::min(in.block.serialNumber.size(), kMaxSerialBytes);
  std::vector<uint8_t> out(kHeaderBytes + serial + kBlockWordBytes + in.pixels.size());
  out[0] = in.initKind;
  out[1] = static_cast<uint8_t>(in.deviceType);
  out[2] = static_cast<uint8_t>(in.mode);
  out[3] = in.operations;
  Write(out, 4, in.width);
  Write(out, 6, in.height);
  Write(out, 8, in.frameWidth);
  Write(out, 10, in.frameHeight);
  out[12] = in.filterMode;
  out[13] = in.orientation;
  out[14] = in.filterCode;
  out[15] = static_cast<uint8_t>(serial);
  Write(out, 16, in.filterValues[0]);
  Write(out, 20, in.filterValues[1]);
  Write(out, 24, in.block.frequency1);
  Write(out, 28, in.block.frequency2);
  std::memcpy(out.data() + kHeaderBytes, in.block.serialNumber.data(), serial);
  std::memcpy(out.data() + kHeaderBytes + serial, BlockWords(in.block), kBlockWordBytes);
  std::copy(in.pixels.begin(), in.pixels.end(), out.begin() + kHeaderBytes + serial + kBlockWordBytes);
  return out;
}

int32_t SizeFromCode(uint16_t code) {
  if (code >= 0xff00) {
    static const int32_t kHostile[] = {0, -1, -640, 4097, 5000, std::numeric_limits<int32_t>::min(),
                                       std::numeric_limits<int32_t>::max(), 4096};
    return kHostile[code % (sizeof kHostile / sizeof kHostile[0])];
  }
  return 1 + code % 96;
}

std::vector<uint16_t> Samples(const std::vector<uint8_t>& pixels, size_t count) {
  std::vector<uint16_t> out(count, 0);
  FillRepeated(pixels.data(), pixels.size() & ~size_t(1), out.data(), count * sizeof(uint16_t));
  return out;
}

}  // namespace fuzz
