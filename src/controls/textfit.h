#pragma once

// Forms sized to their texts. The forms are laid out in the designer's twips for a small
// system font; with a larger one (up to 12 pt) captions, lists and combo boxes would be cut.
// fitToTexts() grows a form once, before it is first shown, so that every caption fits,
// and keeps it inside the free area of the screen (1024 x 768 and up).

#include <QRect>
#include <QSize>

class QWidget;

namespace controls {

// A form placed by coordinates grows as a whole: its controls' places and sizes are scaled
// across and down by the largest factor that any text-bearing control needs (a caption's
// width, a line's height), so rows and columns keep their order and never overlap; never by
// more than lets the form fit in `available`. A form with a layout takes the size its layout
// needs, fixed-size buttons first growing to their captions. Nothing ever shrinks.
void fitToTexts(QWidget *form, const QSize &available);

// The room the message boxes leave for their title: the width of the title in the font of
// the window, plus the title bar's buttons.
int titleRoom(const QWidget *box, const QString &title);

} // namespace controls
