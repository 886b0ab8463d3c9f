// The entry point GNOME Shell 45 and later load, as an ES module.

import Clutter from 'gi://Clutter';
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import Meta from 'gi://Meta';
import Shell from 'gi://Shell';
import St from 'gi://St';

import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import * as PanelMenu from 'resource:///org/gnome/shell/ui/panelMenu.js';

import {CallerCheck} from './callerCheck.js';
import {createKlosiaShell} from './gnomeGlue.js';
import {ShellService} from './shellService.js';
import {WindowList} from './windowList.js';

export default class KlosiaExtension extends Extension {
    enable() {
        this._shell = createKlosiaShell(
            {Clutter, Gio, GLib, Meta, Shell, St, Main, PanelMenu, global},
            {WindowList, CallerCheck, ShellService});
        this._shell.start();
    }

    disable() {
        this._shell?.stop();
        this._shell = null;
    }
}
