// The launcher's platform on Linux: its walks go over the system's disk
// (path_walk.h, system_disk.h), its lists are read by list_file_posix.cpp.

#include "path_walk.h"
#include "system_disk.h"
#include "system_platform.h"
#include "text_encoding.h"

namespace tavrik {

struct SystemPlatform::State {
  SystemDisk disk;
  PathWalk walk{disk};
};

SystemPlatform::SystemPlatform(MessageBox message_box)
    : message_box_(std::move(message_box)), state_(std::make_unique<State>()) {}

SystemPlatform::~SystemPlatform() = default;

void SystemPlatform::BeginWalk() { state_->walk.Forget(); }

void SystemPlatform::EndWalk() { state_->walk.Forget(); }

void SystemPlatform::BeginPair(const std::string& source, const std::string& target) {
  state_->walk.BeginPair(source, target);
}

std::string SystemPlatform::FindFile(const std::string& path) {
  return state_->walk.FindFile(path);
}

void SystemPlatform::RenameFile(const std::string& source, const std::string& target) {
  state_->walk.RenameFile(source, target);
}

std::string SystemPlatform::DecodeLegacyText(std::string_view bytes) {
  return DecodeWindows1252(bytes);
}

}  // namespace tavrik
