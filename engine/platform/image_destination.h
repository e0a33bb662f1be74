// Where an image file is written. The destination is checked before anything is
// written (a device node, a directory or any other non-regular file is refused; a
// symbolic link is followed to the file it names), the data go to a temporary file of
// a name of its own beside it, and only a complete image is renamed over the old one.
#pragma once

#include <string>

namespace melvaro {

class TImageDestination {
 public:
  TImageDestination() = default;
  ~TImageDestination() { Discard(); }
  TImageDestination(const TImageDestination&) = delete;
  TImageDestination& operator=(const TImageDestination&) = delete;

  // Resolves `requested` and creates the temporary file. False with `error` set (naming
  // the file and the reason); nothing is created then.
  bool Open(const std::string& requested, std::string& error);
  // The temporary file's descriptor (-1 when not open), the final and temporary paths.
  int Fd() const { return fd_; }
  const std::string& Path() const { return path_; }
  const std::string& TempPath() const { return temp_; }
  // Whether a file stood at the destination when it was opened.
  bool Existed() const { return existed_; }
  // Closes the temporary file and renames it over the destination. False with `error`
  // set when either fails; the temporary file is then removed and the old image stays.
  bool Commit(std::string& error);
  // Closes and removes the temporary file; the destination stays as it was.
  void Discard();

 private:
  std::string path_;
  std::string temp_;
  int fd_ = -1;
  bool existed_ = false;
};

}  // namespace melvaro
