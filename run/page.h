#pragma once
// The pages of the main window, in the order of their tabs.

enum class Page { Options = 0, Graphic = 1, Calculator = 2, NoiseSource = 3 };
