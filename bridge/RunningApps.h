#pragma once
// Running applications with an audio session and installed programs, for
// the interface's application pickers: the cache state of the running list
// and the free functions the bridge builds both lists with
// (RunningApps.cpp, InstalledApps.cpp).

#include "bridge/CachedListWorker.h"
#include "platform/os/ProcessInfo.h"
#include "platform/windows/routerAudio/AudioSessionIcons.h"

#include <QFuture>
#include <QString>
#include <QVariantList>

#include <cstdint>
#include <vector>

inline constexpr int kRunningAppsWaitSteps = 20;
inline constexpr std::int64_t kRunningAppsWaitStepMs = 100;
inline constexpr int kInstalledIconSize = 128;

// Passes are counted once the wait after the store has its deadlines.
struct RunningAppsCache : CachedListWorker {
};

// The first applicable text of the version blocks: a Chinese block's
// product name (or, lacking one, its file description) wins at once;
// otherwise the first product name, or a file description when no product
// name came before.
QString chooseProductName(const std::vector<os::VersionStrings> &blocks);
// The product name from the file's version information; empty when it has
// none.
QString readProductName(const QString &path);
// The product name of the session's program, else the session's name.
QString sessionDisplayName(const AudioSessionInfo &session);
// One entry per application playing on the default output, the lowest
// process id of each display name, in the session listing's order.
QVariantList getWindowsRunningApplicationsWithIcon();
// What makes two running lists differ for the interface: sources and their
// process ids, not states, names or icons.
QString runningAppsSignature(const QVariantList &list);
// The data folders whose "applications" folders hold the platform's desktop
// entries (the parents of its program folders).
QStringList installedDataFolders();
// Draws the program's icon into a 128 x 128 PNG on the global thread pool,
// unless the file exists. GUI thread: the icon is looked up there.
QFuture<void> generateIconAsync(const QString &executablePath, const QString &iconFilePath, const QString &name);
