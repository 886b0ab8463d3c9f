// The service on a real session bus, through the Gio adaptor the Shell uses: what Klosia sees on
// the wire, and what another program sees. Run inside dbus-run-session.
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import {CallerCheck} from '../../../../src/platform/gnome/extension/callerCheck.js';
import {GnomeBus} from '../../../../src/platform/gnome/extension/gnomeGlue.js';
import {ShellService} from '../../../../src/platform/gnome/extension/shellService.js';
import {WindowList} from '../../../../src/platform/gnome/extension/windowList.js';
import {assertEqual, run, test} from './harness.js';
import {FakeTopBar, FakeWindow, makeWindowList} from './fakes.js';

const connect = () => Gio.DBusConnection.new_for_address_sync(
    GLib.getenv('DBUS_SESSION_BUS_ADDRESS'), Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
    Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, null, null);
const later = ms => new Promise(resolve => GLib.timeout_add(0, ms, () => resolve() ?? false));
// Waits up to 10 s for what the bus does in its own time.
async function until(condition) {
    for (let waited = 0; !await condition() && waited < 10000; waited += 20)
        await later(20);
}
const hasOwner = (connection, name) => new Promise(resolve => connection.call(
    'org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus', 'NameHasOwner',
    new GLib.Variant('(s)', [name]), null, 0, -1, null,
    (c, result) => resolve(c.call_finish(result).deepUnpack()[0])));
const call = (connection, iface, method, args = null) => new Promise(resolve =>
    connection.call('org.klosia.Shell', '/org/klosia/Shell', iface, method, args, null, 0, -1,
        null, (c, result) => {
            try {
                resolve(c.call_finish(result).recursiveUnpack());
            } catch (e) {
                resolve(Gio.DBusError.get_remote_error(e));
            }
        }));

test('Klosia gets typed windows, its signal alone, and the button\'s command', async () => {
    // The process on both ends of the bus, as Klosia's menu is Klosia's.
    const pid = new Gio.Credentials().get_unix_pid();
    const window = new FakeWindow({title: 'Terminal', pid});
    const world = makeWindowList(WindowList, [window]);
    const bus = new GnomeBus(Gio, GLib);
    const topBar = new FakeTopBar();
    const service = new ShellService({bus, windows: world.list, topBar, log: world.log,
        access: new CallerCheck({bus, readLink: () => '/usr/bin/klosia'})});
    const [klosia, stranger] = [connect(), connect()];
    const signals = {klosia: 0, stranger: 0};
    const commands = [];
    const info = Gio.DBusNodeInfo.new_for_xml(`<node><interface name="org.klosia.Klosia">
        <method name="Command"><arg type="s" direction="in"/><arg type="s" direction="in"/>
        <arg type="s" direction="out"/></method></interface></node>`).interfaces[0];
    klosia.register_object('/org/klosia/Klosia', info, (c, s, p, i, m, params, invocation) => {
        commands.push(params.deepUnpack());
        invocation.return_value(new GLib.Variant('(s)', ['']));
    }, null, null);
    for (const [name, connection] of Object.entries({klosia, stranger})) {
        connection.signal_subscribe(null, 'org.klosia.Shell1', 'WindowsChanged',
            '/org/klosia/Shell', null, 0, () => signals[name]++);
    }
    service.start();
    Gio.bus_own_name_on_connection(klosia, 'org.klosia.Klosia', 0, null, null);
    await until(() => hasOwner(stranger, 'org.klosia.Shell'));

    assertEqual(await call(klosia, 'org.klosia.Shell1', 'GetWindows'), [[{'id': window.get_id(),
        'app-id': '', 'title': 'Terminal', 'pid': pid, 'skip-taskbar': false, 'focused': false,
        'client': 'wayland', 'wm-class': 'app'}]], 'windows');
    assertEqual(await call(klosia, 'org.freedesktop.DBus.Properties', 'Get',
        new GLib.Variant('(ss)', ['org.klosia.Shell1', 'Version'])), [1], 'version');
    assertEqual(await call(klosia, 'org.klosia.Shell1', 'Close',
        new GLib.Variant('(t)', [window.get_id()])), [true], 'closed');
    const place = (...args) => call(klosia, 'org.klosia.Shell1', 'Place',
        new GLib.Variant('(siiii)', args));
    assertEqual([await place('Terminal', -5, 6, 100, 200), await place('Terminal', 0, 0, 0, 1),
        window.moves], [[true], 'org.freedesktop.DBus.Error.InvalidArgs', [[true, -5, 6]]],
    'placed, and refused');
    assertEqual(await call(stranger, 'org.klosia.Shell1', 'GetWindows'),
        'org.klosia.Shell.Error.AccessDenied', 'a stranger\'s call');
    window.set('title', 'vim', 'title');
    world.mainLoop.turn();
    topBar.extents = {x: 10, y: 0, width: 20, height: 30};
    topBar.buttons[0].press();
    await until(() => commands.length > 0 && signals.klosia > 0);
    await later(100);
    assertEqual([signals, commands], [{klosia: 1, stranger: 0}, [['toggle-menu', '20,30']]],
        'signals and commands');

    service.stop();
    await until(async () => !await hasOwner(stranger, 'org.klosia.Shell'));
    assertEqual(await call(klosia, 'org.klosia.Shell1', 'GetWindows'),
        'org.freedesktop.DBus.Error.ServiceUnknown', 'a call after stop');
    assertEqual(world.log.warnings, [], 'warnings');
});

await run();
