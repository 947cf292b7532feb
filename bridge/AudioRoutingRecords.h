#pragma once
// The routing list of the mixer page on its way to the audio side, and the
// level reports on their way back. The list handed over while the routing
// API is stopped is parked process-wide and replayed once at its next start.

#include <QVariant>
#include <QVariantList>

#include <functional>
#include <optional>

class QObject;
struct AudioRouteConfig;

// A flag as the routing list may carry it (bool, number, text); fallback for
// a null value or an unknown word.
bool readAudioConfigFlag(const QVariant &value, bool fallback);
// One entry of the routing list as a routing record; none when its
// "processID" is present but not a whole number a source id can hold.
std::optional<AudioRouteConfig> parseAudioConfigEntry(const QVariant &entry);

// Parks the list while the routing API is stopped, else hands its records
// to the routing API.
void parseAudioConfigs(const QVariantList &list);
// Replays the parked list once; an empty one is dropped.
void applyPendingAudioConfigs();

// Installs the routing API's level callback: each report becomes a list of
// maps on the level thread and reaches callback on context's thread. An
// empty callback removes it.
void setLevelCallback(std::function<void(const QVariantList &)> callback, QObject *context);
