// The shared library as a loader sees it: the six functions under each of
// the three prefixes, undecorated, each name reaching one entry point.

#include "driverclient/NUVEXAudio.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>

namespace {

constexpr const char* kFunctions[] = {"Open", "Close", "GetFormat", "SetFormat", "Write", "GetStatus"};

class ExportsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = dlopen(NUVEX_AUDIO_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << dlerror();
    }
    void TearDown() override
    {
        if (library != nullptr)
            dlclose(library);
    }
    void* symbol(const std::string& name) const { return dlsym(library, name.c_str()); }

    void* library = nullptr;
};

TEST_F(ExportsTest, ThreePrefixesShareOneEntryPointEach)
{
    for (const char* function : kFunctions) {
        SCOPED_TRACE(function);
        void* vad = symbol(std::string("VadAudio_") + function);
        ASSERT_NE(vad, nullptr);
        EXPECT_EQ(symbol(std::string("TarvoAudio_") + function), vad);
        EXPECT_EQ(symbol(std::string("VeloranAudio_") + function), vad);
    }
}

TEST_F(ExportsTest, LinkedNamesAreTheExportedOnes)
{
    EXPECT_EQ(symbol("VadAudio_Open"), reinterpret_cast<void*>(&VadAudio_Open));
    EXPECT_EQ(symbol("VadAudio_Write"), reinterpret_cast<void*>(&VadAudio_Write));
}

TEST_F(ExportsTest, InternalsStayHidden)
{
    EXPECT_EQ(symbol("VadAudio_MapError"), nullptr);
    EXPECT_EQ(symbol("VadAudio_ValidateHandle"), nullptr);
}

TEST_F(ExportsTest, AnotherNameBehavesAlike)
{
    NUVEXControl_Install(nullptr);
    using OpenFn = int (*)(VadAudioHandle*);
    auto open = reinterpret_cast<OpenFn>(symbol("VeloranAudio_Open"));
    ASSERT_NE(open, nullptr);
    VadAudioHandle handle = nullptr;
    EXPECT_EQ(open(&handle), VAD_AUDIO_ERROR_DEVICE_NOT_FOUND);
    EXPECT_EQ(open(nullptr), VAD_AUDIO_ERROR_INVALID_PARAMETER);
}

} // namespace
