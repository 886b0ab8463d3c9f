#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace klosia::test {

// What dunst, the session's notification daemon, has shown. Its history holds only closed
// notifications, and nothing closes on its own in the session: closeAll() first.
class DunstHistory {
public:
    struct Entry {
        int id = 0;
        QString appName;
        QString summary;
        QString body;     // as the client sent it
        QString message;  // the markup dunst renders from summary and body
    };

    static std::vector<Entry> entries();
    static void closeAll();
    // Runs dunstctl; a failure is a test failure and gives an empty string.
    static QString dunstctl(const QStringList& arguments);
};

}  // namespace klosia::test
