// The service as a whole: nothing before Klosia comes, everything while it runs, its calls
// served or refused, and nothing left behind when it goes.
import {CallerCheck} from '../../../../src/platform/gnome/extension/callerCheck.js';
import {ShellService} from '../../../../src/platform/gnome/extension/shellService.js';
import {WindowList} from '../../../../src/platform/gnome/extension/windowList.js';
import {assert, assertEqual, run, test} from './harness.js';
import {ClientType, FakeBus, FakeTopBar, FakeWindow, leftovers, makeWindowList, unpack}
    from './fakes.js';

const SHELL = 'org.klosia.Shell1';
const PROPERTIES = 'org.freedesktop.DBus.Properties';
const DENIED = 'org.klosia.Shell.Error.AccessDenied';

// A service whose Klosia, :1.5, is process 42, running exe.
function makeService(windows = [new FakeWindow()], exe = '/usr/bin/klosia') {
    const world = makeWindowList(WindowList, windows);
    Object.assign(world, {bus: new FakeBus(), topBar: new FakeTopBar()});
    const readLink = path => path === '/proc/42/exe' ? exe : null;
    world.service = new ShellService({bus: world.bus, windows: world.list, topBar: world.topBar,
        access: new CallerCheck({bus: world.bus, readLink}), log: world.log});
    world.service.start();
    return world;
}

function holdings(world) {
    return {...leftovers(world), owned: [...world.bus.owned.values()],
        exported: [...world.bus.exported.values()].map(o => o.path),
        buttons: world.topBar.buttons.length};
}

const NOTHING = {display: 0, tracker: 0, windows: 0, sources: 0, owned: [], exported: [],
    buttons: 0};

// Klosia's call, its process looked up when the check asks.
function callAsKlosia(world, iface, method, args) {
    const invocation = world.bus.invoke(':1.5', iface, method, args);
    if (!invocation.answer)
        world.bus.answerPid(42);
    return invocation.answer;
}

test('holds nothing but a watch until Klosia appears, and nothing once it goes', () => {
    const world = makeService();
    assertEqual([...world.bus.watches.values()].map(w => w.name), ['org.klosia.Klosia'], 'watch');
    assertEqual(holdings(world), NOTHING, 'before Klosia');
    for (const leave of ['vanish', 'disable', 'disable while it runs']) {
        if (leave === 'disable while it runs')
            world.service.start();
        else
            world.bus.appear(':1.5');
        const {owned, exported, buttons, display, tracker, windows} = holdings(world);
        assertEqual([owned, exported, buttons], [['org.klosia.Shell'], ['/org/klosia/Shell'], 1],
            `held while Klosia runs, before ${leave}`);
        assert(display && tracker && windows, 'signals followed');
        world.display.add(new FakeWindow());
        if (leave === 'vanish')
            world.bus.vanish();
        else
            world.service.stop();
        assertEqual(holdings(world), NOTHING, `after ${leave}`);
    }
    world.service.stop();
    assertEqual([world.bus.watches.size, world.log.warnings], [0, []], 'watches, warnings');
});

test('undoes the rest when part of the service cannot be set up', () => {
    const world = makeService();
    world.topBar.add = () => {
        throw new Error('Extension point conflict');
    };
    world.bus.appear(':1.5');
    assertEqual(holdings(world), NOTHING, 'held');
    assert(world.log.warnings.some(w => w.includes('Extension point conflict')), 'warned');
});

test('answers Klosia with its windows, the version, and closing and raising', () => {
    const window = new FakeWindow({title: 'Files', pid: 51});
    const world = makeService([window]);
    world.bus.appear(':1.5');
    const listed = callAsKlosia(world, SHELL, 'GetWindows', []).value;
    const types = Object.entries(listed.value[0][0]).map(([key, value]) => `${key}:${value.type}`);
    assertEqual([listed.type, types], ['(aa{sv})', ['id:t', 'app-id:s', 'title:s', 'pid:u',
        'skip-taskbar:b', 'focused:b', 'client:s', 'wm-class:s']], 'types');
    assertEqual(unpack(listed)[0].map(w => [w.id, w.title, w.pid]),
        [[window.fields.id, 'Files', 51]], 'windows');
    const answers = [[PROPERTIES, 'Get', [SHELL, 'Version']], [PROPERTIES, 'GetAll', [SHELL]],
        [SHELL, 'Close', [window.fields.id]], [SHELL, 'Close', [5]],
        [SHELL, 'Activate', [window.fields.id]], [SHELL, 'Activate', [5]], [SHELL, 'Quit', []]]
        .map(([iface, method, args]) => callAsKlosia(world, iface, method, args))
        .map(answer => answer.error ?? unpack(answer.value));
    assertEqual(answers, [[1], [{Version: 1}], [true], [false], [true], [false],
        'org.freedesktop.DBus.Error.UnknownMethod'], 'answers');
    assertEqual([window.deletedAt, world.activated], [[777], [window]], 'closed and raised');
});

test('refuses with AccessDenied every call that is not the running Klosia\'s', () => {
    const impostor = makeService([new FakeWindow()], '/usr/bin/gdbus');
    const other = makeService();
    const leaving = makeService();
    [impostor, other, leaving].forEach(world => world.bus.appear(':1.5'));
    const pending = leaving.bus.invoke(':1.5', SHELL, 'GetWindows');
    leaving.bus.vanish();
    const refusals = [pending.answer];
    for (const [iface, method, args] of [[SHELL, 'GetWindows', []], [SHELL, 'Close', [1]],
        [SHELL, 'Activate', [1]], [SHELL, 'Place', ['Window', 0, 0, 10, 10]],
        [PROPERTIES, 'Get', [SHELL, 'Version']],
        [PROPERTIES, 'GetAll', [SHELL]]]) {
        refusals.push(callAsKlosia(impostor, iface, method, args),
            other.bus.invoke(':1.9', iface, method, args).answer);
    }
    for (const refusal of refusals)
        assert(refusal?.error === DENIED && refusal.message, JSON.stringify(refusal));
    assertEqual([other.bus.calls.length, impostor.list.describe().length], [0, 1],
        'lookups for a caller that does not own the name, and windows still there');
});

test('Place moves Klosia\'s own window inside the work area, now or once it shows, for 2 s', () => {
    const MENU = 'Applications menu';
    const mine = new FakeWindow({title: MENU, pid: 42});
    // Neither is Klosia's: an X11 window's pid is only what it claims.
    const others = [new FakeWindow({title: MENU, pid: 77}),
        new FakeWindow({title: MENU, pid: 42, client: ClientType.X11})];
    const world = makeService([mine, ...others]);
    world.monitors = [
        {x: 0, y: 0, width: 1920, height: 1080, workArea: {x: 0, y: 32, width: 1920, height: 1048}},
        {x: 1920, y: 0, width: 1280, height: 1024,
            workArea: {x: 1920, y: 0, width: 1280, height: 1024}}];
    world.bus.appear(':1.5');
    const place = (...args) => {
        const answer = callAsKlosia(world, SHELL, 'Place', args);
        return answer.error ?? unpack(answer.value)[0];
    };
    const moves = window => window.moves.splice(0).map(([, x, y]) => [x, y]);
    const shows = title => {
        const window = world.display.add(new FakeWindow({title: null, pid: 42}));
        window.set('title', title, 'title');
        const early = moves(window);
        window.emit('shown');
        window.emit('shown');
        world.display.remove(window);
        return [early, moves(window)];
    };

    assertEqual([place(MENU, 1900, 10, 300, 400), place(MENU, 3100, 900, 300, 400),
        place(MENU, -50000, 2000000000, 300, 400), moves(mine), mine.moves, mine.above],
    [true, true, true, [[1620, 32], [2900, 624], [0, 680]], [], true],
    'a window there: moved at once, by the user\'s authority, into the work area, kept above');
    world.display.remove(mine);
    assertEqual([place(MENU, 500, 40, 300, 400), shows(MENU)], [false, [[[500, 40]], [[500, 40]]]],
        'one not there yet: moved once it has the title, again when first shown, not after');
    assertEqual([place(MENU, 1, 40, 300, 400), place(MENU, 600, 40, 300, 400), shows(MENU)],
        [false, false, [[[600, 40]], [[600, 40]]]], 'the newer of two requests');
    place(MENU, 700, 40, 300, 400);
    world.mainLoop.advance(1999);
    const late = world.display.add(new FakeWindow({title: MENU, pid: 42}));
    world.mainLoop.advance(1);
    late.emit('shown');
    world.display.remove(late);
    assertEqual([moves(late), shows(MENU)], [[[700, 40]], [[], []]], 'placed until 2 s, not after');
    place(MENU, 800, 40, 300, 400);
    world.bus.vanish();
    assertEqual(leftovers(world).sources, 0, 'sources once Klosia left');
    world.bus.appear(':1.5');
    assertEqual(shows(MENU), [[], []], 'a request of the Klosia that left');
    assertEqual(others.map(window => [window.moves, window.above]), [[[], false], [[], false]],
        'the other programs\' windows');

    const invalid = [['', 0, 0, 10, 10], [MENU, 0, 0, 0, 10], [MENU, 0, 0, 10, -1],
        [MENU, 0, 0, 10001, 10], [MENU, 0, 0, 10, 2147483647]].map(args => place(...args));
    assertEqual([invalid, place(MENU, 0, 0, 10000, 1)],
        [Array(5).fill('org.freedesktop.DBus.Error.InvalidArgs'), false], 'refused, and the limit');
    assertEqual(world.log.warnings, [], 'warnings');
});

test('tells Klosia alone that the windows changed, once per main-loop turn', () => {
    const window = new FakeWindow();
    const world = makeService([window]);
    world.bus.appear(':1.5');
    window.set('title', 'a', 'title');
    world.display.add(new FakeWindow());
    world.display.focus(window);
    world.mainLoop.turn();
    assertEqual(world.bus.signals, [{destination: ':1.5', path: '/org/klosia/Shell',
        iface: SHELL, name: 'WindowsChanged'}], 'signals');
});

test('a press on the button asks Klosia for its menu at the button\'s bottom centre', () => {
    const world = makeService();
    world.bus.appear(':1.5');
    world.topBar.extents = {x: 1200.4, y: 0, width: 31, height: 32.6};
    for (const reply of [[['']], [['no menu yet']], [null, 'ServiceUnknown']]) {
        world.topBar.buttons[0].press();
        const [call] = world.bus.calls.splice(0);
        assertEqual([call.destination, call.path, call.iface, call.method, call.signature,
            call.args, call.replySignature], ['org.klosia.Klosia', '/org/klosia/Klosia',
            'org.klosia.Klosia', 'Command', '(ss)', ['toggle-menu', '1216,33'], '(s)'], 'call');
        call.done(...reply);
    }
    assertEqual(world.log.warnings.map(w => /no menu yet|ServiceUnknown/.exec(w)?.[0]),
        ['no menu yet', 'ServiceUnknown'], 'warnings');
});

await run();
