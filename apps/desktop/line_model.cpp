#include "line_model.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <algorithm>

#include "tones.h"

namespace lantern_wharf::desktop {
namespace {

char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

QString text(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

LineModel::LineModel(Document& document, QObject* parent)
    : QAbstractTableModel(parent), document_(document) {
  connect(&document_, &Document::reset, this, &LineModel::reset_rows);
  connect(&document_, &Document::lines_changed, this, &LineModel::on_lines_changed);
  connect(
      &document_, &Document::lines_about_to_be_added, this, [this](int set, int first, int last) {
        const int shown = static_cast<int>(document_.first_shown(static_cast<std::size_t>(set)));
        if (filtering() || set != set_ || first < shown) return;
        beginInsertRows({}, first - shown, last - shown);
        pending_ = {set, first - shown, last - shown};
      });
  connect(&document_, &Document::lines_added, this, [this] {
    if (pending_.set < 0) {
      if (filtering()) reset_rows();
      return;
    }
    const int shown = static_cast<int>(document_.first_shown(static_cast<std::size_t>(set_)));
    std::vector<Ref> added;
    for (int row = pending_.first; row <= pending_.last; ++row) {
      added.push_back({static_cast<std::uint32_t>(set_), static_cast<std::uint32_t>(row + shown)});
    }
    rows_.insert(rows_.begin() + pending_.first, added.begin(), added.end());
    pending_ = {};
    endInsertRows();
  });
  connect(
      &document_, &Document::lines_about_to_be_removed, this, [this](int set, int first, int last) {
        const int shown = static_cast<int>(document_.first_shown(static_cast<std::size_t>(set)));
        if (filtering() || set != set_ || first < shown) return;
        beginRemoveRows({}, first - shown, last - shown);
        pending_ = {set, first - shown, last - shown};
      });
  connect(&document_, &Document::lines_removed, this, [this] {
    if (pending_.set < 0) {
      if (filtering()) reset_rows();
      return;
    }
    const auto gone = static_cast<std::uint32_t>(pending_.last - pending_.first + 1);
    rows_.erase(rows_.begin() + pending_.first, rows_.begin() + pending_.last + 1);
    for (auto at = rows_.begin() + pending_.first; at != rows_.end(); ++at) at->line -= gone;
    pending_ = {};
    endRemoveRows();
  });
  connect(&document_, &Document::set_changed, this, [this] {
    if (filtering() && !rows_.empty()) {
      emit dataChanged(index(0, SetColumn), index(rowCount() - 1, SetColumn));
    }
  });
  connect(&document_, &Document::issues_changed, this, [this] {
    if (rows_.empty()) return;
    emit dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1),
                     {Qt::DisplayRole, Qt::BackgroundRole, Qt::ToolTipRole});
  });
}

void LineModel::show_set(int set) {
  if (set == set_) return;
  set_ = set;
  if (!filtering()) reset_rows();
}

void LineModel::set_filter(const QString& filter) {
  std::string folded_filter = filter.toStdString();
  std::transform(folded_filter.begin(), folded_filter.end(), folded_filter.begin(), folded);
  if (folded_filter == filter_) return;
  filter_ = std::move(folded_filter);
  reset_rows();
}

bool LineModel::holds_filter(std::string_view line) const {
  return std::search(line.begin(), line.end(), filter_.begin(), filter_.end(),
                     [](char a, char b) { return folded(a) == b; }) != line.end();
}

void LineModel::rebuild() {
  rows_.clear();
  const manager::Sets& sets = document_.sets();
  if (set_ >= static_cast<int>(sets.size())) set_ = -1;
  const auto add_set = [&](std::size_t s, bool all) {
    for (std::size_t i = document_.first_shown(s); i < sets[s].lines.size(); ++i) {
      if (all || holds_filter(sets[s].lines[i].text)) {
        rows_.push_back({static_cast<std::uint32_t>(s), static_cast<std::uint32_t>(i)});
      }
    }
  };
  if (!filtering()) {
    if (set_ >= 0) add_set(static_cast<std::size_t>(set_), true);
    return;
  }
  for (std::size_t s = 0; s < sets.size(); ++s) add_set(s, false);
}

void LineModel::reset_rows() {
  beginResetModel();
  pending_ = {};
  rebuild();
  endResetModel();
}

void LineModel::on_lines_changed(int set, int first, int last) {
  if (rows_.empty()) return;
  int low = -1;
  int high = -1;
  if (!filtering()) {
    if (set != set_) return;
    const int shown = static_cast<int>(document_.first_shown(static_cast<std::size_t>(set)));
    low = std::max(first - shown, 0);
    high = std::min(last - shown, rowCount() - 1);
  } else {
    for (int row = 0; row < rowCount(); ++row) {
      const Ref r = rows_[static_cast<std::size_t>(row)];
      if (static_cast<int>(r.set) != set || static_cast<int>(r.line) < first ||
          static_cast<int>(r.line) > last) {
        continue;
      }
      if (low < 0) low = row;
      high = row;
    }
  }
  if (low >= 0 && low <= high) emit dataChanged(index(low, 0), index(high, ColumnCount - 1));
}

int LineModel::row_of(std::size_t set, std::size_t line) const {
  if (!filtering()) {
    const std::size_t shown = static_cast<int>(set) == set_ ? document_.first_shown(set) : 0;
    if (static_cast<int>(set) != set_ || line < shown || line - shown >= rows_.size()) return -1;
    return static_cast<int>(line - shown);
  }
  const auto at = std::find_if(rows_.begin(), rows_.end(),
                               [&](const Ref& r) { return r.set == set && r.line == line; });
  return at == rows_.end() ? -1 : static_cast<int>(at - rows_.begin());
}

int LineModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int LineModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant LineModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Ref r = ref(index.row());
  const manager::Set& set = document_.sets()[r.set];
  const manager::Line& line = set.lines[r.line];
  const auto& issues = document_.issues_of(r.set, r.line + 1);
  const auto messages = [&] {
    QStringList out;
    for (const std::size_t i : issues) out << text(document_.issues()[i].message);
    return out;
  };
  const QPalette palette = QGuiApplication::palette();
  if (role == Qt::BackgroundRole) {
    return issues.empty() ? QVariant() : QVariant(tint(Tone::Bad, palette));
  }
  if (role == Qt::ToolTipRole) return issues.empty() ? QVariant() : messages().join('\n');
  switch (static_cast<Column>(index.column())) {
    case SwitchColumn:
      if (role == Qt::CheckStateRole) return line.enabled ? Qt::Checked : Qt::Unchecked;
      if (role == Qt::AccessibleTextRole) {
        return line.enabled ? QStringLiteral("switched on") : QStringLiteral("switched off");
      }
      return {};
    case SetColumn: return role == Qt::DisplayRole ? text(set.name) : QVariant();
    case NumberColumn:
      if (role == Qt::DisplayRole) return r.line + 1;
      if (role == Qt::TextAlignmentRole) return int(Qt::AlignRight | Qt::AlignVCenter);
      return {};
    case TextColumn:
      if (role == Qt::DisplayRole || role == Qt::EditRole) return text(line.text);
      if (role == Qt::FontRole) return QFontDatabase::systemFont(QFontDatabase::FixedFont);
      if (role == Qt::ForegroundRole && !line.enabled) {
        return palette.color(QPalette::Disabled, QPalette::Text);
      }
      if (role == Qt::AccessibleTextRole) {
        return text(line.text) + (line.enabled ? QString() : QStringLiteral(", switched off"));
      }
      return {};
    case IssueColumn:
      if (role == Qt::DisplayRole) return messages().join(QStringLiteral("; "));
      if (role == Qt::ForegroundRole) return ink(Tone::Bad, palette);
      return {};
    case ColumnCount: break;
  }
  return {};
}

bool LineModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.row() >= rowCount()) return false;
  const Ref r = ref(index.row());
  if (index.column() == SwitchColumn && role == Qt::CheckStateRole) {
    const bool on = value.value<Qt::CheckState>() == Qt::Checked;
    if (auto said = told_notes(document_.switch_lines(r.set, {r.line}, on))) emit told(*said);
    return true;
  }
  if (index.column() == TextColumn && role == Qt::EditRole) {
    const std::string typed = value.toString().toStdString();
    if (typed == document_.sets()[r.set].lines[r.line].text) return true;
    auto set = document_.set_line_text(r.set, r.line, typed);
    if (!set) emit told(told_failure(set.error(), document_.sets()));
    return set.has_value();
  }
  return false;
}

Qt::ItemFlags LineModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == SwitchColumn) flags |= Qt::ItemIsUserCheckable;
  if (index.column() == TextColumn) flags |= Qt::ItemIsEditable;
  return flags;
}

QVariant LineModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (static_cast<Column>(section)) {
    case SwitchColumn: return QStringLiteral("On");
    case SetColumn: return QStringLiteral("Set");
    case NumberColumn: return QStringLiteral("Line");
    case TextColumn: return QStringLiteral("Text");
    case IssueColumn: return QStringLiteral("Issues");
    case ColumnCount: break;
  }
  return {};
}

}  // namespace lantern_wharf::desktop
