#pragma once
// A simulated world installed as the platform, the audio lines collected,
// and a private temporary folder for the icon cache.

#include "platform/os/OsPlatform.h"
#include "platform/os/sim/SimAudioWorld.h"
#include "platform/windows/routerAudio/MixerLog.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class EndpointServicesWorld : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_world = std::make_shared<os::SimAudioWorld>();
        os::installPlatform(m_world);
        setMixerLogSink([this](const std::string &line) {
            std::lock_guard lock(m_linesMutex);
            m_lines.push_back(line);
        });
        char pattern[] = "/tmp/veloran-endp-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_temp = pattern;
        m_oldTmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
        setenv("TMPDIR", m_temp.c_str(), 1);
    }
    void TearDown() override
    {
        os::installPlatform(nullptr);
        setMixerLogSink({});
        if (m_oldTmp.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", m_oldTmp.c_str(), 1);
        std::error_code ec;
        std::filesystem::remove_all(m_temp, ec);
    }

    std::vector<std::string> takeLines()
    {
        std::lock_guard lock(m_linesMutex);
        return std::exchange(m_lines, {});
    }
    std::filesystem::path iconFolder() const { return m_temp / "VeloranDeck" / "icons"; }

    std::shared_ptr<os::SimAudioWorld> m_world;
    std::filesystem::path m_temp;

private:
    std::string m_oldTmp;
    std::mutex m_linesMutex;
    std::vector<std::string> m_lines; // guarded by m_linesMutex
};

inline os::IconImage solidIcon(std::uint32_t size, std::uint32_t argb = 0xFF3060A0u)
{
    return os::IconImage{size, size, std::vector<std::uint32_t>(static_cast<std::size_t>(size) * size, argb)};
}

struct PngSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool decodes = false; // chunks whole, IDAT inflates to every scanline
};

// Reads a PNG file back: its header's size, and whether its pixels inflate.
inline PngSize readPng(const std::filesystem::path &path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PngSize size;
    if (png.size() < 33 || std::memcmp(png.data(), kSignature, 8) != 0)
        return size;
    auto be = [&](std::size_t at) {
        return (std::uint32_t{png[at]} << 24) | (std::uint32_t{png[at + 1]} << 16) | (std::uint32_t{png[at + 2]} << 8)
            | png[at + 3];
    };
    size.width = be(16);
    size.height = be(20);
    std::vector<std::uint8_t> idat;
    for (std::size_t pos = 8; pos + 12 <= png.size();) {
        const std::uint32_t length = be(pos);
        if (length > png.size() - pos - 12)
            return size;
        if (std::memcmp(&png[pos + 4], "IDAT", 4) == 0)
            idat.insert(idat.end(), png.begin() + static_cast<std::ptrdiff_t>(pos + 8),
                        png.begin() + static_cast<std::ptrdiff_t>(pos + 8 + length));
        pos += 12 + length;
    }
    std::vector<std::uint8_t> raw(static_cast<std::size_t>(size.height) * (1 + 4 * std::size_t{size.width}));
    uLongf rawSize = raw.size();
    size.decodes = !idat.empty() && uncompress(raw.data(), &rawSize, idat.data(), idat.size()) == Z_OK
        && rawSize == raw.size();
    return size;
}
