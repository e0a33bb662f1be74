#include "compilation_input.h"

#include <sys/stat.h>

#include "platform/file_search.h"

namespace melvaro::cli {

namespace {

bool AddFolder(TCompilation& c, const std::string& folder, const std::string& discPath,
               std::string* error) {
  if (!c.ForceDirectory(discPath)) {
    if (error) *error = "cannot create the disc folder " + discPath;
    return false;
  }
  for (const TSearchRec& rec : FindFiles(folder + "/*")) {
    if (rec.Name == "." || rec.Name == "..") continue;
    const std::string path = folder + "/" + rec.Name;
    if (rec.Attr & faDirectory) {
      if (!AddFolder(c, path, discPath + "\\" + rec.Name, error)) return false;
    } else if (rec.Size >= (int64_t{1} << 32)) {
      if (error) *error = path + " is 4 GiB or larger: ISO 9660 cannot record it";
      return false;
    } else if (c.InsertFile(discPath, path, false) != 1) {
      if (error) *error = "cannot add " + path;
      return false;
    }
  }
  return true;
}

}  // namespace

bool AddPaths(TCompilation& compilation, const std::vector<std::string>& paths,
              std::string* error) {
  for (std::string path : paths) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
      if (error) *error = "no such file or folder: " + path;
      return false;
    }
    if (S_ISDIR(st.st_mode)) {
      const std::string name = path.substr(path.find_last_of('/') + 1);
      if (!AddFolder(compilation, path, "\\" + name, error)) return false;
    } else if (st.st_size >= (off_t{1} << 32)) {
      if (error) *error = path + " is 4 GiB or larger: ISO 9660 cannot record it";
      return false;
    } else if (compilation.InsertFile("\\", path, false) != 1) {
      if (error) *error = "cannot add " + path;
      return false;
    }
  }
  return true;
}

}  // namespace melvaro::cli
