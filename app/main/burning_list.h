// TBurningList: the report-style list of a burning list (TrackBox, clbox): whole-row
// multi-selection, grid lines, no editing. It accepts drops from the explorer file list
// and files and folders from the desktop's file manager (text/uri-list), and passes the
// Delete key on; what a drop adds is the main window's decision.
#pragma once

#include <QStringList>
#include <QTableWidget>

namespace melvaro {

class TBurningList final : public QTableWidget {
  Q_OBJECT

 public:
  static constexpr int kExtraCellsRole = Qt::UserRole + 1;

  // `columns`: header text and width of each column.
  TBurningList(const QString& name, const QList<QPair<QString, int>>& columns,
               QWidget* parent = nullptr);

  // The widget whose drags count as the explorer file list's.
  void SetExplorerList(QWidget* list) { explorerList_ = list; }
  // The cells of a row (column 0 is the caption), then the row's cells beyond the
  // columns (kept with the row, not shown); empty for a row out of range.
  QStringList Cells(int row) const;
  // Appends a row of cells (missing cells stay absent: a row may hold fewer cells than
  // there are columns, or more). Returns its index.
  int AppendRow(const QStringList& cells);
  // Selected rows in ascending order.
  QList<int> SelectedRows() const;
  // Whether a drag from `source` carrying `mime` may be dropped here.
  bool AcceptsDrag(const QObject* source, const QMimeData* mime) const;
  // A drop of `mime` dragged from `source`; false when it is refused.
  bool Drop(const QObject* source, const QMimeData* mime);

 Q_SIGNALS:
  // A drop from the explorer file list.
  void ExplorerDropped();
  // A drop of local files and folders from outside the program.
  void PathsDropped(const QStringList& paths);
  void DeletePressed();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void startDrag(Qt::DropActions) override {}

 private:
  QWidget* explorerList_ = nullptr;
};

}  // namespace melvaro
