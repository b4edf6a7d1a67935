#include "tones.h"

namespace lantern_wharf::desktop {
namespace {

QColor mix(const QColor& a, const QColor& b, double t) {
  return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - t) + b.redF() * t),
                          static_cast<float>(a.greenF() * (1 - t) + b.greenF() * t),
                          static_cast<float>(a.blueF() * (1 - t) + b.blueF() * t));
}

QColor hue(Tone tone) {
  switch (tone) {
    case Tone::Neutral: return QColor(0x80, 0x80, 0x80);
    case Tone::Good: return QColor(0x2e, 0x9e, 0x4f);
    case Tone::Warning: return QColor(0xd9, 0x8c, 0x1a);
    case Tone::Bad: return QColor(0xd6, 0x3a, 0x3a);
  }
  return {};
}

}  // namespace

bool is_dark(const QPalette& palette) {
  return palette.color(QPalette::Window).lightness() <
         palette.color(QPalette::WindowText).lightness();
}

QColor tint(Tone tone, const QPalette& palette) {
  const QColor base = palette.color(QPalette::Base);
  if (tone == Tone::Neutral) return base;
  return mix(base, hue(tone), is_dark(palette) ? 0.32 : 0.18);
}

QColor ink(Tone tone, const QPalette& palette) {
  const QColor text = palette.color(QPalette::Text);
  if (tone == Tone::Neutral) return text;
  return mix(hue(tone), text, is_dark(palette) ? 0.15 : 0.35);
}

QColor block_tint(const QPalette& palette) {
  return mix(palette.color(QPalette::Base), palette.color(QPalette::Highlight),
             is_dark(palette) ? 0.25 : 0.12);
}

}  // namespace lantern_wharf::desktop
