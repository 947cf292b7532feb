#pragma once
// Lines of the PortAudio engine. Built in a fixed buffer, so an error line on
// the worker does not touch the heap; items are separated by one space as
// Qt's debug stream does (except after "=", "(" and "[" and before closing
// marks) and names (std::string items) are quoted.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

enum class PaLogChannel {
    Debug,          // the debug channel (Qt's in the Qt build, else standard error)
    StandardOutput, // printed lines of the monitor resampler
};

using PaLogSink = std::function<void(PaLogChannel, std::string_view)>;

// Debug lines to Qt's debug channel (standard error without Qt), printed
// lines to standard output; one flushed line each.
void defaultPaLogSink(PaLogChannel channel, std::string_view line);

class PaLogLine {
public:
    // spaced false: items are joined as they are (printed lines).
    explicit PaLogLine(bool spaced = true) : m_spaced(spaced) {}

    PaLogLine &operator<<(const char *text);
    PaLogLine &operator<<(const std::string &name); // quoted when spaced
    PaLogLine &operator<<(long long value);
    PaLogLine &operator<<(int value) { return *this << static_cast<long long>(value); }
    PaLogLine &operator<<(unsigned value) { return *this << static_cast<long long>(value); }
    PaLogLine &operator<<(long value) { return *this << static_cast<long long>(value); }
    PaLogLine &operator<<(unsigned long value) { return *this << static_cast<long long>(value); }
    PaLogLine &operator<<(double value);

    std::string_view view() const { return {m_text, m_length}; }

private:
    void separate(char next);
    void append(std::string_view text);

    static constexpr std::size_t kCapacity = 480;
    char m_text[kCapacity];
    std::size_t m_length = 0;
    const bool m_spaced;
};
