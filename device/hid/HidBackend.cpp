#include "device/hid/HidBackend.h"

#include <atomic>

namespace {
std::atomic<HidBackend *> g_installed{nullptr};
}

HidBackend &hidBackend()
{
    HidBackend *installed = g_installed.load(std::memory_order_acquire);
    return installed ? *installed : hidapiBackend();
}

void setHidBackend(HidBackend *backend)
{
    g_installed.store(backend, std::memory_order_release);
}
