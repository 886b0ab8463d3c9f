// The entry point GNOME Shell 43 and 44 load through the legacy importer. The build installs it
// as extension.js beside the legacy variant of the other modules.
/* exported init, enable, disable */

const {Clutter, Gio, GLib, Meta, Shell, St} = imports.gi;

const Main = imports.ui.main;
const PanelMenu = imports.ui.panelMenu;

const Me = imports.misc.extensionUtils.getCurrentExtension();
const {CallerCheck} = Me.imports.callerCheck;
const {createKlosiaShell} = Me.imports.gnomeGlue;
const {ShellService} = Me.imports.shellService;
const {WindowList} = Me.imports.windowList;

let shell = null;

function init() {
}

function enable() {
    shell = createKlosiaShell(
        {Clutter, Gio, GLib, Meta, Shell, St, Main, PanelMenu, global},
        {WindowList, CallerCheck, ShellService});
    shell.start();
}

function disable() {
    shell?.stop();
    shell = null;
}
