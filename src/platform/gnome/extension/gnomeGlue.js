// The real GNOME objects behind the service's adaptors, shared by the two entry points.
//
// This module imports nothing (see to-legacy.cmake): GNOME Shell 43 and 44 load extensions
// through the legacy importer, 45 and later as ES modules, and the two ways of importing the
// libraries differ; each entry point imports them its own way and hands them in.

const BUTTON_ICONS = ['org.klosia.Klosia-symbolic', 'application-exit-symbolic'];
const STATUS_AREA_ROLE = 'klosia';

/**
 * The session bus through Gio, for the ShellService and the CallerCheck. Nothing is exported
 * or owned on any other connection.
 */
export class GnomeBus {
    /**
     * @param {object} Gio
     * @param {object} GLib
     */
    constructor(Gio, GLib) {
        this._Gio = Gio;
        this._GLib = GLib;
        this._connection = Gio.DBus.session;
    }

    watchName(name, appeared, vanished) {
        return this._Gio.bus_watch_name_on_connection(this._connection, name,
            this._Gio.BusNameWatcherFlags.NONE,
            (connection, watched, owner) => appeared(owner),
            () => vanished());
    }

    unwatchName(id) {
        this._Gio.bus_unwatch_name(id);
    }

    ownName(name, lost) {
        return this._Gio.bus_own_name_on_connection(this._connection, name,
            this._Gio.BusNameOwnerFlags.NONE, null, () => lost());
    }

    unownName(id) {
        this._Gio.bus_unown_name(id);
    }

    // Without a property getter GDBus hands Properties.Get and GetAll to the method handler,
    // which can then answer after the caller's asynchronous check like any other call.
    exportObject(path, xml, onCall) {
        const info = this._Gio.DBusNodeInfo.new_for_xml(xml).interfaces[0];
        return this._connection.register_object(path, info,
            (connection, sender, objectPath, iface, method, params, invocation) =>
                onCall(iface, method, params, invocation),
            null, null);
    }

    unexportObject(id) {
        this._connection.unregister_object(id);
    }

    emitSignal(destination, path, iface, name) {
        this._connection.emit_signal(destination, path, iface, name, null);
    }

    // done(reply as a JS array, null) or done(null, message)
    call(destination, path, iface, method, signature, args, replySignature, done) {
        this._connection.call(destination, path, iface, method,
            new this._GLib.Variant(signature, args), new this._GLib.VariantType(replySignature),
            this._Gio.DBusCallFlags.NO_AUTO_START, -1, null, (connection, result) => {
                let reply;
                try {
                    reply = connection.call_finish(result).deepUnpack();
                } catch (e) {
                    done(null, e.message);
                    return;
                }
                done(reply, null);
            });
    }

    variant(type, value) {
        return new this._GLib.Variant(type, value);
    }
}

/**
 * The button in the top bar. It opens Klosia's own menu, not one of the Shell's: the panel
 * button gets a dummy menu, whose toggle does nothing.
 */
export class GnomeTopBar {
    /**
     * @param {object} gnome - Clutter, Gio, St, Main and PanelMenu
     */
    constructor(gnome) {
        this._gnome = gnome;
    }

    add(onPress) {
        const {Clutter, Gio, St, Main, PanelMenu} = this._gnome;
        const button = new PanelMenu.Button(0.5, 'Klosia', true);
        button.add_child(new St.Icon({
            gicon: new Gio.ThemedIcon({names: BUTTON_ICONS}),
            style_class: 'system-status-icon',
        }));
        const press = () => {
            onPress();
            return Clutter.EVENT_STOP;
        };
        const activationKeys = [Clutter.KEY_Return, Clutter.KEY_KP_Enter, Clutter.KEY_ISO_Enter,
            Clutter.KEY_space];
        button.connect('button-press-event', press);
        button.connect('touch-event', (actor, event) =>
            event.type() === Clutter.EventType.TOUCH_BEGIN ? press() : Clutter.EVENT_PROPAGATE);
        button.connect('key-press-event', (actor, event) =>
            activationKeys.includes(event.get_key_symbol()) ? press() : Clutter.EVENT_PROPAGATE);
        try {
            Main.panel.addToStatusArea(STATUS_AREA_ROLE, button);
        } catch (e) {
            button.destroy();
            throw e;
        }
        return {
            extents() {
                const [x, y] = button.get_transformed_position();
                const [width, height] = button.get_transformed_size();
                return {x, y, width, height};
            },
            destroy() {
                button.destroy();
            },
        };
    }
}

/**
 * The service with the Shell's real objects; start() and stop() it from enable() and disable().
 *
 * @param {object} gnome - Clutter, Gio, GLib, Meta, Shell, St, Main, PanelMenu and global
 * @param {object} core - the WindowList, CallerCheck and ShellService classes
 * @returns {object} a ShellService
 */
export function createKlosiaShell(gnome, core) {
    const {Gio, GLib, Meta, Shell, Main} = gnome;
    const shellGlobal = gnome.global;
    const log = {warn: message => console.warn(`Klosia: ${message}`)};
    const bus = new GnomeBus(Gio, GLib);
    const windows = new core.WindowList({
        display: shellGlobal.display,
        tracker: Shell.WindowTracker.get_default(),
        mainLoop: {
            idleAdd: callback => GLib.idle_add(GLib.PRIORITY_DEFAULT_IDLE, () => {
                callback();
                return GLib.SOURCE_REMOVE;
            }),
            timeoutAdd: (ms, callback) => GLib.timeout_add(GLib.PRIORITY_DEFAULT, ms, () => {
                callback();
                return GLib.SOURCE_REMOVE;
            }),
            removeSource: id => GLib.source_remove(id),
        },
        screen: {monitors: () => monitorsOf(shellGlobal)},
        listedTypes: [Meta.WindowType.NORMAL, Meta.WindowType.DIALOG, Meta.WindowType.MODAL_DIALOG],
        waylandClient: Meta.WindowClientType.WAYLAND,
        shellPid: new Gio.Credentials().get_unix_pid(),
        now: () => shellGlobal.get_current_time(),
        activate: window => Main.activateWindow(window),
        log,
    });
    const access = new core.CallerCheck({bus, readLink: readLinkWith(GLib)});
    return new core.ShellService({bus, windows, access, topBar: new GnomeTopBar(gnome), log});
}

/**
 * The monitors in stage pixels, each with the work area of the active workspace. Through
 * Meta.Display and Meta.Workspace, which GNOME 43 to 47 all have; their rectangles changed type
 * (Meta.Rectangle, then Mtk.Rectangle), so only the fields are read.
 *
 * @param {object} shellGlobal - the Shell's global
 * @returns {object[]} x, y, width, height and workArea {x, y, width, height}
 */
export function monitorsOf(shellGlobal) {
    const display = shellGlobal.display;
    const workspace = shellGlobal.workspace_manager.get_active_workspace();
    const fields = ({x, y, width, height}) => ({x, y, width, height});
    const monitors = [];
    for (let i = 0; i < display.get_n_monitors(); i++) {
        monitors.push({...fields(display.get_monitor_geometry(i)),
            workArea: fields(workspace.get_work_area_for_monitor(i))});
    }
    return monitors;
}

/**
 * @param {object} GLib
 * @returns {function(string): ?string} a link's target, null when it cannot be read
 */
export function readLinkWith(GLib) {
    return path => {
        try {
            return GLib.file_read_link(path);
        } catch (e) {
            return null;
        }
    };
}
