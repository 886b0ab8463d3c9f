#pragma once

#include <QIcon>

namespace klosia {

// The tray icon, drawn at run time so it is sharp at every panel size and needs no files.
QIcon statusIconImage();

}  // namespace klosia
