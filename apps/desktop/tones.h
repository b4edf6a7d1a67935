// The window's few colours, each made from the palette in use, so that they
// read as well in a dark style as in a light one.
#ifndef LWK_APPS_DESKTOP_TONES_H_
#define LWK_APPS_DESKTOP_TONES_H_

#include <QColor>
#include <QPalette>

namespace lantern_wharf::desktop {

// How an outcome or a line is to be taken.
enum class Tone { Neutral, Good, Warning, Bad };

// Whether `palette` is a dark one: light text on a dark window.
bool is_dark(const QPalette& palette);

// A background for something of `tone` (a line with issues, an outcome), a
// tint of the palette's base colour; Neutral gives the base itself.
QColor tint(Tone tone, const QPalette& palette);

// A text colour for something of `tone` on the base colour.
QColor ink(Tone tone, const QPalette& palette);

// The background that marks the managed block in the whole file.
QColor block_tint(const QPalette& palette);

}  // namespace lantern_wharf::desktop

#endif  // LWK_APPS_DESKTOP_TONES_H_
