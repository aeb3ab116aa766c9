#pragma once

#include <QColor>

// The colours a FlatButton is drawn with. A style only chooses colours; the
// shape, padding, font and the neutral disabled look belong to FlatButton.
struct ButtonStyle {
    QColor fill;        // at rest
    QColor pressedFill; // while the button is held down
    QColor border;
    QColor foreground; // label text and symbol
    QColor focusRing;  // replaces the border while the button has the focus

    bool operator==(const ButtonStyle&) const = default;
};

// The three styles of the application, used as FlatButton(text, PrimaryButtonStyle()).
// Each is only a named set of colours, so they live together here.

// The one main action of a group (Scan, Save, Send).
struct PrimaryButtonStyle : ButtonStyle {
    PrimaryButtonStyle();
};

// Every other action.
struct SecondaryButtonStyle : ButtonStyle {
    SecondaryButtonStyle();
};

// Actions that throw something away (Delete, Clear all).
struct DangerButtonStyle : ButtonStyle {
    DangerButtonStyle();
};
