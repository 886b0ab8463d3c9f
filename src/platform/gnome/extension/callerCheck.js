// Who may use the Shell's window list: only the running Klosia. Any program on the session bus
// can call us, and the list names every window the user has open, so each call is checked.
//
// This module imports nothing (see to-legacy.cmake); the bus and /proc come in through the
// constructor.

/**
 * Serves a caller when it is the current owner of Klosia's bus name and that owner's process
 * runs a program named klosia.
 *
 * The name alone is not enough (any program may take it while Klosia is not running) and the
 * program alone is not enough (a second Klosia that lost the name is not the one the user
 * sees). The verdict on an owner is kept until the name changes hands: a unique name is never
 * given to another connection, and the process behind it stays the same.
 */
export class CallerCheck {
    /**
     * @param {object} options
     * @param {object} options.bus - call(destination, path, interface, method, signature, args,
     *   replySignature, done(reply, error))
     * @param {function(string): ?string} options.readLink - the target of a symbolic link, null
     *   when it cannot be read
     * @param {string} [options.executable] - the program the owner must run
     * @param {string} [options.ownedName] - the bus name whose owner may call
     */
    constructor(options) {
        this._bus = options.bus;
        this._readLink = options.readLink;
        this._executable = options.executable ?? 'klosia';
        this._ownedName = options.ownedName ?? 'org.klosia.Klosia';

        this._owner = null;
        this._verdict = undefined;
        this._pid = 0;
        this._waiting = [];
        this._round = 0;
    }

    /**
     * The unique name that now owns Klosia's bus name, null when nobody does. A change forgets
     * the verdict and refuses the calls still waiting for the old owner's check.
     *
     * @param {?string} owner
     */
    setOwner(owner) {
        owner ||= null;
        if (owner === this._owner)
            return;
        this._owner = owner;
        this._verdict = undefined;
        this._pid = 0;
        this._round++;
        this._settle(`${this._ownedName} changed hands while its owner was checked`);
    }

    /**
     * Calls done(null, pid) when sender may be served, done(reason) when not; at once when the
     * verdict is known, later when the owner's process must be looked up first.
     *
     * @param {?string} sender - the unique name that sent the call
     * @param {function(?string, number=): void} done - with the caller's process when served
     */
    check(sender, done) {
        if (!this._owner) {
            done(`${this._ownedName} has no owner`);
            return;
        }
        if (!sender || sender !== this._owner) {
            done(`${sender || 'the caller'} is not the owner of ${this._ownedName}`);
            return;
        }
        if (this._verdict !== undefined) {
            done(this._verdict, this._pid);
            return;
        }
        this._waiting.push(done);
        if (this._waiting.length === 1)
            this._lookUp(this._owner, this._round);
    }

    _lookUp(owner, round) {
        const answer = (reply, error) => {
            // A lookup for an owner that has left since is of no use: its callers were refused.
            if (round !== this._round)
                return;
            this._verdict = this._judge(owner, reply, error);
            if (this._verdict === null)
                this._pid = reply[0];
            this._settle(this._verdict, this._pid);
        };
        try {
            this._bus.call('org.freedesktop.DBus', '/org/freedesktop/DBus', 'org.freedesktop.DBus',
                'GetConnectionUnixProcessID', '(s)', [owner], '(u)', answer);
        } catch (e) {
            answer(null, e.message);
        }
    }

    _judge(owner, reply, error) {
        if (error || !reply)
            return `the process of ${owner} is unknown: ${error ?? 'no answer'}`;
        const pid = reply[0];
        if (!Number.isInteger(pid) || pid <= 0)
            return `the bus names no process for ${owner}`;
        const link = `/proc/${pid}/exe`;
        let target = null;
        try {
            target = this._readLink(link);
        } catch (e) {
            target = null;
        }
        if (!target)
            return `${link} of ${owner} cannot be read`;
        // An upgrade replaces the program under a running Klosia: the link then says so.
        const path = target.replace(/ \(deleted\)$/, '');
        const name = path.slice(path.lastIndexOf('/') + 1);
        if (name !== this._executable)
            return `${owner} runs ${path}, not ${this._executable}`;
        return null;
    }

    _settle(verdict, pid = 0) {
        const waiting = this._waiting;
        this._waiting = [];
        for (const done of waiting)
            done(verdict, pid);
    }
}
