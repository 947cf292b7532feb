#include "device/emulator/firmware_image.h"

#include <algorithm>
#include <cstring>

namespace veloran::emu {

namespace {

constexpr uint8_t kMagic[4] = {'V', 'L', 'F', 'W'};

uint32_t fnv1a(const uint8_t* bytes, size_t count)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < count; ++i) {
        h ^= bytes[i];
        h *= 16777619u;
    }
    return h;
}

void putLe(uint8_t* out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[i] = uint8_t(value >> (8 * i));
}

}  // namespace

uint32_t readLe(const uint8_t* bytes, int count)
{
    uint32_t v = 0;
    for (int i = 0; i < count; ++i)
        v |= uint32_t(bytes[i]) << (8 * i);
    return v;
}

std::vector<uint8_t> makeFirmwareImage(Model model, uint8_t major, uint8_t minor, size_t bytes)
{
    std::vector<uint8_t> image(std::max(bytes, kImageDescriptorBytes), 0);
    uint32_t state = 0x9E3779B9u ^ (uint32_t(major) << 8 | minor);
    for (size_t i = kImageDescriptorBytes; i < image.size(); ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        image[i] = uint8_t(state);
    }
    std::memcpy(image.data(), kMagic, sizeof kMagic);
    putLe(image.data() + 4, defaultConfig(model).productId, 2);
    image[6] = major;
    image[7] = minor;
    putLe(image.data() + 8, uint32_t(image.size()), 4);
    putLe(image.data() + 12, fnv1a(image.data() + kImageDescriptorBytes, image.size() - kImageDescriptorBytes), 4);
    return image;
}

std::vector<uint8_t> makePullFirmwareFile(Model model, uint8_t major, uint8_t minor, size_t bodyBytes)
{
    std::vector<uint8_t> file = {'V', 'e', 'l', 'o', 'r', 'a', 'n', ' ', 'p', 'u', 'l', 'l'};
    file.resize(32, 0x20);
    const std::vector<uint8_t> image = makeFirmwareImage(model, major, minor, bodyBytes);
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

std::optional<ImageDescriptor> readImageDescriptor(const uint8_t* bytes, size_t count)
{
    if (bytes == nullptr || count < kImageDescriptorBytes || std::memcmp(bytes, kMagic, sizeof kMagic) != 0)
        return std::nullopt;
    ImageDescriptor d;
    d.productId = uint16_t(readLe(bytes + 4, 2));
    d.major = bytes[6];
    d.minor = bytes[7];
    d.length = readLe(bytes + 8, 4);
    d.checksum = readLe(bytes + 12, 4);
    if (d.length < kImageDescriptorBytes || d.length > count)
        return std::nullopt;
    if (fnv1a(bytes + kImageDescriptorBytes, d.length - kImageDescriptorBytes) != d.checksum)
        return std::nullopt;
    return d;
}

FirmwareFlash::FirmwareFlash(size_t capacity) : m_bytes(capacity, 0xFF) {}

bool FirmwareFlash::inArea(uint32_t address, size_t length) const
{
    return address >= kApplicationAddress && length <= m_bytes.size() &&
           address - kApplicationAddress <= m_bytes.size() - length;
}

void FirmwareFlash::program(const std::vector<uint8_t>& image)
{
    std::fill(m_bytes.begin(), m_bytes.end(), 0xFF);
    std::copy_n(image.begin(), std::min(image.size(), m_bytes.size()), m_bytes.begin());
    m_erasedFrom = m_erasedTo = 0;
}

bool FirmwareFlash::erase(uint32_t address, size_t length)
{
    if (length == 0 || !inArea(address, length))
        return false;
    const size_t from = address - kApplicationAddress;
    std::fill_n(m_bytes.begin() + std::ptrdiff_t(from), length, 0xFF);
    m_erasedFrom = address;
    m_erasedTo = uint32_t(address + length);
    return true;
}

bool FirmwareFlash::write(uint32_t address, const uint8_t* bytes, size_t length)
{
    if (length == 0 || address < m_erasedFrom || address > m_erasedTo || length > m_erasedTo - address)
        return false;
    std::memcpy(m_bytes.data() + (address - kApplicationAddress), bytes, length);
    return true;
}

std::vector<uint8_t> FirmwareFlash::read(uint32_t address, size_t length) const
{
    if (address < kApplicationAddress || address - kApplicationAddress >= m_bytes.size())
        return {};
    const size_t from = address - kApplicationAddress;
    const size_t n = std::min(length, m_bytes.size() - from);
    return {m_bytes.begin() + std::ptrdiff_t(from), m_bytes.begin() + std::ptrdiff_t(from + n)};
}

std::optional<ImageDescriptor> FirmwareFlash::application(uint16_t productId) const
{
    const auto d = readImageDescriptor(m_bytes.data(), m_bytes.size());
    if (!d || d->productId != productId)
        return std::nullopt;
    return d;
}

}  // namespace veloran::emu
