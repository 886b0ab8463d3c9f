#include "platform/linux/DesktopEntries.h"

#include <dirent.h>
#include <gio/gdesktopappinfo.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <memory>

#include "log/Vezizur.h"
#include "platform/linux/ExecCommand.h"

namespace klosia {

namespace {

const QString kSuffix = QStringLiteral(".desktop");
const QString kDeletedSuffix = QStringLiteral(" (deleted)");

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using AppInfoPtr = std::unique_ptr<GDesktopAppInfo, ObjectUnref>;

// Takes ownership of a string GLib allocated.
QString takeString(gchar* text) {
    if (text == nullptr) {
        return {};
    }
    QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

QString withoutSuffix(QString id) {
    if (id.endsWith(kSuffix)) {
        id.chop(kSuffix.size());
    }
    return id;
}

struct FoundFile {
    QByteArray relative;
    struct stat info {};
};

// Deep enough for any real layout ("kde4/", vendor subdirectories), and it ends loops of
// symbolic links to directories.
constexpr int kMaxDepth = 6;

// The *.desktop files below root/relative, symbolic links followed. Plain POSIX calls: this
// runs on every reload() and must stay far below the cost of parsing.
void scanDirectory(const QByteArray& root, const QByteArray& relative, int depth,
                   std::vector<FoundFile>* found) {
    const QByteArray path = relative.isEmpty() ? root : root + '/' + relative;
    DIR* dir = ::opendir(path.constData());
    if (dir == nullptr) {
        return;  // missing directories are normal: most data dirs have no applications
    }
    while (const dirent* item = ::readdir(dir)) {
        const QByteArray name(item->d_name);
        if (name == "." || name == "..") {
            continue;
        }
        const bool desktopFile = name.endsWith(".desktop");
        if (!desktopFile && item->d_type != DT_DIR && item->d_type != DT_LNK &&
            item->d_type != DT_UNKNOWN) {
            continue;
        }
        FoundFile file;
        file.relative = relative.isEmpty() ? name : relative + '/' + name;
        if (::stat((root + '/' + file.relative).constData(), &file.info) != 0) {
            continue;
        }
        if (S_ISDIR(file.info.st_mode)) {
            if (depth < kMaxDepth) {
                scanDirectory(root, file.relative, depth + 1, found);
            }
        } else if (desktopFile && S_ISREG(file.info.st_mode)) {
            found->push_back(std::move(file));
        }
    }
    ::closedir(dir);
}

QString canonicalOr(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

// The path with its directories' links followed but not the file's own: /bin/foo (with /bin a
// link to /usr/bin) is /usr/bin/foo, and a link named foo stays foo.
QString directoryResolved(const QString& path) {
    if (path.isEmpty()) {
        return path;
    }
    const QFileInfo info(path);
    return canonicalOr(info.path()) + QLatin1Char('/') + info.fileName();
}

}  // namespace

DesktopEntries::DesktopEntries() : DesktopEntries(defaultApplicationDirs()) {}

DesktopEntries::DesktopEntries(const QStringList& applicationDirs) {
    for (const QString& dir : applicationDirs) {
        const QString clean = QDir::cleanPath(dir);
        if (!clean.isEmpty() && !dirs_.contains(clean)) {
            dirs_.append(clean);
        }
    }
    reload();
}

// GLib's own data directories, so the set is the one GIO's application registry shows. The
// registry itself (g_app_info_get_all) is not used: it refreshes from file monitors
// asynchronously, so right after a change it may still answer the old set, and it returns the
// ids in hash order, which loses the precedence the matching needs.
QStringList DesktopEntries::defaultApplicationDirs() {
    QStringList dirs;
    const auto add = [&dirs](const gchar* base) {
        if (base != nullptr && base[0] != '\0') {
            dirs.append(QString::fromUtf8(base) + QStringLiteral("/applications"));
        }
    };
    add(g_get_user_data_dir());
    for (const gchar* const* dir = g_get_system_data_dirs(); dir != nullptr && *dir != nullptr;
         ++dir) {
        add(*dir);
    }
    return dirs;
}

std::vector<DesktopEntries::FileRef> DesktopEntries::listFiles(QByteArray* fingerprint) const {
    std::vector<FileRef> files;
    for (const QString& dir : dirs_) {
        const QByteArray root = QFile::encodeName(dir);
        fingerprint->append(root).append('\n');
        std::vector<FoundFile> found;
        scanDirectory(root, QByteArray(), 0, &found);
        std::sort(found.begin(), found.end(),
                  [](const FoundFile& a, const FoundFile& b) { return a.relative < b.relative; });
        for (const FoundFile& file : found) {
            fingerprint->append(file.relative)
                .append(' ')
                .append(QByteArray::number(static_cast<qlonglong>(file.info.st_mtim.tv_sec)))
                .append('.')
                .append(QByteArray::number(static_cast<qlonglong>(file.info.st_mtim.tv_nsec)))
                .append(' ')
                .append(QByteArray::number(static_cast<qlonglong>(file.info.st_size)))
                .append(' ')
                .append(QByteArray::number(static_cast<qulonglong>(file.info.st_ino)))
                .append('\n');
            const QString name = QFile::decodeName(file.relative);
            // "kde4/kate.desktop" is the desktop id "kde4-kate".
            QString id = withoutSuffix(name);
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            files.push_back({dir + QLatin1Char('/') + name, id});
        }
    }
    return files;
}

void DesktopEntries::reload() {
    QByteArray fingerprint;
    const std::vector<FileRef> files = listFiles(&fingerprint);
    if (fingerprint == fingerprint_) {
        return;
    }
    fingerprint_ = fingerprint;
    load(files);
}

void DesktopEntries::load(const std::vector<FileRef>& files) {
    ++generation_;
    records_.clear();
    byId_.clear();
    byIdLower_.clear();
    byLastIdPart_.clear();
    byWmClass_.clear();
    byWmClassLower_.clear();
    byExecPath_.clear();
    byExecBase_.clear();
    byScriptBase_.clear();

    QSet<QString> claimed;
    int skipped = 0;
    for (const FileRef& file : files) {
        if (file.id.isEmpty() || claimed.contains(file.id)) {
            continue;  // an earlier directory owns this id
        }
        claimed.insert(file.id);
        const AppInfoPtr info(
            g_desktop_app_info_new_from_filename(QFile::encodeName(file.path).constData()));
        if (!info) {
            // Damaged files and entries of programs that are not installed alike.
            logger.log(QStringLiteral("desktop entry %1 skipped: not a usable application entry")
                           .arg(file.path),
                       VezizurLevel::info);
            ++skipped;
            continue;
        }
        if (g_desktop_app_info_get_is_hidden(info.get()) != FALSE) {
            continue;  // deleted, and it hides the same id further down
        }
        Record record;
        record.entry.id = file.id;
        record.entry.filePath = file.path;
        record.entry.name = takeString(g_desktop_app_info_get_locale_string(info.get(), "Name"));
        record.entry.iconName = takeString(g_desktop_app_info_get_string(info.get(), "Icon"));
        record.noDisplay = g_desktop_app_info_get_nodisplay(info.get()) != FALSE;
        record.startupWmClass =
            QString::fromUtf8(g_desktop_app_info_get_startup_wm_class(info.get()));

        const QStringList argv =
            ExecCommand::fromExec(takeString(g_desktop_app_info_get_string(info.get(), "Exec")));
        if (!argv.isEmpty() && !ExecCommand::isLauncher(argv.first())) {
            const QString& program = argv.first();
            QString location;
            if (program.startsWith(QLatin1Char('/'))) {
                location = QDir::cleanPath(program);
            } else if (!program.contains(QLatin1Char('/'))) {
                location = QStandardPaths::findExecutable(program);
            }
            const QString resolved = location.isEmpty() ? QString() : canonicalOr(location);
            location = directoryResolved(location);
            if (ExecCommand::isInterpreter(program) || ExecCommand::isInterpreter(resolved)) {
                const QString script = ExecCommand::scriptArgument(argv);
                record.scriptBase = ExecCommand::baseName(script);
                if (script.startsWith(QLatin1Char('/'))) {
                    record.scriptPath = canonicalOr(script);
                }
            } else if (!ExecCommand::isLauncher(resolved)) {
                // A link to a launcher (/snap/bin/x -> /usr/bin/snap) runs some other program
                // in the end: only the name in Exec says which.
                record.execPath = resolved;
                record.execLocation = location;
                record.execBase = ExecCommand::baseName(program);
            } else {
                record.execBase = ExecCommand::baseName(program);
            }
            for (const QString& argument : argv.mid(1)) {
                if (!argument.startsWith(QLatin1Char('%'))) {
                    record.execArguments.append(argument);
                }
            }
        }
        addRecord(std::move(record));
    }
    indexExecPaths();
    logger.log(QStringLiteral("desktop entries: %1 loaded, %2 skipped, from %3 directories")
                   .arg(records_.size())
                   .arg(skipped)
                   .arg(dirs_.size()),
               VezizurLevel::info);
}

void DesktopEntries::addRecord(Record record) {
    const int index = static_cast<int>(records_.size());
    const QString& id = record.entry.id;
    byId_.insert(id, index);
    byIdLower_[id.toLower()].append(index);
    const qsizetype dot = id.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0 && dot + 1 < id.size()) {
        byLastIdPart_[id.mid(dot + 1).toLower()].append(index);
    }
    if (!record.startupWmClass.isEmpty()) {
        byWmClass_[record.startupWmClass].append(index);
        byWmClassLower_[record.startupWmClass.toLower()].append(index);
    }
    if (!record.execBase.isEmpty()) {
        byExecBase_[record.execBase].append(index);
    }
    if (!record.scriptBase.isEmpty()) {
        byScriptBase_[record.scriptBase].append(index);
    }
    records_.push_back(std::move(record));
}

// The program file a process runs (/proc/PID/exe) is always the one at the end of any links.
// Following the Exec program's links to it is right as long as one program sits behind them;
// when several entries reach one file through different links (a multi-call binary, snap's
// launcher), the file names none of them, and only an entry that names the file itself keeps it.
void DesktopEntries::indexExecPaths() {
    QHash<QString, QSet<QString>> locationsOf;
    for (const Record& record : records_) {
        if (!record.execPath.isEmpty()) {
            locationsOf[record.execPath].insert(record.execLocation);
        }
    }
    for (int index = 0; index < static_cast<int>(records_.size()); ++index) {
        const Record& record = records_[static_cast<std::size_t>(index)];
        if (record.execPath.isEmpty()) {
            continue;
        }
        const bool merged = locationsOf.value(record.execPath).size() > 1;
        if (!merged || record.execLocation == record.execPath) {
            byExecPath_[record.execPath].append(index);
        }
    }
}

int DesktopEntries::pick(const QList<int>& candidates) const {
    for (const int index : candidates) {
        if (!records_[static_cast<std::size_t>(index)].noDisplay) {
            return index;
        }
    }
    return candidates.isEmpty() ? -1 : candidates.first();
}

int DesktopEntries::pickFrom(const Index& index, const QString& key) const {
    if (key.isEmpty()) {
        return -1;
    }
    const auto it = index.constFind(key);
    return it == index.constEnd() ? -1 : pick(*it);
}

int DesktopEntries::pickFrom(const Index& index, const QString& key,
                             const QStringList& argv) const {
    if (key.isEmpty()) {
        return -1;
    }
    const auto it = index.constFind(key);
    if (it == index.constEnd()) {
        return -1;
    }
    const QStringList given = argv.mid(1);
    // Best first: every Exec argument given, more of them, shown; else the earlier entry.
    int best = -1;
    std::tuple<bool, qsizetype, bool> bestRank{};
    for (const int candidate : *it) {
        const Record& record = records_[static_cast<std::size_t>(candidate)];
        const bool allGiven =
            std::all_of(record.execArguments.begin(), record.execArguments.end(),
                        [&](const QString& argument) { return given.contains(argument); });
        const std::tuple<bool, qsizetype, bool> rank{
            allGiven, allGiven ? record.execArguments.size() : 0, !record.noDisplay};
        if (best < 0 || rank > bestRank) {
            best = candidate;
            bestRank = rank;
        }
    }
    return best;
}

std::optional<DesktopEntry> DesktopEntries::entry(const QString& id) const {
    const auto it = byId_.constFind(withoutSuffix(id));
    if (it == byId_.constEnd()) {
        return std::nullopt;
    }
    return records_[static_cast<std::size_t>(*it)].entry;
}

std::optional<DesktopEntry> DesktopEntries::match(const WindowIdentityHints& hints) const {
    const auto found = [this](int index) -> std::optional<DesktopEntry> {
        return records_[static_cast<std::size_t>(index)].entry;
    };

    if (!hints.gtkApplicationId.isEmpty()) {
        if (const auto it = byId_.constFind(hints.gtkApplicationId); it != byId_.constEnd()) {
            return found(*it);
        }
    }

    if (!hints.kdeDesktopFile.isEmpty()) {
        const QString id = withoutSuffix(ExecCommand::baseName(hints.kdeDesktopFile));
        if (const auto it = byId_.constFind(id); it != byId_.constEnd()) {
            return found(*it);
        }
        if (const int index = pickFrom(byIdLower_, id.toLower()); index >= 0) {
            return found(index);
        }
    }

    const QString instanceLower = hints.wmInstance.toLower();
    const QString classLower = hints.wmClass.toLower();
    const std::pair<const Index*, QString> passes[] = {
        {&byWmClass_, hints.wmInstance},   {&byWmClass_, hints.wmClass},
        {&byWmClassLower_, instanceLower}, {&byWmClassLower_, classLower},
        {&byIdLower_, instanceLower},      {&byIdLower_, classLower},
        {&byLastIdPart_, instanceLower},   {&byLastIdPart_, classLower},
    };
    for (const auto& [index, key] : passes) {
        if (const int hit = pickFrom(*index, key); hit >= 0) {
            return found(hit);
        }
    }

    if (const int hit = matchExec(hints); hit >= 0) {
        return found(hit);
    }
    return std::nullopt;
}

int DesktopEntries::matchExec(const WindowIdentityHints& hints) const {
    QString exe = hints.exePath;
    if (exe.endsWith(kDeletedSuffix)) {
        exe.chop(kDeletedSuffix.size());  // the binary was replaced by an update
    }
    QStringList argv = hints.cmdline;
    if (argv.size() == 1 && argv.first().contains(QLatin1Char(' ')) &&
        !QFileInfo::exists(argv.first())) {
        // Programs that rewrite their argv into one string of words.
        argv = argv.first().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    const QString argv0Base = argv.isEmpty() ? QString() : ExecCommand::baseName(argv.first());

    if (!ExecCommand::isInterpreter(exe) && !ExecCommand::isInterpreter(argv0Base)) {
        for (const auto& [index, key] :
             {std::pair{&byExecPath_, exe}, std::pair{&byExecBase_, argv0Base},
              std::pair{&byExecBase_, ExecCommand::baseName(exe)}}) {
            if (const int hit = pickFrom(*index, key, argv); hit >= 0) {
                return hit;
            }
        }
        return -1;
    }

    // Run by an interpreter: only what it runs says which application this is.
    const QString script = ExecCommand::scriptArgument(argv);
    if (!script.isEmpty()) {
        const QString scriptPath =
            script.startsWith(QLatin1Char('/')) ? canonicalOr(script) : QString();
        // A program with a #! line that Exec names directly.
        if (const int hit = pickFrom(byExecPath_, scriptPath); hit >= 0) {
            return hit;
        }
        const QString scriptBase = ExecCommand::baseName(script);
        QList<int> candidates;
        for (const int index : byScriptBase_.value(scriptBase)) {
            const QString& entryScript = records_[static_cast<std::size_t>(index)].scriptPath;
            // Two absolute paths must agree; a bare name matches any directory.
            if (scriptPath.isEmpty() || entryScript.isEmpty() || entryScript == scriptPath) {
                candidates.append(index);
            }
        }
        if (const int hit = pick(candidates); hit >= 0) {
            return hit;
        }
        if (const int hit = pickFrom(byExecBase_, scriptBase); hit >= 0) {
            return hit;
        }
    }
    // A program that renamed its process (argv[0]) while running inside an interpreter.
    if (!ExecCommand::isInterpreter(argv0Base)) {
        return pickFrom(byExecBase_, argv0Base);
    }
    return -1;
}

}  // namespace klosia
