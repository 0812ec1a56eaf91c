// Letters and symbols as centre lines, to be stroked: the artwork needs no installed font and
// comes out the same on every machine.
#pragma once

#include <QPainterPath>
#include <QRectF>

namespace artwork {

// Each letter fills box with its stem and bars running along the box's edges.
QPainterPath LetterL(const QRectF& box);
QPainterPath LetterR(const QRectF& box);
QPainterPath LetterE(const QRectF& box);
QPainterPath LetterS(const QRectF& box);
QPainterPath LetterC(const QRectF& box);

// The upper part of "?" (hook and stem) and of "!" (bar), ending at box's bottom; the dot goes
// below, drawn by the caller.
QPainterPath QuestionHook(const QRectF& box);
QPainterPath ExclamationBar(const QRectF& box);

// The return key's arrow: down from the top right, then left, ending at the left edge of box
// at its bottom, where the caller adds the arrow head.
QPainterPath ReturnLine(const QRectF& box);

}  // namespace artwork
