// An image file written on the caller's thread: the header stream, the boot image, the
// padding up to the first file block, and every file's data on its planned blocks. The
// file data is copied inside the kernel where the file systems allow it.
//
// The image is written beside its final name and renamed over it when complete, so a
// failed build (also one whose source changed under it) never replaces the image that
// was there.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "compilation/compilation.h"
#include "drive/messages.h"
#include "platform/file_copy.h"
#include "platform/file_streams.h"
#include "platform/image_destination.h"

namespace melvaro {

namespace {

constexpr int32_t kChunk = 131072;

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno ? errno : EIO, std::generic_category(), what);
}

// A system error whose text already says what and why.
class EDestinationError : public std::system_error {
 public:
  explicit EDestinationError(std::string text)
      : std::system_error(EIO, std::generic_category()), text_(std::move(text)) {}
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  std::string text_;
};

void WriteAll(TStreamEx& out, const uint8_t* data, int64_t length, const std::string& name) {
  while (length > 0) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(length, kChunk));
    if (out.Write(data, n) != n) Fail("cannot write " + name);
    data += n;
    length -= n;
  }
}

}  // namespace

int TCompilation::BuildImageDirect(const std::string& fileName) {
  LayoutImage(true, layoutRoot_);
  BuildHeader(true, layoutRoot_);
  TImageDestination destination;
  std::string error;
  if (!destination.Open(fileName, error)) throw EDestinationError(error);
  const std::string temp = destination.TempPath();
  try {
    THandleStreamEx out(destination.Fd());
    WriteAll(out, header_.data(), static_cast<int64_t>(header_.size()), temp);
    const std::vector<uint8_t> zero(kChunk, 0);
    auto writeZeros = [&](int64_t length) {
      for (; length > 0; length -= kChunk)
        WriteAll(out, zero.data(), std::min<int64_t>(length, kChunk), temp);
    };
    TFileCopier copier(KernelCopy);

    // Copies `length` bytes of a source onto whole blocks, inside the kernel where it can.
    // A source that has become shorter than planned is filled up with zeros, one that has
    // grown is cut, so that every later file stays on its planned blocks.
    auto copy = [&](const std::string& path, int64_t length) {
      TFileStreamEx in(path, fmOpenRead | fmShareDenyNone);
      const TCopyResult r = copier.Copy(in.Handle(), out.Handle(), length);
      if (r.fault != TCopyFault::kNone) {
        errno = r.error;
        Fail(r.fault == TCopyFault::kRead    ? "cannot read " + path
             : r.fault == TCopyFault::kWrite ? "cannot write " + temp
                                             : "cannot copy " + path + " into " + temp);
      }
      writeZeros((length + 2047) / 2048 * 2048 - r.copied);
      uint8_t more = 0;
      return r.copied == length && in.Read(&more, 1) == 0;
    };

    if (BootImageEnabled) copy(BootImagePath, int64_t{BootImageBlocks} * 2048);
    if (PadBlocks > 0) writeZeros(PadBlocks * 2048);
    for (const auto& f : files_) {
      if (f->IsDirectory() || f->Imported) continue;
      if (f->IsoLength == 0) {
        TFileStreamEx in(f->SourcePath, fmOpenRead | fmShareDenyNone);  // must exist
        continue;
      }
      const int64_t expected = int64_t{FirstFileBlock} + f->IsoLocation;
      const int64_t actual = StartBlock + out.Position() / 2048;
      if (expected != actual)
        Message(">>> " + std::string(msg::kInternalError0004) + " " + f->SourcePath + " " +
                    std::to_string(expected) + "<>" + std::to_string(actual),
                4);
      if (!copy(f->SourcePath, f->IsoLength)) {
        // The file changed since it was added: the image holds its planned length.
        Message(">>> " + std::string(msg::kInternalError0004) + " " + f->SourcePath + " " +
                    std::to_string(expected + (f->IsoLength + 2047) / 2048) + "<>" +
                    std::to_string(expected +
                                   (TCompilation::SourceFileSize(f->SourcePath) + 2047) / 2048),
                4);
        if (error.empty()) error = std::string(msg::kInternalError0004) + " " + f->SourcePath;
      }
    }
  } catch (...) {
    destination.Discard();
    throw;
  }
  // A failed build leaves the image that was there as it was; without one, the image
  // (with the changed sources' planned blocks) is kept for the user to look at.
  std::string commitError;
  if (!error.empty() && destination.Existed()) {
    destination.Discard();
  } else if (!destination.Commit(commitError)) {
    throw EDestinationError(commitError);
  }
  if (OnImageDone) OnImageDone(error);
  return 1;
}

}  // namespace melvaro
