// Self-description of the program as a node (ids 2 to 7, 17, 19): a small
// text template of parameter items, readable and writable by item path,
// with watches that notify a node when a value changes or periodically.
#include "device/protocol/msg_core.h"
#include "device/protocol/msg_handlers.h"
#include "device/protocol/msg_internal.h"
#include "device/protocol/msg_node.h"
#include "device/protocol/msg_runtime.h"

#include <cstring>
#include <initializer_list>

namespace {

constexpr char kLanguages[] = "en:[mic base;test;]cn:[mic base;test;]";
constexpr size_t kLanguagesLength = sizeof kLanguages - 1;
constexpr char kInitialTemplate[] = "[{t:2,a:0,v:0,n:'%0'};{t:1,a:0,v:0,M:10,m:0,s:1,n:'%1'}]";
// Room for values longer than the initial ones; the template never grows past it.
constexpr size_t kTemplateCapacity = 128;
constexpr int kMaxTextBytes = 67;
constexpr int kWatchEntries = 10;
constexpr int kPathLevels = 4;
constexpr size_t kNone = SIZE_MAX;

enum : uint16_t {
    kIdQuery = 2,
    kIdItem = 3,
    kIdSetValue = 4,
    kIdGetValue = 5,
    kIdFindByName = 6,
    kIdWatch = 7,
    kIdLanguages = 17,
    kIdNames = 19,
};

struct Watch {
    uint8_t inUse;
    uint32_t watcher;
    uint32_t path;
    uint8_t mode;
    uint16_t first; // period in ms for mode 1
    uint16_t second;
    uint32_t lastMs;
};

// Above this many queued pieces watch notifications are skipped, so that a
// peer's fast watches never take the room the program's own traffic needs.
constexpr int kWatchQueueLimit = kMsgQueueEntries / 2;

char s_template[kTemplateCapacity];
size_t s_length = 0;
Watch s_watches[kWatchEntries];
uint32_t s_skippedNotifications = 0;

struct Span {
    size_t begin = kNone;
    size_t end = kNone; // one past the last character
    bool ok() const { return begin != kNone; }
    size_t size() const { return end - begin; }
};

// Index of the bracket or brace closing the one at open; quoted text is
// taken whole.
size_t matchClose(size_t open, size_t limit)
{
    int depth = 0;
    bool quoted = false;
    for (size_t i = open; i < limit; ++i) {
        const char c = s_template[i];
        if (quoted) {
            quoted = c != '\'';
        } else if (c == '\'') {
            quoted = true;
        } else if (c == '[' || c == '{') {
            ++depth;
        } else if ((c == ']' || c == '}') && --depth == 0) {
            return i;
        }
    }
    return kNone;
}

// The index-th (1-based) braced item of the list [open, close].
Span listItem(size_t open, size_t close, int index)
{
    size_t at = open + 1;
    for (int k = 1; at < close; ++k) {
        if (s_template[at] != '{')
            return {};
        const size_t end = matchClose(at, close);
        if (end == kNone)
            return {};
        if (k == index)
            return {at, end + 1};
        at = end + 1;
        if (at < close && s_template[at] == ';')
            ++at;
    }
    return {};
}

int countItems(size_t open, size_t close)
{
    int n = 0;
    while (n < 255 && listItem(open, close, n + 1).ok())
        ++n;
    return n;
}

// The value text of key inside an item.
Span keyValue(Span item, char key)
{
    const size_t last = item.end - 1; // the closing brace
    size_t at = item.begin + 1;
    while (at < last) {
        size_t colon = at;
        while (colon < last && s_template[colon] != ':')
            ++colon;
        if (colon >= last)
            return {};
        size_t end = colon + 1;
        while (end < last && s_template[end] != ',') {
            const char c = s_template[end];
            if (c == '[' || c == '{') {
                const size_t m = matchClose(end, last);
                if (m == kNone)
                    return {};
                end = m + 1;
            } else if (c == '\'') {
                const void *q = std::memchr(s_template + end + 1, '\'', last - end - 1);
                if (!q)
                    return {};
                end = size_t(static_cast<const char *>(q) - s_template) + 1;
            } else {
                ++end;
            }
        }
        if (colon == at + 1 && s_template[at] == key)
            return {colon + 1, end};
        at = end + 1;
    }
    return {};
}

Span nestedList(Span item)
{
    const Span v = keyValue(item, 'i');
    return v.ok() && v.size() >= 2 && s_template[v.begin] == '[' ? v : Span{};
}

// The template's top-level list, [begin, end] inclusive of its brackets.
bool topList(size_t &open, size_t &close)
{
    open = 0;
    close = s_length > 0 && s_template[0] == '[' ? matchClose(0, s_length) : kNone;
    return close != kNone;
}

Span resolve(uint32_t path)
{
    size_t open = 0;
    size_t close = 0;
    if (!topList(open, close))
        return {};
    Span item;
    for (int level = 0; level < kPathLevels; ++level) {
        const uint8_t index = uint8_t(path >> (8 * level));
        if (index == 0)
            return item;
        if (level > 0) {
            const Span nested = nestedList(item);
            if (!nested.ok())
                return {};
            open = nested.begin;
            close = nested.end - 1;
        }
        item = listItem(open, close, index);
        if (!item.ok())
            return {};
    }
    return item;
}

struct Text {
    uint8_t bytes[kMaxTextBytes];
    int length = 0;
    void append(const char *p, size_t n)
    {
        for (size_t i = 0; i < n && length < kMaxTextBytes; ++i)
            bytes[length++] = uint8_t(p[i]);
    }
};

// The item's text, a nested list replaced by the number of its items.
Text itemText(Span item)
{
    Text t;
    const Span nested = nestedList(item);
    if (!nested.ok()) {
        t.append(s_template + item.begin, item.size());
        return t;
    }
    t.append(s_template + item.begin, nested.begin - item.begin);
    char count[4];
    const int n = countItems(nested.begin, nested.end - 1);
    const int digits = n >= 100 ? 3 : n >= 10 ? 2 : 1;
    for (int i = digits - 1, v = n; i >= 0; --i, v /= 10)
        count[i] = char('0' + v % 10);
    t.append(count, size_t(digits));
    t.append(s_template + nested.end, item.end - nested.end);
    return t;
}

Span valueOf(Span item)
{
    Span v = keyValue(item, 'v');
    while (v.ok() && v.end > v.begin && s_template[v.end - 1] == ' ')
        --v.end;
    return v;
}

// Only plain printable text that cannot break the template's syntax.
bool acceptableValue(const uint8_t *p, size_t n)
{
    if (n == 0)
        return false;
    for (size_t i = 0; i < n; ++i) {
        if (p[i] <= ' ' || p[i] > '~' || std::strchr(",;:[]{}'", p[i]))
            return false;
    }
    return true;
}

bool writeValue(Span item, const uint8_t *p, size_t n)
{
    const Span v = keyValue(item, 'v');
    if (!v.ok() || !acceptableValue(p, n))
        return false;
    const size_t width = v.size();
    if (n > width) {
        const size_t grow = n - width;
        if (s_length + grow >= kTemplateCapacity)
            return false;
        std::memmove(s_template + v.end + grow, s_template + v.end, s_length - v.end);
        s_length += grow;
    }
    std::memcpy(s_template + v.begin, p, n);
    // A shorter value leaves the field's width: blanks fill the rest.
    for (size_t i = n; i < width; ++i)
        s_template[v.begin + i] = ' ';
    s_template[s_length] = '\0';
    return true;
}

bool parseNumber(Span v, long &out)
{
    size_t i = v.begin;
    const bool negative = i < v.end && s_template[i] == '-';
    if (negative)
        ++i;
    if (i >= v.end || v.size() > 10)
        return false;
    long n = 0;
    for (; i < v.end; ++i) {
        if (s_template[i] < '0' || s_template[i] > '9')
            return false;
        n = n * 10 + (s_template[i] - '0');
    }
    out = negative ? -n : n;
    return true;
}

uint32_t readPath(const msg_record *r, uint16_t at)
{
    uint32_t path = 0;
    for (int i = 0; i < 4 && at + i < r->length; ++i)
        path |= uint32_t(r->payload[at + i]) << (8 * i);
    return path;
}

void answer(const msg_record *r, uint8_t status, uint32_t path, const uint8_t *text = nullptr, int length = 0)
{
    uint8_t payload[5 + kMaxTextBytes] = {status};
    msg_put_u32(payload + 1, path);
    if (length > 0)
        std::memcpy(payload + 5, text, size_t(length));
    msg_send_answer(r, payload, uint16_t(5 + length));
}

void notify(const Watch &w, Span value)
{
    if (msg_transmit_queue_count() > kWatchQueueLimit) {
        ++s_skippedNotifications;
        return;
    }
    Text t;
    t.append(s_template + value.begin, value.size());
    uint8_t payload[5 + kMaxTextBytes] = {w.mode};
    msg_put_u32(payload + 1, w.path);
    std::memcpy(payload + 5, t.bytes, size_t(t.length));
    msg_send_bytes(kMsgTypeNotification, 0, w.watcher, kIdWatch, payload, uint16_t(5 + t.length));
}

void checkWatches(uint32_t path, Span value)
{
    long n = 0;
    const bool numeric = parseNumber(value, n);
    for (const Watch &w : s_watches) {
        if (!w.inUse || w.path != path)
            continue;
        bool fire = w.mode == 2;
        if (numeric) {
            fire = fire || (w.mode == 3 && n >= w.first) || (w.mode == 4 && n <= w.first)
                || (w.mode == 5 && n >= w.first && n <= w.second) || (w.mode == 6 && (n < w.first || n > w.second));
        }
        if (fire)
            notify(w, value);
    }
}

uint8_t setWatch(const msg_record *r)
{
    if (r->length < 9)
        return 1;
    const uint8_t *p = r->payload;
    const uint32_t path = msg_get_u32(p);
    const uint8_t mode = p[4];
    bool changed = false;
    Watch *free = nullptr;
    for (Watch &w : s_watches) {
        if (!w.inUse) {
            free = free ? free : &w;
        } else if (w.watcher == r->source && w.path == path) {
            if (mode == 0) {
                w = {};
            } else {
                w.mode = mode;
                w.first = msg_get_u16(p + 5);
                w.second = msg_get_u16(p + 7);
            }
            changed = true;
        }
    }
    if (mode == 0 || changed)
        return changed ? 0 : 1;
    if (!free || !resolve(path).ok())
        return 1;
    *free = {1, r->source, path, mode, msg_get_u16(p + 5), msg_get_u16(p + 7), msg_clock_ms()};
    return 0;
}

// The name list "[...]" of a two-letter language code.
Span languageNames(const uint8_t *code)
{
    size_t at = 0;
    while (at + 4 <= kLanguagesLength && kLanguages[at + 2] == ':' && kLanguages[at + 3] == '[') {
        const char *close = static_cast<const char *>(std::memchr(kLanguages + at, ']', kLanguagesLength - at));
        if (!close)
            return {};
        const size_t end = size_t(close - kLanguages) + 1;
        if (code && uint8_t(kLanguages[at]) == code[0] && uint8_t(kLanguages[at + 1]) == code[1])
            return {at + 3, end};
        at = end;
    }
    return {};
}

// Index of a name in any language's list, or -1.
int nameIndex(const uint8_t *name, size_t n)
{
    for (size_t at = 0; at + 4 <= kLanguagesLength;) {
        const char *close = static_cast<const char *>(std::memchr(kLanguages + at, ']', kLanguagesLength - at));
        if (!close)
            return -1;
        int index = 0;
        for (size_t b = at + 4, e = b; e < size_t(close - kLanguages); ++e) {
            if (kLanguages[e] != ';')
                continue;
            if (e - b == n && std::memcmp(kLanguages + b, name, n) == 0)
                return index;
            ++index;
            b = e + 1;
        }
        at = size_t(close - kLanguages) + 1;
    }
    return -1;
}

bool findNamed(size_t open, size_t close, int level, uint32_t prefix, const char *want, size_t wantLength,
               uint32_t &path, Span &found)
{
    for (int index = 1; index <= 255; ++index) {
        const Span item = listItem(open, close, index);
        if (!item.ok())
            return false;
        const uint32_t here = prefix | (uint32_t(index) << (8 * level));
        const Span n = keyValue(item, 'n');
        if (n.ok() && n.size() == wantLength && std::memcmp(s_template + n.begin, want, wantLength) == 0) {
            path = here;
            found = item;
            return true;
        }
        const Span nested = nestedList(item);
        if (level + 1 < kPathLevels && nested.ok()
            && findNamed(nested.begin, nested.end - 1, level + 1, here, want, wantLength, path, found))
            return true;
    }
    return false;
}

int onSelfDescription(int, msg_record *r)
{
    if (r->type != kMsgTypeRequest)
        return 0;
    const uint8_t *p = r->payload;
    const uint16_t n = r->length;
    switch (r->id) {
    case kIdQuery: {
        const uint8_t query = n > 0 ? p[0] : 0xFF;
        uint8_t payload[4] = {0, query, 0, 0};
        size_t open = 0;
        size_t close = 0;
        if (query == 0 && topList(open, close))
            payload[2] = uint8_t(countItems(open, close));
        else if (query == 1)
            payload[2] = kMaxTextBytes;
        else
            payload[0] = 4;
        msg_send_answer(r, payload, sizeof payload);
        break;
    }
    case kIdItem: {
        const uint32_t path = readPath(r, 0);
        const Span item = resolve(path);
        if (!item.ok()) {
            answer(r, 1, path);
            break;
        }
        const Text t = itemText(item);
        answer(r, 0, path, t.bytes, t.length);
        break;
    }
    case kIdSetValue: {
        const uint32_t path = readPath(r, 0);
        const Span item = resolve(path);
        const bool ok = n > 4 && item.ok() && writeValue(item, p + 4, n - 4u);
        answer(r, ok ? 0 : 1, path);
        if (ok)
            checkWatches(path, valueOf(resolve(path)));
        break;
    }
    case kIdGetValue: {
        const uint32_t path = readPath(r, 0);
        const Span item = resolve(path);
        const Span v = item.ok() ? valueOf(item) : Span{};
        if (!v.ok()) {
            answer(r, 1, path);
            break;
        }
        Text t;
        t.append(s_template + v.begin, v.size());
        answer(r, 0, path, t.bytes, t.length);
        break;
    }
    case kIdFindByName: {
        uint32_t path = 0;
        Span item;
        const int index = n > 1 ? nameIndex(p + 1, n - 1u) : -1;
        size_t open = 0;
        size_t close = 0;
        if (index >= 0 && index <= 9 && topList(open, close)) {
            const char want[] = {'\'', '%', char('0' + index), '\''};
            findNamed(open, close, 0, 0, want, sizeof want, path, item);
        }
        if (!item.ok()) {
            answer(r, 1, 0);
            break;
        }
        const Text t = itemText(item);
        answer(r, 0, path, t.bytes, t.length);
        break;
    }
    case kIdLanguages: {
        uint8_t payload[1 + 16] = {0};
        int length = 1;
        for (size_t at = 0; at + 4 <= kLanguagesLength && length + 2 <= int(sizeof payload);) {
            payload[length++] = uint8_t(kLanguages[at]);
            payload[length++] = uint8_t(kLanguages[at + 1]);
            const char *close = static_cast<const char *>(std::memchr(kLanguages + at, ']', kLanguagesLength - at));
            if (!close)
                break;
            at = size_t(close - kLanguages) + 1;
        }
        msg_send_answer(r, payload, uint16_t(length));
        break;
    }
    case kIdNames: {
        const Span names = n >= 2 ? languageNames(p) : Span{};
        uint8_t payload[1 + kLanguagesLength] = {1};
        int length = 1;
        if (names.ok()) {
            payload[0] = 0;
            std::memcpy(payload + 1, kLanguages + names.begin, names.size());
            length += int(names.size());
        }
        msg_send_answer(r, payload, uint16_t(length));
        break;
    }
    default:
        break;
    }
    return 0;
}

int onWatch(int, msg_record *r)
{
    if (r->type != kMsgTypeRequest)
        return 0; // notifications of other nodes are not followed
    const uint8_t status = setWatch(r);
    msg_send_answer(r, &status, 1);
    return 0;
}

} // namespace

void msg_register_selfdesc_module()
{
    std::memcpy(s_template, kInitialTemplate, sizeof kInitialTemplate);
    s_length = sizeof kInitialTemplate - 1;
    for (Watch &w : s_watches)
        w = {};
    s_skippedNotifications = 0;
    for (uint16_t id : {kIdNames, kIdQuery, kIdItem, kIdSetValue, kIdGetValue, kIdFindByName, kIdLanguages})
        msg_register_handler(id, onSelfDescription, nullptr);
    msg_register_handler(kIdWatch, onWatch, nullptr);
}

void msg_selfdesc_tick()
{
    const uint32_t now = msg_clock_ms();
    for (Watch &w : s_watches) {
        if (!w.inUse || w.mode != 1 || w.first == 0 || now - w.lastMs < w.first)
            continue;
        w.lastMs = now;
        const Span item = resolve(w.path);
        const Span v = item.ok() ? valueOf(item) : Span{};
        if (v.ok())
            notify(w, v);
    }
}

uint32_t msg_watch_skipped_count()
{
    return s_skippedNotifications;
}
