#pragma once
// The pages of the main window, by their position in its tab bar.

/// Tab position of a main-window page.
enum class Page { Options = 0, Graphic = 1, Calculator = 2, NoiseSource = 3 };
