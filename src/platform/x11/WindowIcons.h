#pragma once

#include <QImage>

#include <cstdint>
#include <memory>
#include <vector>

namespace klosia {

class XcbConnection;

// Every size of one window's _NET_WM_ICON, shared between an application and its helpers.
using WindowIcon = std::shared_ptr<const std::vector<QImage>>;

// The _NET_WM_ICON images of `windows` (capped in size, see NetWmIcon.h), in one wave: every
// request goes out before the first reply is read. An entry is empty for a window without a
// valid icon, or one that vanished. Only images, no pixmaps: safe on any thread.
std::vector<std::vector<QImage>> readWindowIcons(const XcbConnection& connection,
                                                 const std::vector<std::uint32_t>& windows);

}  // namespace klosia
