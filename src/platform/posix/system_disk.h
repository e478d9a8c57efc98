#pragma once

// The disk as Linux shows it: folders held by descriptor, each name looked
// up in its folder at the call, moves that never replace a file, and
// inotify watches, which report every change made through this machine's
// kernel. This disk's own moves are told apart by the events each of its
// calls is known to cause.

#include <cstdint>
#include <string>
#include <utility>
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
  int Watch(FolderHandle folder) override;
  bool Changes(std::vector<int>& changed) override;

 private:
  struct Expected {  // an event of this disk's own
    int watch;
    std::uint32_t mask;
    std::string name;
  };
  void Expect(FolderHandle folder, std::uint32_t mask, const std::string& name);
  void ExpectOn(int watch, std::uint32_t mask, std::string_view name);
  bool Renamed(int done, FolderHandle from, const std::string& from_name, FolderHandle to,
               const std::string& to_name);

  // Kept for the disk's life, watching nothing between walks: closing one
  // waits for the kernel to retire it, some milliseconds.
  int inotify_ = -1;
  std::vector<std::pair<FolderHandle, int>> watches_;  // each watched handle's watch
  std::vector<Expected> expected_;  // the first `expecting_`, kept to keep their room
  std::size_t expecting_ = 0;
};

}  // namespace tavrik
