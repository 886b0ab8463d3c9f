// Stand-ins for the Shell's objects and the session bus, with what the tests need to drive them
// and to see what the extension left connected.

export const WindowType = {NORMAL: 0, DIALOG: 3, MODAL_DIALOG: 4, MENU: 7, TOOLTIP: 9};
export const ClientType = {WAYLAND: 0, X11: 1};
export const SHELL_PID = 900;

let nextId = 1;

class Emitter {
    constructor() {
        this.handlers = new Map();
        this.badDisconnects = 0;
    }

    connect(signal, handler) {
        this.handlers.set(nextId, {signal, handler});
        return nextId++;
    }

    disconnect(id) {
        if (!this.handlers.delete(id))
            this.badDisconnects++;
    }

    emit(signal, ...args) {
        for (const {signal: name, handler} of [...this.handlers.values()]) {
            if (name === signal)
                handler(this, ...args);
        }
    }
}

export class FakeWindow extends Emitter {
    constructor(fields = {}) {
        super();
        this.fields = {id: nextId++, type: WindowType.NORMAL, overrideRedirect: false,
            title: 'Window', pid: 4321, skipTaskbar: false, client: ClientType.WAYLAND,
            wmClass: 'app', ...fields};
        this.deletedAt = [];
        this.moves = [];
        this.above = false;
    }

    set(field, value, property) {
        this.fields[field] = value;
        this.emit(`notify::${property}`);
    }

    get_id() { return this.fields.id; }
    get_window_type() { return this.fields.type; }
    is_override_redirect() { return this.fields.overrideRedirect; }
    get_title() { return this.fields.title; }
    get_pid() { return this.fields.pid; }
    is_skip_taskbar() { return this.fields.skipTaskbar; }
    get_client_type() { return this.fields.client; }
    get_wm_class() { return this.fields.wmClass; }
    delete(time) { this.deletedAt.push(time); }
    move_frame(userOp, x, y) { this.moves.push([userOp, x, y]); }
    make_above() { this.above = true; }
}

export class FakeDisplay extends Emitter {
    constructor(windows) {
        super();
        this.windows = [...windows];
        this.focus_window = null;
    }

    list_all_windows() { return [...this.windows]; }

    add(window) {
        this.windows.push(window);
        this.emit('window-created', window);
        return window;
    }

    remove(window) {
        this.windows = this.windows.filter(w => w !== window);
        window.emit('unmanaged');
    }

    focus(window) {
        this.focus_window = window;
        this.emit('notify::focus-window');
    }
}

class FakeTracker extends Emitter {
    constructor() {
        super();
        this.apps = new Map();
    }

    setApp(window, id) {
        this.apps.set(window, {get_id: () => id});
        this.emit('tracked-windows-changed');
    }

    get_window_app(window) { return this.apps.get(window) ?? null; }
}

class FakeMainLoop {
    constructor() {
        this.sources = new Map();
        this.timeouts = new Map();
        this.now = 0;
        this.badRemovals = 0;
    }

    idleAdd(callback) {
        this.sources.set(nextId, callback);
        return nextId++;
    }

    timeoutAdd(ms, callback) {
        this.timeouts.set(nextId, {due: this.now + ms, callback});
        return nextId++;
    }

    removeSource(id) {
        if (!this.sources.delete(id) && !this.timeouts.delete(id))
            this.badRemovals++;
    }

    // The clock moves on by ms; the timeouts due by then run.
    advance(ms) {
        this.now += ms;
        for (const [id, {due, callback}] of [...this.timeouts]) {
            if (due <= this.now && this.timeouts.delete(id))
                callback();
        }
    }

    // One turn: the sources pending now run once. Returns how many ran.
    turn() {
        const due = [...this.sources.values()];
        this.sources.clear();
        due.forEach(callback => callback());
        return due.length;
    }
}

// The JS value of a fake variant, nested ones included.
export function unpack(value) {
    if (Array.isArray(value))
        return value.map(unpack);
    if (value?.constructor === Variant)
        return unpack(value.value);
    if (value && typeof value === 'object')
        return Object.fromEntries(Object.entries(value).map(([k, v]) => [k, unpack(v)]));
    return value;
}

class Variant {
    constructor(type, value) {
        this.type = type;
        this.value = value;
    }
}

class FakeInvocation {
    constructor(sender) {
        this.sender = sender;
        this.answers = [];
    }

    get_sender() { return this.sender; }
    return_value(value) { this.answers.push({value}); }
    return_dbus_error(error, message) { this.answers.push({error, message}); }

    // The one answer the call got, undefined while it has none.
    get answer() {
        if (this.answers.length > 1)
            throw new Error(`answered ${this.answers.length} times`);
        return this.answers[0];
    }
}

export class FakeBus {
    constructor() {
        this.watches = new Map();
        this.owned = new Map();
        this.exported = new Map();
        this.calls = [];
        this.signals = [];
        this.owner = null;
    }

    // GDBus tells a new watch at once whether the name has an owner.
    watchName(name, appeared, vanished) {
        const id = nextId++;
        this.watches.set(id, {name, appeared, vanished});
        this.owner ? appeared(this.owner) : vanished();
        return id;
    }

    unwatchName(id) { this.watches.delete(id); }

    appear(owner) {
        this.owner = owner;
        [...this.watches.values()].forEach(watch => watch.appeared(owner));
    }

    vanish() {
        this.owner = null;
        [...this.watches.values()].forEach(watch => watch.vanished());
    }

    ownName(name) {
        this.owned.set(nextId, name);
        return nextId++;
    }

    unownName(id) { this.owned.delete(id); }

    exportObject(path, xml, onCall) {
        this.exported.set(nextId, {path, onCall});
        return nextId++;
    }

    unexportObject(id) { this.exported.delete(id); }
    emitSignal(destination, path, iface, name) {
        this.signals.push({destination, path, iface, name});
    }

    call(destination, path, iface, method, signature, args, replySignature, done) {
        this.calls.push({destination, path, iface, method, signature, args, replySignature, done});
    }

    variant(type, value) { return new Variant(type, value); }

    // Answers the oldest pid lookup still open.
    answerPid(pid, error = null) {
        const index = this.calls.findIndex(c => c.method === 'GetConnectionUnixProcessID');
        if (index < 0)
            throw new Error('no pid lookup is open');
        this.calls.splice(index, 1)[0].done(error ? null : [pid], error);
    }

    // A call from sender to the exported object.
    invoke(sender, iface, method, args = []) {
        const invocation = new FakeInvocation(sender);
        const [object] = this.exported.values();
        object.onCall(iface, method, {deepUnpack: () => args}, invocation);
        return invocation;
    }
}

export class FakeTopBar {
    constructor() {
        this.buttons = [];
        this.extents = {x: 0, y: 0, width: 0, height: 0};
    }

    add(onPress) {
        const button = {
            press: onPress,
            extents: () => this.extents,
            destroy: () => (this.buttons = this.buttons.filter(b => b !== button)),
        };
        this.buttons.push(button);
        return button;
    }
}

// A window list over a fake display, as the extension builds it over the real one.
export function makeWindowList(WindowList, windows = []) {
    const world = {display: new FakeDisplay(windows), tracker: new FakeTracker(),
        mainLoop: new FakeMainLoop(), monitors: [], log: {warnings: []}, activated: []};
    world.log.warn = message => world.log.warnings.push(message);
    world.list = new WindowList({
        display: world.display, tracker: world.tracker, mainLoop: world.mainLoop,
        screen: {monitors: () => world.monitors},
        listedTypes: [WindowType.NORMAL, WindowType.DIALOG, WindowType.MODAL_DIALOG],
        waylandClient: ClientType.WAYLAND, shellPid: SHELL_PID, now: () => 777,
        activate: window => world.activated.push(window), log: world.log,
    });
    return world;
}

// The handlers still connected and the sources still pending.
export function leftovers(world) {
    return {
        display: world.display.handlers.size,
        tracker: world.tracker.handlers.size,
        windows: world.display.windows.reduce((sum, w) => sum + w.handlers.size, 0),
        sources: world.mainLoop.sources.size + world.mainLoop.timeouts.size,
    };
}
