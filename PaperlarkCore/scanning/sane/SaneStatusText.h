#pragma once

#include <sane/sane.h>

#include <QString>

// One sentence for the user saying what a SANE status means.
QString saneStatusText(SANE_Status status);

// Whether opening or starting a device may have failed because the
// connection to it has dropped (saned or a network scanner restarted, a USB
// device unplugged and plugged in again): an input/output error, "invalid
// argument" (how backends answer for a device they no longer have), or a
// status no SANE version defines (what the net backend passes on from a
// connection that no longer answers).
bool saneMayBeDisconnected(SANE_Status status);

// The sentence for a device that cannot be opened again after its
// connection dropped: nothing was being scanned.
QString saneUnreachableText();
