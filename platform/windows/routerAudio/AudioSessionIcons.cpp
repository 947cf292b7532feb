#include "platform/windows/routerAudio/AudioSessionIcons.h"

#include "platform/os/AudioEndpoints.h"
#include "platform/os/AudioSessions.h"
#include "platform/os/Imaging.h"
#include "platform/os/OsPlatform.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace {

// The part after the last backslash or slash; the whole text when it has none.
std::wstring afterLastSeparator(const std::wstring &path)
{
    const std::size_t at = path.find_last_of(L"\\/");
    return at == std::wstring::npos ? path : path.substr(at + 1);
}

std::wstring cutAtLastPeriod(const std::wstring &text)
{
    const std::size_t at = text.rfind(L'.');
    return at == std::wstring::npos ? text : text.substr(0, at);
}

bool iconCacheFolder(fs::path &folder)
{
    std::error_code ec;
    const fs::path temp = fs::temp_directory_path(ec);
    if (ec || temp.empty())
        return false;
    folder = temp / "VeloranDeck" / "icons";
    return true;
}

// An existing file; a folder of that name does not count.
bool isExistingFile(const std::wstring &path)
{
    std::error_code ec;
    const fs::file_status status = fs::status(fs::path(path), ec);
    return !ec && fs::exists(status) && !fs::is_directory(status);
}

const wchar_t *stateWord(HRESULT hr, os::AudioSessionState state)
{
    if (FAILED(hr))
        return L"Unknown";
    switch (state) {
    case os::AudioSessionState::Active:
        return L"Active";
    case os::AudioSessionState::Inactive:
        return L"Inactive";
    default:
        return L"Expired";
    }
}

} // namespace

namespace AudioRouterAPI {

std::wstring processImagePath(uint32_t processId)
{
    std::wstring path;
    if (FAILED(os::currentPlatform()->processImagePath(processId, path)))
        return {};
    return path;
}

std::wstring processBaseName(uint32_t processId)
{
    const std::wstring path = processImagePath(processId);
    return path.empty() ? std::wstring() : afterLastSeparator(path);
}

std::wstring iconPathFor(const std::wstring &exePath, uint32_t processId)
{
    fs::path folder;
    if (!iconCacheFolder(folder))
        return {};
    std::wstring base = exePath.empty() ? std::wstring() : cutAtLastPeriod(afterLastSeparator(exePath));
    if (base.empty())
        base = L"process_" + std::to_wstring(processId);
    for (wchar_t &c : base) {
        if (std::wstring_view(L"<>:\"/\\|?*").find(c) != std::wstring_view::npos)
            c = L'_';
    }
    return (folder / (base + L".png")).wstring();
}

std::wstring extractIconToPng(const std::wstring &exePath, uint32_t processId, uint32_t &width, uint32_t &height)
{
    width = 0;
    height = 0;
    const std::wstring path = iconPathFor(exePath, processId);
    if (path.empty())
        return {};
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    if (isExistingFile(path))
        return path;

    os::IconImage icon;
    if (FAILED(os::currentPlatform()->extractIcon(exePath, icon)) || !icon.valid())
        return {};
    if (icon.width < kIconSize || icon.height < kIconSize) {
        os::IconImage scaled = os::scaleImage(icon, kIconSize, kIconSize);
        if (scaled.valid())
            icon = std::move(scaled);
    }
    // Written through a temporary file and renamed, so a batch running
    // beside this one never finds half a file.
    if (!os::savePng(icon, fs::path(path)))
        return {};
    width = icon.width;
    height = icon.height;
    return path;
}

void iconWorker(IconWorkerJob job)
{
    const std::size_t begin = job.index * job.chunk;
    const std::size_t end = std::min(begin + job.chunk, job.total);
    for (std::size_t i = begin; i < end && i < job.records.size(); ++i) {
        const AudioSessionInfo &record = job.records[i];
        if (!record.exePath.empty() && !record.iconPath.empty() && !isExistingFile(record.iconPath)) {
            uint32_t width = 0;
            uint32_t height = 0;
            const std::wstring written = extractIconToPng(record.exePath, record.processId, width, height);
            if (!written.empty() && job.iconReady) {
                std::lock_guard lock(*job.batchMutex);
                job.iconReady(record.processId, written);
            }
        }
        const std::size_t done = job.done->fetch_add(1) + 1;
        bool expected = false;
        if (done >= job.total && job.allIconsDone && job.once->compare_exchange_strong(expected, true))
            job.allIconsDone();
    }
}

void iconBatchThread(IconBatchJob job)
{
    const std::size_t total = job.records.size();
    if (total == 0)
        return;
    const std::size_t threads = std::min(total, kMaxIconWorkers);
    const std::size_t chunk = (total + threads - 1) / threads;
    std::mutex batchMutex;
    std::atomic<std::size_t> done{0};
    std::atomic<bool> once{false};
    std::vector<std::thread> workers;
    workers.reserve(threads);
    for (std::size_t i = 0; i < threads; ++i) {
        workers.emplace_back(iconWorker, IconWorkerJob{job.records, job.iconReady, &batchMutex, &done, &once, i, chunk,
                                                       total, job.allIconsDone});
    }
    for (std::thread &worker : workers)
        worker.join();
    bool expected = false;
    if (job.allIconsDone && once.compare_exchange_strong(expected, true))
        job.allIconsDone();
}

std::vector<AudioSessionInfo> enumerateAudioSessions(IconReadyCallback iconReady, AllIconsDoneCallback allIconsDone)
{
    std::vector<AudioSessionInfo> list;
    std::shared_ptr<os::EndpointEnumerator> enumerator;
    std::shared_ptr<os::AudioEndpoint> endpoint;
    std::shared_ptr<os::AudioSessionManager> manager;
    std::vector<std::shared_ptr<os::AudioSessionControl>> sessions;
    if (FAILED(os::currentPlatform()->createEndpointEnumerator(enumerator)) || !enumerator
        || FAILED(enumerator->getDefaultEndpoint(os::DataFlow::Render, os::Role::Console, endpoint)) || !endpoint
        || FAILED(endpoint->activateSessionManager(manager)) || !manager
        || FAILED(manager->enumerateSessions(sessions)))
        return list;

    std::set<uint32_t> listed;
    for (const auto &session : sessions) {
        uint32_t processId = 0;
        if (!session || FAILED(session->getProcessId(processId)))
            continue;
        // Id 0 is the system sounds session; a process's first session wins.
        if (processId == 0 || !listed.insert(processId).second)
            continue;
        AudioSessionInfo record;
        record.processId = processId;
        record.exePath = processImagePath(processId);
        std::wstring displayName;
        if (SUCCEEDED(session->getDisplayName(displayName)))
            record.name = std::move(displayName);
        if (record.name.empty() && !record.exePath.empty()) {
            const std::size_t at = record.exePath.find_last_of(L"\\/");
            if (at != std::wstring::npos && at + 1 < record.exePath.size())
                record.name = cutAtLastPeriod(record.exePath.substr(at + 1));
            else
                record.name = record.exePath;
        }
        if (record.name.empty())
            record.name = cutAtLastPeriod(processBaseName(processId));
        if (record.name.empty())
            record.name = L"(unknown)";
        os::AudioSessionState state = os::AudioSessionState::Inactive;
        const HRESULT stateResult = session->getState(state);
        record.state = stateWord(stateResult, state);
        if (!record.exePath.empty())
            record.iconPath = iconPathFor(record.exePath, processId);
        list.push_back(std::move(record));
    }

    if (!list.empty() && iconReady)
        std::thread(iconBatchThread, IconBatchJob{list, std::move(iconReady), std::move(allIconsDone)}).detach();
    return list;
}

} // namespace AudioRouterAPI
