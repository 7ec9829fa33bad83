#include "detectablerepeat.h"

#include "logtags.h"

#include <QDebug>
#include <QX11Info>

#include <xcb/xcb.h>
// The XKB protocol header names a field "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <cstdlib>

namespace DetectableRepeat {

namespace {

bool switchOn()
{
    if (!QX11Info::isPlatformX11())
        return false;
    xcb_connection_t *connection = QX11Info::connection();
    if (!connection)
        return false;
    xcb_xkb_use_extension_reply_t *use = xcb_xkb_use_extension_reply(
        connection, xcb_xkb_use_extension(connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr);
    const bool supported = use && use->supported;
    std::free(use);
    if (!supported)
        return false;
    constexpr uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
    xcb_xkb_per_client_flags_reply_t *flags = xcb_xkb_per_client_flags_reply(
        connection, xcb_xkb_per_client_flags(connection, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0),
        nullptr);
    const bool on = flags && (flags->value & flag);
    std::free(flags);
    return on;
}

} // namespace

bool enable()
{
    static const bool on = [] {
        const bool result = switchOn();
        if (!result)
            qInfo() << ORV_LOG_ANDROID "detectable key auto-repeat not available";
        return result;
    }();
    return on;
}

} // namespace DetectableRepeat
