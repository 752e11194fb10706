#pragma once
// The application's top-level handler, for one operator action.

#include <functional>

/// Runs `action` and reports any error it raises in an error message box, as the
/// application's top-level handler does: the operator's action ends there.
void Guarded(const std::function<void()> &action);
