#pragma once
// The programs that play on the default playback endpoint, one record per
// process, and a cache of their icons as PNG files under the temporary
// folder. The listing returns at once; the icons are made afterwards by a
// detached batch of worker threads, and a cached file is never made twice
// (nor refreshed, nor deleted).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct AudioSessionInfo {
    uint32_t processId = 0;
    std::wstring name;
    std::wstring exePath;
    std::wstring state;
    std::wstring iconPath;
};

namespace AudioRouterAPI {

using IconReadyCallback = std::function<void(uint32_t processId, const std::wstring &pngPath)>;
using AllIconsDoneCallback = std::function<void()>;

inline constexpr std::size_t kMaxIconWorkers = 8;
inline constexpr uint32_t kIconSize = 128;

struct IconBatchJob {
    std::vector<AudioSessionInfo> records;
    IconReadyCallback iconReady;
    AllIconsDoneCallback allIconsDone;
};

struct IconWorkerJob {
    std::vector<AudioSessionInfo> records;
    IconReadyCallback iconReady;
    std::mutex *batchMutex = nullptr;          // serialises iconReady
    std::atomic<std::size_t> *done = nullptr;  // records handled by all workers
    std::atomic<bool> *once = nullptr;         // allIconsDone called
    std::size_t index = 0;
    std::size_t chunk = 0;
    std::size_t total = 0;
    AllIconsDoneCallback allIconsDone;
};

// In the platform's session order. iconReady runs once per PNG newly
// written, on worker threads, never twice at once; allIconsDone once per
// batch. The calling thread must have its apartment initialised.
std::vector<AudioSessionInfo> enumerateAudioSessions(IconReadyCallback iconReady, AllIconsDoneCallback allIconsDone);

// The cache file of a program (or of a process without an image path);
// empty when there is no temporary folder. Makes no file or folder.
std::wstring iconPathFor(const std::wstring &exePath, uint32_t processId);
// The PNG path when the file exists afterwards, empty on any failure; the
// size written, 0 x 0 when the file was there already.
std::wstring extractIconToPng(const std::wstring &exePath, uint32_t processId, uint32_t &width, uint32_t &height);
std::wstring processImagePath(uint32_t processId);
// The image path's part after its last backslash or slash.
std::wstring processBaseName(uint32_t processId);

void iconBatchThread(IconBatchJob job);
void iconWorker(IconWorkerJob job);

} // namespace AudioRouterAPI
