#include "ProgramArguments.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace ProgramArguments {

std::optional<int> answer(int argc, const char *const *argv, const char *program, const char *usage)
{
    std::string text;
    for (int i = 1; i < argc && text.empty(); ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            break;
        if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0)
            text = std::string("Usage: ") + program + " [--help | --version]\n" + usage +
                   "\nOptions:\n"
                   "  -h, --help     Show this help and end.\n"
                   "  -v, --version  Show the version and end.\n";
        else if (std::strcmp(argument, "--version") == 0 || std::strcmp(argument, "-v") == 0)
            text = std::string(program) + " " VANTREL_VERSION "\n";
    }
    if (text.empty())
        return std::nullopt;
    // Written and flushed here: a full disk or a closed pipe is a failure.
    const bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
    if (!written)
        std::fprintf(stderr, "%s: cannot write to standard output\n", program);
    return written ? 0 : 1;
}

} // namespace ProgramArguments
