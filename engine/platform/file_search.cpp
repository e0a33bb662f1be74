#include "file_search.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>

#include "file_dates.h"

namespace melvaro {

namespace {

bool Fill(const std::string& full, const std::string& name, TSearchRec& rec) {
  struct stat st;
  if (stat(full.c_str(), &st) != 0) return false;
  rec.Name = name;
  rec.AlternateName.clear();
  rec.Size = S_ISDIR(st.st_mode) ? 0 : st.st_size;
  rec.Attr = S_ISDIR(st.st_mode) ? faDirectory : 0;
  if (!(st.st_mode & S_IWUSR)) rec.Attr |= 0x01;  // read-only
  rec.Time = PackDosDate(st.st_mtime);
  return true;
}

}  // namespace

std::vector<TSearchRec> FindFiles(const std::string& path) {
  std::vector<TSearchRec> found;
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);
  if (pattern.find_first_of("*?") == std::string::npos) {
    if (pattern.empty()) return found;  // a folder path ending in "/" names no entry
    TSearchRec rec;
    if (Fill(path, pattern, rec)) found.push_back(rec);
    return found;
  }
  if (pattern == "*.*") pattern = "*";
  DIR* dir = opendir(folder.c_str());
  if (!dir) return found;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (fnmatch(pattern.c_str(), name.c_str(), 0) != 0) continue;
    TSearchRec rec;
    if (Fill(folder + name, name, rec)) found.push_back(rec);
  }
  closedir(dir);
  std::sort(found.begin(), found.end(),
            [](const TSearchRec& a, const TSearchRec& b) { return a.Name < b.Name; });
  return found;
}

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  mode_t mode = st.st_mode & 07777;
  if (attributes & 0x01)
    mode &= ~(S_IWUSR | S_IWGRP | S_IWOTH);
  else
    mode |= S_IWUSR;
  return chmod(path.c_str(), mode) == 0;
}

}  // namespace melvaro
