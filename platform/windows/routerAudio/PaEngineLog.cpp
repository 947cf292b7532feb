#include "platform/windows/routerAudio/PaEngineLog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#ifdef VELORAN_PA_LOG_QT
#include <QDebug>
#endif

void defaultPaLogSink(PaLogChannel channel, std::string_view line)
{
    if (channel == PaLogChannel::StandardOutput) {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        return;
    }
#ifdef VELORAN_PA_LOG_QT
    qDebug().noquote() << QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
#else
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
#endif
}

void PaLogLine::append(std::string_view text)
{
    const std::size_t n = std::min(text.size(), kCapacity - m_length);
    std::memcpy(m_text + m_length, text.data(), n);
    m_length += n;
}

void PaLogLine::separate(char next)
{
    if (!m_spaced || m_length == 0)
        return;
    const char last = m_text[m_length - 1];
    // Spaces already there, and values glued to "key=", "(" and "[" and
    // their closing marks, read as one item.
    if (last == ' ' || last == '=' || last == '(' || last == '[' || next == ' ' || next == ')' || next == ']' ||
        next == ',' || next == '\0')
        return;
    append(" ");
}

PaLogLine &PaLogLine::operator<<(const char *text)
{
    const std::string_view s = text ? text : "(null)";
    separate(s.empty() ? '\0' : s.front());
    append(s);
    return *this;
}

PaLogLine &PaLogLine::operator<<(const std::string &name)
{
    if (!m_spaced) {
        append(name);
        return *this;
    }
    separate('"');
    append("\"");
    append(name);
    append("\"");
    return *this;
}

PaLogLine &PaLogLine::operator<<(long long value)
{
    char digits[32];
    const int n = std::snprintf(digits, sizeof digits, "%lld", value);
    separate(digits[0]);
    append(std::string_view(digits, static_cast<std::size_t>(std::max(n, 0))));
    return *this;
}

PaLogLine &PaLogLine::operator<<(double value)
{
    char digits[40];
    const int n = std::snprintf(digits, sizeof digits, "%g", value);
    separate(digits[0]);
    append(std::string_view(digits, static_cast<std::size_t>(std::max(n, 0))));
    return *this;
}
