// The hidapi backend linked against a recording stand-in for hidapi.
#include "device/hid/HidBackend.h"

#include "HidapiStandIn.h"

#include <gtest/gtest.h>

#include <array>
#include <thread>
#include <vector>

using hidapi_standin::record;

namespace {

class HidapiBackendStandIn : public ::testing::Test
{
protected:
    void SetUp() override { hidapi_standin::reset(); }
    HidBackend &backend = hidapiBackend();
};

} // namespace

TEST_F(HidapiBackendStandIn, InitAndExitAreCountedAndTheLastCloseFinishesAnExit)
{
    HidHandle *handle = nullptr;
    // init, init, open, exit, exit, close: the library goes once, after the close.
    ASSERT_EQ(backend.init(), 0);
    ASSERT_EQ(backend.init(), 0);
    EXPECT_EQ(record().init, 1);
    handle = backend.openPath("standin/a");
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(backend.exit(), 0);
    EXPECT_EQ(record().exit, 0);
    EXPECT_EQ(backend.exit(), 0);
    EXPECT_EQ(record().exit, 0) << "exit under an open handle must wait for its close";
    backend.close(handle);
    EXPECT_EQ(record().exit, 1);
    EXPECT_EQ(record().exitWhileOpen, 0);

    // Without a handle the second exit ends it; an extra exit does nothing.
    ASSERT_EQ(backend.init(), 0);
    ASSERT_EQ(backend.init(), 0);
    EXPECT_EQ(record().init, 2);
    backend.exit();
    EXPECT_EQ(record().exit, 1);
    backend.exit();
    EXPECT_EQ(record().exit, 2);
    backend.exit();
    EXPECT_EQ(record().exit, 2);

    // An init between a deferred exit and the close keeps the library.
    ASSERT_EQ(backend.init(), 0);
    handle = backend.openPath("standin/b");
    backend.exit();
    ASSERT_EQ(backend.init(), 0);
    backend.close(handle);
    EXPECT_EQ(record().exit, 2);
    backend.exit();
    EXPECT_EQ(record().exit, 3);
    EXPECT_EQ(record().init, 3);
    EXPECT_EQ(record().exitWhileOpen, 0);
}

TEST_F(HidapiBackendStandIn, CallsOnOneHandleNeverOverlapAndErrorsArePerHandle)
{
    HidHandle *a = backend.openPath("standin/a");
    HidHandle *b = backend.openPath("standin/b");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(backend.openPath("elsewhere/c"), nullptr);
    EXPECT_EQ(backend.error(nullptr), L"no such device: elsewhere/c");
    EXPECT_EQ(backend.error(a), L"error of standin/a");
    EXPECT_EQ(backend.error(b), L"error of standin/b");

    // A reader in timed reads on each handle while other threads write, ask
    // for errors and strings and switch modes on the same handles.
    std::vector<std::thread> threads;
    for (HidHandle *h : {a, b}) {
        threads.emplace_back([this, h] {
            std::array<uint8_t, 64> buffer{};
            for (int i = 0; i < 20; ++i)
                backend.readTimeout(h, buffer.data(), buffer.size(), 20);
        });
        for (int t = 0; t < 3; ++t) {
            threads.emplace_back([this, h, t] {
                const uint8_t report[] = {0, 1, 2};
                std::array<wchar_t, 16> text{};
                for (int i = 0; i < 200; ++i) {
                    switch ((i + t) % 4) {
                    case 0: backend.write(h, report, sizeof report); break;
                    case 1: backend.error(h); break;
                    case 2: backend.getProductString(h, text.data(), text.size()); break;
                    case 3: backend.sendFeatureReport(h, report, sizeof report); break;
                    }
                }
            });
        }
    }
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(record().overlaps, 0);
    backend.close(a);
    backend.close(b);
    EXPECT_EQ(record().close, 2);
}
