#include "save_path_widget.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QIntValidator>

#include "app/save_settings_store.h"
#include "folder_dialog.h"
#include "is_chinese_path.h"
#include "save_checks.h"
#include "viewer_messages.h"
#include "zavire_resources.h"

save_path_widget::save_path_widget(QWidget* parent) : QWidget(parent)
{
    init_zavire_resources();
    setupUi(this);
    connect(btn_select, &QPushButton::clicked, this, &save_path_widget::btn_select_clicked);
    line_frame->setValidator(new QIntValidator(1, 30, this));

    const save_settings stored = load_save_settings();
    if (stored.frame > 0) {
        line_frame->setText(QString::number(stored.frame));
        check_depth->setChecked(stored.depth);
        check_png->setChecked(stored.ir);
        btn_check_pcd->setChecked(stored.pcl);
    } else {
        // A first run saves one frame, so the defaults work as they stand.
        line_frame->setText(QStringLiteral("1"));
    }
    line_file_path->setText(stored.file_path.isEmpty() ? QCoreApplication::applicationDirPath()
                                                       : stored.file_path);

    setWindowTitle(tr("save image"));
    label_frame->setText(tr("Frame"));
    check_depth->setText(tr("Depth"));
    check_png->setText(tr("IR"));
    btn_check_pcd->setText(tr("Point cloud"));
    label_file_path->setText(tr("File path"));
    line_file_path->setPlaceholderText(tr("please select file path"));

    check_raw = new QCheckBox(tr("Raw frames"), this);
    check_raw->setObjectName(QStringLiteral("check_raw"));
    check_raw->setGeometry(200, 10, 85, 20);
    check_raw->setStyleSheet(check_depth->styleSheet());
    check_raw->setFont(check_depth->font());
    check_raw->setToolTip(tr("Recordings also keep the raw phase frames (about 10 MB per frame set), "
                             "so depth can be recomputed from them later"));
    show();
}

bool save_path_widget::validate(save_settings& out) const
{
    const QString path = line_file_path->text();
    const int frame = checked_save_frames(line_frame->text(), path, true);
    if (frame == 0)
        return false;
    out.frame = frame;
    out.depth = check_depth->isChecked();
    out.ir = check_png->isChecked();
    out.pcl = btn_check_pcd->isChecked();
    out.file_path = path;
    return true;
}

void save_path_widget::set_rgbd_lock(bool locked)
{
    for (QWidget* input : {static_cast<QWidget*>(line_frame), static_cast<QWidget*>(line_file_path),
                           static_cast<QWidget*>(btn_select), static_cast<QWidget*>(check_depth),
                           static_cast<QWidget*>(check_png), static_cast<QWidget*>(btn_check_pcd)})
        input->setEnabled(!locked);
}

void save_path_widget::btn_select_clicked()
{
    const QString folder = choose_folder(this, QStringLiteral("save_path"), line_file_path->text());
    if (folder.isEmpty())
        return;
    if (is_chinese_path(folder)) {
        post_user_message(viewer_text::chinese_path);
        return;
    }
    line_file_path->setText(folder);
    store_file_path(folder);
}
