// The extension as the build lays it out for GNOME Shell 43 and 44 (legacy importer) and for 45
// and later (ES modules): their metadata, and the rewritten modules at work.
//   gjs -m legacy_test.js LEGACY_DIR ESM_DIR
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import System from 'system';
import {assert, assertEqual, run, test} from './harness.js';
import {FakeBus, FakeTopBar, FakeWindow, makeWindowList, unpack} from './fakes.js';

const [legacyDir, esmDir] =
    System.programArgs.map(arg => Gio.File.new_for_commandline_arg(arg).get_path());

test('both metadata files name the extension and the Shells that load their format', () => {
    for (const [dir, versions] of [[legacyDir, ['43', '44']], [esmDir, ['45', '46', '47']]]) {
        const text = new TextDecoder().decode(GLib.file_get_contents(`${dir}/metadata.json`)[1]);
        const {uuid, name, description, 'shell-version': shellVersion} = JSON.parse(text);
        assertEqual([uuid, name, shellVersion], ['klosia@klosia.org', 'Klosia', versions], dir);
        assertEqual(description, 'Lets Klosia list, close and raise the windows of your ' +
            'applications, and opens its menu from the top bar.', `description in ${dir}`);
    }
});

test('the legacy modules load through the legacy importer and serve Klosia', () => {
    imports.searchPath.unshift(legacyDir);
    const {WindowList} = imports.windowList;
    const {CallerCheck} = imports.callerCheck;
    const {ShellService, SHELL_BUS_NAME} = imports.shellService;
    assertEqual([SHELL_BUS_NAME, typeof imports.gnomeGlue.createKlosiaShell],
        ['org.klosia.Shell', 'function'], 'exports');

    const world = makeWindowList(WindowList, [new FakeWindow({title: 'Terminal'})]);
    const [bus, topBar] = [new FakeBus(), new FakeTopBar()];
    const service = new ShellService({bus, windows: world.list, topBar, log: world.log,
        access: new CallerCheck({bus, readLink: () => '/usr/bin/klosia'})});
    service.start();
    bus.appear(':1.5');
    const invocation = bus.invoke(':1.5', 'org.klosia.Shell1', 'GetWindows');
    bus.answerPid(42);
    assertEqual(unpack(invocation.answer.value)[0].map(w => w.title), ['Terminal'], 'windows');
    service.stop();
    assertEqual([bus.owned.size, bus.exported.size, topBar.buttons.length,
        world.display.handlers.size, world.log.warnings], [0, 0, 0, 0, []], 'after stop');
});

await run();
