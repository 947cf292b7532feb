#pragma once

#include <QString>

// Shell actions behind the bridge's launch, URL and key operations.
// GUI thread.
bool openWindowsApplication(const QString &path);
bool simulateWindowsKeyPress(const QString &hotkey);
// False, with a warning, for anything but an absolute http, https, mailto
// or file address (an empty text is the local host's address), and for a
// file that opening would run: a program or a desktop entry.
bool openWindowsUrl(const QString &url);
// Closes every top-level window and leaves the event loop with 0.
void closeWindowsAndExit();
