# shellcheck shell=bash
# The private session bus of a virtual desktop: only services under the private data home are
# activatable, so no client can start a desktop service that escapes the session's cleanup.
#   write_bus_config FILE SOCKET_PATH SERVICE_DIR
write_bus_config() {
    cat >"$1" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <keep_umask/>
  <listen>unix:path=$2</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$3</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
}
