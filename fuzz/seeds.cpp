// Writes the seed corpora of fuzz/corpus/: inputs a healthy program meets
// (built-in calibration blocks with sensor-like raw frames, a tuning file, the
// viewer's own settings file, small recordings written by the recording
// library from the virtual camera) plus a few known-hostile ones.
//
// Usage: fuzz_seeds CORPUS_FOLDER [TARGET...]
// Replaces the sub-folder of each target named (default: all of them).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QWidget>

#include "builtin_calibration.h"
#include "forward_model.h"
#include "reconstruction_input.h"
#include "recording/pvx3_capture.h"
#include "recording/writer.h"
#include "save_settings_store.h"
#include "sdk_test_support.h"
#include "window_settings.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const void* data, size_t size) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(static_cast<const char*>(data), std::streamsize(size));
}
void WriteFile(const fs::path& path, const std::string& text) { WriteFile(path, text.data(), text.size()); }
void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) { WriteFile(path, bytes.data(), bytes.size()); }

fs::path Fresh(const fs::path& root, const char* target) {
  const fs::path folder = root / target;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

// A dual-frequency raw frame of a wall at `mm`, as the sensor samples it.
std::vector<uint8_t> WallFrame(int32_t w, int32_t h, double mm) {
  std::vector<uint16_t> frame(16 * size_t(w) * h, 0);
  const double phi1 = std::fmod(2 * qzr_test::kPi * mm / 1875.0, 2 * qzr_test::kPi);
  const double phi2 = std::fmod(2 * qzr_test::kPi * mm / 1500.0, 2 * qzr_test::kPi);
  for (int32_t i = 0; i < h; ++i)
    for (int32_t j = 0; j < w; ++j)
      qzr_test::WriteDualPixelSignal(frame, w, h, i, j, {phi1, 400.0 + 10 * j, 1200.0}, {phi2, 380.0, 1200.0});
  std::vector<uint8_t> bytes(frame.size() * 2);
  std::memcpy(bytes.data(), frame.data(), bytes.size());
  return bytes;
}

void ReconstructionSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "reconstruction");
  int k = 0;
  for (int type : {1, 4})
    for (int mode : {0, 5})
      for (uint8_t kind : {0, 1, 2}) {
        fuzz::ReconstructionInput in;
        qzapi::BuildBuiltInCalibration(type, mode, in.block);
        in.block.serialNumber = "PVX3-SEED-" + std::to_string(k);
        in.initKind = kind;
        in.deviceType = static_cast<int8_t>(type);
        in.mode = static_cast<int8_t>(mode);
        in.width = 15;  // 16 x 12 through SizeFromCode
        in.height = 11;
        in.operations = kind == 2 ? 0x3f : 0xff;
        in.filterMode = static_cast<uint8_t>(k % 3);
        in.filterCode = static_cast<uint8_t>(k);
        in.filterValues[0] = 5.0f;
        in.filterValues[1] = 2.0f;
        in.pixels = WallFrame(16, 12, 600.0 + 150.0 * k);
        WriteFile(folder / ("builtin-" + std::to_string(k++)), fuzz::Encode(in));
      }
  // Hostile: counts beyond the tables, a huge wiggling entry (the dump used
  // to convert it unchecked), sizes the library refuses.
  fuzz::ReconstructionInput hostile;
  qzapi::BuildBuiltInCalibration(1, 0, hostile.block);
  hostile.block.wigglingError80Count = 1;
  hostile.block.wigglingError80[0] = 1e20f;
  hostile.block.wigglingError100Count = 100000;
  hostile.block.otherOffset5Count = -3;
  hostile.pixels = WallFrame(4, 4, 900.0);
  WriteFile(folder / "hostile-counts-and-huge-wiggling", fuzz::Encode(hostile));
  hostile.width = 0xff03;  // 4097
  hostile.frameWidth = 0xff01;
  WriteFile(folder / "hostile-sizes", fuzz::Encode(hostile));
}

void ColourAlignmentSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "colour_alignment");
  fuzz::ReconstructionInput in;
  qzapi::BuildBuiltInCalibration(4, 0, in.block);
  in.deviceType = 4;
  in.operations = 0x08;
  const uint16_t wall[] = {1000, 1000, 1020, 990, 0, 1000, 1, 1005};
  in.pixels.assign(reinterpret_cast<const uint8_t*>(wall), reinterpret_cast<const uint8_t*>(wall) + sizeof wall);
  WriteFile(folder / "builtin-type4", fuzz::Encode(in));  // no colour intrinsics: refused
  // A colour camera as a calibrated module has it: 1920 x 1080, near the
  // depth camera's axis, 25 mm apart.
  const float colour[4] = {1395.2f, 1394.8f, 958.3f, 541.7f};
  const float colourDistortion[5] = {0.061f, -0.118f, 0.0004f, -0.0007f, 0.052f};
  std::copy(colour, colour + 4, in.block.colourIntrinsics);
  std::copy(colourDistortion, colourDistortion + 5, in.block.colourDistCoeffs);
  in.block.colourWidth = 1920;
  in.block.colourHeight = 1080;
  WriteFile(folder / "colour-camera-no-extrinsics", fuzz::Encode(in));
  // Extrinsics as a calibrated camera has them: near identity, 25 mm apart.
  const float rotation[9] = {0.9999f, -0.0087f, 0.0105f, 0.0088f, 0.9999f, -0.0044f, -0.0105f, 0.0045f, 0.9999f};
  std::copy(rotation, rotation + 9, in.block.otherOffset2);
  in.block.otherOffset3[0] = 25.0f;
  in.block.otherOffset3[1] = -0.4f;
  in.block.otherOffset3[2] = 1.2f;
  WriteFile(folder / "colour-camera", fuzz::Encode(in));
  const std::string offset = "offset = {0.001,-0.002,0.0005,1800,12,0.03,1}\n";
  in.operations = 0x0a;
  in.frameWidth = static_cast<uint16_t>(offset.size());
  in.pixels.insert(in.pixels.begin(), offset.begin(), offset.end());
  WriteFile(folder / "colour-camera-with-offset-file", fuzz::Encode(in));
  in.operations = 0x04;  // a colour frame of another size
  in.width = 1279;
  in.height = 719;
  WriteFile(folder / "other-colour-size", fuzz::Encode(in));
}

void OffsetSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "offset_file");
  WriteFile(folder / "tuned", "offset = {0.001,-0.002,0.0005,1800,12,0.03,1}\n");
  WriteFile(folder / "six-values-ignored", "offset = {0.001,-0.002,0.0005,1800,12,0.03}\n");
  WriteFile(folder / "last-line-wins",
            "# hand tuning\noffset = {0,0,0,2000,10,0.025,1}\nnote: nothing\noffset={1e-3, 2e-3 ,x,1500,-4,0.5,1,9}\r\n");
  WriteFile(folder / "seventh-not-one", "offset = {0.1,0.2,0.3,4,5,6,2}\n");
}

#pragma pack(push, 1)
struct RefinerHeader {
  uint8_t operations, sizeKind;
  uint16_t widthCode, heightCode;
  int32_t nearLimit, farLimit, offset;
  float gain;
  uint8_t intrinsicsKind, halfCornerMargin, iterationUnits, reserved;
  float cx, cy, fx, fy, scaleA, scaleB;
  float distortion[5];
  int32_t distance;
  uint8_t padding[6];
};
#pragma pack(pop)
static_assert(sizeof(RefinerHeader) == 80, "as in imagerefiner_fuzz.cpp");

void ImageRefinerSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "imagerefiner");
  const uint16_t depth[] = {0, 1, 650, 700, 720, 1500, 2200, 7400, 7600, 900, 910, 905};
  std::vector<uint8_t> pixels(reinterpret_cast<const uint8_t*>(depth), reinterpret_cast<const uint8_t*>(depth) + sizeof depth);
  const auto seed = [&](const char* name, RefinerHeader h) {
    std::vector<uint8_t> bytes(sizeof h);
    std::memcpy(bytes.data(), &h, sizeof h);
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    WriteFile(folder / name, bytes);
  };
  RefinerHeader vga{};
  vga.operations = 0x3f;
  vga.sizeKind = 1;
  vga.farLimit = 7500;
  vga.gain = 1.2f;
  vga.offset = 10;
  vga.intrinsicsKind = 1;
  vga.iterationUnits = 4;
  vga.cx = 315.4468f;
  vga.cy = 238.5305f;
  vga.fx = 556.5451f;
  vga.fy = 558.2062f;
  const float k[5] = {0.31428f, -1.605089f, 0.001825f, -0.002152f, 2.151922f};
  std::memcpy(vga.distortion, k, sizeof k);
  vga.distance = 1500;
  seed("vga", vga);
  RefinerHeader qvga = vga;
  qvga.sizeKind = 2;
  qvga.intrinsicsKind = 2;
  qvga.cx /= 2;
  qvga.cy /= 2;
  qvga.fx /= 2;
  qvga.fy /= 2;
  qvga.halfCornerMargin = 1;
  seed("qvga-half-corner", qvga);
  RefinerHeader small = vga;
  small.operations = 0x33;
  small.sizeKind = 0;
  small.widthCode = 6;
  small.heightCode = 4;
  small.nearLimit = 500;
  small.farLimit = 800;
  seed("small-image", small);
  RefinerHeader hostile = vga;
  hostile.sizeKind = 3;
  hostile.widthCode = 5;  // 65536 x 65536: beyond a 32-bit int
  hostile.heightCode = 5;
  hostile.farLimit = 0;
  hostile.gain = NAN;
  seed("hostile-size", hostile);
}

void SettingsSeeds(const fs::path& root) {
  const fs::path folder = Fresh(root, "settings_file");
  const fs::path scratch = fs::temp_directory_path() / "tessivue-seed-configuration.ini";
  fs::remove(scratch);
  set_save_settings_file(QString::fromStdString(scratch.string()));
  save_settings s;
  s.frame = 5;
  s.depth = true;
  s.pcl = true;
  s.ir = true;
  s.file_path = QStringLiteral("/home/user/Pictures/tof");
  s.RGBFrame = 2;
  s.rgb_file_path = QStringLiteral("/home/user/Pictures/rgb");
  s.RGBDFrame = 3;
  s.RGBD = true;
  s.RGBDPcl = true;
  s.rgbd_file_path = QStringLiteral("/home/user/Pictures/r\u00e9gistr\u00e9");
  store_tof_settings(s);
  store_rgb_settings(s);
  store_rgbd_settings(s);
  QWidget window;
  window.resize(1120, 600);
  store_window_geometry(window.saveGeometry());
  fs::copy_file(scratch, folder / "written-by-the-viewer", fs::copy_options::overwrite_existing);
  fs::remove(scratch);
  WriteFile(folder / "hand-edited",
            "[save configuration]\nframe = 30\ndepth=true\npcl = 1\nfile_path=\"C:\\\\Users\\\\me\\\\depth\"\n"
            "RGBFrame=-4\n; a comment\n[window configuration]\ngeometry=@ByteArray(\\x1\\xd9\\xd0\\xcb)\n");
}

// A copy of the top-left corner of each image, so the seeds stay small.
struct Cropped {
  std::vector<uint8_t> pixels[recording::kStreamCount];
};

void Crop(recording::frame_set_view& view, Cropped& keep, int cols, int rows) {
  for (int s = 0; s < recording::kStreamCount; ++s) {
    recording::image_view& v = view.images[s];
    if (!v.data) continue;
    const int bpp = recording::bytes_per_pixel(v.encoding);
    const int w = std::min(cols, v.width), h = std::min(rows, v.height);
    keep.pixels[s].resize(size_t(w) * h * bpp);
    for (int r = 0; r < h; ++r)
      std::memcpy(keep.pixels[s].data() + size_t(r) * w * bpp,
                  static_cast<const uint8_t*>(v.data) + size_t(r) * v.width * bpp, size_t(w) * bpp);
    v.data = keep.pixels[s].data();
    v.width = w;
    v.height = h;
  }
}

bool RecordingSeed(const fs::path& path, recording::stream_mask streams, recording::compression compress,
                   int frameSets) {
  using recording::bit;
  using recording::stream;
  sdk_test::scoped_environment env;
  sdk_test::camera cam;
  if (!cam.dev) return false;
  std::vector<pvx3::pvx3_stream_format> plan;
  if (streams & bit(stream::depth)) plan.push_back({pvx3::PVX3_STREAM_DEPTH, 320, 240});
  if (streams & bit(stream::ir)) plan.push_back({pvx3::PVX3_STREAM_IR, 320, 240});
  if (streams & bit(stream::colour)) plan.push_back({pvx3::PVX3_STREAM_RGB, 1280, 720});
  if (streams & bit(stream::raw_phase)) plan.push_back({pvx3::PVX3_STREAM_RAW_PHASE, 320, 240});
  if (cam.start(plan) != 0) return false;
  recording::writer_options options;
  options.compress = compress;
  options.producer = "fuzz_seeds";
  options.raw_phase = (streams & bit(stream::raw_phase)) ? recording::raw_phase_state::recorded
                                                         : recording::raw_phase_state::not_selected;
  options.wait_for_room = true;
  std::string error;
  auto w = recording::writer::create(path.string(), options, error);
  if (!w) return false;
  w->set_device_info(recording::capture_device_info(cam.dev));
  auto cal = recording::capture_calibration(cam.dev, 320, 240);
  if (cal) w->set_calibration(*cal);
  recording::camera_settings settings = recording::capture_settings(
      cam.sensor, 320, 240, (streams & bit(stream::colour)) ? 1280 : 0, (streams & bit(stream::colour)) ? 720 : 0);
  w->set_settings(settings);
  const recording::stream_lenses lenses = recording::lenses_for(cal, settings);
  for (int i = 0; i < frameSets; ++i) {
    sdk_test::frameset_ptr set = cam.next();
    if (!set) return false;
    recording::frame_set_view view;
    if (!recording::view_frame_set(*set, streams, lenses, view)) continue;
    Cropped keep;
    Crop(view, keep, 8, 6);
    if (i == 1) {  // a settings change part-way
      settings.near_mm = 200;
      settings.far_mm = 3000;
      w->set_settings(settings);
    }
    w->submit(view);
  }
  return w->close(error);
}

int RecordingSeeds(const fs::path& root) {
  using recording::bit;
  using recording::stream;
  const fs::path folder = Fresh(root, "recording_reader");
  int failures = 0;
  failures += !RecordingSeed(folder / "depth-ir-lz4.bag", bit(stream::depth) | bit(stream::ir),
                             recording::compression::lz4, 3);
  failures += !RecordingSeed(folder / "all-streams-uncompressed.bag", recording::kAllStreamBits,
                             recording::compression::none, 2);
  failures += !RecordingSeed(folder / "colour-bz2.bag", bit(stream::colour), recording::compression::bz2, 2);
  // A recording cut short: the index at the end is missing.
  std::ifstream whole(folder / "depth-ir-lz4.bag", std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
  WriteFile(folder / "cut-short.bag", bytes.data(), bytes.size() * 2 / 3);
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: fuzz_seeds CORPUS_FOLDER [TARGET...]\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  const fs::path root = argv[1];
  const std::vector<std::string> only(argv + 2, argv + argc);
  const auto wanted = [&](const std::string& t) { return only.empty() || std::count(only.begin(), only.end(), t); };
  if (wanted("reconstruction")) ReconstructionSeeds(root);
  if (wanted("colour_alignment")) ColourAlignmentSeeds(root);
  if (wanted("offset_file")) OffsetSeeds(root);
  if (wanted("imagerefiner")) ImageRefinerSeeds(root);
  if (wanted("settings_file")) SettingsSeeds(root);
  const int failures = wanted("recording_reader") ? RecordingSeeds(root) : 0;
  if (failures) std::fprintf(stderr, "fuzz_seeds: %d recording(s) could not be made\n", failures);
  return failures ? 1 : 0;
}
