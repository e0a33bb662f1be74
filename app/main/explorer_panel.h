// The explorer panel: a folder tree over the file system and, under it, the file list
// (lbFiles) of the tree's folder, filtered by the mode's mask ("*.wav;*.mp3"). Each
// file-list item has a caption (its name) and a size text: "N KB" for a file, " " for a
// folder and the parent-folder entry "..". Above the top folder the list shows the
// drives (the file system roots); its current folder is then "Drives".
#pragma once

#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <QWidget>
#include <vector>

class QFileSystemModel;
class QTreeView;
class QModelIndex;

namespace melvaro {

// The file list's model: folders always, files by the mask (without regard to case),
// the size column as "N KB" / " ".
class TExplorerFilesModel final : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit TExplorerFilesModel(QObject* parent = nullptr) : QSortFilterProxyModel(parent) {}
  // Patterns separated by ";" ("*.wav;*.mp3"); "*.*" and "*" match every file.
  void SetMask(const QString& mask);
  QString Mask() const { return mask_; }
  QVariant data(const QModelIndex& index, int role) const override;

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override;
  bool filterAcceptsColumn(int column, const QModelIndex& parent) const override;

 private:
  QString mask_;
  QList<QRegularExpression> patterns_;
  bool all_ = true;
};

class TExplorerPanel final : public QWidget {
  Q_OBJECT

 public:
  static inline const QString kDrives = QStringLiteral("Drives");

  explicit TExplorerPanel(QWidget* parent = nullptr);

  void SetMask(const QString& mask);
  QString Mask() const;
  // Shows `folder` in the tree and the list; an empty text shows the drives.
  void SetFolder(const QString& folder);
  // The list's current folder ("Drives" while it shows the drives), and the folder
  // selected in the tree (without a trailing "/" except for the root).
  QString CurrentFolder() const;
  QString TreeFolder() const;
  // Re-reads the current folder.
  void Refresh();
  // Whether the current folder's entries have been read.
  bool FolderLoaded() const { return loaded_; }

  struct TItem {
    QString caption;
    QString sizeText;
    bool selected = false;
  };
  // The file list's items in list order.
  std::vector<TItem> Items() const;
  // The full paths of the selected files, in list order: folders and the parent entry
  // are skipped, and nothing is taken while the list shows the drives.
  QStringList SelectedFiles() const;
  // Selects the items with these captions (and clears the rest).
  void SelectCaptions(const QStringList& captions);

  QTreeView* FolderTree() const { return tree_; }
  QTreeView* FileList() const { return list_; }

 Q_SIGNALS:
  // The current folder's entries have been read.
  void FolderReady(const QString& folder);

 private:
  void TreeFolderChosen(const QModelIndex& index);
  void ListItemOpened(const QModelIndex& index);
  void ShowInList(const QString& folder);

  QFileSystemModel* folders_ = nullptr;
  QFileSystemModel* files_ = nullptr;
  TExplorerFilesModel* filtered_ = nullptr;
  QTreeView* tree_ = nullptr;
  QTreeView* list_ = nullptr;
  QString current_;
  bool loaded_ = false;
};

}  // namespace melvaro
