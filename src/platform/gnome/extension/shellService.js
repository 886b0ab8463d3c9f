// The Shell's side of Klosia's window list on GNOME: a D-Bus object that lists, closes and
// raises windows for the running Klosia and places Klosia's own, and a top-bar button that opens
// Klosia's menu.
//
// This module imports nothing (see to-legacy.cmake): the bus, the window list, the caller check
// and the top bar come in through the constructor.

export const KLOSIA_BUS_NAME = 'org.klosia.Klosia';
export const KLOSIA_OBJECT_PATH = '/org/klosia/Klosia';
export const KLOSIA_INTERFACE = 'org.klosia.Klosia';
export const SHELL_BUS_NAME = 'org.klosia.Shell';
export const SHELL_OBJECT_PATH = '/org/klosia/Shell';
export const SHELL_INTERFACE = 'org.klosia.Shell1';
export const SHELL_VERSION = 1;
export const ACCESS_DENIED_ERROR = 'org.klosia.Shell.Error.AccessDenied';
// The largest frame side Place takes, in stage pixels: a larger one is a mistake, not a menu.
export const PLACE_MAX_SIZE = 10000;

export const SHELL_INTERFACE_XML = `<node>
  <interface name="${SHELL_INTERFACE}">
    <property name="Version" type="u" access="read"/>
    <method name="GetWindows">
      <arg name="windows" type="aa{sv}" direction="out"/>
    </method>
    <method name="Close">
      <arg name="id" type="t" direction="in"/>
      <arg name="found" type="b" direction="out"/>
    </method>
    <method name="Activate">
      <arg name="id" type="t" direction="in"/>
      <arg name="found" type="b" direction="out"/>
    </method>
    <method name="Place">
      <arg name="title" type="s" direction="in"/>
      <arg name="x" type="i" direction="in"/>
      <arg name="y" type="i" direction="in"/>
      <arg name="width" type="i" direction="in"/>
      <arg name="height" type="i" direction="in"/>
      <arg name="found" type="b" direction="out"/>
    </method>
    <signal name="WindowsChanged"/>
  </interface>
</node>`;

// The D-Bus type of each field of a window's dictionary.
const WINDOW_FIELD_TYPES = {
    'id': 't',
    'app-id': 's',
    'title': 's',
    'pid': 'u',
    'skip-taskbar': 'b',
    'focused': 'b',
    'client': 's',
    'wm-class': 's',
};

const PROPERTIES_INTERFACE = 'org.freedesktop.DBus.Properties';
const FAILED_ERROR = 'org.freedesktop.DBus.Error.Failed';
const INVALID_ARGS_ERROR = 'org.freedesktop.DBus.Error.InvalidArgs';
const UNKNOWN_METHOD_ERROR = 'org.freedesktop.DBus.Error.UnknownMethod';
const UNKNOWN_PROPERTY_ERROR = 'org.freedesktop.DBus.Error.UnknownProperty';

/**
 * Does nothing but watch Klosia's bus name while Klosia is not running: the Shell pays for the
 * window signals, the bus name and the button only while someone can use them.
 */
export class ShellService {
    /**
     * @param {object} options
     * @param {object} options.bus - watchName, unwatchName, ownName, unownName, exportObject,
     *   unexportObject, emitSignal, call and variant (see gnomeGlue.js)
     * @param {object} options.windows - a WindowList
     * @param {object} options.access - a CallerCheck
     * @param {object} options.topBar - add(onPress) → {extents(), destroy()}
     * @param {object} options.log - warn(message)
     */
    constructor(options) {
        this._bus = options.bus;
        this._windows = options.windows;
        this._access = options.access;
        this._topBar = options.topBar;
        this._log = options.log;

        this._watchId = null;
        this._owner = null;
        this._active = false;
        this._exportId = null;
        this._nameId = null;
        this._button = null;
    }

    /** Waits for Klosia; enable() of the extension. */
    start() {
        if (this._watchId !== null)
            return;
        this._watchId = this._bus.watchName(KLOSIA_BUS_NAME,
            owner => this._guard('Klosia appeared', () => this._klosiaAppeared(owner)),
            () => this._guard('Klosia left', () => this._klosiaLeft()));
    }

    /** Undoes everything start() and Klosia's coming did; disable() of the extension. */
    stop() {
        if (this._watchId !== null) {
            this._guard('the watch of Klosia ended', () => this._bus.unwatchName(this._watchId));
            this._watchId = null;
        }
        this._klosiaLeft();
    }

    _klosiaAppeared(owner) {
        this._owner = owner;
        this._access.setOwner(owner);
        if (this._active)
            return;
        this._active = true;
        try {
            this._windows.start(() => this._windowsChanged());
            this._exportId = this._bus.exportObject(SHELL_OBJECT_PATH, SHELL_INTERFACE_XML,
                (iface, method, params, invocation) =>
                    this._called(iface, method, params, invocation));
            this._nameId = this._bus.ownName(SHELL_BUS_NAME,
                () => this._log.warn(`another program holds ${SHELL_BUS_NAME}`));
            this._button = this._topBar.add(
                () => this._guard('the button press', () => this._pressed()));
        } catch (e) {
            // Half a service would answer Klosia's calls but miss its changes: none at all.
            this._log.warn(`Klosia's window list could not be offered: ${e.message}`);
            this._klosiaLeft();
        }
    }

    _klosiaLeft() {
        this._owner = null;
        this._access.setOwner(null);
        if (!this._active)
            return;
        this._active = false;
        if (this._button) {
            this._guard('the button was removed', () => this._button.destroy());
            this._button = null;
        }
        if (this._nameId !== null) {
            this._guard('the bus name was released', () => this._bus.unownName(this._nameId));
            this._nameId = null;
        }
        if (this._exportId !== null) {
            this._guard('the object was unexported',
                () => this._bus.unexportObject(this._exportId));
            this._exportId = null;
        }
        this._guard('the windows were left', () => this._windows.stop());
    }

    // Sent to Klosia alone: other programs have no use for it and should not learn when the
    // user's windows change.
    _windowsChanged() {
        if (this._owner && this._exportId !== null)
            this._bus.emitSignal(this._owner, SHELL_OBJECT_PATH, SHELL_INTERFACE, 'WindowsChanged');
    }

    _called(iface, method, params, invocation) {
        const respond = (refusal, pid) => this._guard(`the answer to ${method}`, () => {
            if (refusal !== null)
                invocation.return_dbus_error(ACCESS_DENIED_ERROR, refusal);
            else
                this._answer(iface, method, params, invocation, pid);
        });
        try {
            this._access.check(invocation.get_sender(), respond);
        } catch (e) {
            respond(`the caller could not be checked: ${e.message}`);
        }
    }

    _answer(iface, method, params, invocation, pid) {
        let reply;
        try {
            reply = this._reply(iface, method, params.deepUnpack(), pid);
        } catch (e) {
            this._log.warn(`${method} failed: ${e.message}`);
            invocation.return_dbus_error(FAILED_ERROR, e.message);
            return;
        }
        if (reply.error)
            invocation.return_dbus_error(reply.error, reply.message);
        else
            invocation.return_value(reply.value);
    }

    _reply(iface, method, args, pid) {
        const variant = (type, value) => this._bus.variant(type, value);
        // GDBus checks the property's name and access before the call gets here.
        if (iface === PROPERTIES_INTERFACE && method === 'Get') {
            const [, property] = args;
            if (property !== 'Version')
                return {error: UNKNOWN_PROPERTY_ERROR, message: `no property ${property}`};
            return {value: variant('(v)', [variant('u', SHELL_VERSION)])};
        }
        if (iface === PROPERTIES_INTERFACE && method === 'GetAll')
            return {value: variant('(a{sv})', [{Version: variant('u', SHELL_VERSION)}])};
        if (iface === SHELL_INTERFACE && method === 'GetWindows') {
            const windows = this._windows.describe().map(window => {
                const fields = {};
                for (const [key, type] of Object.entries(WINDOW_FIELD_TYPES))
                    fields[key] = variant(type, window[key]);
                return fields;
            });
            return {value: variant('(aa{sv})', [windows])};
        }
        if (iface === SHELL_INTERFACE && method === 'Close')
            return {value: variant('(b)', [this._windows.close(args[0])])};
        if (iface === SHELL_INTERFACE && method === 'Activate')
            return {value: variant('(b)', [this._windows.activate(args[0])])};
        if (iface === SHELL_INTERFACE && method === 'Place') {
            const [title, x, y, width, height] = args;
            const refusal = placeRefusal(title, x, y, width, height);
            if (refusal)
                return {error: INVALID_ARGS_ERROR, message: refusal};
            return {value: variant('(b)',
                [this._windows.place(pid, {title, x, y, width, height})])};
        }
        return {error: UNKNOWN_METHOD_ERROR, message: `no method ${iface}.${method}`};
    }

    // Klosia opens its menu under the button: the point is the button's bottom centre in the
    // stage's logical pixels.
    _pressed() {
        if (!this._button)
            return;
        const {x, y, width, height} = this._button.extents();
        const point = `${Math.round(x + width / 2)},${Math.round(y + height)}`;
        this._bus.call(KLOSIA_BUS_NAME, KLOSIA_OBJECT_PATH, KLOSIA_INTERFACE, 'Command', '(ss)',
            ['toggle-menu', point], '(s)', (reply, error) => {
                if (error)
                    this._log.warn(`Klosia did not open its menu: ${error}`);
                else if (reply?.[0])
                    this._log.warn(`Klosia did not open its menu: ${reply[0]}`);
            });
    }

    // Nothing thrown here may reach the Shell, which would log it against the Shell itself.
    _guard(what, action) {
        try {
            action();
        } catch (e) {
            this._log.warn(`${what}: ${e.message}`);
        }
    }
}

// GDBus has checked the types already; the values are Klosia's to get right.
function placeRefusal(title, x, y, width, height) {
    if (typeof title !== 'string' || title === '')
        return 'Place needs the title of the window';
    if (![x, y].every(Number.isInteger))
        return 'Place needs a whole x and y';
    const side = value => Number.isInteger(value) && value > 0 && value <= PLACE_MAX_SIZE;
    if (!side(width) || !side(height))
        return `Place needs a width and a height from 1 to ${PLACE_MAX_SIZE}, not ${width}x${height}`;
    return null;
}
