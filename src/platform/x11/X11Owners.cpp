#include "platform/x11/X11Owners.h"

#include "platform/x11/ConnectionOwners.h"
#include "platform/x11/XcbConnection.h"
#include "platform/x11/XcbProperty.h"
#include "platform/x11/XcbReply.h"

namespace klosia {

QString machineName(const xcb_get_property_reply_t* reply, xcb_atom_t utf8) {
    return propertyIdentifier(reply, utf8).trimmed();
}

xcb_res_query_client_ids_cookie_t askClientPid(xcb_connection_t* c, xcb_window_t window) {
    xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    return xcb_res_query_client_ids(c, 1, &spec);
}

pid_t collectClientPid(xcb_connection_t* c, xcb_res_query_client_ids_cookie_t cookie) {
    xcb_generic_error_t* rawError = nullptr;
    const XcbReply<xcb_res_query_client_ids_reply_t> reply(
        xcb_res_query_client_ids_reply(c, cookie, &rawError));
    const XcbReply<xcb_generic_error_t> error(rawError);
    if (!reply) {
        return 0;
    }
    for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem > 0;
         xcb_res_client_id_value_next(&it)) {
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) != 0 &&
            xcb_res_client_id_value_value_length(it.data) >= 1) {
            const auto pid = static_cast<pid_t>(*xcb_res_client_id_value_value(it.data));
            return pid > 0 ? pid : 0;
        }
    }
    return 0;
}

void decideOwners(const XcbConnection& connection, std::vector<WindowRecord>* windows,
                  ConnectionOwners* proof) {
    const QString host = QString::fromStdString(connection.hostName());
    const bool serverKnowsPids = connection.hasClientIds();
    for (const WindowRecord& record : *windows) {
        proof->addClient(candidateOwnerPid(record, host, serverKnowsPids), record.client,
                         record.wmClass);
    }
    const ConnectionProof holds = [proof](pid_t pid) { return proof->holdsOwnConnection(pid); };
    for (WindowRecord& record : *windows) {
        record.owner = decideOwner(record, host, serverKnowsPids, holds);
    }
}

std::vector<WindowOwner> readOwners(const XcbConnection& connection,
                                    const std::vector<xcb_window_t>& windows,
                                    ConnectionOwners* proof) {
    xcb_connection_t* c = connection.get();
    struct Cookies {
        xcb_get_property_cookie_t pid, machine;
        xcb_res_query_client_ids_cookie_t clientIds{};
    };
    std::vector<Cookies> cookies(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        cookies[i].pid = askProperty(c, windows[i], connection.atom(X11Atom::netWmPid), 1);
        cookies[i].machine = askProperty(c, windows[i], XCB_ATOM_WM_CLIENT_MACHINE, kMaxHostName);
        if (connection.hasClientIds()) {
            cookies[i].clientIds = askClientPid(c, windows[i]);
        }
    }
    const xcb_atom_t utf8 = connection.atom(X11Atom::utf8String);
    std::vector<WindowRecord> records;
    records.reserve(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        WindowRecord& record = records.emplace_back();
        record.id = windows[i];
        record.client = windows[i] & ~connection.resourceIdMask();
        const PropertyReply pid = collectProperty(c, cookies[i].pid, nullptr);
        const PropertyReply machine = collectProperty(c, cookies[i].machine, nullptr);
        if (connection.hasClientIds()) {
            record.resourcePid = collectClientPid(c, cookies[i].clientIds);
        }
        const std::uint32_t netWmPid = propertyFirstValue(pid.get());
        if (netWmPid > 0 && netWmPid < 0x7fffffffU) {
            record.netWmPid = static_cast<pid_t>(netWmPid);
        }
        record.clientMachine = machineName(machine.get(), utf8);
    }
    decideOwners(connection, &records, proof);
    std::vector<WindowOwner> owners;
    owners.reserve(records.size());
    for (const WindowRecord& record : records) {
        owners.push_back(record.owner);
    }
    return owners;
}

}  // namespace klosia
