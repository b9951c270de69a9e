// What the Install button does, from the address in the field to the box that says how it went.
// Windows build only.
#pragma once

#include "InstallRun.h"

// With the field empty, looks for the TV on this PC's networks and offers what it found; with an
// address that cannot be used, says what to type; otherwise installs there (InstallRun.h), and
// where that fails says why and what to do, asking the TV itself where the logs cannot tell and
// offering a TV found elsewhere where nothing answers at the typed address.
void InstallFromWindow(const InstallControls& window, const WidgetData& widget);
