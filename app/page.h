#pragma once
// The pages of the main window, by their position in its tab bar, and the few things that
// more than one page shows.

#include "noise/step_levels.h"

class QLabel;

/// Tab position of a main-window page.
enum class Page { Options = 0, Graphic = 1, Calculator = 2, NoiseSource = 3 };

/// The level fields of the calculator page, in the order of a step's four levels.
enum class LevelField { N2off, N2on, N12off, N12on };

/// The result line under the pages: the gain and noise figure that "Calculate!" and the step
/// display both show.
struct ResultLine
{
    QLabel *l_gain = nullptr;
    QLabel *l_NoiseFigure = nullptr;
};
