#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>

#include "sign/run_command.h"

extern char** environ;

namespace lantern::sign {

pe::Status RunCommand(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = 0;
  const int started = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
  if (started != 0) {
    return pe::Failure{"the signing command '" + arguments[0] + "' cannot be started: " + std::strerror(started)};
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return pe::Failure{"waiting for the signing command failed: " + std::string(std::strerror(errno))};
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return pe::Done{};
  if (WIFEXITED(status)) {
    return pe::Failure{"the signing command '" + arguments[0] + "' failed with exit status " +
                       std::to_string(WEXITSTATUS(status))};
  }
  return pe::Failure{"the signing command '" + arguments[0] + "' was ended by signal " +
                     std::to_string(WTERMSIG(status))};
}

}  // namespace lantern::sign
