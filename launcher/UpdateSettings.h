#pragma once
// The launcher's update settings: the update server's host name and whether its certificate may
// be relaxed. They are launcher settings, not configuration members, kept in the file
// "LauncherSettings.txt" beside the launcher program:
//
//   # The update server (port 443); empty or missing: the Update button does nothing.
//   update_host = updates.example.org
//   # 1: a certificate the trusted authorities do not vouch for is accepted after a second try.
//   update_relaxed_certificates = 0
//
// Lines are "key = value" with blanks around both trimmed; empty lines and lines beginning with
// '#' are skipped. An unknown key, a line without '=' or a bad value is logged and ignored.
#include "core/base/ClassicString.h"

#include <string_view>

inline constexpr const char16_t* kLauncherSettingsFile = u"LauncherSettings.txt";
// A longer settings file is not read.
inline constexpr u32 kLauncherSettingsLimit = 65536;

struct SUpdateSettings {
    // Empty: no update server, and nothing to check.
    CClassicString Host;
    bool RelaxedCertificates = false;
};

// The settings of the text.
SUpdateSettings ParseUpdateSettings(std::string_view text);
// The settings of the file in the install folder (an engine path with its trailing backslash);
// the defaults when it is missing (silently) or cannot be read (with a log line).
SUpdateSettings ReadUpdateSettings(CClassicWideStringRef installFolder);
