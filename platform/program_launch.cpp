#include "platform/program_launch.h"

#include <unistd.h>

#include <climits>
#include <string>

namespace talu::platform {

void ExecSiblingProgram(const char* name) {
  char self[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return;
  std::string path(self, static_cast<std::size_t>(length));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return;
  path.resize(slash + 1);
  path += name;
  char* const argv[] = {path.data(), nullptr};
  execv(path.c_str(), argv);
}

}  // namespace talu::platform
