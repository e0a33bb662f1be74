// Fills a compilation from the command line's paths: a file goes to the disc's root, a
// folder becomes a disc folder of its name holding its whole contents, in name order.
#pragma once

#include <string>
#include <vector>

#include "compilation/compilation.h"

namespace melvaro::cli {

// False with `error` set when a path does not exist or a file could not be added.
bool AddPaths(TCompilation& compilation, const std::vector<std::string>& paths, std::string* error);

}  // namespace melvaro::cli
