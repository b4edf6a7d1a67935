#include "set_list_model.h"

#include <QApplication>
#include <QStyle>

namespace lantern_wharf::desktop {

SetListModel::SetListModel(Document& document, QObject* parent)
    : QAbstractListModel(parent), document_(document) {
  connect(&document_, &Document::reset, this, [this] {
    beginResetModel();
    endResetModel();
  });
  connect(&document_, &Document::set_changed, this,
          [this](int set) { emit dataChanged(index(set), index(set)); });
  connect(&document_, &Document::issues_changed, this, [this] {
    if (rowCount() > 0) emit dataChanged(index(0), index(rowCount() - 1));
  });
}

int SetListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(document_.sets().size());
}

Qt::CheckState SetListModel::switched(std::size_t set) const {
  const manager::LineCounts counts = manager::count_lines(document_.sets()[set]);
  if (counts.on == 0) return Qt::Unchecked;
  return counts.off == 0 ? Qt::Checked : Qt::PartiallyChecked;
}

QString SetListModel::counts(std::size_t set) const {
  return QString::fromStdString(manager::summed_up(document_.sets()[set]));
}

int SetListModel::issue_count(std::size_t set) const {
  int count = 0;
  for (const hosts_ipc::Issue& issue : document_.issues()) {
    // An issue of the request as a whole (set 0, line 0) is no set's own.
    count += issue.set == set && (issue.set != 0 || issue.line != 0);
  }
  return count;
}

QVariant SetListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const auto set = static_cast<std::size_t>(index.row());
  const QString name = QString::fromStdString(document_.sets()[set].name);
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return name;
    case Qt::CheckStateRole: return switched(set);
    case CountsRole: return counts(set);
    case IssueCountRole: return issue_count(set);
    case Qt::DecorationRole:
      if (issue_count(set) == 0) return {};
      return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    case Qt::ToolTipRole: {
      QStringList lines{counts(set)};
      for (const std::size_t i : document_.issues_of(set, 0)) {
        if (set != 0) lines << QString::fromStdString(document_.issues()[i].message);
      }
      if (const int n = issue_count(set)) lines << QStringLiteral("%1 issue(s)").arg(n);
      return lines.join(QLatin1Char('\n'));
    }
    case Qt::AccessibleTextRole: {
      const Qt::CheckState state = switched(set);
      const QString switch_word = state == Qt::Checked     ? QStringLiteral("on")
                                  : state == Qt::Unchecked ? QStringLiteral("off")
                                                           : QStringLiteral("partly on");
      QString text = QStringLiteral("%1, %2, %3").arg(name, switch_word, counts(set));
      if (const int n = issue_count(set)) text += QStringLiteral(", %1 issue(s)").arg(n);
      return text;
    }
    default: return {};
  }
}

bool SetListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.row() >= rowCount()) return false;
  const auto set = static_cast<std::size_t>(index.row());
  if (role == Qt::CheckStateRole) {
    const bool on = value.value<Qt::CheckState>() != Qt::Unchecked;
    if (auto said = told_notes(document_.switch_set(set, on))) emit told(*said);
    return true;
  }
  if (role == Qt::EditRole) {
    auto renamed = document_.rename_set(set, value.toString().toStdString());
    if (!renamed) emit told(told_failure(renamed.error(), document_.sets()));
    return renamed.has_value();
  }
  return false;
}

Qt::ItemFlags SetListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEditable;
}

}  // namespace lantern_wharf::desktop
