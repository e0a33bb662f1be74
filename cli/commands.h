// melvaro-cli's commands; each returns the exit status.
#pragma once

#include <string>
#include <vector>

#include "options.h"

namespace melvaro::cli {

int Usage();
int Info(const std::vector<std::string>& args, const TGlobalOptions& options);
int Ls(const std::vector<std::string>& args, const TGlobalOptions& options);
int Extract(const std::vector<std::string>& args, const TGlobalOptions& options);
int Erase(const std::vector<std::string>& args, const TGlobalOptions& options);
int CloseSession(const std::vector<std::string>& args, const TGlobalOptions& options);
int Eject(const std::vector<std::string>& args, const TGlobalOptions& options);
int BuildIso(const std::vector<std::string>& args, const TGlobalOptions& options);
int Burn(const std::vector<std::string>& args, const TGlobalOptions& options);
int BurnIso(const std::vector<std::string>& args, const TGlobalOptions& options);
int AudioInfo(const std::vector<std::string>& args, const TGlobalOptions& options);

}  // namespace melvaro::cli
