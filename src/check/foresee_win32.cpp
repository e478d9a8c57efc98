#include <windows.h>

#include "dry_run.h"
#include "shown_text.h"
#include "wide_text.h"

namespace tavrik {

Failure FailureOf(std::int64_t number) {
  if (number == ERROR_ALREADY_EXISTS || number == ERROR_FILE_EXISTS) return Failure::kTaken;
  if (number == ERROR_FILE_NOT_FOUND || number == ERROR_PATH_NOT_FOUND) return Failure::kNotFound;
  for (const DWORD refused :
       {ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_NOT_SAME_DEVICE, ERROR_WRITE_PROTECT}) {
    if (number == refused) return Failure::kRefused;
  }
  return Failure::kOther;  // Windows matches names in any case itself: never ambiguous
}

std::pair<std::string, std::string> RefusalCause(std::int64_t number, const std::string& source,
                                                 const std::string& folder,
                                                 const std::string& here) {
  const std::string file = Named(FromHere(source, here)), into = Named(FromHere(folder, here));
  switch (number) {
    case ERROR_SHARING_VIOLATION:
      return {file + " is open in another program that does not let it be moved",
              "close that program (the game, an editor)"};
    case ERROR_ACCESS_DENIED:
      return {"Windows denies moving " + file + " into " + into + " (their security settings)",
              "run Brennel as a user who may, or change them"};
    case ERROR_NOT_SAME_DEVICE:
      return {file + " and " + into + " are on different drives, and a rename does not copy",
              "keep the mod's files on one"};
    case ERROR_WRITE_PROTECT:
      return {into + " is on a write-protected disk", "put the mod on a disk that is not"};
    default:
      return {};
  }
}

std::string MoveCommand(const std::string& from, const std::string& to) {
  return "if not exist \"" + to + "\" move \"" + from + "\" \"" + to + "\"";
}

}  // namespace tavrik
