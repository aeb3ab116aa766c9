#include "ui/controls/ButtonStyle.h"

#include "ui/controls/Theme.h"

PrimaryButtonStyle::PrimaryButtonStyle()
    : ButtonStyle{Theme::cyan.color(0.2), Theme::cyan.color(0.32), Theme::cyan.color(),
                  Theme::ink.color(), Theme::ink.color()} {}

SecondaryButtonStyle::SecondaryButtonStyle()
    : ButtonStyle{Theme::elevated.color(), Theme::lineBright.color(0.4), Theme::line.color(),
                  Theme::ink.color(), Theme::cyan.color()} {}

DangerButtonStyle::DangerButtonStyle()
    : ButtonStyle{Theme::danger.color(0.16), Theme::danger.color(0.3), Theme::danger.color(),
                  Theme::danger.color(), Theme::cyan.color()} {}
