#include "soak_options.h"

namespace {

bool take_number(const QStringList& args, int* i, double low, double* out, QString* error)
{
    if (*i + 1 >= args.size()) {
        *error = QStringLiteral("%1 needs a value").arg(args[*i]);
        return false;
    }
    bool ok = false;
    const double v = args[*i + 1].toDouble(&ok);
    if (!ok || !(v >= low)) {
        *error = QStringLiteral("%1: \"%2\" is not a number of at least %3").arg(args[*i], args[*i + 1]).arg(low);
        return false;
    }
    *out = v;
    ++*i;
    return true;
}

}  // namespace

double soak_warm_up_minutes(const soak_options& options)
{
    return options.warm_up_minutes >= 0 ? options.warm_up_minutes : options.minutes / 10;
}

bool parse_soak_options(const QStringList& args, soak_options* out, QString* error)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        double v = 0;
        if (a == QLatin1String("--minutes")) {
            if (!take_number(args, &i, 0.05, &out->minutes, error))
                return false;
        } else if (a == QLatin1String("--step")) {
            if (!take_number(args, &i, 0.5, &out->step_seconds, error))
                return false;
        } else if (a == QLatin1String("--max-growth-mb")) {
            if (!take_number(args, &i, 0, &out->max_growth_mb, error))
                return false;
        } else if (a == QLatin1String("--warm-up-minutes")) {
            if (!take_number(args, &i, 0, &out->warm_up_minutes, error))
                return false;
        } else if (a == QLatin1String("--hang-s")) {
            if (!take_number(args, &i, 1, &v, error))
                return false;
            out->hang_seconds = static_cast<int>(v);
        } else if (a == QLatin1String("--work")) {
            if (i + 1 >= args.size()) {
                *error = QStringLiteral("--work needs a folder");
                return false;
            }
            out->work_folder = args[++i];
        } else {
            *error = QStringLiteral("unknown argument \"%1\"").arg(a);
            return false;
        }
    }
    return true;
}
