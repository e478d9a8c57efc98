#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "error_condition.h"
#include "scratch_folder.h"
#include "system_platform.h"

// The system's real platform, working in a fresh scratch folder, with its
// message boxes recorded instead of shown.
class RealPlatformTest : public ::testing::Test {
 protected:
  ScratchFolder folder;
  std::vector<std::string> messages;
  tavrik::SystemPlatform platform{[this](const std::string& text) { messages.push_back(text); }};

  // The error that renaming `source` to `target` must raise.
  tavrik::Error RenameFailure(const std::string& source, const std::string& target) {
    try {
      platform.RenameFile(source, target);
    } catch (const tavrik::Error& error) {
      return error;
    }
    ADD_FAILURE() << "renaming " << source << " to " << target << " must fail";
    return tavrik::Error(0, "");
  }
};
