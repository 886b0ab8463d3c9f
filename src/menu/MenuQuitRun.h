#pragma once

#include <QString>

#include <source_location>
#include <vector>

#include "model/MenuApp.h"

namespace klosia {

class Dispatcher;

// One press of the main button: a quit request for every process of the checked entries, each
// from the background queue, and one closing notification once every entry has been answered.
//
// An entry may stand for several processes (grouped background processes). The run waits for
// every one of them: an entry counts as quit when each of its processes accepted the request,
// the progress line "quit app N of M" is written once per entry (so N never passes M, the
// number of checked entries), and the notification follows the M-th. A refused request leaves
// its entry uncounted, so the run then ends without a notification. A polite run leaves out the
// entries that cannot be asked politely at all (MenuApp::quitUnavailableReason): M does not
// count them, and the notification then speaks of the selected apps, not of all. The counts are
// atomics: completions arrive on pool threads at the same time, and each one's increment and the
// comparison with M are one step (the value the increment returns is compared, never a second
// read).
class MenuQuitRun {
public:
    struct Message {
        QString title;
        QString subtitle;
    };

    // The closing notification: `all` when every shown entry was checked at the press.
    static Message closingMessage(bool force, bool all);

    // Starts the run over `checked` (in list order); returns at once. The run keeps what it
    // needs until its last completion. The notification is shown on the main queue through the
    // application delegate, when there is one. `where` is the position the log lines carry.
    static void start(Dispatcher& dispatcher, const std::vector<MenuAppPtr>& checked, bool force,
                      bool all, std::source_location where = std::source_location::current());
};

}  // namespace klosia
