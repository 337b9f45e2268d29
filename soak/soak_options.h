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
    // Warm-up: at least two cycles and this long; negative means a tenth of
    // the run.
    double warm_up_minutes = -1;
    // A state with a running stream that shows no frame for this long is a hang.
    int hang_seconds = 20;
    // Scratch folder for the settings file and the saved batches.
    QString work_folder;
};

// Minutes of warm-up for these options (see soak_options::warm_up_minutes).
double soak_warm_up_minutes(const soak_options& options);

// Parses "--minutes M --step S --max-growth-mb G --warm-up-minutes W
// --hang-s H --work DIR".
// False with a message in *error on a malformed or unknown argument.
bool parse_soak_options(const QStringList& args, soak_options* out, QString* error);
