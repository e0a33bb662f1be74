// Why a pass-through drive node cannot be used as the user wants, in words for the
// user: a CD/DVD node this process may not open (the drive is missing from the drive
// list), and a drive whose node opens for reading only (discs can be read, not written).
#pragma once

#include <string>
#include <vector>

#include "sg_kernel.h"

namespace melvaro {

class TSCSIDevice;
class TTransport;

// The node could not be opened (error: errno), or opened but did not answer INQUIRY.
std::string UnreachableNodeText(const std::string& path, int error, bool opened,
                                const TNodeOwner& owner);
// The node opened for reading only; writeError is the errno of the read-write open.
std::string ReadOnlyNodeText(const std::string& path, int writeError, const TNodeOwner& owner);

// One note for each CD/DVD node the pass-through layer could not open, then one for each
// listed drive that opens for reading only; none under another back end.
std::vector<std::string> NodeAccessNotes(TTransport& transport);
// The note of the current drive when its node opens for reading only; empty otherwise.
std::string ReadOnlyNote(TSCSIDevice& device);

}  // namespace melvaro
