#pragma once

#include <map>
#include <memory>

#include "platform/wayland/WaylandToplevels.h"

struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace klosia {

// wlroots' list of every client's toplevels (zwlr_foreign_toplevel_manager_v1), which any client
// may read. It says nothing about processes: which one owns a window comes from elsewhere
// (SwayTree).
class WlrToplevels : public WaylandToplevels {
public:
    static std::unique_ptr<WlrToplevels> connect(QString* error);
    ~WlrToplevels() override;
    WlrToplevels(const WlrToplevels&) = delete;
    WlrToplevels& operator=(const WlrToplevels&) = delete;

    std::vector<Toplevel> toplevels() const override;
    bool close(std::uint32_t id) override;
    bool activate(std::uint32_t id) override;
    QString protocol() const override { return QStringLiteral("wlr foreign toplevel"); }

    struct Handle;  // one toplevel of the protocol: what is shown and what is pending

private:
    friend struct HandleEvents;
    WlrToplevels() = default;
    static void onToplevel(void* data, zwlr_foreign_toplevel_manager_v1* manager,
                           zwlr_foreign_toplevel_handle_v1* proxy);

    zwlr_foreign_toplevel_manager_v1* manager_ = nullptr;
    std::map<std::uint32_t, std::unique_ptr<Handle>> handles_;
};

}  // namespace klosia
