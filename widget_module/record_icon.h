#pragma once

#include <QIcon>

// The record button's icon, drawn rather than loaded: a white ring with a
// grey dot when idle, a red dot when recording.
QIcon record_icon(bool recording);
