#include "platform/x11/X11Snapshot.h"

#include <xcb/res.h>

#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "platform/linux/ProcessInfo.h"
#include "platform/x11/ConnectionOwners.h"
#include "platform/x11/X11Owners.h"
#include "platform/x11/X11TopLevels.h"
#include "platform/x11/X11TrayIcons.h"
#include "platform/x11/XcbConnection.h"
#include "platform/x11/XcbProperty.h"
#include "platform/x11/XcbReply.h"

namespace klosia {

namespace {

// Longest property values accepted, in 32-bit units. Anything longer is cut (titles) or dropped.
constexpr std::uint32_t kMaxClientList = 16384;
constexpr std::uint32_t kMaxAtoms = 32;
constexpr std::uint32_t kMaxSupported = 1024;  // _NET_SUPPORTED: openbox lists about 90
constexpr std::uint32_t kMaxTitle = 1024;      // 4 KiB
constexpr std::uint32_t kMaxIdentifier = 256;  // 1 KiB: WM_CLASS, application ids

// The first type in the list that we know wins, as the window manager reads it.
constexpr std::array<std::pair<X11Atom, WindowTypeBit>, 14> kTypes = {{
    {X11Atom::typeNormal, windowTypeNormal},
    {X11Atom::typeDialog, windowTypeDialog},
    {X11Atom::typeUtility, windowTypeUtility},
    {X11Atom::typeDock, windowTypeDock},
    {X11Atom::typeDesktop, windowTypeDesktop},
    {X11Atom::typeToolbar, windowTypeToolbar},
    {X11Atom::typeMenu, windowTypeMenu},
    {X11Atom::typeSplash, windowTypeSplash},
    {X11Atom::typeDropdownMenu, windowTypeDropdownMenu},
    {X11Atom::typePopupMenu, windowTypePopupMenu},
    {X11Atom::typeTooltip, windowTypeTooltip},
    {X11Atom::typeNotification, windowTypeNotification},
    {X11Atom::typeCombo, windowTypeCombo},
    {X11Atom::typeDnd, windowTypeDnd},
}};

struct WindowCookies {
    xcb_get_property_cookie_t type, state, transient, wmClass, netName, name, pid, gtkId, kdeFile,
        protocols, machine;
    xcb_res_query_client_ids_cookie_t clientIds{};
};

void askWindow(const XcbConnection& connection, xcb_window_t w, WindowCookies* cookies) {
    xcb_connection_t* c = connection.get();
    cookies->type = askProperty(c, w, connection.atom(X11Atom::netWmWindowType), kMaxAtoms);
    cookies->state = askProperty(c, w, connection.atom(X11Atom::netWmState), kMaxAtoms);
    cookies->transient = askProperty(c, w, XCB_ATOM_WM_TRANSIENT_FOR, 1);
    cookies->wmClass = askProperty(c, w, XCB_ATOM_WM_CLASS, kMaxIdentifier);
    cookies->netName = askProperty(c, w, connection.atom(X11Atom::netWmName), kMaxTitle);
    cookies->name = askProperty(c, w, XCB_ATOM_WM_NAME, kMaxTitle);
    cookies->pid = askProperty(c, w, connection.atom(X11Atom::netWmPid), 1);
    cookies->gtkId = askProperty(c, w, connection.atom(X11Atom::gtkApplicationId), kMaxIdentifier);
    cookies->kdeFile =
        askProperty(c, w, connection.atom(X11Atom::kdeNetWmDesktopFile), kMaxIdentifier);
    cookies->protocols = askProperty(c, w, connection.atom(X11Atom::wmProtocols), kMaxAtoms);
    cookies->machine = askProperty(c, w, XCB_ATOM_WM_CLIENT_MACHINE, kMaxHostName);
    if (connection.hasClientIds()) {
        cookies->clientIds = askClientPid(c, w);
    }
}

// False when the window vanished while it was read.
bool collectWindow(const XcbConnection& connection, const WindowCookies& cookies,
                   WindowRecord* record) {
    xcb_connection_t* c = connection.get();
    const xcb_atom_t utf8 = connection.atom(X11Atom::utf8String);
    bool vanished = false;
    // Every cookie is collected even after BadWindow, so no reply is left behind in xcb.
    const PropertyReply type = collectProperty(c, cookies.type, &vanished);
    const PropertyReply state = collectProperty(c, cookies.state, &vanished);
    const PropertyReply transient = collectProperty(c, cookies.transient, &vanished);
    const PropertyReply wmClass = collectProperty(c, cookies.wmClass, &vanished);
    const PropertyReply netName = collectProperty(c, cookies.netName, &vanished);
    const PropertyReply name = collectProperty(c, cookies.name, &vanished);
    const PropertyReply pid = collectProperty(c, cookies.pid, &vanished);
    const PropertyReply gtkId = collectProperty(c, cookies.gtkId, &vanished);
    const PropertyReply kdeFile = collectProperty(c, cookies.kdeFile, &vanished);
    const PropertyReply protocols = collectProperty(c, cookies.protocols, &vanished);
    const PropertyReply machine = collectProperty(c, cookies.machine, &vanished);
    if (connection.hasClientIds()) {
        record->resourcePid = collectClientPid(c, cookies.clientIds);
    }
    if (vanished) {
        return false;
    }

    const std::vector<std::uint32_t> types = propertyValues32(type.get());
    for (const std::uint32_t atom : types) {
        const auto known = std::find_if(kTypes.begin(), kTypes.end(), [&](const auto& entry) {
            return connection.atom(entry.first) == atom;
        });
        if (known != kTypes.end()) {
            record->types = known->second;
            break;
        }
    }
    const std::vector<std::uint32_t> states = propertyValues32(state.get());
    record->skipTaskbar =
        std::find(states.begin(), states.end(), connection.atom(X11Atom::netWmStateSkipTaskbar)) !=
        states.end();
    const std::vector<std::uint32_t> protocolList = propertyValues32(protocols.get());
    record->deleteProtocol =
        std::find(protocolList.begin(), protocolList.end(),
                  connection.atom(X11Atom::wmDeleteWindow)) != protocolList.end();
    record->pingProtocol = std::find(protocolList.begin(), protocolList.end(),
                                     connection.atom(X11Atom::netWmPing)) != protocolList.end();
    record->transientFor = propertyFirstValue(transient.get());

    // WM_CLASS is "instance\0class\0"; a cut value is not trusted.
    if (wmClass && wmClass->bytes_after == 0) {
        const std::string_view raw = propertyBytes(wmClass.get());
        const std::size_t split = raw.find('\0');
        record->wmInstance = QString::fromLatin1(raw.substr(0, split));
        if (split != std::string_view::npos) {
            const std::string_view rest = raw.substr(split + 1);
            record->wmClass = QString::fromLatin1(rest.substr(0, rest.find('\0')));
        }
    }
    record->title = netName ? propertyText(netName.get(), utf8) : propertyText(name.get(), utf8);
    record->gtkApplicationId = propertyIdentifier(gtkId.get(), utf8);
    record->kdeDesktopFile = propertyIdentifier(kdeFile.get(), utf8);

    const std::uint32_t netWmPid = propertyFirstValue(pid.get());
    if (netWmPid > 0 && netWmPid < 0x7fffffffU) {
        record->netWmPid = static_cast<pid_t>(netWmPid);
    }
    record->clientMachine = machineName(machine.get(), utf8);
    record->client = record->id & ~connection.resourceIdMask();
    return true;
}

// Whether `check` (the root's _NET_SUPPORTING_WM_CHECK) is a live window manager's: the window
// names itself too. A window manager that died leaves the root's property behind.
void readWindowManager(const XcbConnection& connection, xcb_window_t check,
                       const std::vector<std::uint32_t>& supported, ConnectionOwners* proof,
                       X11Snapshot* snapshot) {
    if (check == XCB_WINDOW_NONE) {
        return;
    }
    xcb_connection_t* c = connection.get();
    const PropertyReply self = collectProperty(
        c, askProperty(c, check, connection.atom(X11Atom::netSupportingWmCheck), 1), nullptr);
    if (propertyFirstValue(self.get()) != check) {
        return;
    }
    snapshot->managed = true;
    snapshot->closeRequests =
        std::find(supported.begin(), supported.end(), connection.atom(X11Atom::netCloseWindow)) !=
        supported.end();
    snapshot->activeFromFocus =
        std::find(supported.begin(), supported.end(), connection.atom(X11Atom::netActiveWindow)) ==
        supported.end();
    snapshot->windowManager = readOwners(connection, {check}, proof).front();
}

}  // namespace

X11Snapshot X11Snapshot::take(const XcbConnection& connection, bool withTray) {
    X11Snapshot snapshot;
    if (connection.isBroken()) {
        return snapshot;
    }
    // Before the first request: whatever the server answers is about processes that ran by then.
    snapshot.takenAt = ProcessInfo::ticksSinceBoot();
    xcb_connection_t* c = connection.get();
    const xcb_window_t root = connection.root();

    // First wave: the root's lists, the window manager's check window and the tray's owner.
    const auto listCookie =
        askProperty(c, root, connection.atom(X11Atom::netClientList), kMaxClientList);
    const auto activeCookie = askProperty(c, root, connection.atom(X11Atom::netActiveWindow), 1);
    const auto checkCookie =
        askProperty(c, root, connection.atom(X11Atom::netSupportingWmCheck), 1);
    const auto supportedCookie =
        askProperty(c, root, connection.atom(X11Atom::netSupported), kMaxSupported);
    xcb_get_selection_owner_cookie_t trayCookie{};
    if (withTray) {
        trayCookie = xcb_get_selection_owner(c, connection.atom(X11Atom::systemTray));
    }
    bool rootGone = false;
    const PropertyReply list = collectProperty(c, listCookie, &rootGone);
    const PropertyReply active = collectProperty(c, activeCookie, &rootGone);
    const PropertyReply check = collectProperty(c, checkCookie, &rootGone);
    const PropertyReply supported = collectProperty(c, supportedCookie, &rootGone);
    xcb_window_t trayOwner = XCB_WINDOW_NONE;
    if (withTray) {
        const XcbReply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(c, trayCookie, nullptr));
        trayOwner = owner ? owner->owner : xcb_window_t{XCB_WINDOW_NONE};
    }
    if (rootGone || connection.isBroken()) {
        return snapshot;
    }
    snapshot.valid = true;
    ConnectionOwners proof(connection.fileDescriptor());
    readWindowManager(connection, propertyFirstValue(check.get()),
                      propertyValues32(supported.get()), &proof, &snapshot);
    std::vector<xcb_window_t> ids;
    std::unordered_map<std::uint32_t, std::uint32_t> frames;
    if (snapshot.managed) {
        snapshot.activeWindow = propertyFirstValue(active.get());
        ids = propertyValues32(list.get());
    } else {
        // The root's lists may be a dead window manager's leftovers.
        X11TopLevels topLevels = X11TopLevels::read(connection);
        ids = std::move(topLevels.clients);
        frames = std::move(topLevels.frameOf);
        snapshot.activeFromFocus = true;
    }
    // A window listed twice is a window manager's slip; read it once.
    std::unordered_set<xcb_window_t> unique;
    std::erase_if(ids, [&](xcb_window_t w) { return w == 0 || !unique.insert(w).second; });

    // Every property of every window, then every reply.
    std::vector<WindowCookies> cookies(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        askWindow(connection, ids[i], &cookies[i]);
    }
    snapshot.windows.reserve(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        WindowRecord record;
        record.id = ids[i];
        if (collectWindow(connection, cookies[i], &record)) {
            const auto frame = frames.find(record.id);
            record.frame = frame != frames.end() ? frame->second : 0;
            snapshot.windows.push_back(std::move(record));
        }
    }
    decideOwners(connection, &snapshot.windows, &proof);
    if (!snapshot.managed && !frames.empty()) {
        // A manager without EWMH has no check window: the frames tell who it is.
        snapshot.windowManager = readOwners(connection, {frames.begin()->second}, &proof).front();
    }
    if (snapshot.activeFromFocus) {
        std::unordered_map<std::uint32_t, std::uint32_t> clientOf;
        for (const WindowRecord& window : snapshot.windows) {
            clientOf.emplace(window.id, window.id);
            if (window.frame != 0) {
                clientOf.emplace(window.frame, window.id);
            }
        }
        const std::uint32_t focused = focusedWindow(
            connection, [&clientOf](std::uint32_t w) { return clientOf.contains(w); });
        snapshot.activeWindow = focused != 0 ? clientOf.at(focused) : 0;
    }
    if (trayOwner != XCB_WINDOW_NONE) {
        snapshot.trayPids = readTrayPids(connection, ids, trayOwner, &proof);
    }
    return snapshot;
}

std::vector<std::uint32_t> X11Snapshot::existing(const XcbConnection& connection,
                                                 const std::vector<std::uint32_t>& windows) {
    if (connection.isBroken()) {
        return {};
    }
    xcb_connection_t* c = connection.get();
    std::vector<xcb_get_window_attributes_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (const std::uint32_t window : windows) {
        cookies.push_back(xcb_get_window_attributes(c, window));
    }
    std::vector<std::uint32_t> result;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        xcb_generic_error_t* rawError = nullptr;
        const XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, cookies[i], &rawError));
        const XcbReply<xcb_generic_error_t> error(rawError);
        if (attributes) {
            result.push_back(windows[i]);
        }
    }
    return result;
}

}  // namespace klosia
