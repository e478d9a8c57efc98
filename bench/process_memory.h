#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bench {

/// The value in kB of `field` ("VmRSS", "VmHWM") in the text of a
/// /proc/<pid>/status file, or -1 when the field is not there.
long StatusFieldKb(std::string_view status, std::string_view field);

/// The same for this process, read now.
long OwnStatusKb(std::string_view field);

/// Runs `argv` (argv[0] a path) as a child process, waits for it and
/// returns what it wrote to its standard output. Throws std::runtime_error
/// when it cannot be started or does not exit with status 0.
std::string RunChild(const std::vector<std::string>& argv);

/// The path of this process's executable.
std::string OwnExecutable();

}  // namespace bench
