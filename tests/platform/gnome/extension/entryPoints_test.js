// The two entry points cannot run outside GNOME Shell, whose libraries and modules plain gjs
// lacks: they must parse, and what they take from the extension's own modules must be there.
//   gjs -m entryPoints_test.js LEGACY_DIR ESM_DIR
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import System from 'system';
import {assert, assertEqual, run, test} from './harness.js';

const [legacyDir, esmDir] =
    System.programArgs.map(arg => Gio.File.new_for_commandline_arg(arg).get_path());

const read = path => new TextDecoder().decode(GLib.file_get_contents(path)[1]);

// gjs reports a SyntaxError before it resolves any import; after that, outside the Shell, only
// the Shell's own libraries and modules may be missing.
function failsForWantOfTheShell(error) {
    return !(error instanceof SyntaxError) &&
        /resource:\/\/\/org\/gnome\/shell\/|Typelib file for namespace/.test(error.message);
}

test('the entry points parse, and fail outside the Shell only for want of it', async () => {
    const esmError = await import(`file://${esmDir}/extension.js`).then(() => null, e => e);
    assert(esmError === null || failsForWantOfTheShell(esmError), `ES module entry: ${esmError}`);
    imports.searchPath.unshift(legacyDir);
    let legacyError = null;
    try {
        void imports.extension;
    } catch (e) {
        legacyError = e;
    }
    imports.searchPath.shift();
    assert(legacyError === null || failsForWantOfTheShell(legacyError), `legacy: ${legacyError}`);
});

// module → the names taken from it
function takenNames(source, pattern) {
    const taken = {};
    for (const [, names, module] of source.matchAll(pattern))
        taken[module] = names.split(',').map(name => name.trim()).sort();
    return taken;
}

test('the names the entry points take from the extension\'s modules exist', async () => {
    const taken = takenNames(read(`${esmDir}/extension.js`),
        /import \{([^}]+)\} from '\.\/(\w+)\.js';/g);
    assertEqual(takenNames(read(`${legacyDir}/extension.js`),
        /const \{([^}]+)\} = Me\.imports\.(\w+);/g), taken, 'what the legacy entry takes');
    assert(Object.keys(taken).length > 0, 'the entry points take nothing');
    imports.searchPath.unshift(legacyDir);
    for (const [module, names] of Object.entries(taken)) {
        const esModule = await import(`file://${esmDir}/${module}.js`);
        for (const name of names) {
            assert(typeof esModule[name] === 'function', `${module}.js exports ${name}`);
            assert(typeof imports[module][name] === 'function', `legacy ${module} has ${name}`);
        }
    }
    imports.searchPath.shift();
});

await run();
