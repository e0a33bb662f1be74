#include "compilation/compilation.h"

#include <algorithm>
#include <cmath>

#include "compilation/names.h"
#include "drive/messages.h"
#include "platform/file_dates.h"
#include "platform/text_encoding.h"

namespace melvaro {

namespace {

int64_t RoundUpBlock(int64_t bytes) {
  return (bytes + 2047) / 2048 * 2048;
}

TDateTime DateOf(int32_t packed) {
  TDateTime value;
  return DosDateToDateTime(packed, value) ? value : DateTimeNow();
}

// Tree paths use "\" between names; disk paths "/".
std::string TreePathOfFolder(const std::string& folder) {
  std::string path = folder;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace

TCompilation::TCompilation() {
  ClearCompilation(65535, 8191);
}

TCompilation::~TCompilation() = default;

bool TCompilation::ClearCompilation(uint32_t maxFiles, uint32_t maxDirs) {
  timeZone15_ = TimeZoneOffset15();
  offsetByHour_.clear();
  header_.clear();
  files_.clear();
  dirs_.clear();
  isoOrder_.clear();
  jolietOrder_.clear();
  byPath_.clear();
  byExactPath_.clear();
  leftOut_.clear();
  maxFiles_ = maxFiles;
  maxDirs_ = maxDirs;
  CompilationSize = 0;
  layoutRoot_ = nullptr;
  auto root = std::make_unique<TDEntry>();
  root->ShortName = "CD_ROOT";
  root->LongName = "CD Root Directory";
  root->Path = "\\";
  root->ExactPath = "\\";
  root->Level = 1;
  root->Parent = root.get();
  isoOrder_.push_back(root.get());
  jolietOrder_.push_back(root.get());
  dirs_.push_back(std::move(root));
  return true;
}

// Dates are local times; every date carries the offset in effect then (daylight saving
// included), so that readers show the time the file had. Offsets change on the hour,
// so one look-up per local hour serves every date in it.
int8_t TCompilation::OffsetAt(TDateTime local) {
  const auto hour = static_cast<int64_t>(std::floor(local * 24));
  auto [it, added] = offsetByHour_.try_emplace(hour, 0);
  if (added) it->second = LocalOffset15At(static_cast<double>(hour) / 24 + 0.5 / 24);
  return it->second;
}

TDEntry* TCompilation::NewDirectory() {
  if (dirs_.size() - 1 >= maxDirs_) {
    Message(">>> " + msg::Format(msg::kMaximumDirectories, maxDirs_), 3);
    return nullptr;
  }
  dirs_.push_back(std::make_unique<TDEntry>());
  TDEntry* d = dirs_.back().get();
  isoOrder_.push_back(d);
  jolietOrder_.push_back(d);
  return d;
}

TFEntry* TCompilation::NewFileEntry() {
  if (files_.size() >= maxFiles_) {
    Message(msg::Format(msg::kMaximumFiles, maxFiles_), 3);
    return nullptr;
  }
  files_.push_back(std::make_unique<TFEntry>());
  return files_.back().get();
}

void TCompilation::Index(TDEntry* dir, TFEntry* entry) {
  dir->ByName[UpperAscii(entry->LongName)].push_back(entry);
}

void TCompilation::Unindex(TDEntry* dir, TFEntry* entry) {
  auto it = dir->ByName.find(UpperAscii(entry->LongName));
  if (it == dir->ByName.end()) return;
  std::erase(it->second, entry);
  if (it->second.empty()) dir->ByName.erase(it);
}

void TCompilation::Append(TDEntry* dir, TFEntry* entry) {
  entry->Next = nullptr;
  if (dir->LastEntry)
    dir->LastEntry->Next = entry;
  else
    dir->FirstEntry = entry;
  dir->LastEntry = entry;
  Index(dir, entry);
}

std::string TCompilation::BuildPath(const TDEntry* dir) const {
  std::vector<const TDEntry*> chain;
  for (const TDEntry* d = dir; d->Parent != d; d = d->Parent) chain.push_back(d);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) path += "\\" + (*it)->LongName;
  return path.empty() ? "\\" : path;
}

void TCompilation::LeaveOut(const std::string& path, const std::string& reason) {
  leftOut_.push_back({path, reason});
  Message(">>> FILE LEFT OUT: " + path + " (" + reason + ")", 4);
}

std::string TCompilation::MakeShortName(const std::string& name) {
  std::string s = UpperAscii(name.substr(0, 13));
  for (char& c : s) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 33 || u > 122) c = '_';
  }
  return s;
}

TDEntry* TCompilation::FindExactDirectory(const std::string& path) const {
  if (path.empty() || path == "\\") return RootDir();
  std::string key = path;
  if (key.size() > 1 && key.back() == '\\') key.pop_back();
  auto it = byExactPath_.find(key);
  return it == byExactPath_.end() ? nullptr : it->second;
}

TDEntry* TCompilation::FindDirectory(const std::string& path) const {
  if (TDEntry* exact = FindExactDirectory(path)) return exact;
  std::string key = path;
  if (key.size() > 1 && key.back() == '\\') key.pop_back();
  auto it = byPath_.find(UpperAscii(key));
  return it == byPath_.end() || it->second.empty() ? nullptr : it->second.front();
}

TFEntry* TCompilation::FindExactEntry(const TDEntry* dir, const std::string& name) const {
  if (!dir) return nullptr;
  auto it = dir->ByName.find(UpperAscii(name));
  if (it == dir->ByName.end()) return nullptr;
  for (TFEntry* e : it->second)
    if (e->LongName == name) return e;
  return nullptr;
}

TFEntry* TCompilation::FindEntry(const TDEntry* dir, const std::string& name) const {
  if (!dir) return nullptr;
  auto it = dir->ByName.find(UpperAscii(name));
  if (it == dir->ByName.end() || it->second.empty()) return nullptr;
  for (TFEntry* e : it->second)
    if (e->LongName == name) return e;
  return it->second.front();
}

TDEntry* TCompilation::AddDirectory(TDEntry* parent, const TSearchRec& search) {
  std::string path = parent->ExactPath + "\\" + search.Name;
  if (path.rfind("\\\\", 0) == 0) path.erase(0, 1);
  if (TDEntry* existing = FindExactDirectory(path)) return existing;
  TDEntry* dir = NewDirectory();
  if (!dir) return nullptr;
  TFEntry* item = NewFileEntry();
  if (!item) {
    // Undo the directory record: the tree stays as it was.
    isoOrder_.pop_back();
    jolietOrder_.pop_back();
    dirs_.pop_back();
    return nullptr;
  }
  const std::string shortName = search.AlternateName.empty() ? ShortName83(search.Name, true)
                                                             : UpperAscii(search.AlternateName);
  dir->Parent = parent;
  dir->LongName = search.Name;
  dir->ShortName = shortName;
  dir->Level = static_cast<uint8_t>(parent->Level + 1);
  item->LongName = search.Name;
  item->ShortName = shortName;
  item->Attributes = search.Attr;
  item->Directory = dir;
  item->DateTime = DateOf(search.Time);
  Append(parent, item);
  dir->ExactPath = BuildPath(dir);
  dir->Path = UpperAscii(dir->ExactPath);
  byPath_[dir->Path].push_back(dir);
  byExactPath_.emplace(dir->ExactPath, dir);
  return dir;
}

TDEntry* TCompilation::CreateDirectory(TDEntry* parent, const std::string& name, uint32_t attr) {
  std::string n = name;
  if (!n.empty() && n.front() == '\\') n.erase(0, 1);
  if (!n.empty() && n.back() == '\\') n.pop_back();
  TSearchRec search;
  search.Name = n;
  search.Time = PackDosDate(std::time(nullptr));
  search.Attr = attr;
  return AddDirectory(parent, search);
}

TDEntry* TCompilation::ForceDirectory(const std::string& path) {
  // A folder whose name differs only in case from an existing one is another folder.
  if (TDEntry* existing = FindExactDirectory(path)) return existing;
  const size_t slash = path.find_last_of('\\');
  const std::string parentPath = slash == std::string::npos ? "\\" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (!FindExactDirectory(parentPath)) ForceDirectory(parentPath);
  if (name.empty()) return nullptr;
  TDEntry* parent = FindExactDirectory(parentPath);
  return parent ? CreateDirectory(parent, name, 16) : nullptr;
}

int TCompilation::AddFileEntry(TDEntry* dir, const TSearchRec& search, bool resetArchive,
                               uint32_t importedLocation, const std::string& fullPath) {
  // The name stays as it is: the "." that an ISO 9660 file identifier needs is added
  // to the ISO name only, and names that differ in case are different files.
  std::string longName = search.Name;
  const bool directory = search.Attr & faDirectory;
  std::string shortName =
      search.AlternateName.empty() ? ShortName83(longName, directory) : search.AlternateName;
  TDateTime dateTime = DateOf(search.Time);
  const int64_t size = search.Size;
  // A directory record holds a 32-bit length: such a file cannot be described.
  const bool tooLarge = !directory && size >= (int64_t{1} << 32);
  bool skip = tooLarge;
  if (OnAddFile) OnAddFile(this, fullPath, longName, shortName, dateTime, search.Attr, size, skip);
  const std::string shownPath = fullPath.empty() ? BuildPath(dir) + "\\" + longName : fullPath;
  if (tooLarge) {
    Message(">>> FILE OF 4 GB OR MORE CANNOT BE ADDED: " + shownPath, 3);
    leftOut_.push_back({shownPath, "4 GB OR MORE"});
    return 0;
  }
  if (skip) return 0;  // the handler's choice
  TFEntry* existing = FindExactEntry(dir, longName);
  if (existing && existing->IsDirectory()) {
    if (!fullPath.empty()) LeaveOut(fullPath, "THE FOLDER HOLDS A FOLDER " + longName);
    return 0;
  }
  const bool replace = existing && ReplaceFile;
  if (!replace && existing) {
    // The same file given twice is there once; another file of that name is left out.
    // Imported entries meet their own names again when a session is imported twice,
    // and a new file of the same name keeps its place over the older one.
    if (!fullPath.empty() && existing->SourcePath != fullPath)
      LeaveOut(fullPath, "THE FOLDER HOLDS " + longName + " ALREADY");
    return 0;
  }
  TFEntry* entry = existing;
  if (!entry) {
    entry = NewFileEntry();
    if (!entry) {
      leftOut_.push_back({shownPath, "MAXIMUM FILES REACHED"});
      return 0;
    }
    entry->LongName = longName;
    Append(dir, entry);
  } else {
    CompilationSize -= RoundUpBlock(entry->IsoLength);
    Unindex(dir, entry);
    entry->LongName = longName;
    Index(dir, entry);
  }
  entry->ShortName = UpperAscii(shortName);
  entry->IsoLength = size;
  entry->JolietLength = size;
  entry->Attributes = search.Attr;
  entry->DateTime = dateTime;
  entry->SourcePath = fullPath;
  entry->ResetArchive = resetArchive;
  entry->Reserved2 = 0;
  if (importedLocation != 0) {
    entry->IsoLocation = entry->JolietLocation = importedLocation;
    entry->Imported = true;
  } else {
    CompilationSize += RoundUpBlock(size);
    entry->Imported = false;
  }
  return 1;
}

uint8_t TCompilation::InsertFile(const std::string& destPath, const std::string& fileName,
                                 bool keepPath) {
  TDEntry* dir = nullptr;
  if (!keepPath) {
    dir = FindDirectory(destPath);
  } else {
    // The file's folder below the root: "/home/u/Music/Rock/x.mp3" goes to
    // \home\u\Music\Rock, or to \Rock with LastFolderOnly.
    const size_t slash = fileName.find_last_of('/');
    std::string folder = slash == std::string::npos ? "/" : fileName.substr(0, slash + 1);
    std::string path = TreePathOfFolder(folder);
    if (path.empty() || path[0] != '\\') path = "\\" + path;
    if (LastFolderOnly && path.size() > 1) {
      const std::string inner = path.substr(0, path.size() - 1);
      path = "\\" + inner.substr(inner.find_last_of('\\') + 1) + "\\";
      if (path == "\\\\") path = "\\";
    }
    ForceDirectory(path);
    dir = FindDirectory(path);
  }
  if (!dir) {
    Message(std::string(msg::kInvalidDestinationPath), 4);
    return 0;
  }
  const auto found = FindFiles(fileName);
  if (found.empty()) return 255;
  AddFileEntry(dir, found.front(), false, 0, fileName);
  return 1;
}

void TCompilation::Unlink(TDEntry* dir, TFEntry* entry) {
  TFEntry* before = nullptr;
  for (TFEntry* e = dir->FirstEntry; e && e != entry; e = e->Next) before = e;
  if (before)
    before->Next = entry->Next;
  else if (dir->FirstEntry == entry)
    dir->FirstEntry = entry->Next;
  if (dir->LastEntry == entry) dir->LastEntry = before;
  Unindex(dir, entry);
}

bool TCompilation::RemoveEntry(TDEntry* dir, TFEntry*& entry) {
  if (!dir || !entry) return false;
  if (entry->IsDirectory() && entry->Directory) {
    TDEntry* sub = entry->Directory;
    for (TFEntry* e = sub->FirstEntry; e;) {
      TFEntry* next = e->Next;
      RemoveEntry(sub, e);
      e = next;
    }
    sub->FirstEntry = sub->LastEntry = nullptr;
    if (auto it = byPath_.find(sub->Path); it != byPath_.end()) {
      std::erase(it->second, sub);
      if (it->second.empty()) byPath_.erase(it);
    }
    byExactPath_.erase(sub->ExactPath);
    std::erase(isoOrder_, sub);
    std::erase(jolietOrder_, sub);
    std::erase_if(dirs_, [sub](const auto& d) { return d.get() == sub; });
  }
  Unlink(dir, entry);
  TFEntry* gone = entry;
  std::erase_if(files_, [gone](const auto& f) { return f.get() == gone; });
  entry = nullptr;
  return true;
}

bool TCompilation::RemoveDirectory(TDEntry*& dir) {
  if (!dir || dir->Path == "\\") return false;
  for (TFEntry* e = dir->FirstEntry; e;) {
    TFEntry* next = e->Next;
    RemoveEntry(dir, e);
    e = next;
  }
  // The item that stands for the directory in its parent's list.
  TDEntry* parent = dir->Parent;
  TFEntry* item = parent->FirstEntry;
  while (item && item->Directory != dir) item = item->Next;
  if (item) RemoveEntry(parent, item);
  dir = nullptr;
  return true;
}

bool TCompilation::RemoveFile(const std::string& dirPath, const std::string& name) {
  TDEntry* dir = FindDirectory(dirPath);
  TFEntry* entry = FindEntry(dir, name);
  if (!dir || !entry) return false;
  return RemoveEntry(dir, entry);
}

bool TCompilation::ClearArchiveBits() {
  for (const auto& f : files_)
    if (!f->IsDirectory() && (f->Attributes & faArchive) && f->ResetArchive)
      SetFileAttributes(f->SourcePath, f->Attributes & ~faArchive);
  return true;
}

int64_t TCompilation::SourceFileSize(const std::string& path) {
  const bool folder = !path.empty() && path.back() == '/';
  int64_t total = 0;
  for (const TSearchRec& rec : FindFiles(folder ? path + "*.*" : path)) {
    if (rec.Attr & faDirectory) {
      if (rec.Name != "." && rec.Name != "..") {
        const std::string base = folder ? path : path.substr(0, path.find_last_of('/') + 1);
        total += SourceFileSize(base + rec.Name + "/");
      }
    } else {
      total += rec.Size;
    }
  }
  return total;
}

}  // namespace melvaro
