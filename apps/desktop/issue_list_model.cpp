#include "issue_list_model.h"

#include <QApplication>
#include <QStyle>

#include "outcome.h"

namespace lantern_wharf::desktop {

IssueListModel::IssueListModel(Document& document, QObject* parent)
    : QAbstractListModel(parent), document_(document) {
  connect(&document_, &Document::issues_changed, this, [this] {
    beginResetModel();
    endResetModel();
  });
}

const hosts_ipc::Issue& IssueListModel::issue(int row) const {
  return document_.issues()[static_cast<std::size_t>(row)];
}

int IssueListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(document_.issues().size());
}

QVariant IssueListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole: return issue_text(issue(index.row()), document_.sets());
    case Qt::DecorationRole:
      return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
    default: return {};
  }
}

}  // namespace lantern_wharf::desktop
