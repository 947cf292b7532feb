#include "bridge/CachedListWorker.h"

#include "platform/os/Apartment.h"
#include "platform/os/OsPlatform.h"

bool CachedListWorker::start(std::function<bool()> pass, std::function<void()> finished)
{
    if (running.exchange(true))
        return false;
    platform = os::currentPlatform();
    m_previousSignature.clear();
    m_firstPass = true;
    worker = std::thread([this, pass = std::move(pass), finished = std::move(finished)] {
        const HRESULT apartment = os::initializeApartment(os::ApartmentKind::Multithreaded);
        while (running.load() && pass()) {
        }
        if (apartment == S_OK)
            os::uninitializeApartment();
        if (finished)
            finished();
    });
    return true;
}

bool CachedListWorker::stop(const std::function<void()> &wakeWaits)
{
    if (!running.exchange(false))
        return false;
    if (wakeWaits)
        wakeWaits();
    platform->clock().wake();
    if (worker.joinable())
        worker.join();
    return true;
}

bool CachedListWorker::store(QVariantList list, QString signature)
{
    {
        std::lock_guard lock(cacheMutex);
        cachedList = std::move(list);
    }
    cacheValid.store(true, std::memory_order_release);
    const bool changed = signature != m_previousSignature && !m_firstPass;
    m_previousSignature = std::move(signature);
    m_firstPass = false;
    return changed;
}
