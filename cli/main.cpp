#include <exception>

#include "cli.h"

int main(int argc, char** argv)
{
    cli::args_t args(argv + 1, argv + argc);
    try {
        return cli::run(args);
    } catch (const std::exception& e) {
        cli::report_error(nullptr, std::string("unexpected failure: ") + e.what());
        return cli::kExitFailure;
    }
}
