#include "recorder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "platform/atomic_file.h"
#include "platform/program_folder.h"

namespace melvaro::vrec {

namespace {

bool MakeFolders(const std::string& folder, std::string* error) {
  std::string path;
  size_t at = 0;
  while (at != std::string::npos) {
    at = folder.find('/', at + 1);
    path = folder.substr(0, at);
    if (path.empty()) continue;
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
      if (error) *error = "cannot create " + path + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

}  // namespace

bool InitFolder(const std::string& folder, std::string* error) {
  if (!MakeFolders(folder, error)) return false;
  const std::string ini = JoinPath(folder, "drives.ini");
  struct stat st;
  if (stat(ini.c_str(), &st) == 0) return true;
  return WriteFileAtomically(ini, FormatDrivesIni(DefaultDrives()), true, error);
}

std::optional<std::vector<TDriveConfig>> LoadDriveConfigs(const std::string& folder,
                                                          std::string* error) {
  const std::string ini = JoinPath(folder, "drives.ini");
  const auto text = ReadWholeFile(ini);
  if (!text) {
    if (error) *error = "cannot read " + ini + ": " + std::strerror(errno);
    return std::nullopt;
  }
  return ParseDrivesIni(*text, error);
}

std::unique_ptr<TVirtualRecorder> TVirtualRecorder::Open(const std::string& folder,
                                                         std::string* error) {
  if (!InitFolder(folder, error)) return nullptr;
  auto configs = LoadDriveConfigs(folder, error);
  if (!configs) return nullptr;
  std::unique_ptr<TVirtualRecorder> recorder(new TVirtualRecorder);
  recorder->folder_ = folder;
  for (size_t i = 0; i < configs->size(); ++i)
    recorder->drives_.push_back(std::make_unique<TLogicalUnit>(
        (*configs)[i], std::make_unique<TDriveStore>(folder, static_cast<int>(i))));
  return recorder;
}

}  // namespace melvaro::vrec
