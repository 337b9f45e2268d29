#pragma once

#include <QString>
#include <QStringList>

// What one soak run does; read from the command line.
struct soak_options {
    double minutes = 2.0;
    // Streaming time in each state before the next one.
    double step_seconds = 3.0;
    // The run fails when resident memory grows by more than this after warm-up.
    double max_growth_mb = 20.0;
    // A state with a running stream that shows no frame for this long is a hang.
    int hang_seconds = 20;
    // Scratch folder for the settings file and the saved batches.
    QString work_folder;
};

// Parses "--minutes M --step S --max-growth-mb G --hang-s H --work DIR".
// False with a message in *error on a malformed or unknown argument.
bool parse_soak_options(const QStringList& args, soak_options* out, QString* error);
