#pragma once
// Desktop services of the operating system that the system bridge needs
// beside audio: the microphone permission, key injection, and power and
// session notifications through a hidden message-only window.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace os {

// ---- microphone permission ---------------------------------------------------

enum class PermissionStatus { Undetermined, Granted, Denied };

class MicrophonePermission {
public:
    virtual ~MicrophonePermission() = default;
    virtual PermissionStatus status() = 0;
    // Asks the user. The answer comes once, on any thread, possibly before
    // request() returns; a request nobody answers never calls back.
    virtual void request(std::function<void(PermissionStatus)> answer) = 0;
};

// Where the system asks nobody (Linux has no per-program microphone
// permission): granted, and a request is answered at once.
class GrantedMicrophonePermission final : public MicrophonePermission {
public:
    PermissionStatus status() override { return PermissionStatus::Granted; }
    void request(std::function<void(PermissionStatus)> answer) override { answer(PermissionStatus::Granted); }
};

// ---- key injection -------------------------------------------------------------

inline constexpr std::uint32_t KEYEVENTF_KEYUP = 0x0002;

// One keyboard input record, as the system's input queue takes it.
struct KeyInput {
    std::uint16_t virtualKey = 0;
    std::uint16_t scanCode = 0;
    std::uint32_t flags = 0; // 0 for a key-down, KEYEVENTF_KEYUP for a key-up
    std::uint32_t time = 0;
    std::uintptr_t extraInfo = 0;

    friend bool operator==(const KeyInput&, const KeyInput&) = default;
};

class KeyInjector {
public:
    virtual ~KeyInjector() = default;
    // Inserts the records into the input stream in order; returns how many
    // were inserted.
    virtual std::uint32_t sendInput(const std::vector<KeyInput>& inputs) = 0;
};

// ---- power and session notifications ---------------------------------------------

inline constexpr std::uint32_t WM_QUIT = 0x0012;
inline constexpr std::uint32_t WM_POWERBROADCAST = 0x0218;
inline constexpr std::uint32_t WM_WTSSESSION_CHANGE = 0x02B1;

inline constexpr std::uintptr_t PBT_APMSUSPEND = 4;
inline constexpr std::uintptr_t PBT_APMRESUMESUSPEND = 7;
inline constexpr std::uintptr_t PBT_APMRESUMEAUTOMATIC = 18;
inline constexpr std::uintptr_t PBT_POWERSETTINGCHANGE = 0x8013;

inline constexpr std::uintptr_t WTS_SESSION_LOCK = 7;
inline constexpr std::uintptr_t WTS_SESSION_UNLOCK = 8;

using Guid = std::array<std::uint8_t, 16>;

// {6FE69556-704A-47A0-8F24-C28D936FDA47}, in memory order.
inline constexpr Guid GUID_CONSOLE_DISPLAY_STATE = {0x56, 0x95, 0xE6, 0x6F, 0x4A, 0x70, 0xA0, 0x47,
                                                    0x8F, 0x24, 0xC2, 0x8D, 0x93, 0x6F, 0xDA, 0x47};

// The record a power-setting change carries: the setting and its data
// bytes (their count is the record's data length).
struct PowerSetting {
    Guid setting{};
    std::vector<std::uint8_t> data;
};

struct WindowMessage {
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::optional<PowerSetting> setting; // with PBT_POWERSETTINGCHANGE; may be missing
};

enum class PowerWindowStep { ModuleHandle, RegisterClass, CreateWindow, RegisterSession, RegisterPowerSetting };

// A message-only window of one thread, registered for session
// notifications of this session and for display-state power notifications.
// Destroying it unregisters both and destroys the window, on its thread.
class MessageWindow {
public:
    virtual ~MessageWindow() = default;
    // Waits for the next message of the window's thread; false once the
    // quit message arrives.
    virtual bool getMessage(WindowMessage& message) = 0;
};

class PowerEvents {
public:
    virtual ~PowerEvents() = default;
    // Id of the calling thread, never 0.
    virtual std::uint32_t currentThreadId() = 0;
    // On the window's own thread: module handle, class (registered once per
    // process), window, session registration, power-setting registration.
    // Null at the first step that fails (reported in failedStep), with
    // whatever was made undone.
    virtual std::unique_ptr<MessageWindow> createMessageWindow(const std::wstring& className,
                                                               PowerWindowStep* failedStep) = 0;
    // Posts the quit message to a thread; false when it cannot be posted.
    virtual bool postQuit(std::uint32_t threadId) = 0;
};

} // namespace os
