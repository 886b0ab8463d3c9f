// A small test runner for gjs: each script registers its cases and calls run().
import System from 'system';

const cases = [];

export function test(name, body) {
    cases.push({name, body});
}

export function assert(condition, message) {
    if (!condition)
        throw new Error(message);
}

export function assertEqual(actual, expected, what = 'value') {
    if (!deepEqual(actual, expected)) {
        throw new Error(`${what}: expected ${JSON.stringify(expected)}, ` +
            `got ${JSON.stringify(actual)}`);
    }
}

function deepEqual(a, b) {
    if (a === b)
        return true;
    if (typeof a !== 'object' || typeof b !== 'object' || a === null || b === null ||
        Array.isArray(a) !== Array.isArray(b))
        return false;
    const keys = Object.keys(a);
    return keys.length === Object.keys(b).length &&
        keys.every(key => Object.hasOwn(b, key) && deepEqual(a[key], b[key]));
}

export async function run() {
    let passed = 0;
    let failed = 0;
    for (const {name, body} of cases) {
        try {
            await body();
            passed++;
            print(`ok - ${name}`);
        } catch (e) {
            failed++;
            printerr(`FAIL - ${name}: ${e.message}\n${e.stack}`);
        }
    }
    print(`${passed} passed, ${failed} failed`);
    System.exit(failed > 0 || passed === 0 ? 1 : 0);
}
