#pragma once

#include <QByteArray>

#include "platform/ReleaseFeed.h"

namespace klosia {

// The release feed's JSON form:
//
//   {"releases": [{"version": "1.2.0", "notes": "What is new.",
//                  "releaseNotesLink": "https://…", "downloadLink": "https://…"}, …]}
//
// Only "version" is required. The newest release is found by comparing versions, whatever the
// order of the list. Entries this program cannot read (no version, not an object) are skipped,
// so that a feed may grow new kinds of entries; links that are not http or https addresses are
// dropped, so that a feed cannot make the program open a local file or another program.
class ReleaseFeedDocument {
public:
    ReleaseFeedDocument() = delete;

    // Longest notes kept; longer ones are cut.
    static constexpr qsizetype kMaximumNotes = 4000;

    static ReleaseFeedReply parse(const QByteArray& json);
};

}  // namespace klosia
