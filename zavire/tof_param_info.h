#pragma once

#include <QMap>

// Parameters of the depth stream. driver_operate fills only `resolutions`,
// `width` and `height`; the main window fills the rest.
struct tof_param_info {
    QMap<int, int> resolutions;  // depth width -> depth height, one per depth format
    int integral_time_min = 1;
    int integral_time_max = 0;
    int distance_limit_min = 0;
    int distance_limit_max = 0;
    int width = 0;
    int height = 0;
    int integral_time = 0;
    int distance_max = 0;
    int distance_min = 0;
};
