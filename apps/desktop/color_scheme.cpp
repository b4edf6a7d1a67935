#include "color_scheme.h"

#include <QApplication>
#include <QPainter>
#include <QPalette>
#include <QProxyStyle>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOption>

namespace lantern_wharf::desktop {
namespace {

QPalette dark_palette() {
  QPalette p;
  const QColor window(0x2b, 0x2d, 0x30);
  const QColor base(0x1e, 0x1f, 0x22);
  const QColor text(0xe6, 0xe6, 0xe6);
  const QColor dim(0x8a, 0x8d, 0x91);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, window);
  p.setColor(QPalette::ToolTipBase, window);
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, dim);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, QColor(0x35, 0x37, 0x3b));
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, Qt::white);
  p.setColor(QPalette::Light, QColor(0x45, 0x47, 0x4b));
  p.setColor(QPalette::Midlight, QColor(0x3a, 0x3c, 0x40));
  p.setColor(QPalette::Mid, QColor(0x25, 0x26, 0x29));
  p.setColor(QPalette::Dark, QColor(0x18, 0x19, 0x1b));
  p.setColor(QPalette::Shadow, Qt::black);
  p.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Link, QColor(0x78, 0xae, 0xf0));
  p.setColor(QPalette::LinkVisited, QColor(0xb0, 0x90, 0xf0));
  for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    p.setColor(QPalette::Disabled, role, dim);
  }
  return p;
}

// Fusion draws a check box's frame in a shade of the window colour, which a
// dark palette makes as dark as the base the box stands on: an unchecked
// box would vanish. The frame is drawn again in a colour that stands out.
class VisibleCheckBoxes : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    if (element != PE_IndicatorCheckBox) return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    painter->translate(0.5, 0.5);
    painter->setPen(option->palette.color(QPalette::PlaceholderText));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
    painter->restore();
  }
};

}  // namespace

void use_scheme(Scheme scheme) {
  QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"));
  if (fusion == nullptr) return;
  switch (scheme) {
    case Scheme::Light:
      QApplication::setStyle(fusion);
      QApplication::setPalette(fusion->standardPalette());
      break;
    case Scheme::Dark: {
      // The application owns its style, and the proxy the style it wraps.
      auto* visible = new VisibleCheckBoxes(fusion);
      visible->setParent(qApp);
      QApplication::setStyle(visible);
      QApplication::setPalette(dark_palette());
      break;
    }
  }
}

}  // namespace lantern_wharf::desktop
