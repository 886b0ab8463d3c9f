// The windows Klosia gets, the notice of their changes, and closing and raising them.
import {WindowList} from '../../../../src/platform/gnome/extension/windowList.js';
import {assert, assertEqual, run, test} from './harness.js';
import {ClientType, FakeWindow, SHELL_PID, WindowType, leftovers, makeWindowList} from './fakes.js';

test('lists application windows and dialogs, not menus, tooltips or the Shell\'s own', () => {
    const listed = [new FakeWindow(), new FakeWindow({type: WindowType.DIALOG}),
        new FakeWindow({type: WindowType.MODAL_DIALOG}), new FakeWindow({pid: -1})];
    const others = [new FakeWindow({type: WindowType.MENU}),
        new FakeWindow({type: WindowType.TOOLTIP}), new FakeWindow({overrideRedirect: true}),
        new FakeWindow({pid: SHELL_PID})];
    const {list} = makeWindowList(WindowList, [...others, ...listed]);
    assertEqual(list.describe().map(w => w.id), listed.map(w => w.fields.id), 'listed');
});

test('describes each window, with empty values where it names nothing', () => {
    const files = new FakeWindow({title: 'Files', pid: 51, skipTaskbar: true, wmClass: 'nautilus'});
    const bare = new FakeWindow({title: null, pid: -1, wmClass: null, client: ClientType.X11});
    const windowBacked = new FakeWindow();
    const broken = new FakeWindow();
    broken.get_title = () => {
        throw new Error('disposed');
    };
    const world = makeWindowList(WindowList, [files, bare, windowBacked, broken]);
    world.tracker.setApp(files, 'org.gnome.Nautilus.desktop');
    world.tracker.setApp(windowBacked, 'window:12');
    world.display.focus(files);
    const [first, second, third, ...rest] = world.list.describe();
    assertEqual(first, {'id': files.fields.id, 'app-id': 'org.gnome.Nautilus.desktop',
        'title': 'Files', 'pid': 51, 'skip-taskbar': true, 'focused': true, 'client': 'wayland',
        'wm-class': 'nautilus'}, 'a window with everything');
    assertEqual([second.title, second.pid, second['wm-class'], second.client, second.focused,
        second['app-id']], ['', 0, '', 'x11', false, ''], 'a window without names');
    assertEqual([third['app-id'], rest.length, world.log.warnings.length], ['', 0, 1],
        'a window-backed app, and a failing window left out and logged');
});

test('gives one notice per main-loop turn for each kind of change, none before start', () => {
    const existing = new FakeWindow();
    const world = makeWindowList(WindowList, [existing]);
    let notices = 0;
    existing.set('title', 'early', 'title');
    assertEqual(world.mainLoop.sources.size, 0, 'sources before start');
    world.list.start(() => notices++);
    const created = new FakeWindow();
    const changes = {
        'created': () => world.display.add(created),
        'title': () => existing.set('title', 'new', 'title'),
        'skip-taskbar': () => existing.set('skipTaskbar', true, 'skip-taskbar'),
        'wm-class': () => created.set('wmClass', 'other', 'wm-class'),
        'focus': () => world.display.focus(created),
        'app': () => world.tracker.setApp(created, 'org.example.App.desktop'),
        'unmanaged': () => world.display.remove(created),
    };
    for (const [what, change] of Object.entries(changes)) {
        const before = notices;
        change();
        change();
        assertEqual([world.mainLoop.turn(), notices - before], [1, 1], `sources, notices: ${what}`);
    }
    Object.values(changes).forEach(change => change());
    assertEqual([world.mainLoop.turn(), world.mainLoop.turn()], [1, 0], 'sources of a burst');
});

test('gives no notice for windows it does not list', () => {
    const world = makeWindowList(WindowList);
    let notices = 0;
    world.list.start(() => notices++);
    const menu = world.display.add(new FakeWindow({type: WindowType.MENU}));
    const popup = world.display.add(new FakeWindow({overrideRedirect: true}));
    menu.set('title', 'menu', 'title');
    popup.set('title', 'popup', 'title');
    assertEqual([popup.handlers.size, world.mainLoop.turn()], [0, 0], 'handlers, sources');
    menu.set('type', WindowType.DIALOG, 'window-type');
    world.mainLoop.turn();
    assertEqual(notices, 1, 'notices once the menu became a dialog');
});

test('stop leaves no handler connected and no source pending', () => {
    const world = makeWindowList(WindowList, [new FakeWindow(), new FakeWindow()]);
    let notices = 0;
    for (let round = 0; round < 3; round++) {
        world.list.start(() => notices++);
        world.list.start(() => notices++);
        const gone = world.display.add(new FakeWindow());
        world.display.remove(gone);
        assertEqual(gone.handlers.size, 0, 'handlers on an unmanaged window');
        world.display.add(new FakeWindow()).set('title', 'x', 'title');
        world.list.stop();
        assertEqual(leftovers(world), {display: 0, tracker: 0, windows: 0, sources: 0}, 'left');
        world.display.focus(world.display.windows[0]);
        assertEqual(world.mainLoop.turn(), 0, 'sources after stop');
    }
    assertEqual([notices, world.display.badDisconnects, world.mainLoop.badRemovals], [0, 0, 0],
        'notices, and removals of what was not there');
});

test('closes and raises listed windows only', () => {
    const window = new FakeWindow();
    const menu = new FakeWindow({type: WindowType.MENU});
    const world = makeWindowList(WindowList, [window, menu]);
    const {id} = window.fields;
    assertEqual([world.list.close(id), world.list.activate(id)], [true, true], 'found');
    for (const other of [menu.fields.id, 1])
        assertEqual([world.list.close(other), world.list.activate(other)], [false, false], 'none');
    assertEqual([window.deletedAt, menu.deletedAt, world.activated], [[777], [], [window]],
        'closed at the Shell\'s event time, and raised');
    assert(world.log.warnings.length === 0, `warnings: ${world.log.warnings}`);
});

await run();
