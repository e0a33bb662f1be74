// Filling the engine's compilation from the rows of the MP3 disc list: a file row puts
// the file in the disc's root; a folder row (its caption ends with "/") puts a disc
// folder of the folder's name in the root, holding the folder's whole contents.
#pragma once

#include <QString>
#include <QStringList>

namespace melvaro {

class TCompilation;

// Adds one row's caption. False with `error` set when the path does not exist or a
// file in it cannot be added; what was added before stays.
bool AddListedPath(TCompilation& compilation, const QString& caption, QString* error);

}  // namespace melvaro
