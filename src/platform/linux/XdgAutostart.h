#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "platform/LoginItems.h"

namespace klosia {

// Start at login through an XDG autostart entry, "<directory>/<application id>.desktop".
//
// Enabled means: the entry exists, is a well-formed desktop entry whose first group is
// [Desktop Entry], and neither "Hidden=true" nor "X-GNOME-Autostart-enabled=false" is set in
// that group. Enabling writes the entry atomically (again on every call, same content);
// disabling removes it. Failures are logged at error and otherwise ignored.
class XdgAutostart : public LoginItems {
public:
    // `command` is the program and its arguments, unquoted; they are quoted for Exec here.
    explicit XdgAutostart(QString directory = defaultDirectory(),
                          QStringList command = defaultCommand());

    // $XDG_CONFIG_HOME/autostart (~/.config/autostart when unset or relative).
    static QString defaultDirectory();
    // The absolute path of the running program, without arguments.
    static QStringList defaultCommand();
    // The Exec value for `command`: each argument quoted when it needs to be, then escaped as
    // a desktop-entry string, with "%" doubled so no field code is read into it. A program whose
    // path holds "%" starts through /bin/sh instead: GIO looks for the program as the entry
    // spells it, "%%" and all, and refuses an entry whose program it does not find.
    static QString execValue(const QStringList& command);

    QString entryPath() const;
    // What setEnabled(true) writes.
    QByteArray entryContent() const;

    bool isEnabled() const override;
    void setEnabled(bool enabled) override;

private:
    QString directory_;
    QStringList command_;
};

}  // namespace klosia
