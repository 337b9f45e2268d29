#include "soak_run.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "app/global_message_module.h"
#include "app/save_settings_store.h"
#include "app/user_message.h"
#include "widget_module/cloud_view_widget.h"
#include "widget_module/parameter_setting_widget.h"
#include "widget_module/save_path_widget.h"
#include "widget_module/viewer.h"
#include "zavire/driver_operate.h"

#include "process_memory.h"

// AddressSanitizer's live-heap profile (absent in other builds).
extern "C" void __sanitizer_print_memory_profile(size_t top_percent, size_t max_contexts) __attribute__((weak));

namespace {

void click(QAbstractButton* button)
{
    if (button != nullptr)
        QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace

soak_run::soak_run(const soak_options& options) : m_options(options)
{
    global_message_module::instance()->add_observer(kMessageObserver, this,
                                                    SLOT(slot_show_message(const QStringList&)));
}

soak_run::~soak_run() = default;

void soak_run::slot_show_message(const QStringList& content)
{
    if (content.size() >= 2)
        m_messages.append(content.at(1));
}

void soak_run::pump(int ms)
{
    // An event loop waits for events; a loop of processEvents() would spin
    // and take a core from the camera and render threads.
    QEventLoop loop;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, &loop, [this] {
        // The soak drives the window from main(), outside the program's
        // event loop: delete what the window handed over (closed views, the
        // closed module's driver) as that loop would.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // A tick comes every 10 ms unless an event held the GUI thread.
        const qint64 gap = m_last_tick.restart();
        if (gap > m_longest_stall_ms)
            m_longest_stall_ms = gap;
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    tick.start();
    loop.exec();
}

bool soak_run::wait_until(const std::function<bool()>& pred, int timeout_ms)
{
    const QDeadlineTimer deadline(timeout_ms);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        pump(10);
    }
    return true;
}

void soak_run::fail(const QString& why)
{
    if (m_failure.isEmpty())
        m_failure = why;
    std::fprintf(stderr, "soak: %s\n", qPrintable(why));
}

void soak_run::count_frames()
{
    driver_operate* d = m_window->current_driver();
    connect(d, &driver_operate::sig_update_date_vec, this, [this] { ++m_depth; });
    connect(d, &driver_operate::sig_show_rgb, this, [this](QPixmap) { ++m_rgb; });
    connect(d, &driver_operate::sig_update_cloud_point_vec, this, [this] { ++m_cloud; });
}

bool soak_run::open_camera()
{
    viewer& v = *m_window;
    if (v.table_module->isHidden())
        click(v.btn_chose_module);
    if (!wait_until([&] { return v.table_module->rowCount() > 0; }, m_options.hang_seconds * 1000)) {
        fail(QStringLiteral("no camera in the module list"));
        return false;
    }
    const QRect row = v.table_module->visualItemRect(v.table_module->item(0, 0));
    QTest::mouseClick(v.table_module->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
    if (v.current_driver() == nullptr || !wait_until([&] { return v.widget_module->isVisible() && v.parameter_panel() != nullptr; }, m_options.hang_seconds * 1000)) {
        fail(QStringLiteral("the camera did not open"));
        return false;
    }
    count_frames();
    return true;
}

// Streams in the current state for the step time; every stream the state runs
// must deliver frames within the hang time.
bool soak_run::stream(const QString& state, bool depth, bool rgb, bool cloud)
{
    const long long d0 = m_depth, r0 = m_rgb, c0 = m_cloud;
    const int hang_ms = m_options.hang_seconds * 1000;
    if (!wait_until([&] { return (!depth || m_depth > d0) && (!rgb || m_rgb > r0) && (!cloud || m_cloud > c0); },
                    hang_ms)) {
        fail(QStringLiteral("hang: no %1 frame within %2 s in state \"%3\"")
                 .arg(depth && m_depth == d0 ? "depth" : rgb && m_rgb == r0 ? "colour"
                                                                            : "point-cloud")
                 .arg(m_options.hang_seconds)
                 .arg(state));
        return false;
    }
    const long long d1 = m_depth, r1 = m_rgb, c1 = m_cloud;
    QElapsedTimer t;
    t.start();
    pump(static_cast<int>(m_options.step_seconds * 1000));
    state_rate* rate = nullptr;
    for (state_rate& r : m_rates)
        if (r.name == state)
            rate = &r;
    if (rate == nullptr) {
        m_rates.push_back({state});
        rate = &m_rates.back();
    }
    rate->seconds += t.elapsed() / 1000.0;
    rate->depth += m_depth - d1;
    rate->rgb += m_rgb - r1;
    rate->cloud += m_cloud - c1;
    return true;
}

// A two-frame batch of depth PNG and point cloud from the depth panel; the
// files are removed afterwards so that a long soak does not fill the disk.
bool soak_run::save_batch()
{
    viewer& v = *m_window;
    save_path_widget* panel = v.tof_save_panel();
    if (panel == nullptr) {
        fail(QStringLiteral("no depth save panel"));
        return false;
    }
    QDir folder(m_options.work_folder + QStringLiteral("/saves"));
    folder.removeRecursively();
    QDir().mkpath(folder.path());
    panel->line_frame->setText(QStringLiteral("2"));
    panel->check_depth->setChecked(true);
    panel->check_png->setChecked(true);
    panel->btn_check_pcd->setChecked(true);
    panel->line_file_path->setText(folder.path());
    m_messages.clear();
    click(v.btn_save_picture);
    const bool ended = wait_until(
        [&] {
            for (const QString& m : m_messages)
                if (m.startsWith(QLatin1String("Save completed")) || m.startsWith(QLatin1String("Save stopped")))
                    return true;
            return false;
        },
        m_options.hang_seconds * 1000 * 2);
    if (!ended) {
        fail(QStringLiteral("hang: a two-frame save did not end (messages: %1)").arg(m_messages.join(" | ")));
        return false;
    }
    if (!m_messages.filter(QStringLiteral("Save completed")).isEmpty())
        ++m_saves;
    else
        fail(QStringLiteral("save failed: %1").arg(m_messages.join(" | ")));
    folder.removeRecursively();
    return m_failure.isEmpty();
}

bool soak_run::change_resolution()
{
    parameter_setting_widget* panel = m_window->parameter_panel();
    QComboBox* combo = panel != nullptr ? panel->combo_resolution : nullptr;
    if (combo == nullptr || combo->count() < 2 || !combo->isEnabled())
        return true;
    m_resolution_index = (combo->currentIndex() + 1) % combo->count();
    combo->setCurrentIndex(m_resolution_index);
    return true;
}

bool soak_run::one_cycle()
{
    viewer& v = *m_window;
    click(v.btn_switch_tof);
    if (!stream(QStringLiteral("Depth"), true, false, false))
        return false;
    click(v.btn_switch_rgb);
    if (!stream(QStringLiteral("Depth + RGB"), true, true, false) || !save_batch())
        return false;
    if (cloud_view_widget* view = v.depth_view()) {
        click(view->btn_3d);
        if (!stream(QStringLiteral("3D page + RGB"), false, true, true))
            return false;
        if ((view = v.depth_view()) != nullptr)
            click(view->btn_2d);
    }
    click(v.btn_switch_rgb);
    change_resolution();
    if (!stream(QStringLiteral("Depth, resolution changed"), true, false, false))
        return false;
    click(v.btn_switch_tof);
    click(v.btn_rgbd_switch);
    if (!stream(QStringLiteral("RGBD"), true, true, false))
        return false;
    click(v.btn_rgbd_switch);
    // Module power off and on.
    click(v.btn_close_module);
    pump(500);
    if (v.current_driver() != nullptr) {
        fail(QStringLiteral("the module did not close"));
        return false;
    }
    return open_camera();
}

void soak_run::print_report(double warm_mb, double end_mb, double peak_mb, double second_cycle_mb) const
{
    std::printf("soak: %d cycles, %d saved batches, longest GUI stall %lld ms\n", m_cycles, m_saves,
                static_cast<long long>(m_longest_stall_ms));
    for (const state_rate& r : m_rates) {
        if (r.seconds <= 0)
            continue;
        std::printf("soak: %-26s %7.1f s  depth %5.1f fps  colour %5.1f fps  point cloud %5.1f fps\n",
                    qPrintable(r.name), r.seconds, r.depth / r.seconds, r.rgb / r.seconds, r.cloud / r.seconds);
    }
    std::printf("soak: resident memory after warm-up (cycle %d) %.1f MB, at the end %.1f MB (growth %+.1f MB, "
                "limit %.1f; %+.1f MB since the second cycle), peak seen %.1f MB\n",
                m_warm_cycle, warm_mb, end_mb, end_mb - warm_mb, m_options.max_growth_mb, end_mb - second_cycle_mb,
                peak_mb);
    std::fflush(stdout);
}

int soak_run::exec()
{
    if (m_options.work_folder.isEmpty() || !QDir().mkpath(m_options.work_folder)) {
        std::fprintf(stderr, "soak: no usable work folder\n");
        return 2;
    }
    set_save_settings_file(m_options.work_folder + QStringLiteral("/configuration.ini"));
    viewer::set_exit_on_destroy(false);
    m_window = std::make_unique<viewer>();
    m_window->show();
    m_last_tick.start();
    if (!QTest::qWaitForWindowExposed(m_window.get()))
        fail(QStringLiteral("the window was never shown"));

    QElapsedTimer clock;
    clock.start();
    const qint64 total_ms = static_cast<qint64>(m_options.minutes * 60000);
    const qint64 warm_up_ms = static_cast<qint64>(soak_warm_up_minutes(m_options) * 60000);
    double warm_mb = -1;
    double second_cycle_mb = -1;
    double peak_mb = 0;
    if (m_failure.isEmpty() && open_camera()) {
        while (clock.elapsed() < total_ms) {
            if (!one_cycle())
                break;
            ++m_cycles;
            const double now_mb = resident_mb();
            peak_mb = std::max(peak_mb, now_mb);
            // Caches, pools, the sanitizer's quarantine and its allocator's
            // block-size regions fill during the first cycles (an hour's
            // run with ASan: +17 MB over cycles 2 to 20, +5 MB over the next
            // 25); growth is counted from the end of the warm-up.
            if (m_cycles == 2)
                second_cycle_mb = now_mb;
            if (warm_mb < 0 && m_cycles >= 2 && clock.elapsed() >= warm_up_ms) {
                warm_mb = now_mb;
                m_warm_cycle = m_cycles;
            }
            const memory_map_mb map = memory_map();
            std::printf("soak: cycle %d done at %.0f s, resident %.1f MB (heap %.1f, shadow %.1f, other anonymous "
                        "%.1f, files %.1f), heap in use %.1f MB\n",
                        m_cycles, clock.elapsed() / 1000.0, now_mb, map.heap, map.shadow, map.anonymous, map.files,
                        heap_in_use_mb());
            std::fflush(stdout);
        }
    }
    const double end_mb = resident_mb();
    if (warm_mb < 0)
        warm_mb = end_mb;
    if (second_cycle_mb < 0)
        second_cycle_mb = end_mb;
    print_report(warm_mb, end_mb, std::max(peak_mb, end_mb), second_cycle_mb);
    // SOAK_HEAP_PROFILE=N: the N largest allocation sites of the live heap
    // (15 when N is not a number), before teardown.
    if (qEnvironmentVariableIsSet("SOAK_HEAP_PROFILE") && __sanitizer_print_memory_profile != nullptr) {
        const int sites = qEnvironmentVariableIntValue("SOAK_HEAP_PROFILE");
        __sanitizer_print_memory_profile(100, static_cast<size_t>(sites > 1 ? sites : 15));
    }

    // Orderly end: the window's own teardown, then the leak check at exit.
    m_window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    pump(200);

    if (!m_failure.isEmpty()) {
        std::printf("soak: FAILED: %s\n", qPrintable(m_failure));
        return 1;
    }
    if (m_warm_cycle == 0)
        std::printf("soak: note: the run ended within its warm-up, so no growth after it was measured\n");
    if (end_mb - warm_mb > m_options.max_growth_mb) {
        std::printf("soak: FAILED: resident memory grew by %.1f MB after warm-up\n", end_mb - warm_mb);
        return 1;
    }
    std::printf("soak: passed\n");
    return 0;
}
