#pragma once

// Installs the process's crash handler: fatal signals (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL, SIGABRT) and uncaught C++ exceptions write a crash report
// "zavire-<h>.<m>.<s>.dmp" into "crash/<yyyy>-<m>-<d>" beside the executable
// (numbers without leading zeros), holding the cause, the faulting address and
// a symbolised backtrace. The process then ends with a non-zero status (the
// fatal signal's default action).
//
// Everything the handler needs (folder, UTC offset, unwinder) is prepared
// here, so that the handler itself uses async-signal-safe calls only.
void install_crash_handler();

// Folder under which the dated crash folders go (default: the executable's
// folder + "/crash"). Must be set before install_crash_handler.
void set_crash_root(const char* folder);
