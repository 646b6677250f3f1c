// The PC's drawing plugged into the simulated display, and the scenario
// runner's PNG screenshots and golden comparison.
#pragma once

#include "golden.h"
#include "scenario.h"
#include "typesetter.h"

namespace sim
{

// Text through the typesetter (which must outlive the display's use of it)
// and JPEG pictures through libjpeg-turbo.
void attachDrawing(Osd &osd, const Typesetter &typesetter);

// Scenario "screenshot NAME" writes NAME (".png" added when it has no
// extension) under options.screenshotDir; "expect golden NAME" compares the
// frame as `golden` says.
void attachPictures(ScenarioOptions &options, const GoldenSettings &golden);

} // namespace sim
