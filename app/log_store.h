#pragma once

#include <QString>

// Where the log files of this run live; fixed by init_log for the whole run.
struct log_store_paths {
    QString base_folder;
    QString date_text;  // local date at initialisation, "yyyy-MM-dd"
    QString folder;     // "<base>/Log/<date>"
    QString info_file;
    QString warn_file;
    QString error_file;
    bool ready = false;  // the log folder exists
};

// Prepares "<base>/Log/<yyyy-MM-dd>" with empty "info.txt", "warn.txt" and
// "error.txt" (existing files are left untouched). An empty base means the
// application's folder. Called once at start-up on the GUI thread.
void init_log(const QString& base);

// A copy of the paths set by init_log (all empty before it ran).
log_store_paths log_store();
