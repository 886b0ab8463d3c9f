#include "platform/linux/CanberraSoundPlayer.h"

#include <canberra.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>
#include <mutex>
#include <utility>

#include "core/AppInfo.h"

namespace klosia {

namespace {

QString canberraError(int code) {
    return QString::fromUtf8(ca_strerror(code));
}

struct ProplistDeleter {
    void operator()(ca_proplist* list) const { ca_proplist_destroy(list); }
};
using Proplist = std::unique_ptr<ca_proplist, ProplistDeleter>;

Proplist makeProplist() {
    ca_proplist* list = nullptr;
    if (ca_proplist_create(&list) != CA_SUCCESS) {
        return nullptr;
    }
    return Proplist(list);
}

// A name stays inside its directory: no separators, no "." or "..".
bool isPlainName(const QString& name) {
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && name != QLatin1String(".") &&
           name != QLatin1String("..") && !name.contains(QChar(0));
}

std::mutex contextMutex;
ca_context* sharedContext = nullptr;  // guarded by contextMutex; never destroyed, see the header

// Opens the context on first use, so that a start without sounds never touches the audio stack.
int openSharedContext() {
    if (sharedContext != nullptr) {
        return CA_SUCCESS;
    }
    ca_context* context = nullptr;
    int status = ca_context_create(&context);
    if (status != CA_SUCCESS) {
        return status;
    }
    if (Proplist props = makeProplist()) {
        ca_proplist_sets(props.get(), CA_PROP_APPLICATION_NAME, appinfo::kName);
        ca_proplist_sets(props.get(), CA_PROP_APPLICATION_ID, appinfo::kApplicationId);
        ca_proplist_sets(props.get(), CA_PROP_APPLICATION_ICON_NAME, appinfo::kApplicationId);
        ca_context_change_props_full(context, props.get());
    }
    status = ca_context_open(context);
    if (status != CA_SUCCESS) {
        // Nothing has played through it, so no playback thread can be left behind. Tried again
        // at the next sound: an audio device may have appeared by then.
        ca_context_destroy(context);
        return status;
    }
    sharedContext = context;
    return CA_SUCCESS;
}

}  // namespace

CanberraSoundPlayer::CanberraSoundPlayer(QStringList directories)
    : directories_(std::move(directories)) {}

QString CanberraSoundPlayer::fileFor(const QString& name) const {
    if (!isPlainName(name)) {
        return {};
    }
    for (const QString& directory : directories_) {
        const QFileInfo file(QDir(directory).filePath(name + QStringLiteral(".wav")));
        if (file.isFile() && file.isReadable()) {
            return file.absoluteFilePath();
        }
    }
    return {};
}

bool CanberraSoundPlayer::play(const QString& name, QString& error) {
    const QString file = fileFor(name);
    if (file.isEmpty()) {
        error = QStringLiteral("no sound named \"%1\"").arg(name);
        return false;
    }
    const QByteArray path = QFile::encodeName(file);
    const std::lock_guard lock(contextMutex);
    int status = openSharedContext();
    if (status == CA_SUCCESS) {
        Proplist props = makeProplist();
        if (!props) {
            status = CA_ERROR_OOM;
        } else {
            ca_proplist_sets(props.get(), CA_PROP_MEDIA_FILENAME, path.constData());
            ca_proplist_sets(props.get(), CA_PROP_EVENT_DESCRIPTION, name.toUtf8().constData());
            // Our files are not theme sounds: the server need not keep them.
            ca_proplist_sets(props.get(), CA_PROP_CANBERRA_CACHE_CONTROL, "never");
            status = ca_context_play_full(sharedContext, 0, props.get(), nullptr, nullptr);
        }
    }
    if (status != CA_SUCCESS) {
        // Without an audio device ALSA reports "not found", which reads as if the file were
        // missing: name the code too.
        error = QStringLiteral("could not play %1: %2 (libcanberra error %3)")
                    .arg(file, canberraError(status))
                    .arg(status);
        return false;
    }
    return true;
}

}  // namespace klosia
