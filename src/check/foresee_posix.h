#pragma once

// What Linux refuses a rename by beyond names and permission bits: foreseen
// by the dry run (dry_run_posix.cpp), so that a check does not promise a
// walk that the system will stop, and explained by RefusalCause.

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tavrik {

/// What of an entry decides such a refusal.
struct Flags {
  unsigned long long attributes = 0;  // STATX_ATTR_IMMUTABLE, STATX_ATTR_APPEND (chattr +i, +a)
  mode_t mode = 0;                    // for a folder, the sticky bit
  uid_t owner = 0;
  std::uint64_t mount = 0;  // a rename between two is refused
};

/// Those of `name` in the folder `folder` ("." for the folder itself), links
/// not followed; none when they cannot be asked.
std::optional<Flags> FlagsOf(int folder, const std::string& name);

/// Why the system refuses (EPERM) to move an entry out of its folder: the
/// entry is immutable or append-only; the folder is append-only (names may
/// be added, none taken away); or the folder is sticky and neither the entry
/// nor the folder belongs to the user, who lacks CAP_FOWNER. Nothing is
/// foreseen of an `entry` unknown but its folder's flags.
enum class Refused : unsigned char { kNot, kEntry, kFolder, kSticky };
Refused RefusalOf(const Flags& folder, const std::optional<Flags>& entry);

}  // namespace tavrik
