#pragma once

// Mounts for tests, made in a mount namespace of the test process's own and
// undone in reverse when the object goes. Each call returns why it cannot
// mount, or "": a test skips with that reason where the machine has no
// mount namespace to give, no /dev/fuse or no loop device.

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class ScratchMounts {
 public:
  ScratchMounts() = default;
  ~ScratchMounts() {
    while (!mounted_.empty()) Unmount(mounted_.back());
    for (const std::string& loop : loops_) std::system(("losetup -d " + loop).c_str());
  }
  ScratchMounts(const ScratchMounts&) = delete;
  ScratchMounts& operator=(const ScratchMounts&) = delete;

  static std::string Private() {
    if (geteuid() != 0) return "mounting needs root";
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr)) {
      return std::string("no mount namespace of our own here: ") + std::strerror(errno);
    }
    return "";
  }

  std::string Mount(const char* source, const std::string& target, const char* type,
                    unsigned long flags, const char* options = nullptr) {
    std::filesystem::create_directories(target);
    if (mount(source, target.c_str(), type, flags, options) != 0) {
      return "cannot mount " + target + ": " + std::strerror(errno);
    }
    if ((flags & MS_REMOUNT) == 0) mounted_.push_back(std::filesystem::absolute(target));
    return "";
  }

  // A FUSE file system, mounted on `target` by `command`.
  std::string MountFuse(const std::string& command, const std::string& target) {
    if (!std::filesystem::exists("/dev/fuse")) return "no /dev/fuse here";
    std::filesystem::create_directories(target);
    if (std::system((command + " 2>&1").c_str()) != 0) return "'" + command + "' failed";
    mounted_.push_back(std::filesystem::absolute(target));
    return "";
  }

  // A fresh image of `kind` in `images` mounted on `target`, ignoring case:
  // "ntfs" with lowntfs-3g's ignore_case, "exfat" with exfat-fuse on a loop
  // device.
  std::string MountCaseInsensitive(const std::string& kind, const std::string& images,
                                   const std::string& target, const char* size = "16M") {
    if (const std::string why = Private(); !why.empty()) return why;
    const std::string image = images + "/" + kind + ".img";
    const std::string make = kind == "ntfs" ? "mkntfs -F -q -Q " + image : "mkfs.exfat " + image;
    const std::string made = "truncate -s " + std::string(size) + " " + image + " && " + make;
    if (std::system((made + " >/dev/null 2>&1").c_str()) != 0) {
      return "cannot make an " + kind + " image (mkntfs from ntfs-3g, mkfs.exfat from exfatprogs)";
    }
    if (kind == "ntfs")
      return MountFuse("lowntfs-3g -o ignore_case " + image + " " + target, target);
    std::string device;
    if (const std::string why = Loop(image, device); !why.empty()) return why;
    return MountFuse("mount.exfat-fuse " + device + " " + target, target);
  }

  // `image` on a loop device, detached when the object goes. A FUSE file
  // system mounted from a device ends before its unmount returns.
  std::string Loop(const std::string& image, std::string& device) {
    const std::string named = image + ".loop";
    if (std::system(("losetup --find --show " + image + " > " + named).c_str()) != 0)
      return "no loop device for " + image;
    std::ifstream(named) >> loops_.emplace_back();
    device = loops_.back();
    return "";
  }

  void Unmount(const std::filesystem::path& target) {
    umount2(target.c_str(), MNT_DETACH);
    mounted_.erase(std::find(mounted_.begin(), mounted_.end(), target));
  }

 private:
  std::vector<std::filesystem::path> mounted_;
  std::vector<std::string> loops_;
};
