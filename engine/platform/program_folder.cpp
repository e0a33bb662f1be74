#include "program_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace melvaro {

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string ExecutableFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return exe.parent_path().string();
}

std::string ProgramFolder() {
  if (const char* home = std::getenv("MELVARO_HOME"); home && *home) {
    std::string folder = home;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
  }
  const std::string exeFolder = ExecutableFolder();
  if (access(exeFolder.c_str(), W_OK) == 0) return exeFolder;
  const char* user = std::getenv("HOME");
  return JoinPath(user && *user ? user : "/tmp", ".local/share/melvaro");
}

}  // namespace melvaro
