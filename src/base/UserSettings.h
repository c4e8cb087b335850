#pragma once

#include <QSettings>

// The per-user settings store: application "Tarnvale" in the platform's
// native format. Every reader and writer of the store opens it through this.
QSettings userSettings();
