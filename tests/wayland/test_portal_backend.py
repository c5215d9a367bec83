'''A desktop's portal backend for the tests, as a python-dbusmock template: it
binds every global shortcut asked for except one called "declined" (as when
the user says no), reports a press and release on Press(ID) as the desktop does
when the user presses the key, shares the PipeWire nodes of the parameter
"monitors" ([[node, x, y, width, height], ...]) as monitors and lets the portal
keep the grant. It logs what it was asked ("bound ...", "selected ...").'''
import dbus
from dbusmock import MOCK_IFACE

BUS_NAME = 'org.freedesktop.impl.portal.desktop.zarvextest'
MAIN_OBJ = '/org/freedesktop/portal/desktop'
MAIN_IFACE = 'org.freedesktop.impl.portal.GlobalShortcuts'
CAST_IFACE = 'org.freedesktop.impl.portal.ScreenCast'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.monitors = parameters.get('monitors', [])
    mock.AddProperties(MAIN_IFACE, {'version': dbus.UInt32(1)})
    mock.AddProperties(CAST_IFACE, {'version': dbus.UInt32(4), 'AvailableSourceTypes': dbus.UInt32(1),
                                    'AvailableCursorModes': dbus.UInt32(1 | 4)})  # hidden, metadata
    mock.AddMethod(MAIN_IFACE, 'CreateSession', 'oosa{sv}', 'ua{sv}', create_session)
    mock.AddMethod(MAIN_IFACE, 'BindShortcuts', 'ooa(sa{sv})sa{sv}', 'ua{sv}', bind_shortcuts)
    mock.AddMethod(CAST_IFACE, 'CreateSession', 'oosa{sv}', 'ua{sv}', lambda *_: (0, {}))
    mock.AddMethod(CAST_IFACE, 'SelectSources', 'oosa{sv}', 'ua{sv}', select_sources)
    mock.AddMethod(CAST_IFACE, 'Start', 'oossa{sv}', 'ua{sv}', start)


def create_session(self, _request, session, _app, _options):
    self.session = session
    return 0, {'session_handle': dbus.String(session)}


def bind_shortcuts(self, _request, _session, shortcuts, _parent, _options):
    self.log('bound ' + ';'.join(f'{s[0]}={s[1].get("preferred_trigger", "")}' for s in shortcuts))
    if any(s[0] == 'declined' for s in shortcuts):
        return 1, {}
    return 0, {'shortcuts': shortcuts}


@dbus.service.method(MOCK_IFACE, in_signature='s')
def Press(self, shortcut):
    for signal in ('Activated', 'Deactivated'):
        self.EmitSignal(MAIN_IFACE, signal, 'osta{sv}', [self.session, shortcut, dbus.UInt64(0), {}])


def select_sources(self, _request, _session, _app, options):
    restored = options.get('restore_data', ('', 0, ''))[2]
    self.log(f'selected types={options.get("types")} multiple={int(options.get("multiple", 0))} '
             f'cursor={options.get("cursor_mode")} persist={options.get("persist_mode")} restored={restored}')
    return 0, {}


def start(self, *_):
    streams = [dbus.Struct((dbus.UInt32(node), {'position': dbus.Struct((x, y), signature='ii'),
                                                'size': dbus.Struct((width, height), signature='ii'),
                                                'source_type': dbus.UInt32(1)}), signature='ua{sv}')
               for node, x, y, width, height in self.monitors]
    kept = dbus.Struct(('zarvextest', dbus.UInt32(1), dbus.String('all monitors', variant_level=1)), signature='suv')
    return 0, {'streams': dbus.Array(streams, signature='(ua{sv})'), 'persist_mode': dbus.UInt32(2),
               'restore_data': kept}
