// The compilation: a tree of directories and files that names every file of a data
// disc, where its data comes from, and its ISO 9660 and Joliet names; its layout as an
// image (layout.cpp), and the bytes of the image header (header.cpp, descriptors.cpp,
// directory_records.cpp) and of a whole image file (image_file.cpp).
//
// The four tables own the records: the file table and the directory table in creation
// order (the order file data and directory extents take in the image), and two ordering
// tables of the same directories that the layout sorts into path-table order.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "compilation/entries.h"
#include "platform/file_copy.h"
#include "platform/file_search.h"

namespace melvaro {

class TSCSIDevice;

class TCompilation {
 public:
  using TAddFileEvent =
      std::function<void(TCompilation* sender, const std::string& fullPath,
                         std::string& longFileName, std::string& shortFileName, TDateTime& dateTime,
                         uint32_t attr, int64_t fileSize, bool& skip)>;
  using TAddDirEvent = std::function<void(TCompilation* sender, std::string& longName,
                                          std::string& shortName, bool& skip)>;
  // Debug and error lines: the text and its message type.
  using TMessageSink = std::function<void(const std::string& message, uint8_t mType)>;

  // A file the compilation could not take, with the reason; the caller tells the user.
  struct TLeftOut {
    std::string path;  // the source file, or the disc path of an imported one
    std::string reason;
  };

  TCompilation();
  virtual ~TCompilation();
  TCompilation(const TCompilation&) = delete;
  TCompilation& operator=(const TCompilation&) = delete;

  // The tree.
  bool ClearCompilation(uint32_t maxFiles, uint32_t maxDirs);
  uint32_t DirectoryCount() const { return static_cast<uint32_t>(dirs_.size()) - 1; }
  uint32_t FileCount() const { return static_cast<uint32_t>(files_.size()); }
  // 1 when the file was handed to AddFileEntry, 255 when FileName matched nothing, 0
  // when the destination directory does not exist.
  uint8_t InsertFile(const std::string& destPath, const std::string& fileName, bool keepPath);
  TDEntry* ForceDirectory(const std::string& path);
  TDEntry* CreateDirectory(TDEntry* parent, const std::string& name, uint32_t attr);
  TDEntry* AddDirectory(TDEntry* parent, const TSearchRec& search);
  int AddFileEntry(TDEntry* dir, const TSearchRec& search, bool resetArchive,
                   uint32_t importedLocation, const std::string& fullPath);
  // Names differing only in case are distinct entries, as on the disk they come from;
  // the lookups prefer the exact name and otherwise take the first equal ignoring case.
  TDEntry* FindDirectory(const std::string& path) const;
  TFEntry* FindEntry(const TDEntry* dir, const std::string& name) const;
  bool RemoveEntry(TDEntry* dir, TFEntry*& entry);
  bool RemoveDirectory(TDEntry*& dir);
  bool RemoveFile(const std::string& dirPath, const std::string& name);
  bool ClearArchiveBits();
  static int64_t SourceFileSize(const std::string& path);
  static std::string MakeShortName(const std::string& name);
  // Files given to the compilation since ClearCompilation that are not in it.
  const std::vector<TLeftOut>& LeftOut() const { return leftOut_; }

  TDEntry* RootDir() const { return dirs_.front().get(); }
  const std::vector<std::unique_ptr<TFEntry>>& Files() const { return files_; }
  const std::vector<std::unique_ptr<TDEntry>>& Directories() const { return dirs_; }
  const std::vector<TDEntry*>& IsoOrder() const { return isoOrder_; }
  const std::vector<TDEntry*>& JolietOrder() const { return jolietOrder_; }
  int8_t TimeZone15() const { return timeZone15_; }

  // Published options.
  bool ReplaceFile = false;
  bool LastFolderOnly = false;
  bool JolietFileSystem = true;
  bool WritePostGap = true;
  bool BootImageEnabled = false;
  std::string BootImagePath;
  std::string IdVolume, IdSystem, IdVolumeSet, IdPublisher, IdPreparer, IdApplication,
      FileCopyright, FileAbstract, FileBibliographic;
  TDateTime DateCreation = 0, DateModification = 0, DateEffective = 0, DateExpiration = 0;
  int64_t CompilationSize = 0;
  TAddFileEvent OnAddFile;
  TAddDirEvent OnAddDir;  // declared by the design; nothing raises it
  TMessageSink OnMessage;

  // Layout (layout.cpp). Returns 1. ToFile plans an image file; otherwise a disc, whose
  // next writable block is asked for when BurnPreparing is set.
  int LayoutImage(bool toFile, TDEntry* root = nullptr);
  int64_t ImageBlocks() const;
  bool NextWritableAddress();
  bool BurnPreparing = false;
  // Whether the last NextWritableAddress found a valid next writable block (sequential
  // media) or the medium is overwritable.
  bool NextWritableValid = false;
  // The drive the disc target asks; set by the owner.
  TSCSIDevice* Drive = nullptr;

  // Layout results.
  uint32_t StartBlock = 0;
  uint32_t PathTableL = 0, PathTableM = 0, JolietPathTableL = 0, JolietPathTableM = 0;
  uint32_t IsoPathTableSize = 0, JolietPathTableSize = 0;
  uint32_t IsoDirArea = 0, JolietDirArea = 0;
  int64_t IsoDirBytes = 0, JolietDirBytes = 0;
  uint32_t BootCatalogBlock = 0, BootImageBlock = 0, BootImageBlocks = 0;
  int64_t PadBlocks = 0;
  uint32_t FirstFileBlock = 0;
  int64_t TotalFileBlocks = 0;
  int64_t VolumeEnd = 0;
  int64_t ImageBlockCount = 0;
  uint8_t CurrentMediumKind = 0;

  // The image header (header.cpp).
  bool BuildHeader(bool toFile, TDEntry* root = nullptr);
  const std::vector<uint8_t>& HeaderStream() const { return header_; }
  const std::vector<uint8_t>& DescriptorCopy() const { return descriptorCopy_; }
  size_t DescriptorCopyLength() const { return descriptorCopyLength_; }
  TDEntry* LayoutRoot() const { return layoutRoot_; }
  // Record writers, each appending to the header stream.
  void WriteIsoPathTable(bool bigEndian);
  void WriteJolietPathTable(bool bigEndian);
  void WriteIsoDirectories();
  void WriteJolietDirectories();
  void WritePrimaryDescriptor();
  void WriteBootRecord();
  void WriteJolietDescriptor();
  void WriteTerminator();
  void WriteBootCatalog();

  // Session import and extraction (session_import.cpp). Session 255, or above the
  // disc's count, is the last session; True when a file system was read.
  bool ImportSession(uint8_t session, TDEntry* root = nullptr);
  // Copies an imported file off the disc; 1 when complete, 0 when a block could not be
  // read (reported, and no file is left). Throws std::system_error when DestName cannot
  // be created.
  int ExtractFile(const TFEntry* entry, const std::string& destName);
  // The disc paths ("\\MUSIC (block 1234)") of directories the last import could not
  // read; their entries are missing from the tree.
  std::vector<std::string> UnreadDirectories;
  // The block the last ExtractFile could not read, when it failed for that.
  std::optional<uint32_t> ReadFailureBlock;
  uint16_t ImportSessionNumber = 0;

  // An image file written on the caller's thread (image_file.cpp). Returns 1; throws
  // std::system_error when a file cannot be opened, read or written.
  int BuildImageDirect(const std::string& fileName);
  std::function<void(const std::string& error)> OnImageDone;
  // The kernel copy that moves the files' data into the image; where it refuses, the data
  // goes through a buffer. Tests put a refusing or failing one here.
  TKernelCopyCall KernelCopy = SystemKernelCopy();

 protected:
  // The header stream a job's cache reads (and empties).
  std::vector<uint8_t>& HeaderStreamForJob() { return header_; }
  void Message(const std::string& text, uint8_t mType) const {
    if (OnMessage) OnMessage(text, mType);
  }

 private:
  TDEntry* NewDirectory();
  TFEntry* NewFileEntry();
  void Append(TDEntry* dir, TFEntry* entry);
  void Unlink(TDEntry* dir, TFEntry* entry);
  void Index(TDEntry* dir, TFEntry* entry);
  void Unindex(TDEntry* dir, TFEntry* entry);
  std::string BuildPath(const TDEntry* dir) const;
  TDEntry* FindExactDirectory(const std::string& path) const;
  TFEntry* FindExactEntry(const TDEntry* dir, const std::string& name) const;
  void LeaveOut(const std::string& path, const std::string& reason);
  void NumberDirectories();
  void AssignIsoNames();
  void AssignJolietNames();
  void SortRecords();
  int64_t ExtentSize(const TDEntry* dir, bool joliet) const;
  // The local time zone's offset at a local date, in 15-minute units.
  int8_t OffsetAt(TDateTime local);
  void WriteDirectory(const TDEntry* dir, bool joliet);

  std::vector<std::unique_ptr<TFEntry>> files_;
  std::vector<std::unique_ptr<TDEntry>> dirs_;
  std::vector<TDEntry*> isoOrder_;
  std::vector<TDEntry*> jolietOrder_;
  std::unordered_map<std::string, std::vector<TDEntry*>> byPath_;  // upper-cased, in creation order
  std::unordered_map<std::string, TDEntry*> byExactPath_;
  std::vector<TLeftOut> leftOut_;
  uint32_t maxFiles_ = 0;
  uint32_t maxDirs_ = 0;
  int8_t timeZone15_ = 0;
  std::unordered_map<int64_t, int8_t> offsetByHour_;  // what OffsetAt found, by local hour
  std::vector<uint8_t> header_;
  std::vector<uint8_t> descriptorCopy_;
  size_t descriptorCopyLength_ = 0;
  TDEntry* layoutRoot_ = nullptr;
};

}  // namespace melvaro
