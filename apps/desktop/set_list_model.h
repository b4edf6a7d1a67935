// The sets of the document as a list, in the file's order: each with the
// switch of the whole set (partly on when some of its lines are), its count
// of lines on and off, its group, and its issues. Renaming is editing its
// name in place. Holds nothing of its own: every answer is read from the
// document when asked.
#ifndef LWK_APPS_DESKTOP_SET_LIST_MODEL_H_
#define LWK_APPS_DESKTOP_SET_LIST_MODEL_H_

#include <QAbstractListModel>

#include "document.h"
#include "outcome.h"

namespace lantern_wharf::desktop {

class SetListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  enum Role {
    CountsRole = Qt::UserRole + 1,  // "3 on, 1 off", and the group: ", one of "env""
    IssueCountRole,                 // the issues of the set and its lines
  };

  explicit SetListModel(Document& document, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  // What a change through the list did beyond itself, or why it was refused.
  void told(const lantern_wharf::desktop::Told& told);

 private:
  Qt::CheckState switched(std::size_t set) const;
  QString counts(std::size_t set) const;
  int issue_count(std::size_t set) const;

  Document& document_;
};

}  // namespace lantern_wharf::desktop

#endif  // LWK_APPS_DESKTOP_SET_LIST_MODEL_H_
