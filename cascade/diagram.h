#pragma once
// The block diagram of the cascade: each ticked stage as an amplifier triangle labelled with its
// own gain and the chain's running totals, each unticked stage as a through-line, and the input
// IP3 of the whole chain in the top-left corner. Painted whole from the calculator state as
// ComputeCascade left it; the diagram keeps no state of its own.

#include "cascade/cascade.h"

#include <QPoint>
#include <QString>

#include <array>
#include <vector>

class Canvas;

/// One line of a stage, from (x0 + dx, yc + dy) to (x0 + dx + w, yc + dy + h) relative to the
/// stage's origin (x0, yc); y grows downward.
struct StageSegment
{
    int dx, dy, w, h;
};

/// Input lead, the triangle's left side, its upper and lower sides meeting at the tip
/// (x0 + 110, yc), and the output lead.
constexpr std::array<StageSegment, 5> StageShape = {{
    {0, 0, 30, 0},
    {30, -40, 0, 80},
    {30, -40, 80, 40},
    {30, 40, 80, -40},
    {110, 0, 30, 0},
}};

/// Width of one stage, ticked or not: five stages take 700 pixels.
constexpr int kStageWidth = 140;

/// A line the diagram drew (end point not drawn).
struct DiagramLine
{
    QPoint from;
    QPoint to;
};

/// A text the diagram wrote, with its top-left corner.
struct DiagramText
{
    QPoint pos;
    QString text;
};

/// What one call of DrawCascade put on the image, in drawing order, so that positions can be
/// checked without looking at pixels.
struct CascadeDrawing
{
    int yc = 0;     ///< middle line of the image
    int left = 0;   ///< x of the first stage's origin (the five stages are centred)
    std::array<int, kCascadeStageCount> stageX{};  ///< origin x of stage 1 .. 5 (index s - 1)
    std::vector<DiagramLine> lines;
    std::vector<DiagramText> texts;
};

/// Fills the image white and paints the diagram of `state` in black with the small sans-serif
/// font. The image should be at least 700 pixels wide (the designed one is 744 × 118).
CascadeDrawing DrawCascade(Canvas &image, const CascadeState &state);
