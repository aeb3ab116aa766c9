#pragma once

#include <sane/sane.h>

#include <QString>

// One sentence for the user saying what a SANE status means.
QString saneStatusText(SANE_Status status);
