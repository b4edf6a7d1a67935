#include "text_views.h"

#include <QEvent>
#include <QFontDatabase>
#include <QPainter>
#include <QSyntaxHighlighter>
#include <QTextBlock>

#include "tones.h"

namespace lantern_wharf::desktop {
namespace {

// Colours a unified diff's lines by their first characters.
class DiffHighlighter : public QSyntaxHighlighter {
 public:
  explicit DiffHighlighter(QPlainTextEdit* view)
      : QSyntaxHighlighter(view->document()), view_(view) {}

 protected:
  void highlightBlock(const QString& line) override {
    const QPalette palette = view_->palette();
    QTextCharFormat format;
    if (line.startsWith(QLatin1String("+++")) || line.startsWith(QLatin1String("---"))) {
      format.setFontWeight(QFont::Bold);
    } else if (line.startsWith(QLatin1Char('+'))) {
      format.setForeground(ink(Tone::Good, palette));
      format.setBackground(tint(Tone::Good, palette));
    } else if (line.startsWith(QLatin1Char('-'))) {
      format.setForeground(ink(Tone::Bad, palette));
      format.setBackground(tint(Tone::Bad, palette));
    } else if (line.startsWith(QLatin1String("@@"))) {
      format.setForeground(palette.color(QPalette::Link));
    } else {
      return;
    }
    setFormat(0, static_cast<int>(line.size()), format);
  }

 private:
  QPlainTextEdit* view_;
};

void read_only(QPlainTextEdit& view) {
  view.setReadOnly(true);
  view.setLineWrapMode(QPlainTextEdit::NoWrap);
  view.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  view.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

}  // namespace

DiffView::DiffView(QWidget* parent) : QPlainTextEdit(parent) {
  read_only(*this);
  new DiffHighlighter(this);
}

void DiffView::show_diff(const std::string& diff) {
  setPlainText(diff.empty() ? QStringLiteral("(nothing in /etc/hosts would change)")
                            : QString::fromStdString(diff));
}

void DiffView::changeEvent(QEvent* event) {
  QPlainTextEdit::changeEvent(event);
  if (event->type() == QEvent::PaletteChange) {
    if (auto* highlighter = document()->findChild<QSyntaxHighlighter*>())
      highlighter->rehighlight();
  }
}

FileView::FileView(QWidget* parent) : QPlainTextEdit(parent) { read_only(*this); }

void FileView::show_file(const std::string& bytes) {
  block_ = manager::block_span(bytes);
  setPlainText(QString::fromStdString(bytes));
}

void FileView::paintEvent(QPaintEvent* event) {
  if (block_.first != 0) {
    // The block's lines are tinted across the whole width, under the text.
    QPainter painter(viewport());
    const QColor tinted = block_tint(palette());
    for (QTextBlock line = firstVisibleBlock(); line.isValid(); line = line.next()) {
      const QRectF box = blockBoundingGeometry(line).translated(contentOffset());
      if (box.top() > viewport()->height()) break;
      const auto number = static_cast<std::uint64_t>(line.blockNumber()) + 1;
      if (number >= block_.first && number <= block_.last) {
        painter.fillRect(QRectF(0, box.top(), viewport()->width(), box.height()), tinted);
      }
    }
  }
  QPlainTextEdit::paintEvent(event);
}

}  // namespace lantern_wharf::desktop
