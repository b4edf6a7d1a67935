// Two read-only views of text: a unified diff, its added and removed lines
// coloured, and the whole hosts file, its managed block tinted. Both take
// their colours from the palette in use.
#ifndef LWK_APPS_DESKTOP_TEXT_VIEWS_H_
#define LWK_APPS_DESKTOP_TEXT_VIEWS_H_

#include <QPlainTextEdit>
#include <string>

#include "client/manager.h"

namespace lantern_wharf::desktop {

class DiffView : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit DiffView(QWidget* parent = nullptr);
  // Shows `diff`; an empty one as a sentence saying nothing would change.
  void show_diff(const std::string& diff);

 protected:
  void changeEvent(QEvent* event) override;
};

class FileView : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit FileView(QWidget* parent = nullptr);
  // Shows the file whose bytes are `bytes`, its managed block tinted.
  void show_file(const std::string& bytes);
  manager::LineSpan block() const { return block_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  manager::LineSpan block_;
};

}  // namespace lantern_wharf::desktop

#endif  // LWK_APPS_DESKTOP_TEXT_VIEWS_H_
