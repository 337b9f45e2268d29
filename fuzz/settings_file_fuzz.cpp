// The viewer's settings file "configuration.ini", damaged or hand-edited: the
// save settings and the window geometry are read from it as the viewer reads
// them at start-up (the geometry handed to restoreGeometry), then written back
// and read again, which must give back what was written.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QWidget>

#include "save_settings.h"
#include "save_settings_store.h"
#include "window_settings.h"

namespace {

QString g_file;
QApplication* g_app = nullptr;

bool Same(const save_settings& a, const save_settings& b) {
  return a.frame == b.frame && a.depth == b.depth && a.pcl == b.pcl && a.ir == b.ir && a.file_path == b.file_path &&
         a.RGBFrame == b.RGBFrame && a.rgb_file_path == b.rgb_file_path && a.RGBDFrame == b.RGBDFrame &&
         a.RGBD == b.RGBD && a.RGBDPcl == b.RGBDPcl && a.rgbd_file_path == b.rgbd_file_path;
}

}  // namespace

// Fontconfig, loaded once the first widget is made, keeps its caches until
// the process ends; LeakSanitizer reports them at exit. Not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  g_app = new QApplication(*argc, *argv);
  char folder[] = "/tmp/tessivue-fuzz-settings-XXXXXX";
  const char* made = mkdtemp(folder);
  g_file = QString::fromLocal8Bit(made ? made : "/tmp") + QStringLiteral("/configuration.ini");
  set_save_settings_file(g_file);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    QFile f(g_file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  }
  const save_settings loaded = load_save_settings();
  const QByteArray geometry = load_window_geometry();
  if (!geometry.isEmpty()) {
    QWidget window;
    window.restoreGeometry(geometry);
  }

  // What the viewer writes after the user changes something must come back.
  save_settings changed = loaded;
  changed.frame = loaded.frame == 3 ? 4 : 3;
  changed.depth = !loaded.depth;
  changed.RGBFrame = 7;
  changed.RGBD = !loaded.RGBD;
  changed.rgb_file_path = loaded.file_path + QStringLiteral("/rgb");
  store_tof_settings(changed);
  store_rgb_settings(changed);
  store_rgbd_settings(changed);
  store_window_geometry(geometry);
  const save_settings back = load_save_settings();
  if (!Same(back, changed) || load_window_geometry() != geometry) abort();
  return 0;
}
