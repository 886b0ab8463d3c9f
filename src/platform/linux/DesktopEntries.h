#pragma once

#include <QByteArray>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace klosia {

// One installed application as its desktop entry describes it.
struct DesktopEntry {
    QString id;        // desktop id without ".desktop" ("org.gnome.Calculator", "xterm"); used
                       // as the bundle identifier
    QString name;      // localized Name (user's locale, as GIO gives it); empty when missing
    QString iconName;  // Icon= value: a theme name or an absolute path
    QString filePath;
};

// What a window and its process tell about the application behind them. Empty fields are
// simply not used.
struct WindowIdentityHints {
    QString gtkApplicationId;  // _GTK_APPLICATION_ID
    QString kdeDesktopFile;    // _KDE_NET_WM_DESKTOP_FILE
    QString wmInstance;        // WM_CLASS instance (first string)
    QString wmClass;           // WM_CLASS class (second string)
    QString exePath;           // /proc/PID/exe target
    QStringList cmdline;       // /proc/PID/cmdline
};

// The installed desktop entries and the mapping from a window to one of them.
//
// Loading: each "applications" directory is walked (subdirectories too: "kde4/kate.desktop"
// has the id "kde4-kate") in precedence order, and every file is parsed by GIO's
// GDesktopAppInfo, so the key-file syntax, the locale of Name and the checks GIO makes
// (Type=Application, TryExec and the Exec program present) are exactly those of the rest of
// the desktop. The first file of an id wins, even one GIO refuses; one with Hidden=true
// deletes the id, also for the directories after it. Files GIO refuses are skipped (logged at
// info).
//
// Matching, first hit wins:
//   1. _GTK_APPLICATION_ID equals a desktop id.
//   2. _KDE_NET_WM_DESKTOP_FILE equals a desktop id (also with ".desktop" or as a path;
//      ignoring case when nothing equals it exactly).
//   3. WM_CLASS against StartupWMClass: instance, then class, exactly; then both again
//      ignoring case.
//   4. WM_CLASS against the desktop ids, ignoring case: instance, then class, against the
//      whole id; then against the id's last dot-separated part ("Gedit" ~ "org.gnome.gedit").
//   5. The process against Exec: its /proc/PID/exe equals the Exec program resolved through
//      PATH, with symbolic links followed unless that merges distinct programs (two entries
//      whose programs are different links to one file, as every /snap/bin/* is a link to
//      /usr/bin/snap) or ends at a launcher; then the base name of argv[0], then of the exe,
//      equals the base name of the Exec program. Interpreters (python3, sh, perl, java, ...) never
//      match by their own path: for them the script (argv[1], the module of -m, the archive
//      of -jar) is compared, with the script of an interpreter Exec ("python3 /opt/x/x.py")
//      and with a plain Exec program (a script started through its #! line). Launchers
//      (flatpak, xdg-open, ...) in Exec are not indexed at all.
// Within one of these passes, an entry without NoDisplay wins over one with it, then the
// earlier entry in precedence order.
//
// NoDisplay entries stay eligible at every step: for a window they only supply a name and an
// icon, and programs that are started from a terminal or by another program often have no
// other entry (the only entry of an image viewer or of a settings helper is hidden from menus
// while the window it opens is a normal one). Preferring the shown entry inside a pass keeps a
// hidden "open with" variant from taking an application's place. Hidden=true means deleted,
// as the desktop-entry rules say, so those entries are never loaded.
//
// Not thread-safe: load, match and reload from one thread (match() is const and may run on
// several threads only while nobody reloads).
class DesktopEntries {
public:
    // The directories GIO reads: $XDG_DATA_HOME/applications, then each
    // $XDG_DATA_DIRS/applications (the same values GIO's registry uses).
    DesktopEntries();
    // Only these directories, earlier ones win.
    explicit DesktopEntries(const QStringList& applicationDirs);

    std::optional<DesktopEntry> match(const WindowIdentityHints& hints) const;
    // By desktop id, with or without ".desktop".
    std::optional<DesktopEntry> entry(const QString& id) const;

    // Re-reads the entries when a file was added, removed or changed since the last load.
    // Finding that out costs one directory listing and one stat() per file (1-2 ms for 300
    // entries on a slow 2-core machine), so it may be called when a window does not match,
    // once per snapshot rather than once per window. An actual re-read parses every file
    // through GIO (about 0.1 ms per entry). A reload keeps the locale the names were read in
    // until some file changes.
    void reload();
    // Counts the loads: it changes whenever the entries were read anew, so that identities found
    // without an entry can be looked for again.
    std::uint64_t generation() const { return generation_; }

    // Number of entries loaded.
    qsizetype size() const { return static_cast<qsizetype>(records_.size()); }
    const QStringList& applicationDirs() const { return dirs_; }
    static QStringList defaultApplicationDirs();

private:
    struct Record {
        DesktopEntry entry;
        bool noDisplay = false;
        QString startupWmClass;
        QString execPath;      // the Exec program, resolved and canonical; empty for interpreters
        QString execLocation;  // where Exec or PATH finds it, symbolic links not followed
        QString execBase;      // its base name as Exec writes it
        QStringList execArguments;  // what Exec passes it, without the field codes (%U, ...)
        QString scriptPath;         // canonical script path of an interpreter Exec, when absolute
        QString scriptBase;
    };
    using Index = QHash<QString, QList<int>>;

    struct FileRef {
        QString path;
        QString id;
    };
    // The .desktop files in precedence order and a fingerprint of their names and stamps.
    std::vector<FileRef> listFiles(QByteArray* fingerprint) const;
    void load(const std::vector<FileRef>& files);
    void addRecord(Record record);
    void indexExecPaths();

    // The preferred entry of `candidates` (shown first, then precedence); -1 when none.
    int pick(const QList<int>& candidates) const;
    int pickFrom(const Index& index, const QString& key) const;
    // The same among entries of one program: the one whose Exec arguments the process was
    // started with too, the most of them first (foot --server is not foot).
    int pickFrom(const Index& index, const QString& key, const QStringList& argv) const;
    int matchExec(const WindowIdentityHints& hints) const;

    QStringList dirs_;
    QByteArray fingerprint_;
    std::uint64_t generation_ = 0;
    std::vector<Record> records_;
    QHash<QString, int> byId_;
    Index byIdLower_;
    Index byLastIdPart_;  // lower-cased
    Index byWmClass_;
    Index byWmClassLower_;
    Index byExecPath_;
    Index byExecBase_;
    Index byScriptBase_;
};

// Theme name: QIcon::fromTheme, then the hicolor theme and the pixmaps directories looked up
// directly (so it works without a platform icon theme); a legacy ".png"/".svg"/".xpm" suffix
// on a name is ignored; the result of a name is remembered for a minute. Absolute path: that
// file when it is a readable image. Anything else, or nothing found: an empty QIcon. Call on
// the GUI thread.
QIcon iconFor(const QString& iconName);

}  // namespace klosia
