#pragma once

// What screen readers are told about the controls that draw themselves:
// each gets the role and the name a sighted user reads. ElidedLabel is a
// label (a status bar when it reports outcomes, see ElidedLabel), GradientText
// a label, and WindowButtons a group of three push buttons, "Close",
// "Minimise" and "Maximise", that can be pressed.
namespace AccessibleControls {

// Registers the accessibility factory; later calls do nothing. The
// controls call it themselves when they are created.
void install();

} // namespace AccessibleControls
