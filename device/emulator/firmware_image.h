// Firmware images as the emulated device knows them, and the flash that
// holds one. The image starts with a descriptor the device checks before it
// boots it: magic "VLFW", product id (u16), major and minor version (u8),
// whole image length (u32) and an FNV-1a checksum (u32) of the bytes after
// the descriptor; all little-endian.
#pragma once

#include "device/emulator/emu_model.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace veloran::emu {

inline constexpr size_t kImageDescriptorBytes = 16;

struct ImageDescriptor {
    uint16_t productId = 0;
    uint8_t major = 0;
    uint8_t minor = 0;
    uint32_t length = 0;
    uint32_t checksum = 0;
};

// Little-endian number of 1 to 4 bytes.
uint32_t readLe(const uint8_t* bytes, int count);

// A valid image of the model's application, bytes long (at least the
// descriptor), the rest filled with a pattern that depends on the version.
std::vector<uint8_t> makeFirmwareImage(Model model, uint8_t major, uint8_t minor, size_t bytes);

// A firmware file of the pull road (T40, U20): a 32-byte head the device
// never receives, then an image of bodyBytes.
std::vector<uint8_t> makePullFirmwareFile(Model model, uint8_t major, uint8_t minor, size_t bodyBytes);

// The descriptor at the start of bytes when its magic, length (within the
// bytes given) and checksum hold.
std::optional<ImageDescriptor> readImageDescriptor(const uint8_t* bytes, size_t count);

// The application area of the device's flash, from kApplicationAddress on.
// Erased bytes read 0xFF. Writes land only inside the range erased last, as
// the boot loader programs what it has just erased. Not thread-safe: the
// unit that owns it serialises access.
class FirmwareFlash {
public:
    static constexpr uint32_t kApplicationAddress = 0x10000;
    static constexpr size_t kDefaultCapacity = 0x100000;

    explicit FirmwareFlash(size_t capacity = kDefaultCapacity);

    size_t capacity() const { return m_bytes.size(); }
    // The factory's programming: the whole area erased, then the image.
    void program(const std::vector<uint8_t>& image);
    // False, nothing changed, when the range leaves the application area.
    bool erase(uint32_t address, size_t length);
    // False, nothing written, unless the range lies inside the erased range.
    bool write(uint32_t address, const uint8_t* bytes, size_t length);
    // Clipped to the area.
    std::vector<uint8_t> read(uint32_t address, size_t length) const;
    // [first, end) of the last erase, addresses.
    std::pair<uint32_t, uint32_t> erasedRange() const { return {m_erasedFrom, m_erasedTo}; }
    // The application's descriptor when a valid image of that product is stored.
    std::optional<ImageDescriptor> application(uint16_t productId) const;

    const std::vector<uint8_t>& contents() const { return m_bytes; }

private:
    bool inArea(uint32_t address, size_t length) const;

    std::vector<uint8_t> m_bytes;
    uint32_t m_erasedFrom = 0;
    uint32_t m_erasedTo = 0;
};

}  // namespace veloran::emu
