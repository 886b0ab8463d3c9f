// Who gets served: the owner of Klosia's bus name whose process runs klosia, nobody else.
import {CallerCheck} from '../../../../src/platform/gnome/extension/callerCheck.js';
import {assert, assertEqual, run, test} from './harness.js';
import {FakeBus} from './fakes.js';

function makeCheck(links = {'/proc/42/exe': '/usr/bin/klosia'}) {
    const world = {bus: new FakeBus(), reads: [], verdicts: []};
    world.check = new CallerCheck({
        bus: world.bus,
        readLink: path => {
            world.reads.push(path);
            if (links[path] instanceof Error)
                throw links[path];
            return links[path] ?? null;
        },
    });
    world.ask = sender => world.check.check(sender, verdict => world.verdicts.push(verdict));
    return world;
}

test('serves the owner whose process runs klosia, looked up once', () => {
    const {bus, check, reads, verdicts, ask} = makeCheck();
    check.setOwner(':1.5');
    ask(':1.5');
    ask(':1.5');
    assertEqual(verdicts, [], 'verdicts before the pid is known');
    assertEqual(bus.calls.map(c => [c.destination, c.method, c.args]),
        [['org.freedesktop.DBus', 'GetConnectionUnixProcessID', [':1.5']]], 'lookups');
    bus.answerPid(42);
    ask(':1.5');
    assertEqual([verdicts, bus.calls.length, reads], [[null, null, null], 0, ['/proc/42/exe']],
        'verdicts, lookups and reads');
});

test('refuses at once a caller that does not own the name', () => {
    const {bus, check, verdicts, ask} = makeCheck();
    ask(':1.5');
    check.setOwner(':1.5');
    ask(':1.9');
    ask(null);
    assert(verdicts[0]?.includes('no owner'), verdicts[0]);
    assert(verdicts[1]?.includes(':1.9 is not the owner'), verdicts[1]);
    assert(verdicts[2]?.includes('not the owner'), verdicts[2]);
    assertEqual(bus.calls.length, 0, 'lookups');
});

test('judges the owner by the name of its program, and refuses when it cannot be learnt', () => {
    const cases = [
        // [what /proc/42/exe says, the pid, the lookup's error, served or the refusal's words]
        ['/usr/bin/klosia (deleted)', 42, null, true],
        ['/opt/build/klosia', 42, null, true],
        ['/usr/bin/python3', 42, null, '/usr/bin/python3'],
        ['/usr/bin/klosia.old', 42, null, 'klosia.old'],
        ['/home/u/klosia/run', 42, null, '/home/u/klosia/run'],
        ['/usr/bin/klosia-helper (deleted)', 42, null, 'klosia-helper,'],
        [undefined, 42, null, '/proc/42/exe'],
        [new Error('EACCES'), 42, null, '/proc/42/exe'],
        ['/usr/bin/klosia', 0, null, 'no process'],
        ['/usr/bin/klosia', 0, 'NameHasNoOwner', 'NameHasNoOwner'],
    ];
    for (const [target, pid, error, expected] of cases) {
        const {bus, check, verdicts, ask} = makeCheck({[`/proc/${pid}/exe`]: target});
        check.setOwner(':1.5');
        ask(':1.5');
        bus.answerPid(pid, error);
        ask(':1.5');
        const [first, second] = verdicts;
        if (expected === true)
            assertEqual([first, second], [null, null], `served running ${target}`);
        else
            assert(first?.includes(expected) && second === first, `${target}: ${verdicts}`);
        assertEqual(bus.calls.length, 0, `lookups after the verdict on ${target}`);
    }
});

test('forgets the verdict when the name changes hands, and a late answer with it', () => {
    const {bus, check, verdicts, ask} = makeCheck({
        '/proc/42/exe': '/usr/bin/klosia', '/proc/43/exe': '/usr/bin/python3'});
    check.setOwner(':1.5');
    ask(':1.5');
    bus.answerPid(42);
    check.setOwner(':1.6');
    ask(':1.5');
    ask(':1.6');
    check.setOwner(':1.7');
    ask(':1.7');
    bus.answerPid(42);
    assertEqual(verdicts.length, 3, 'verdicts after the late answer for :1.6');
    assert(verdicts[1]?.includes('not the owner'), verdicts[1]);
    assert(verdicts[2]?.includes('changed hands'), verdicts[2]);
    bus.answerPid(43);
    assert(verdicts[3]?.includes('python3'), `the verdict on :1.7: ${verdicts[3]}`);
});

await run();
