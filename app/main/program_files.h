// Where the program's files are: the program folder (Option.ini, Tips.ini, temp/,
// Skins/, vrec/) and the help pages.
#pragma once

#include <QString>

namespace melvaro {

// The program folder, without a trailing "/" (MELVARO_HOME, else the executable's
// folder when writable, else ~/.local/share/melvaro).
QString ProgramFolderPath();
QString OptionFilePath(const QString& programFolder);
QString TipsFilePath(const QString& programFolder);
// The help pages: "Melvaro.html" in the program folder, else in the installed data
// folder (share/melvaro beside the executable's bin/). The program folder's path when
// neither exists.
QString HelpFilePath(const QString& programFolder);

}  // namespace melvaro
