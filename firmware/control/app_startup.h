// The application: its start-up in order, then the main loop. Returns only
// when the main loop is told to stop.
#pragma once

void AppTaskMain();
