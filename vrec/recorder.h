// The virtual recorder of a vrec folder: its drives, in drives.ini order.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "drive_config.h"
#include "logical_unit.h"

namespace melvaro::vrec {

// Creates the folder when needed and writes the default drives.ini when it has none.
// False with `error` set when the folder cannot be prepared.
bool InitFolder(const std::string& folder, std::string* error);

// The drives of a prepared folder's drives.ini; nullopt with `error` set when it cannot
// be read or is damaged.
std::optional<std::vector<TDriveConfig>> LoadDriveConfigs(const std::string& folder,
                                                          std::string* error);

class TVirtualRecorder {
 public:
  // Opens the folder (preparing it with InitFolder); nullptr with `error` set when the
  // folder cannot be prepared or its drives.ini is damaged.
  static std::unique_ptr<TVirtualRecorder> Open(const std::string& folder, std::string* error);

  size_t DriveCount() const { return drives_.size(); }
  TLogicalUnit& Drive(size_t index) { return *drives_[index]; }
  const std::string& Folder() const { return folder_; }

 private:
  std::string folder_;
  std::vector<std::unique_ptr<TLogicalUnit>> drives_;
};

}  // namespace melvaro::vrec
