#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

namespace klosia::test {

// A home of its own for one run of the built program: XDG config and data directories in a
// temporary directory, so that its settings start empty and the desktop's handlers can be
// replaced, and a mail program that only writes down the addresses it is asked to open.
class PrivateHome {
public:
    PrivateHome();

    // False when the directories could not be made or the mail program not installed.
    bool isValid() const { return valid_; }
    const QString& config() const { return config_; }
    const QString& data() const { return data_; }
    // The program's settings file in this home.
    QString settingsFile() const;
    // The system environment with this home's XDG directories.
    QProcessEnvironment environment() const;
    // What xdg-open handed the mail program, one address per line; empty before anything was.
    QString recordedMail() const;

private:
    bool installMailRecorder();

    QTemporaryDir home_;
    QString config_;
    QString data_;
    QString mailLog_;
    bool valid_ = false;
};

}  // namespace klosia::test
