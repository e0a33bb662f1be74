// Names of SCSI operation codes for the debug reports: 22 characters each, padded with
// blanks; codes without a name show as two hexadecimal digits.
#pragma once

#include <cstdint>
#include <string>

namespace melvaro {

// The name of an operation code; code FFh has none and gives "".
const std::string& CommandName(uint8_t code);

}  // namespace melvaro
