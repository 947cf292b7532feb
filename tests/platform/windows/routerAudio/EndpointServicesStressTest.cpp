#include "EndpointServicesTestSupport.h"

#include "platform/windows/routerAudio/AudioSessionIcons.h"
#include "platform/windows/routerAudio/DeviceStateMonitor.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

TEST_F(EndpointServicesWorld, TwoBatchesOverTheSamePrograms)
{
    std::vector<AudioSessionInfo> records;
    for (uint32_t i = 0; i < 20; ++i) {
        const std::wstring path = L"C:\\Apps\\program" + std::to_wstring(i) + L".exe";
        m_world->setProgramIcon(path, solidIcon(i % 2 ? 16 : 200, 0xFF000000u + i));
        records.push_back({500 + i, L"program", path, L"Active", AudioRouterAPI::iconPathFor(path, 500 + i)});
    }
    std::atomic<int> done{0};
    auto batch = [&] { AudioRouterAPI::iconBatchThread({records, [](uint32_t, const std::wstring &) {}, [&] { ++done; }}); };
    // A listing while the batches write never finds half a file.
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (done.load() < 2) {
            std::error_code ec;
            for (std::filesystem::directory_iterator it(iconFolder(), ec), end; !ec && it != end; it.increment(ec)) {
                if (it->path().extension() == ".png" && !readPng(it->path()).decodes)
                    ++torn;
            }
        }
    });
    std::thread first(batch);
    std::thread second(batch);
    first.join();
    second.join();
    reader.join();
    EXPECT_EQ(done.load(), 2);
    EXPECT_EQ(torn.load(), 0);

    // Twenty whole files and nothing else: no torn or stray temporary file.
    int files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(iconFolder())) {
        ++files;
        const PngSize png = readPng(entry.path());
        EXPECT_TRUE(png.decodes) << entry.path();
        EXPECT_TRUE(png.width == 128 || png.width == 200) << entry.path();
    }
    EXPECT_EQ(files, 20);
}

TEST_F(EndpointServicesWorld, MonitorStartedRepeatedlyWhileNotificationsArrive)
{
    const std::wstring speakers = m_world->addEndpoint({L"Speakers", os::DataFlow::Render});
    const std::wstring phones = m_world->addEndpoint({L"Headphones", os::DataFlow::Render});
    m_world->flushNotifications();
    DeviceStateMonitor &monitor = DeviceStateMonitor::instance();
    std::atomic<int> calls{0};
    std::atomic<bool> stop{false};
    std::thread world([&] {
        for (int i = 0; !stop.load(); ++i) {
            m_world->setDefaultEndpoint(i % 2 ? speakers : phones);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int starts = 0;
    while (std::chrono::steady_clock::now() < end) {
        // Each start replaces the callback that notifications are copying.
        EXPECT_TRUE(monitor.start([&calls] { ++calls; }));
        ++starts;
    }
    stop = true;
    world.join();
    m_world->flushNotifications();
    monitor.stop();
    EXPECT_GT(calls.load(), 0);
    EXPECT_EQ(m_world->faults().calls(os::SimOp::RegisterNotification), 1u);
}

} // namespace
