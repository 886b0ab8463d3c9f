// The windows of the Shell that Klosia may list, close and raise, and the change notice that tells
// Klosia to read the list again.
//
// This module imports nothing: the Shell's objects come in through the constructor, so that the
// tests can run it under plain gjs and the legacy build can rewrite its exports alone
// (to-legacy.cmake).

/**
 * The application windows of the Shell's display, described for Klosia.
 *
 * Many window events arrive in a burst (a new window gets its title, class and focus one after
 * the other): they are folded into one notice per main-loop turn, since each notice makes Klosia
 * fetch the whole list.
 */
export class WindowList {
    /**
     * @param {object} options
     * @param {object} options.display - the Shell's Meta.Display: its signals, its focus_window
     *   and list_all_windows()
     * @param {object} options.tracker - the Shell.WindowTracker that names each window's app
     * @param {object} options.mainLoop - idleAdd(callback) → source id, removeSource(id)
     * @param {number[]} options.listedTypes - the Meta.WindowType values of application windows
     * @param {number} options.waylandClient - Meta.WindowClientType.WAYLAND
     * @param {number} options.shellPid - the Shell's own process, whose windows are not Klosia's
     * @param {function(): number} options.now - the Shell's current event time
     * @param {function(object): void} options.activate - Main.activateWindow
     * @param {object} options.log - warn(message)
     */
    constructor(options) {
        this._display = options.display;
        this._tracker = options.tracker;
        this._mainLoop = options.mainLoop;
        this._listedTypes = options.listedTypes;
        this._waylandClient = options.waylandClient;
        this._shellPid = options.shellPid;
        this._now = options.now;
        this._activate = options.activate;
        this._log = options.log;

        this._onChanged = null;
        this._sourceConnections = [];
        this._windowConnections = new Map();
        this._idleId = 0;
    }

    /**
     * Follows the display's windows until stop(); onChanged runs at most once per main-loop turn
     * after the list or a listed field changed.
     *
     * @param {function(): void} onChanged
     */
    start(onChanged) {
        if (this._onChanged)
            return;
        this._onChanged = onChanged;
        const queue = () => this._queueChanged();
        this._connect(this._display, 'window-created', (display, window) => {
            if (this._follow(window) && this._isListed(window))
                queue();
        });
        this._connect(this._display, 'notify::focus-window', queue);
        this._connect(this._tracker, 'tracked-windows-changed', queue);
        for (const window of this._allWindows())
            this._follow(window);
    }

    /** Disconnects everything start() connected and drops a notice not yet sent. */
    stop() {
        for (const [object, id] of this._sourceConnections)
            disconnectQuietly(object, id);
        this._sourceConnections = [];
        for (const [window, ids] of this._windowConnections) {
            for (const id of ids)
                disconnectQuietly(window, id);
        }
        this._windowConnections.clear();
        if (this._idleId) {
            this._mainLoop.removeSource(this._idleId);
            this._idleId = 0;
        }
        this._onChanged = null;
    }

    /**
     * The listed windows, each as the dictionary GetWindows sends (D-Bus key names).
     *
     * @returns {object[]}
     */
    describe() {
        const descriptions = [];
        for (const window of this._listedWindows()) {
            try {
                descriptions.push(this._describe(window));
            } catch (e) {
                // A window torn down under us is left out of this answer; the next one is right.
                this._log.warn(`a window could not be read: ${e.message}`);
            }
        }
        return descriptions;
    }

    /**
     * Asks the window to close, as its close button would: the application may refuse.
     *
     * @param {number} id - Meta.Window.get_id()
     * @returns {boolean} whether such a window is listed
     */
    close(id) {
        const window = this._find(id);
        if (!window)
            return false;
        window.delete(this._now());
        return true;
    }

    /**
     * Raises and focuses the window, moving to its workspace.
     *
     * @param {number} id - Meta.Window.get_id()
     * @returns {boolean} whether such a window is listed
     */
    activate(id) {
        const window = this._find(id);
        if (!window)
            return false;
        this._activate(window);
        return true;
    }

    _connect(object, signal, handler) {
        this._sourceConnections.push([object, object.connect(signal, handler)]);
    }

    // Override-redirect windows (menus, tooltips) come and go by the dozen and never become
    // application windows: they are not followed at all.
    _follow(window) {
        if (this._windowConnections.has(window) || isOverrideRedirect(window))
            return false;
        const queueIfListed = () => {
            if (this._isListed(window))
                this._queueChanged();
        };
        const ids = [
            window.connect('unmanaged', () => {
                const ownIds = this._windowConnections.get(window) ?? [];
                this._windowConnections.delete(window);
                for (const id of ownIds)
                    disconnectQuietly(window, id);
                this._queueChanged();
            }),
            window.connect('notify::title', queueIfListed),
            window.connect('notify::wm-class', queueIfListed),
            window.connect('notify::skip-taskbar', queueIfListed),
            // A window that turns into a dialog joins the list, one that turns into a menu leaves.
            window.connect('notify::window-type', () => this._queueChanged()),
        ];
        this._windowConnections.set(window, ids);
        return true;
    }

    _queueChanged() {
        if (this._idleId || !this._onChanged)
            return;
        this._idleId = this._mainLoop.idleAdd(() => {
            this._idleId = 0;
            try {
                this._onChanged?.();
            } catch (e) {
                this._log.warn(`the window change notice failed: ${e.message}`);
            }
        });
    }

    _allWindows() {
        try {
            return this._display.list_all_windows() ?? [];
        } catch (e) {
            this._log.warn(`the windows could not be listed: ${e.message}`);
            return [];
        }
    }

    _listedWindows() {
        return this._allWindows().filter(window => {
            try {
                return this._isListed(window);
            } catch (e) {
                return false;
            }
        });
    }

    _isListed(window) {
        return !isOverrideRedirect(window) &&
            this._listedTypes.includes(window.get_window_type()) &&
            !(this._shellPid > 0 && processOf(window) === this._shellPid);
    }

    _find(id) {
        return this._listedWindows().find(window => window.get_id() === id) ?? null;
    }

    _describe(window) {
        return {
            'id': window.get_id(),
            'app-id': this._appId(window),
            'title': window.get_title() ?? '',
            'pid': processOf(window),
            'skip-taskbar': Boolean(window.is_skip_taskbar()),
            'focused': this._display.focus_window === window,
            'client': window.get_client_type() === this._waylandClient ? 'wayland' : 'x11',
            'wm-class': window.get_wm_class() ?? '',
        };
    }

    // The Shell makes up an app named "window:N" for a window it cannot match to a desktop
    // entry: that name means nothing outside the Shell, so Klosia gets none.
    _appId(window) {
        const app = this._tracker.get_window_app(window);
        const id = app?.get_id() ?? '';
        return id.startsWith('window:') ? '' : id;
    }
}

function isOverrideRedirect(window) {
    return Boolean(window.is_override_redirect());
}

// Meta says -1 for a window whose client named no process.
function processOf(window) {
    const pid = window.get_pid();
    return Number.isInteger(pid) && pid > 0 ? pid : 0;
}

// A window already destroyed has dropped its handlers with it.
function disconnectQuietly(object, id) {
    try {
        object.disconnect(id);
    } catch (e) {
    }
}
