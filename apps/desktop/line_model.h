// The lines of one set, or, while a filter is typed, the lines of every set
// that hold it: a row for each, with its switch, its set, its number as the
// helper numbers it, its text (edited in place) and the helper's issues with
// it. Rows are a list of references into the document's sets, rebuilt in one
// pass when the sets change shape, so that a set of 30,000 lines scrolls as
// one of 30 does; the data of a row is read from the document when asked.
#ifndef LWK_APPS_DESKTOP_LINE_MODEL_H_
#define LWK_APPS_DESKTOP_LINE_MODEL_H_

#include <QAbstractTableModel>
#include <cstdint>
#include <string>
#include <vector>

#include "document.h"
#include "outcome.h"

namespace lantern_wharf::desktop {

class LineModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { SwitchColumn, SetColumn, NumberColumn, TextColumn, IssueColumn, ColumnCount };

  // Where a row's line stands: its set and its index in the set (from 0).
  struct Ref {
    std::uint32_t set;
    std::uint32_t line;
  };

  explicit LineModel(Document& document, QObject* parent = nullptr);

  // Shows the lines of set `set` (none for -1), unless a filter is set.
  void show_set(int set);
  int shown_set() const { return set_; }
  // Shows the lines of every set whose text holds `filter`, letter case
  // aside; an empty filter shows the chosen set again.
  void set_filter(const QString& filter);
  bool filtering() const { return !filter_.empty(); }

  Ref ref(int row) const { return rows_[static_cast<std::size_t>(row)]; }
  // The row of line `line` of set `set`, or -1 when it is not shown.
  int row_of(std::size_t set, std::size_t line) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 signals:
  // What a switch did beyond its line (the group's other sets switched off).
  void told(const lantern_wharf::desktop::Told& told);

 private:
  void rebuild();
  void reset_rows();
  bool holds_filter(std::string_view text) const;
  void on_lines_changed(int set, int first, int last);

  Document& document_;
  int set_ = -1;
  std::string filter_;  // folded to lower case in ASCII
  std::vector<Ref> rows_;
  // A change the document announced and has not finished: the rows it adds
  // or removes in the set shown.
  struct Pending {
    int set = -1;
    int first = 0;
    int last = -1;
  } pending_;
};

}  // namespace lantern_wharf::desktop

#endif  // LWK_APPS_DESKTOP_LINE_MODEL_H_
