#include "main/burning_list.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <algorithm>

namespace melvaro {

TBurningList::TBurningList(const QString& name, const QList<QPair<QString, int>>& columns,
                           QWidget* parent)
    : QTableWidget(0, static_cast<int>(columns.size()), parent) {
  setObjectName(name);
  setAccessibleName(name);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(true);
  setWordWrap(false);
  setAlternatingRowColors(true);
  setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setDropIndicatorShown(false);
  setContextMenuPolicy(Qt::CustomContextMenu);
  setTextElideMode(Qt::ElideMiddle);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  QStringList labels;
  for (const auto& column : columns) labels << column.first;
  setHorizontalHeaderLabels(labels);
  for (int i = 0; i < columns.size(); ++i) setColumnWidth(i, columns[i].second);
}

QStringList TBurningList::Cells(int row) const {
  QStringList cells;
  if (row < 0 || row >= rowCount()) return cells;
  for (int c = 0; c < columnCount(); ++c) {
    const QTableWidgetItem* cell = item(row, c);
    if (!cell) return cells;
    cells << cell->text();
  }
  if (const QTableWidgetItem* first = item(row, 0))
    cells << first->data(kExtraCellsRole).toStringList();
  return cells;
}

int TBurningList::AppendRow(const QStringList& cells) {
  const int row = rowCount();
  insertRow(row);
  for (int c = 0; c < cells.size() && c < columnCount(); ++c) {
    auto* cell = new QTableWidgetItem(cells[c]);
    cell->setToolTip(cells[c]);
    setItem(row, c, cell);
  }
  if (cells.size() > columnCount() && item(row, 0))
    item(row, 0)->setData(kExtraCellsRole, cells.mid(columnCount()));
  return row;
}

QList<int> TBurningList::SelectedRows() const {
  QList<int> rows;
  for (const QModelIndex& index : selectionModel()->selectedRows()) rows << index.row();
  std::sort(rows.begin(), rows.end());
  return rows;
}

bool TBurningList::AcceptsDrag(const QObject* source, const QMimeData* mime) const {
  if (source && source == explorerList_) return true;
  // Drags of our own other widgets (the folder tree) are refused; drags from other
  // programs are taken when they carry local files.
  if (source || !mime || !mime->hasUrls()) return false;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) return true;
  return false;
}

void TBurningList::dragEnterEvent(QDragEnterEvent* event) {
  if (AcceptsDrag(event->source(), event->mimeData())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TBurningList::dragMoveEvent(QDragMoveEvent* event) {
  if (AcceptsDrag(event->source(), event->mimeData())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TBurningList::dropEvent(QDropEvent* event) {
  if (!Drop(event->source(), event->mimeData())) {
    event->ignore();
    return;
  }
  event->setDropAction(Qt::CopyAction);
  event->accept();
}

bool TBurningList::Drop(const QObject* source, const QMimeData* mime) {
  if (!AcceptsDrag(source, mime)) return false;
  if (source) {
    Q_EMIT ExplorerDropped();
    return true;
  }
  QStringList paths;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) paths << url.toLocalFile();
  Q_EMIT PathsDropped(paths);
  return true;
}

void TBurningList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
    Q_EMIT DeletePressed();
    return;
  }
  QTableWidget::keyPressEvent(event);
}

}  // namespace melvaro
