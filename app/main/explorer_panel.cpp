#include "main/explorer_panel.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelection>
#include <QLabel>
#include <QRegularExpression>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>

namespace melvaro {

namespace {

// QFileSystemModel's columns: name, size, type, date modified.
constexpr int kNameColumn = 0;
constexpr int kSizeColumn = 1;
constexpr int kTypeColumn = 2;

QString WithoutTrailingSlash(QString path) {
  while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  return path;
}

}  // namespace

void TExplorerFilesModel::SetMask(const QString& mask) {
  mask_ = mask;
  patterns_.clear();
  all_ = false;
  for (const QString& piece : mask.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    const QString p = piece.trimmed();
    if (p == QLatin1String("*.*") || p == QLatin1String("*")) all_ = true;
    patterns_ << QRegularExpression(QRegularExpression::wildcardToRegularExpression(p),
                                    QRegularExpression::CaseInsensitiveOption);
  }
  if (patterns_.isEmpty()) all_ = true;
  invalidateFilter();
}

bool TExplorerFilesModel::filterAcceptsRow(int row, const QModelIndex& parent) const {
  const auto* model = static_cast<const QFileSystemModel*>(sourceModel());
  const QModelIndex index = model->index(row, kNameColumn, parent);
  if (model->isDir(index) || all_) return true;
  const QString name = model->fileName(index);
  for (const QRegularExpression& p : patterns_)
    if (p.match(name).hasMatch()) return true;
  return false;
}

bool TExplorerFilesModel::filterAcceptsColumn(int column, const QModelIndex&) const {
  return column != kTypeColumn;
}

QVariant TExplorerFilesModel::data(const QModelIndex& index, int role) const {
  const QModelIndex source = mapToSource(index);
  if (source.column() == kSizeColumn &&
      (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)) {
    const auto* model = static_cast<const QFileSystemModel*>(sourceModel());
    const QModelIndex name = source.siblingAtColumn(kNameColumn);
    if (model->isDir(name)) return QStringLiteral(" ");
    const qint64 kb = (model->size(name) + 1023) / 1024;
    return QStringLiteral("%1 KB").arg(QLocale().toString(kb));
  }
  if (source.column() == kSizeColumn && role == Qt::TextAlignmentRole)
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  return QSortFilterProxyModel::data(index, role);
}

TExplorerPanel::TExplorerPanel(QWidget* parent) : QWidget(parent) {
  folders_ = new QFileSystemModel(this);
  folders_->setFilter(QDir::AllDirs | QDir::Drives | QDir::NoDotAndDotDot);
  folders_->setRootPath(QString());
  files_ = new QFileSystemModel(this);
  files_->setFilter(QDir::AllDirs | QDir::Files | QDir::Drives | QDir::NoDot);
  files_->setReadOnly(true);
  filtered_ = new TExplorerFilesModel(this);
  filtered_->setSourceModel(files_);
  filtered_->setDynamicSortFilter(true);

  tree_ = new QTreeView(this);
  tree_->setObjectName(QStringLiteral("tvFolders"));
  tree_->setAccessibleName(tr("Source - Directory list"));
  tree_->setToolTip(tr("Source - Directory list"));
  tree_->setModel(folders_);
  for (int c = 1; c < folders_->columnCount(); ++c) tree_->hideColumn(c);
  tree_->setHeaderHidden(true);
  tree_->setDragEnabled(true);
  tree_->setDragDropMode(QAbstractItemView::DragOnly);
  tree_->setAnimated(true);

  list_ = new QTreeView(this);
  list_->setObjectName(QStringLiteral("lbFiles"));
  list_->setAccessibleName(tr("Files"));
  list_->setModel(filtered_);
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setDragEnabled(true);
  list_->setDragDropMode(QAbstractItemView::DragOnly);
  list_->setDefaultDropAction(Qt::CopyAction);
  list_->setUniformRowHeights(true);
  list_->setAlternatingRowColors(true);
  list_->header()->setStretchLastSection(false);
  list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  list_->setColumnWidth(1, 70);
  list_->hideColumn(2);  // the date: the panel is narrow

  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(tree_);
  split->addWidget(list_);
  split->setStretchFactor(0, 2);
  split->setStretchFactor(1, 3);
  split->setChildrenCollapsible(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(split);

  connect(tree_, &QTreeView::clicked, this, &TExplorerPanel::TreeFolderChosen);
  connect(tree_, &QTreeView::activated, this, &TExplorerPanel::TreeFolderChosen);
  connect(list_, &QTreeView::doubleClicked, this, &TExplorerPanel::ListItemOpened);
  connect(list_, &QTreeView::activated, this, &TExplorerPanel::ListItemOpened);
  connect(files_, &QFileSystemModel::directoryLoaded, this, [this](const QString& path) {
    if (WithoutTrailingSlash(path) != WithoutTrailingSlash(current_)) return;
    loaded_ = true;
    files_->sort(kNameColumn);
    Q_EMIT FolderReady(CurrentFolder());
  });
  SetFolder(QDir::homePath());
}

void TExplorerPanel::SetMask(const QString& mask) {
  filtered_->SetMask(mask);
}
QString TExplorerPanel::Mask() const {
  return filtered_->Mask();
}

void TExplorerPanel::SetFolder(const QString& folder) {
  const QString path = folder.isEmpty() ? QString() : WithoutTrailingSlash(QDir::cleanPath(folder));
  const QModelIndex index = folders_->index(path);
  tree_->setCurrentIndex(index);
  if (index.isValid()) tree_->scrollTo(index);
  ShowInList(path);
}

void TExplorerPanel::ShowInList(const QString& folder) {
  current_ = folder;
  loaded_ = folder.isEmpty();
  files_->setRootPath(folder);
  const QModelIndex root = filtered_->mapFromSource(files_->index(folder));
  list_->setRootIndex(root);
  list_->clearSelection();
  files_->sort(kNameColumn);
  if (loaded_) Q_EMIT FolderReady(CurrentFolder());
}

QString TExplorerPanel::CurrentFolder() const {
  return current_.isEmpty() ? kDrives : current_;
}

QString TExplorerPanel::TreeFolder() const {
  return WithoutTrailingSlash(folders_->filePath(tree_->currentIndex()));
}

void TExplorerPanel::Refresh() {
  const QString folder = current_;
  files_->setRootPath(QString());
  ShowInList(folder);
}

void TExplorerPanel::TreeFolderChosen(const QModelIndex& index) {
  ShowInList(WithoutTrailingSlash(folders_->filePath(index)));
}

void TExplorerPanel::ListItemOpened(const QModelIndex& index) {
  const QModelIndex source = filtered_->mapToSource(index.siblingAtColumn(0));
  if (!files_->isDir(source)) return;
  QString target;
  if (files_->fileName(source) == QLatin1String("..")) {
    // Above the top folder come the drives.
    target = current_ == QLatin1String("/") ? QString() : QFileInfo(current_).path();
  } else {
    target = WithoutTrailingSlash(files_->filePath(source));
  }
  SetFolder(target);
}

std::vector<TExplorerPanel::TItem> TExplorerPanel::Items() const {
  std::vector<TItem> items;
  const QModelIndex root = list_->rootIndex();
  const QItemSelectionModel* selection = list_->selectionModel();
  for (int row = 0; row < filtered_->rowCount(root); ++row) {
    const QModelIndex name = filtered_->index(row, 0, root);
    TItem item;
    item.caption = filtered_->data(name, Qt::DisplayRole).toString();
    if (current_.isEmpty()) item.caption = files_->filePath(filtered_->mapToSource(name));
    item.sizeText = filtered_->data(filtered_->index(row, 1, root), Qt::DisplayRole).toString();
    item.selected = selection->isRowSelected(row, root);
    items.push_back(item);
  }
  return items;
}

QStringList TExplorerPanel::SelectedFiles() const {
  QStringList paths;
  const QString folder = TreeFolder();
  for (const TItem& item : Items()) {
    if (!item.selected) continue;
    if (item.sizeText.startsWith(QLatin1Char(' '))) continue;
    if (CurrentFolder() == kDrives) continue;
    paths << (folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')) +
                 item.caption;
  }
  return paths;
}

void TExplorerPanel::SelectCaptions(const QStringList& captions) {
  const QModelIndex root = list_->rootIndex();
  QItemSelection selection;
  for (int row = 0; row < filtered_->rowCount(root); ++row) {
    const QModelIndex name = filtered_->index(row, 0, root);
    if (captions.contains(filtered_->data(name, Qt::DisplayRole).toString()))
      selection.select(name, name.siblingAtColumn(filtered_->columnCount(root) - 1));
  }
  list_->selectionModel()->select(selection,
                                  QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

}  // namespace melvaro
