#pragma once

#include <QByteArray>
#include <QObject>

// Named actions sent to the application without knowing who handles them,
// for example the settings button asking for "showSettingsWindow".
namespace ApplicationActions {

// The object whose slots handle the actions (the application entry).
void setTarget(QObject* target);

// Calls the target's slot of that name (no arguments). False when there is
// no target or it has no such slot.
bool send(const QByteArray& action);

} // namespace ApplicationActions
