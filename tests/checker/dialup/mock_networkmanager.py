'''NetworkManager for the dial-up tests (a python-dbusmock template).

Unlike dbusmock's own networkmanager template, activations here go through "activating"
and announce every state change with Connection.Active.StateChanged, as NetworkManager
does; they can be made to fail or to never finish, and deactivation needs no device.

Parameters: {"State": u} for the manager's overall state (default 20, disconnected).

Control methods (org.freedesktop.DBus.Mock, on /org/freedesktop/NetworkManager):
  AddProfile(s id, s type, s bluetooth_type) -> o     bluetooth_type empty for other kinds
  RemoveProfile(s id)
  ScriptActivations(s id, as outcomes)   the outcomes of the next activations of the
      profile, in turn, the last one repeating: "up" (activated shortly after the answer),
      "quick" (activated before the answer), "fail" (deactivated shortly after the answer),
      "hang" (stays activating). Default "up".
  BringUp(s id) -> o      an active connection of the profile, activated at once
  SetState(u state)
  Events() -> as          "activate ID" and "deactivate ID" as they were asked for
'''

import dbus
from gi.repository import GLib

import dbusmock
from dbusmock import MOCK_IFACE

BUS_NAME = 'org.freedesktop.NetworkManager'
MAIN_OBJ = '/org/freedesktop/NetworkManager'
MAIN_IFACE = 'org.freedesktop.NetworkManager'
SYSTEM_BUS = True

SETTINGS_OBJ = MAIN_OBJ + '/Settings'
SETTINGS_IFACE = MAIN_IFACE + '.Settings'
PROFILE_IFACE = SETTINGS_IFACE + '.Connection'
ACTIVE_IFACE = MAIN_IFACE + '.Connection.Active'

ACTIVATING, ACTIVATED, DEACTIVATING, DEACTIVATED = 1, 2, 3, 4
REASON_NONE, REASON_USER, REASON_FAILED = 1, 2, 4
STEP_MS = 30


class Model:
    '''The profiles, the active connections and the record of requests.'''

    def __init__(self, manager):
        self.manager = manager
        self.profiles = {}  # path -> settings
        self.outcomes = {}  # id -> list of outcomes
        self.active = {}  # active path -> profile path
        self.events = []
        self.serial = 0

    def next_serial(self):
        self.serial += 1
        return self.serial

    def profile_of(self, conn_id):
        for path, settings in self.profiles.items():
            if settings['connection']['id'] == conn_id:
                return path
        raise dbus.exceptions.DBusException(f'no profile {conn_id}',
                                            name=MAIN_IFACE + '.UnknownConnection')

    def add_profile(self, conn_id, conn_type, bluetooth_type):
        path = f'{SETTINGS_OBJ}/{self.next_serial()}'
        settings = {'connection': {'id': conn_id, 'type': conn_type,
                                   'uuid': f'00000000-0000-0000-0000-{self.serial:012d}'}}
        if bluetooth_type:
            settings['bluetooth'] = {'type': bluetooth_type}
        self.manager.AddObject(path, PROFILE_IFACE, {},
                               [('GetSettings', '', 'a{sa{sv}}', 'ret = self.settings')])
        dbusmock.get_object(path).settings = settings
        self.profiles[path] = settings
        self.publish_profiles()
        return path

    def remove_profile(self, conn_id):
        path = self.profile_of(conn_id)
        del self.profiles[path]
        self.manager.RemoveObject(path)
        self.publish_profiles()

    def publish_profiles(self):
        settings_obj = dbusmock.get_object(SETTINGS_OBJ)
        settings_obj.Set(SETTINGS_IFACE, 'Connections',
                         dbus.Array(list(self.profiles), signature='o'))

    def publish_active(self):
        self.manager.Set(MAIN_IFACE, 'ActiveConnections',
                         dbus.Array(list(self.active), signature='o'))

    def add_active(self, profile_path, state):
        settings = self.profiles[profile_path]['connection']
        path = f'{MAIN_OBJ}/ActiveConnection/{self.next_serial()}'
        self.manager.AddObject(path, ACTIVE_IFACE, {
            'Connection': dbus.ObjectPath(profile_path),
            'Id': settings['id'],
            'Uuid': settings['uuid'],
            'Type': settings['type'],
            'Vpn': settings['type'] == 'vpn',
            'State': dbus.UInt32(state),
            'Devices': dbus.Array([], signature='o'),
        }, [])
        self.active[path] = profile_path
        self.publish_active()
        return path

    def change(self, path, state, reason):
        if path not in self.active:
            return
        obj = dbusmock.get_object(path)
        obj.Set(ACTIVE_IFACE, 'State', dbus.UInt32(state))
        obj.EmitSignal(ACTIVE_IFACE, 'StateChanged', 'uu', [dbus.UInt32(state), dbus.UInt32(reason)])
        if state == DEACTIVATED:
            del self.active[path]
            self.publish_active()
            self.manager.RemoveObject(path)

    def later(self, path, state, reason):
        def step():
            self.change(path, state, reason)
            return False
        GLib.timeout_add(STEP_MS, step)

    def activate(self, profile_path):
        profile_path = str(profile_path)
        if profile_path not in self.profiles:
            raise dbus.exceptions.DBusException(f'no profile at {profile_path}',
                                                name=MAIN_IFACE + '.UnknownConnection')
        conn_id = self.profiles[profile_path]['connection']['id']
        self.events.append('activate ' + conn_id)
        script = self.outcomes.get(conn_id, ['up'])
        outcome = script.pop(0) if len(script) > 1 else script[0]
        path = self.add_active(profile_path, ACTIVATING)
        if outcome == 'up':
            self.later(path, ACTIVATED, REASON_NONE)
        elif outcome == 'quick':
            self.change(path, ACTIVATED, REASON_NONE)
        elif outcome == 'fail':
            self.later(path, DEACTIVATED, REASON_FAILED)
        return dbus.ObjectPath(path)

    def deactivate(self, path):
        path = str(path)
        if path not in self.active:
            raise dbus.exceptions.DBusException(f'{path} is not active',
                                                name=MAIN_IFACE + '.ConnectionNotActive')
        self.events.append('deactivate ' + self.profiles[self.active[path]]['connection']['id'])
        self.change(path, DEACTIVATING, REASON_USER)
        self.later(path, DEACTIVATED, REASON_USER)


def load(mock, parameters):
    mock.AddProperties(MAIN_IFACE, {
        'ActiveConnections': dbus.Array([], signature='o'),
        'State': dbus.UInt32(parameters.get('State', 20)),
        'Version': '1.42.4',
    })
    mock.AddMethods(MAIN_IFACE, [
        ('ActivateConnection', 'ooo', 'o', 'ret = self.model.activate(args[0])'),
        ('DeactivateConnection', 'o', '', 'self.model.deactivate(args[0])'),
    ])
    mock.AddObject(SETTINGS_OBJ, SETTINGS_IFACE,
                   {'Connections': dbus.Array([], signature='o')},
                   [('ListConnections', '', 'ao', f"ret = self.Get('{SETTINGS_IFACE}', 'Connections')")])
    mock.model = Model(mock)


@dbus.service.method(MOCK_IFACE, in_signature='sss', out_signature='o')
def AddProfile(self, conn_id, conn_type, bluetooth_type):
    return dbus.ObjectPath(self.model.add_profile(str(conn_id), str(conn_type), str(bluetooth_type)))


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='')
def RemoveProfile(self, conn_id):
    self.model.remove_profile(str(conn_id))


@dbus.service.method(MOCK_IFACE, in_signature='sas', out_signature='')
def ScriptActivations(self, conn_id, outcomes):
    self.model.outcomes[str(conn_id)] = [str(o) for o in outcomes]


@dbus.service.method(MOCK_IFACE, in_signature='s', out_signature='o')
def BringUp(self, conn_id):
    return dbus.ObjectPath(self.model.add_active(self.model.profile_of(str(conn_id)), ACTIVATED))


@dbus.service.method(MOCK_IFACE, in_signature='u', out_signature='')
def SetState(self, state):
    self.Set(MAIN_IFACE, 'State', dbus.UInt32(state))


@dbus.service.method(MOCK_IFACE, in_signature='', out_signature='as')
def Events(self):
    return dbus.Array(self.model.events, signature='s')
