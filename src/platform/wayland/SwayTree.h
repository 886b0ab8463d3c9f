#pragma once

#include <QByteArray>
#include <QRect>
#include <QSize>
#include <QString>

#include <sys/types.h>
#include <optional>
#include <vector>

namespace klosia {

// The views of a running sway, from its IPC socket ($SWAYSOCK, "get_tree"): the one source on
// a wlroots desktop that the compositor vouches for when it names the process behind a window.
class SwayTree {
public:
    struct View {
        pid_t pid = 0;
        QString appId;  // the Wayland app_id; for an X11 view its WM_CLASS class
        QString title;
        bool xwayland = false;  // an X11 program: its owner is found on the X side
        bool focused = false;
        qint64 id = 0;  // sway's container id, for commands ("[con_id=N] ...")
        QSize size;     // the window's own size, without sway's border
        QRect frame;    // where sway shows it, border included, in layout coordinates
        bool floating = false;
    };

    // Reads the tree from the socket at `path`; nothing, with `error` set, when sway does not
    // answer in time or answers something else.
    static std::optional<std::vector<View>> read(const QString& path, QString* error);
    // The views of a tree as sway prints it (the reply's JSON), depth first; for tests too.
    static std::vector<View> parse(const QByteArray& json);
};

}  // namespace klosia
