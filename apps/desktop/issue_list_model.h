// Every issue the helper's check finds in the sets edited, in its order,
// each named as issue_text() names it; the window lists them under the
// lines, so that the problems of sets not shown are seen as well.
#ifndef LWK_APPS_DESKTOP_ISSUE_LIST_MODEL_H_
#define LWK_APPS_DESKTOP_ISSUE_LIST_MODEL_H_

#include <QAbstractListModel>

#include "document.h"

namespace lantern_wharf::desktop {

class IssueListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit IssueListModel(Document& document, QObject* parent = nullptr);

  // The issue of row `row`.
  const hosts_ipc::Issue& issue(int row) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  Document& document_;
};

}  // namespace lantern_wharf::desktop

#endif  // LWK_APPS_DESKTOP_ISSUE_LIST_MODEL_H_
