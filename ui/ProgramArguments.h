#pragma once

#include <optional>

// The command line of the two window programs. They take no arguments but
// answer --help (-h) and --version (-v) on standard output and end, as every
// program on the system does; any other argument is ignored (Qt's own, such
// as -platform, still reach Qt). Read before the application object exists,
// so that neither answer needs a display.
namespace ProgramArguments {

// The exit status when the command line asked for help or the version and
// the answer was printed (1 when standard output could not take it);
// nullopt when the program is to start. `usage` is the help text after the
// usage line; `program` names the program in both answers.
std::optional<int> answer(int argc, const char *const *argv, const char *program,
                          const char *usage);

} // namespace ProgramArguments
