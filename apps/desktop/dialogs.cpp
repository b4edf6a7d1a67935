#include "dialogs.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QPushButton>
#include <QSplitter>
#include <QStringListModel>
#include <QVBoxLayout>

#include "outcome.h"
#include "session.h"
#include "text_views.h"

namespace lantern_wharf::desktop {
namespace {

QLabel* sentence(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  label->setTextFormat(Qt::PlainText);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return label;
}

QString lines(const Told& told) {
  return (QStringList{told.sentence} + told.details).join(QLatin1Char('\n'));
}

}  // namespace

ReviewDialog::ReviewDialog(std::shared_ptr<const Preview> preview, const QStringList& notes,
                           QWidget* parent)
    : QDialog(parent), preview_(std::move(preview)) {
  setWindowTitle(QStringLiteral("Review the change to /etc/hosts"));
  setAccessibleName(windowTitle());
  auto* layout = new QVBoxLayout(this);
  for (const QString& note : notes) layout->addWidget(sentence(note, this));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  if (preview_->change) {
    layout->addWidget(sentence(
        QStringLiteral("The helper will write this into /etc/hosts: the file before and after."),
        this));
    auto* diff = new DiffView(this);
    diff->setObjectName(QStringLiteral("diff"));
    diff->setAccessibleName(QStringLiteral("Diff of /etc/hosts"));
    diff->show_diff(preview_->diff);
    layout->addWidget(diff, 1);
    QPushButton* apply = buttons->addButton(QStringLiteral("&Apply"), QDialogButtonBox::AcceptRole);
    apply->setObjectName(QStringLiteral("apply"));
    apply->setAccessibleName(QStringLiteral("Apply the change"));
    apply->setDefault(true);
  } else {
    auto* why = sentence(lines(told_failure(preview_->change.error(), preview_->sets)), this);
    why->setObjectName(QStringLiteral("refusal"));
    layout->addWidget(why, 1);
  }
  buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(QStringLiteral("Cancel"));
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  resize(760, 520);
}

HistoryDialog::HistoryDialog(std::shared_ptr<const HistoryReading> history, QWidget* parent)
    : QDialog(parent), history_(std::move(history)) {
  setWindowTitle(QStringLiteral("History of /etc/hosts"));
  setAccessibleName(windowTitle());
  auto* layout = new QVBoxLayout(this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->button(QDialogButtonBox::Close)->setAccessibleName(QStringLiteral("Close"));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  if (!history_->backups) {
    layout->addWidget(sentence(QString::fromStdString(history_->backups.error().sentence), this));
  } else if (history_->backups->empty()) {
    layout->addWidget(sentence(QStringLiteral("The helper keeps no backup yet: it makes one "
                                              "before each change it writes."),
                               this));
  } else {
    layout->addWidget(sentence(QStringLiteral("The helper's backups, newest first: the file as "
                                              "it was before each change, and what that change "
                                              "did."),
                               this));
    QStringList rows;
    const auto& kept = *history_->backups;
    for (std::size_t i = 0; i < kept.size(); ++i) {
      const auto made =
          QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(kept[i].nanoseconds / 1000000));
      rows << QStringLiteral("%1   %2   %3")
                  .arg(i + 1)
                  .arg(QLocale().toString(made, QLocale::ShortFormat),
                       QString::fromStdString(history_->what[i]));
    }
    auto* split = new QSplitter(Qt::Vertical, this);
    list_ = new QListView(split);
    list_->setObjectName(QStringLiteral("backups"));
    list_->setAccessibleName(QStringLiteral("Backups, newest first"));
    list_->setModel(new QStringListModel(rows, list_));
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* diff = new DiffView(split);
    diff->setObjectName(QStringLiteral("diff"));
    diff->setAccessibleName(QStringLiteral("What the change after the chosen backup did"));
    split->setStretchFactor(1, 1);
    layout->addWidget(split, 1);
    connect(list_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this, diff](const QModelIndex& current) {
              if (current.isValid()) {
                diff->show_diff(history_->diffs[static_cast<std::size_t>(current.row())]);
              }
            });
    list_->setCurrentIndex(list_->model()->index(0, 0));
    QPushButton* back =
        buttons->addButton(QStringLiteral("&Go back to this one"), QDialogButtonBox::AcceptRole);
    back->setObjectName(QStringLiteral("go back"));
    back->setAccessibleName(QStringLiteral("Go back to the chosen backup"));
    connect(back, &QPushButton::clicked, this, [this] {
      const QModelIndex current = list_->currentIndex();
      if (!current.isValid()) return;
      emit go_back(static_cast<std::size_t>(current.row()));
      accept();
    });
  }
  layout->addWidget(buttons);
  resize(760, 520);
}

ImportDialog::ImportDialog(Session& session, std::shared_ptr<const ImportReading> reading,
                           QWidget* parent)
    : QDialog(parent), session_(session), reading_(std::move(reading)) {
  setWindowTitle(QStringLiteral("Import %1").arg(reading_->path));
  setAccessibleName(windowTitle());
  const manager::Import& import = *reading_->import;
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(sentence(QStringLiteral("%1: %2 lines, to become a set of their own.")
                                 .arg(reading_->path)
                                 .arg(import.set.lines.size()),
                             this));
  auto* name_label = new QLabel(QStringLiteral("&Name of the set:"), this);
  name_ = new QLineEdit(QString::fromStdString(import.set.name), this);
  name_->setObjectName(QStringLiteral("name"));
  name_->setAccessibleName(QStringLiteral("Name of the imported set"));
  name_label->setBuddy(name_);
  layout->addWidget(name_label);
  layout->addWidget(name_);
  auto* buttons = new QDialogButtonBox(this);
  QString take_words = QStringLiteral("&Import");
  if (!import.refused.empty()) {
    layout->addWidget(sentence(
        QStringLiteral("The helper would refuse %1 of these lines:").arg(import.refused.size()),
        this));
    QStringList refused;
    for (const hosts_ipc::Issue& issue : import.refused) {
      refused << QStringLiteral("line %1: %2: %3")
                     .arg(issue.line)
                     .arg(QString::fromStdString(import.set.lines[issue.line - 1].text),
                          QString::fromStdString(issue.message));
    }
    auto* list = new QListView(this);
    list->setObjectName(QStringLiteral("refused"));
    list->setAccessibleName(QStringLiteral("Lines the helper would refuse"));
    list->setModel(new QStringListModel(refused, list));
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(list, 1);
    take_words = QStringLiteral("&Leave them out and import");
  }
  refusal_ = sentence(QString(), this);
  refusal_->setObjectName(QStringLiteral("refusal"));
  layout->addWidget(refusal_);
  QPushButton* take = buttons->addButton(take_words, QDialogButtonBox::AcceptRole);
  take->setObjectName(QStringLiteral("import"));
  take->setAccessibleName(take->text().remove(QLatin1Char('&')));
  take->setDefault(true);
  QPushButton* cancel =
      buttons->addButton(QStringLiteral("&Don't import"), QDialogButtonBox::RejectRole);
  cancel->setObjectName(QStringLiteral("cancel"));
  cancel->setAccessibleName(QStringLiteral("Don't import"));
  layout->addWidget(buttons);
  connect(take, &QPushButton::clicked, this, &ImportDialog::take);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  resize(600, import.refused.empty() ? 200 : 420);
}

void ImportDialog::take() {
  manager::Import import = *reading_->import;
  const std::size_t left_out = manager::leave_out_refused(import);
  import.set.name = name_->text().toStdString();
  auto taken = session_.take_import(std::move(import.set), left_out);
  if (!taken) {
    refusal_->setText(QString::fromStdString(taken.error().sentence));
    return;
  }
  accept();
}

}  // namespace lantern_wharf::desktop
