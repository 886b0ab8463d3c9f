#pragma once

#include <QString>

namespace klosia {

// What a process's sockets and the X server say about one pid that the server (X-Resource) or a
// client (_NET_WM_PID) named as a window's owner.
struct ConnectionEvidence {
    // The sockets could be looked at: the server's end of our own connection was found, and so
    // were the process's descriptors. False on a display reached over TCP, a kernel without
    // socket diagnostics, or a process that is not ours to look at.
    bool checked = false;
    // Connections to this X server the process holds open.
    int connections = 0;
    // It holds the server's end of a connection to an X display's socket, or listens on one:
    // it serves X clients itself (a proxy such as socat, or a nested server).
    bool servesDisplays = false;
    // Listed X clients (resource bases) that the server says this process connected.
    int clients = 0;
    // Different programs (WM_CLASS class names) among the windows of those clients.
    int programs = 0;
    // Its program is one that forwards X connections for others (ssh, socat, xpra, ...).
    QString program;  // the executable's file name
};

// The programs that forward other programs' X connections: their process holds the connection
// to the server, while the windows belong to a program elsewhere.
bool isForwardingProgram(const QString& program);

// Whether the process may be taken for the owner of the windows: it holds connections to the
// server, and nothing says that it holds them for others. Otherwise the windows have no local
// owner:
//   - no connection at all: the pid has been reused since the client connected (the process
//     that connected handed its connection to a child and exited), or the pid is not a client
//     of this server;
//   - more listed clients name it than it holds connections: some of them are not its own;
//   - it serves X connections itself, its clients are of several programs, or its program is a
//     forwarder: it relays the connections of programs it does not run.
bool holdsOwnConnection(const ConnectionEvidence& evidence);

}  // namespace klosia
