#pragma once
// Result codes of the operating-system layer, HRESULT-style: negative is a
// failure, zero or positive a success. The values are the documented public
// ones so that log lines read the same on every platform; the definitions
// are our own.

#include <cstdint>

using HRESULT = std::int32_t;

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

inline constexpr HRESULT makeHResult(std::uint32_t bits) { return static_cast<HRESULT>(bits); }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;

inline constexpr std::uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr std::uint32_t ERROR_NOT_FOUND = 1168;
inline constexpr std::uint32_t ERROR_TIMEOUT = 1460;
inline constexpr std::uint32_t ERROR_INVALID_STATE = 5023;

// A system error code as a failure code (facility 7); zero stays success.
inline constexpr HRESULT HRESULT_FROM_WIN32(std::uint32_t error)
{
    return error == 0 ? S_OK : makeHResult((error & 0xFFFFu) | 0x80070000u);
}

inline constexpr HRESULT E_NOTIMPL = makeHResult(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = makeHResult(0x80004002u);
inline constexpr HRESULT E_POINTER = makeHResult(0x80004003u);
inline constexpr HRESULT E_ABORT = makeHResult(0x80004004u);
inline constexpr HRESULT E_FAIL = makeHResult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = makeHResult(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
inline constexpr HRESULT E_HANDLE = makeHResult(0x80070006u);
inline constexpr HRESULT E_OUTOFMEMORY = makeHResult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = makeHResult(0x80070057u);
inline constexpr HRESULT E_NOTFOUND = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
inline constexpr HRESULT RPC_E_CHANGED_MODE = makeHResult(0x80010106u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = makeHResult(0x80040154u);

inline constexpr HRESULT AUDCLNT_E_NOT_INITIALIZED = makeHResult(0x88890001u);
inline constexpr HRESULT AUDCLNT_E_ALREADY_INITIALIZED = makeHResult(0x88890002u);
inline constexpr HRESULT AUDCLNT_E_WRONG_ENDPOINT_TYPE = makeHResult(0x88890003u);
inline constexpr HRESULT AUDCLNT_E_DEVICE_INVALIDATED = makeHResult(0x88890004u);
inline constexpr HRESULT AUDCLNT_E_NOT_STOPPED = makeHResult(0x88890005u);
inline constexpr HRESULT AUDCLNT_E_BUFFER_TOO_LARGE = makeHResult(0x88890006u);
inline constexpr HRESULT AUDCLNT_E_OUT_OF_ORDER = makeHResult(0x88890007u);
inline constexpr HRESULT AUDCLNT_E_UNSUPPORTED_FORMAT = makeHResult(0x88890008u);
inline constexpr HRESULT AUDCLNT_E_INVALID_SIZE = makeHResult(0x88890009u);
inline constexpr HRESULT AUDCLNT_E_DEVICE_IN_USE = makeHResult(0x8889000Au);
inline constexpr HRESULT AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED = makeHResult(0x8889000Eu);
inline constexpr HRESULT AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED = makeHResult(0x88890011u);
inline constexpr HRESULT AUDCLNT_E_EVENTHANDLE_NOT_SET = makeHResult(0x88890014u);
static_assert(HRESULT_FROM_WIN32(ERROR_INVALID_STATE) == makeHResult(0x8007139Fu));
static_assert(E_NOTFOUND == makeHResult(0x80070490u));

inline constexpr HRESULT AUDCLNT_S_BUFFER_EMPTY = makeHResult(0x08890001u);

inline constexpr HRESULT MF_E_NOT_FOUND = makeHResult(0xC00D36D5u);
