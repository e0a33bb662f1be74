#include "atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace melvaro {

namespace {

bool Fail(std::string* error, const std::string& what, const std::string& path, int err) {
  if (error) *error = what + " " + path + ": " + std::strerror(err);
  return false;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view content, bool durable,
                         std::string* error) {
  std::string pattern = path + ".tmp-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) return Fail(error, "cannot create a temporary file for", path, errno);
  const std::string temp(name.data());
  auto abandon = [&](const char* what) {
    const int err = errno;
    close(fd);
    unlink(temp.c_str());
    return Fail(error, what, path, err);
  };
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return abandon("cannot write");
    }
    done += static_cast<size_t>(n);
  }
  if (fchmod(fd, 0644) != 0) return abandon("cannot set the permissions of");
  if (durable && fsync(fd) != 0) return abandon("cannot flush");
  if (close(fd) != 0) {
    const int err = errno;
    unlink(temp.c_str());
    return Fail(error, "cannot write", path, err);
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    const int err = errno;
    unlink(temp.c_str());
    return Fail(error, "cannot replace", path, err);
  }
  return true;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string out;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      close(fd);
      errno = err;
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return out;
}

}  // namespace melvaro
