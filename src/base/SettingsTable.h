#pragma once

#include <array>

// The 17 boxes of the main window kept in the settings store (application
// "Tarnvale", section "Settings"), in the order they are read and written.
struct SettingKey
{
    const char *key;
    const char *box; // objectName of the main window's text box
    const char *defaultValue;
};

inline constexpr std::array<SettingKey, 17> kSettingKeys{{
    {"Capital", "txtCapital", "500.00"},
    {"Commission", "txtComm", "10.99"},
    {"LastS", "txtLastS", "0.10"},
    {"LastE", "txtLastE", "0.50"},
    {"OpenS", "txtOpenS", "0.10"},
    {"OpenE", "txtOpenE", "0.50"},
    {"ChangeS", "txtChangeS", "0.01"},
    {"ChangeE", "txtChangeE", "10.00"},
    {"HighS", "txtHighS", "0.10"},
    {"HighE", "txtHighE", "0.50"},
    {"LowS", "txtLowS", "0.10"},
    {"LowE", "txtLowE", "0.50"},
    {"VolumeS", "txtVolumeS", "50000"},
    {"VolumeE", "txtVolumeE", "1000000"},
    {"SpreadS", "txtSpreadS", "0.01"},
    {"SpreadE", "txtSpreadE", "10.00"},
    {"QSSymbol", "txtQSSymbol", ""},
}};

inline constexpr const char *kSettingsApplication = "Tarnvale";
inline constexpr const char *kSettingsSection = "Settings";
