#pragma once

// The disk as Linux shows it: folders held by descriptor, each name looked
// up in its folder at the call, moves that never replace a file, and
// inotify watches, which report every change made through this machine's
// kernel. This disk's own moves are told apart by the events each of its
// calls is known to cause, read right after that call: an event missing,
// extra or other than expected, and nothing of what was learned is vouched for.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "disk.h"

namespace tavrik {

class SystemDisk : public Disk {
 public:
  SystemDisk() = default;
  ~SystemDisk() override;
  SystemDisk(const SystemDisk&) = delete;
  SystemDisk& operator=(const SystemDisk&) = delete;

  int Open(FolderHandle folder, const std::string& name, FolderHandle& opened,
           bool& linked) override;
  void Close(FolderHandle folder) override;
  int Stat(FolderHandle folder, const std::string& name, bool follow, struct stat& status) override;
  int ReadNames(FolderHandle folder,
                const std::function<void(std::string_view, Listed)>& add) override;
  int Move(FolderHandle from, const std::string& from_name, FolderHandle to,
           const std::string& to_name) override;
  int Respell(FolderHandle folder, const std::string& name, const std::string& respelled) override;
  int Watch(FolderHandle folder, int known = -1) override;
  void Unwatch(int watch) override;
  bool Changes(std::vector<NameChange>& changed) override;

 private:
  struct Expected {  // an event of the call just made
    int watch;
    std::uint32_t mask;
    std::string name;
  };
  void Expect(FolderHandle folder, std::uint32_t mask, const std::string& name);
  // Takes in what the watches told since the last look; the events of the
  // call just made, when it made one, must be among them, each once.
  void Settle();
  int Renamed(FolderHandle from, const std::string& from_name, FolderHandle to,
              const std::string& to_name);
  int Unlinked(FolderHandle folder, const std::string& name);
  int Unlinked(FolderHandle from, const std::string& from_name, FolderHandle to,
               const std::string& to_name, const struct stat& linked);
  int ThroughParkedName(FolderHandle folder, const std::string& name, const std::string& respelled);

  // Kept for the disk's life, watching nothing between walks: closing one
  // waits for the kernel to retire it, some milliseconds.
  int inotify_ = -1;
  std::unordered_map<FolderHandle, int> watch_of_;  // each watched handle's watch
  std::unordered_set<int> watches_;
  std::vector<Expected> expected_;
  std::vector<NameChange> changed_;  // another program's changes, not yet told
  bool lost_ = false;
  unsigned asides_ = 0;  // names of the walk's own a move takes an old name off by // what the
                         // watches told cannot be taken at its word
};

}  // namespace tavrik
