// BuildHeader: the header stream of an image, from the system area to the last
// directory extent (or the boot catalog).
#include <algorithm>

#include "compilation/compilation.h"
#include "drive/scsi_device.h"

namespace melvaro {

bool TCompilation::BuildHeader(bool toFile, TDEntry* root) {
  (void)toFile;
  layoutRoot_ = root;
  header_.clear();
  header_.reserve(static_cast<size_t>(FirstFileBlock - StartBlock) * 2048);
  header_.resize(16 * 2048, 0);
  WritePrimaryDescriptor();
  if (BootImageEnabled) WriteBootRecord();
  if (JolietFileSystem) WriteJolietDescriptor();
  WriteTerminator();
  descriptorCopy_.assign(65537, 0xFF);
  descriptorCopyLength_ = std::min(header_.size(), descriptorCopy_.size());
  std::copy_n(header_.begin(), descriptorCopyLength_, descriptorCopy_.begin());
  WriteIsoPathTable(false);
  WriteIsoPathTable(true);
  if (JolietFileSystem) {
    WriteJolietPathTable(false);
    WriteJolietPathTable(true);
  }
  WriteIsoDirectories();
  if (JolietFileSystem) WriteJolietDirectories();
  if (BootImageEnabled) WriteBootCatalog();
  ImageBlockCount = VolumeEnd - StartBlock;
  if (Drive) Drive->DoDebug = true;
  return true;
}

}  // namespace melvaro
