// The pause used by every long operation of the main window: it keeps the window live.
#pragma once

#include <functional>

// Registers the handler of pending window events that ResponsiveDelay runs between its steps;
// an empty function removes it.
void SetResponsiveDelayCallback(std::function<void()> callback);

// Pauses for the given milliseconds. Over 10 ms with a callback registered, it sleeps in steps
// of at most 10 ms and runs the callback after each; otherwise it sleeps in one go.
void ResponsiveDelay(int milliseconds);
