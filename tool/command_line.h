#pragma once

// The tool's command line. A run with no arguments takes the snapshot; the
// only arguments it knows are the two every command-line tool answers:
//
//   library-snapshot --help     -> usage on standard output, status 0
//   library-snapshot --version  -> "library-snapshot 0.1.0", status 0
//   library-snapshot anything   -> usage on standard error, status 2
//
// Anything but an empty command line ends the process before any file is
// read or written.

#include <optional>

namespace fw {

// nullopt: no arguments, so take the snapshot. Otherwise the status the
// process exits with, once the answer has been printed.
[[nodiscard]] std::optional<int> handleCommandLine(int argc, const char* const* argv);

// The usage text that --help prints.
[[nodiscard]] const char* commandLineUsage();

}  // namespace fw
