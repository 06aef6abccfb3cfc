// Draws the link's status line and the info line under it: each text first
// in its shadow colour, then one pixel down and right in its text colour,
// with a transparent background.
#pragma once

#include <QFont>
#include <QPainter>
#include <QString>

namespace orvix {

// The status text at (1,1) and (2,2) in the colours of `status`, then the
// info line at (1,20) and (2,20). Positions are the texts' top left corners.
void paintStatusLines(QPainter& painter, const QFont& font, int status, const QString& statusText,
                      const QString& infoText);

// A small bold face in which the usual status lines fit a 240-pixel-wide
// window.
QFont statusLineFont();

}  // namespace orvix
