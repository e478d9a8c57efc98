// One press of Activate and then one of Deactivate in FOLDER, as the
// window makes them, timed: "ACTIVATE DEACTIVATE" in seconds. Built by
// bench/drives against this and earlier versions' libraries alike, so it
// uses only what every version has: Brennel over the system's platform.
//
// Usage: walk_timer FOLDER
// Exit status: 0 when both presses ran to their end; 1 after a message
// box; 2 after an error.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "launcher.h"
#include "system_platform.h"

int main(int argc, char** argv) {
  if (argc != 2 || chdir(argv[1]) != 0) {
    std::fprintf(stderr, "usage: walk_timer FOLDER\n");
    return 2;
  }
  std::vector<std::string> messages;
  tavrik::SystemPlatform platform([&](const std::string& text) { messages.push_back(text); });
  tavrik::Brennel brennel(platform);
  brennel.Form_Load();
  double seconds[2] = {};
  try {
    for (int press = 0; press < 2 && messages.empty(); ++press) {
      const auto start = std::chrono::steady_clock::now();
      press == 0 ? brennel.Command3_Click() : brennel.Command4_Click();
      seconds[press] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
  } catch (const tavrik::Error& error) {
    std::fprintf(stderr, "error %lld: %s\n", static_cast<long long>(error.Number()),
                 error.Description().c_str());
    return 2;
  }
  for (const std::string& message : messages) std::fprintf(stderr, "%s\n", message.c_str());
  std::printf("%.4f %.4f\n", seconds[0], seconds[1]);
  return messages.empty() ? 0 : 1;
}
