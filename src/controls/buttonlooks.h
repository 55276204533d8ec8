#pragma once

// The button's looks: the colours of its three colour schemes, the corner pixels each
// outline style cuts away, and the pixel drawing of each style in its up, down and
// disabled looks. Kept apart from the widget, which only decides when to draw what.

#include "xpbutton.h"

#include <QList>
#include <QPoint>

class QPalette;

namespace controls::buttonlooks {

enum class Look { Up, Down, Disabled };

// Colour scheme 2 reads back and fore colour, scheme 1 (and any other value but 3) the
// palette's active button colours, scheme 3 fixed greys.
XPButton::Colours schemeColours(int scheme, const QColor &back, const QColor &fore,
                                const QPalette &palette);

// The pixels outline style `style` clips from a w x h button; empty for styles without.
QList<QPoint> cornerCuts(int style, int w, int h);

// Paints the whole surface (its size is the button's) in one look of one style: the face
// first, then outline and caption. Styles outside 1..7 give the face only.
void paint(QImage &surface, const QFont &font, int style, Look look,
           const XPButton::Colours &colours, const QString &caption, bool focus, bool isDefault);

} // namespace controls::buttonlooks
