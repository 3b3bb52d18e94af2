#pragma once
// What must go before the program ends while the window system still exists (panels, global
// dialogs): registered here as it is made, released in reverse order by the application's exit
// path.  The one place that decides when such objects die.
#include <functional>

void t_atExit(std::function<void()> release);
// Runs every registered release, newest first, once; later registrations start a new list.
void t_runAtExit();
