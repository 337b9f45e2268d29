#include "status.h"

namespace pvx3::detail {

int report(pvx3_error* error, int code, const char* message)
{
    if (error) {
        error->code = code;
        error->message = message ? message : "";
    }
    return code;
}

}  // namespace pvx3::detail
