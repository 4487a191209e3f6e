#pragma once

// vantrelctl's exit statuses, for the commands and for scripts' tests.
namespace Vantrelctl {

inline constexpr int kSuccess = 0;
inline constexpr int kFailure = 1;
inline constexpr int kBadUsage = 2;
// import found the outputs and inputs changed by another program since it
// read the file: the file is left as that program wrote it.
inline constexpr int kNotImported = 3;

} // namespace Vantrelctl
