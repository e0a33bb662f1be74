#include "node_access.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "scsi_device.h"

namespace melvaro {

namespace {

std::string ModeText(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode & 07777);
  return text;
}

std::string OwnerText(const TNodeOwner& owner) {
  return "owner " + owner.user + ", group " + owner.group + ", mode " + ModeText(owner.mode);
}

bool Refused(int error) {
  return error == EACCES || error == EPERM;
}

// What the user can do about a refused open.
std::string Remedy(const TNodeOwner& owner, bool forWriting) {
  if (!owner.known) return "";
  if (!owner.member)
    return "; this user is not in group " + owner.group + ": add the user to it and log in again";
  const unsigned groupBits = forWriting ? 020 : 040;
  if ((owner.mode & groupBits) == 0)
    return "; the mode gives group " + owner.group + " no " + (forWriting ? "write" : "read") +
           " permission";
  return "";
}

}  // namespace

std::string UnreachableNodeText(const std::string& path, int error, bool opened,
                                const TNodeOwner& owner) {
  if (opened) return path + ": the drive did not answer INQUIRY (" + std::strerror(error) + ")";
  if (!Refused(error)) return path + ": cannot be opened (" + std::strerror(error) + ")";
  std::string text = path + ": permission denied, the drive is not listed";
  if (owner.known) text += " (" + OwnerText(owner) + ")";
  return text + Remedy(owner, false);
}

std::string ReadOnlyNodeText(const std::string& path, int writeError, const TNodeOwner& owner) {
  std::string text = path + " opens for reading only (" + std::strerror(writeError);
  if (owner.known) text += "; " + OwnerText(owner);
  text += "): discs can be read, but writing and erasing need write permission on the node";
  return text + (Refused(writeError) ? Remedy(owner, true) : "");
}

std::vector<std::string> NodeAccessNotes(TTransport& transport) {
  std::vector<std::string> notes;
  if (!transport.Spti().Ready()) return notes;
  TSgKernel& kernel = transport.Kernel();
  for (const auto& node : transport.Spti().Unreachable()) {
    const std::string path = OpticalNodePath(node.node);
    notes.push_back(UnreachableNodeText(path, node.error, node.opened, kernel.NodeOwner(path)));
  }
  for (int p = TSptiLayer::kFirstPosition; p < TSptiLayer::kLastPosition; ++p) {
    const auto& entry = transport.Spti().Entry(p);
    if (!entry.present || entry.writeError == 0) continue;
    const std::string path = OpticalNodePath(p - TSptiLayer::kFirstPosition);
    notes.push_back(ReadOnlyNodeText(path, entry.writeError, kernel.NodeOwner(path)));
  }
  return notes;
}

std::string ReadOnlyNote(TSCSIDevice& device) {
  TTransport& transport = device.Transport();
  if (!transport.IsSpti()) return "";
  const int p = transport.Spti().PositionOf(device.HaId(), device.TargetId(), device.Lun());
  if (p < 0 || transport.Spti().Entry(p).writeError == 0) return "";
  const std::string path = OpticalNodePath(p - TSptiLayer::kFirstPosition);
  return ReadOnlyNodeText(path, transport.Spti().Entry(p).writeError,
                          transport.Kernel().NodeOwner(path));
}

}  // namespace melvaro
