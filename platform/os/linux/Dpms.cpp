#include "platform/os/linux/LoginPowerEvents.h"

#include <X11/Xlib.h>
#include <X11/extensions/dpms.h>

namespace os {

std::function<std::optional<bool>()> dpmsDisplayState(const std::string &displayName)
{
    if (displayName.empty())
        return {};
    // Opened on the polling thread and kept for its life; Xlib connections
    // are not shared between threads here.
    struct Connection {
        ~Connection()
        {
            if (display)
                XCloseDisplay(display);
        }
        Display *display = nullptr;
        bool tried = false;
    };
    auto connection = std::make_shared<Connection>();
    return [connection, displayName]() -> std::optional<bool> {
        if (!connection->tried) {
            connection->tried = true;
            connection->display = XOpenDisplay(displayName.c_str());
            int eventBase = 0, errorBase = 0;
            if (connection->display
                && !(DPMSQueryExtension(connection->display, &eventBase, &errorBase) && DPMSCapable(connection->display))) {
                XCloseDisplay(connection->display);
                connection->display = nullptr;
            }
        }
        if (!connection->display)
            return std::nullopt;
        CARD16 level = 0;
        BOOL enabled = False;
        if (!DPMSInfo(connection->display, &level, &enabled))
            return std::nullopt;
        return !enabled || level == DPMSModeOn;
    };
}

} // namespace os
