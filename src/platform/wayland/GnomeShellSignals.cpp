#include "platform/wayland/GnomeShellSignals.h"
