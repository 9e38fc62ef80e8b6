# A private session bus for the D-Bus end-to-end tests. dbus_setup registers
# the qoinfoagent of the build under test (-RegServer) with XDG_CONFIG_HOME
# and XDG_DATA_HOME in the work folder, exported, and writes a bus
# configuration whose service folder is the one registration filled; in_bus
# runs a command on a new bus (dbus-run-session) with QOINFO_DATA_DIR=$data,
# which the services the bus starts inherit. The bus and its services end
# with the command.

# dbus_setup: needs `linux` and `work` (e2e_setup); sets `data`.
dbus_setup() {
  data=$work/data
  export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/share
  mkdir -p "$data"
  "$linux/qoinfoagent" -RegServer || echo "FAIL qoinfoagent -RegServer"
  mkdir -p "$work/bus"
  cat >"$work/bus/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$work/bus</listen>
  <servicedir>$XDG_DATA_HOME/dbus-1/services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
  <limit name="service_start_timeout">3000</limit>
  <!-- as the system's session bus: messages up to 1 GB -->
  <limit name="max_message_size">1000000000</limit>
</busconfig>
CONF
}

in_bus() {
  QOINFO_DATA_DIR=$data dbus-run-session --config-file="$work/bus/bus.conf" -- "$@"
}

# Waits (up to 30 s) until no process runs with `pattern` on its command
# line, or in its environment's data directory: the services of a bus that
# ended finish saving.
wait_services_end() {
  local i
  for ((i = 0; i < 300; i++)); do
    pgrep -f "$linux/(qoinfoagent|bromhelper)" >/dev/null || return 0
    sleep 0.1
  done
  return 1
}
