// The windows of the Shell that Klosia may list, close and raise, the change notice that tells
// Klosia to read the list again, and the placing of Klosia's own windows, which a Wayland client
// cannot position itself.
//
// This module imports nothing: the Shell's objects come in through the constructor, so that the
// tests can run it under plain gjs and the legacy build can rewrite its exports alone
// (to-legacy.cmake).

// How long a placement waits for its window: Klosia asks right after it shows the window, which
// the Shell gets a moment later.
export const PLACE_WAIT_MS = 2000;

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
     * @param {object} options.mainLoop - idleAdd(callback) and timeoutAdd(ms, callback) → source
     *   id, removeSource(id)
     * @param {object} options.screen - monitors() → [{x, y, width, height, workArea: {x, y, width,
     *   height}}] in stage pixels, the work area that of the active workspace
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
        this._screen = options.screen;
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
        this._placing = null;
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
            if (!this._follow(window))
                return;
            if (this._isListed(window))
                queue();
            this._placeIfWanted(window);
        });
        this._connect(this._display, 'notify::focus-window', queue);
        this._connect(this._tracker, 'tracked-windows-changed', queue);
        for (const window of this._allWindows())
            this._follow(window);
    }

    /** Disconnects everything start() connected and drops a notice and a placement not yet due. */
    stop() {
        this._endPlacing();
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

    /**
     * Moves the caller's own window of that title so that its frame's top-left corner is at
     * (x, y), as far as the work area of the monitor there allows for a frame of that size, and
     * keeps it above the others. A window not there yet is placed when it comes, for
     * PLACE_WAIT_MS; a newer request replaces the one waiting. Only between start() and stop().
     *
     * Mutter places a window itself when it first shows it, and a Wayland client gets a new
     * Meta.Window for each showing of its window, usually before it has named its title. A move
     * before Mutter's placement may be undone by it, so the window is moved as soon as it has the
     * title (now, when it is created, on notify::title), and again on its first `shown`, which
     * Mutter emits once its placement is done; the request ends there, or when its time is up.
     *
     * @param {number} pid - the caller's process: no other program's window is touched
     * @param {object} request - title, and x, y, width and height of the frame, in stage pixels
     * @returns {boolean} whether such a window is there now
     */
    place(pid, request) {
        this._endPlacing();
        if (!this._onChanged || !(pid > 0))
            return false;
        const placing = {pid, ...request, timeoutId: 0};
        placing.timeoutId = this._mainLoop.timeoutAdd(PLACE_WAIT_MS, () => {
            placing.timeoutId = 0;
            if (this._placing === placing)
                this._endPlacing();
        });
        this._placing = placing;
        let found = false;
        for (const window of this._allWindows())
            found = this._placeIfWanted(window) || found;
        return found;
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
            window.connect('notify::title', () => {
                queueIfListed();
                this._placeIfWanted(window);
            }),
            window.connect('shown', () => {
                if (this._placeIfWanted(window))
                    this._endPlacing();
            }),
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

    // Whether the window is the one the waiting request names; it is then moved.
    _placeIfWanted(window) {
        const placing = this._placing;
        let wanted = false;
        try {
            // An X11 window's pid is only what its client claims: another program could pass
            // its window off as Klosia's.
            wanted = placing !== null && !isOverrideRedirect(window) &&
                window.get_client_type() === this._waylandClient &&
                processOf(window) === placing.pid && window.get_title() === placing.title;
            if (wanted) {
                const {x, y} = withinWorkArea(placing, this._monitors());
                window.move_frame(true, x, y);
                window.make_above();
            }
        } catch (e) {
            this._log.warn(`a window could not be placed: ${e.message}`);
        }
        return wanted;
    }

    _monitors() {
        try {
            return this._screen.monitors() ?? [];
        } catch (e) {
            this._log.warn(`the monitors could not be read: ${e.message}`);
            return [];
        }
    }

    _endPlacing() {
        if (this._placing?.timeoutId)
            this._mainLoop.removeSource(this._placing.timeoutId);
        this._placing = null;
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

/**
 * Where a frame asked for at (x, y) goes: inside the work area of the monitor that holds the point,
 * or of the nearest one when none does; its top-left corner stays inside when it is too big.
 *
 * @param {object} frame - x, y, width, height
 * @param {object[]} monitors - see the screen of WindowList
 * @returns {object} x, y
 */
function withinWorkArea(frame, monitors) {
    const distance = ({x, y, width, height}) =>
        Math.hypot(Math.max(x - frame.x, 0, frame.x - (x + width - 1)),
            Math.max(y - frame.y, 0, frame.y - (y + height - 1)));
    let nearest = null;
    for (const monitor of monitors) {
        if (!nearest || distance(monitor) < distance(nearest))
            nearest = monitor;
    }
    const area = nearest?.workArea;
    if (!area)
        return {x: frame.x, y: frame.y};
    const clamp = (value, start, length, size) =>
        Math.max(start, Math.min(value, start + length - size));
    return {x: clamp(frame.x, area.x, area.width, frame.width),
        y: clamp(frame.y, area.y, area.height, frame.height)};
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
