# shellcheck shell=bash disable=SC2154,SC2016 # sourced by run, which defines these; sh -c texts
# What a member of "orvane" (member) and another local user (outsider) tried on the installed
# packages, kept as checks. Sourced by tests/system/run, which defines ct, as, seat, check, is,
# $work, $unit, $config and $backups; security_checks runs before the packages are removed,
# removal_checks after.

action=com.velmora.qorprivilegedhelper.runqorlaunchctlwithsubcommand

client() { # <user> <as|seat> <helper_client.py arguments...>
  local user="$1" how="$2"; shift 2
  "$how" "$user" /usr/bin/python3 /opt/tests/helper_client.py "$@"
}

# --- A member's symbolic links where the package's file and folder belong -----------------------

links_state() { # where the links lead, and what is there
  ct sh -c "readlink $config $backups; stat -c '%U:%G:%a' ~member/elsewhere.ini ~member/elsewhere;
    cat ~member/elsewhere.ini; ls -A ~member/elsewhere"
}
reinstall_names_links() {
  local out
  out="$(ct sh -c 'dpkg -i /opt/packages/orvane-storage-gateway-common_*.deb \
    /opt/packages/orvane-storage-gateway-app_*.deb' 2>&1)" || { echo "$out"; return 1; }
  echo "$out"
  grep -q "$config is a symbolic link" <<<"$out" && grep -q "$backups is a symbolic link" <<<"$out"
}
# Every package repacked at a higher version (and the exact relation between them with it).
upgrade_configures() {
  ct sh -ec 'rm -rf /tmp/up && mkdir /tmp/up
    for deb in /opt/packages/*.deb; do
      dir=/tmp/up/$(basename "$deb" .deb) version=$(dpkg-deb -f "$deb" Version)
      dpkg-deb -R "$deb" "$dir"
      sed -i "s/$version/$version+1/g" "$dir/DEBIAN/control"
      dpkg-deb -b "$dir" "$dir.deb" >/dev/null
    done
    dpkg -i /tmp/up/*.deb
    dpkg-query -W -f "\${Version}\n" orvane-storage-gateway-app | grep -q "+1$"'
}
member_links_checks() {
  as member sh -ec "mv $config $config.saved; mv $backups $backups.saved
    echo elsewhere >~/elsewhere.ini; mkdir ~/elsewhere; ln -s ~/elsewhere.ini $config; ln -s ~/elsewhere $backups"
  local before
  before="$(links_state | tr -d '[:space:]')"
  check "with a member's links at config.ini and ConfigBackups, a reinstall configures and names both" \
    reinstall_names_links
  check "...and so does an upgrade to a higher version" upgrade_configures
  check "...and dpkg has nothing left half-configured" is "" ct dpkg --audit
  check "...and the links and what they lead to are unchanged" is "$before" links_state
  as member sh -c "rm $config $backups; mv $config.saved $config; mv $backups.saved $backups"
}

# --- Who polkit lets through, asked by the helper -------------------------------------------------

# polkit's answer for process <pid> and <request>, asked as the helper asks it (without a prompt).
authorized() {
  local start uid
  start="$(ct awk '{ print $22 }' "/proc/$1/stat")" && uid="$(ct stat -c %u "/proc/$1")" &&
    ct busctl call org.freedesktop.PolicyKit1 /org/freedesktop/PolicyKit1/Authority \
      org.freedesktop.PolicyKit1.Authority CheckAuthorization '(sa{sv})sa{ss}us' unix-process 3 \
      pid u "$1" start-time t "$start" uid i "$uid" "$action" 1 subcommand "$2" 0 "" |
    grep -q '^(bba{ss}) true '
}
# A process of a member at the seat is let through for the helper's requests only.
only_known_requests() {
  seat member sleep 5 &
  local session=$! pid=""
  for _ in $(seq 50); do
    pid="$(ct pgrep -u member -x sleep)" && break
    sleep 0.1
  done
  authorized "$pid" bootout && ! authorized "$pid" reboot
  local passed=$?
  ct kill "$pid"
  wait "$session"
  return "$passed"
}
# The outsider's own agent asks for an administrator's password naming the request; once given,
# it lets that request through and no other: with the agent gone, the next one is refused.
outsider_asked_each_time() {
  local out
  out="$(client outsider seat agent enable admin-password disable | tr -d '\r' | sed 's/\x1b\[[0-9;]*m//g')"
  echo "$out"
  [ "$(head -n 1 <<<"$out")" = 0 ] && [ "$(tail -n 1 <<<"$out")" = 64 ] &&
    grep -qx "Authentication is required to control the Orvane Storage Gateway service (enable)." <<<"$out"
}
# A request whose password prompt is open ends once its client leaves: the helper cancels polkit's
# check at once, instead of holding it until its bound.
left_while_asked() {
  local since line
  since="$(ct date +%s.%N)"
  client outsider seat leave enable | grep -q "Password:" || return 1
  line="Refused enable for user $(ct id -u outsider) .*: the calling process is gone"
  for _ in $(seq 50); do
    ct journalctl -o cat -t QorPrivilegedHelper --since "@$since" | grep -q "$line" && return 0
    sleep 0.1
  done
  return 1
}
rule_checks() {
  local user how request expected what
  # The hardened helper still makes the log folder when it is missing.
  ct systemctl stop "$unit"
  ct rm -rf /var/log/orvane-storage-gateway
  # <user> <as|seat> <request> <the helper's answer: 0 done, 64 refused> <what>
  while read -r user how request expected what; do
    check "polkit: $what" is "$expected" client "$user" "$how" run "$request"
  done <<'TABLE'
member         seat createLogDirectory 0  a member at the seat makes the log folder
member         seat bootout            0  ...and runs launchctl
member         as   bootout           64  a member without a session (cron, runuser) is refused
orvane-gateway as   bootout           64  the gateway's own user is refused
orvane-gateway seat bootout           64  ...also at the seat
outsider       seat bootout           64  another user without an agent is refused
TABLE
  check "polkit: a member's request is refused once the process that connected is gone" \
    is 64 client member seat orphan bootout
  check "...and the log folder is the gateway's, readable by the group" \
    is orvane-gateway:orvane:2750 ct stat -c %U:%G:%a /var/log/orvane-storage-gateway
  check "polkit: a member at the seat is let through only for the helper's requests" only_known_requests
  check "polkit: another user is asked for an administrator's password for each request, named" \
    outsider_asked_each_time
  check "polkit: a check whose prompt is open is cancelled when the client leaves" left_while_asked
}

# --- A flood of any kind leaves every refusal in the journal -----------------------------------

flood_bounded() { # <kind> <requests> <who makes a refused request meanwhile>
  local kind="$1" count="$2" refuser="$3" since start=$SECONDS lines
  since="$(ct date +%s.%N)"
  client outsider as flood "$kind" "$count" >/dev/null &
  local flood=$!
  sleep 1.1 # past the bound on the last refusal of this kind
  client "$refuser" as run bootout >/dev/null
  wait "$flood" || return 1
  lines="$(ct journalctl -o cat -t QorPrivilegedHelper --since "@$since")"
  echo "$(wc -l <<<"$lines") lines in $((SECONDS - start)) s"
  grep -q "Refused bootout for user $(ct id -u "$refuser") .*: not authorized" <<<"$lines" &&
    (($(wc -l <<<"$lines") <= 2 * (SECONDS - start + 1) + 2))
}
no_suppression() { ! ct journalctl -b -o cat | grep "Suppressed .* messages from com.velmora.QorPrivilegedHelper"; }
flood_checks() {
  local kind count refuser
  # Each refused request costs a polkit check: fewer of those, the rest as an attacker may.
  while read -r kind count refuser; do
    check "a flood of $count ($kind) leaves a bounded journal with a refusal made meanwhile" \
      flood_bounded "$kind" "$count" "$refuser"
  done <<'TABLE'
subcommand 10000 outsider
frame      10000 outsider
call       10000 outsider
refused    300   orvane-gateway
TABLE
  check "...and journald suppressed none of the helper's lines" no_suppression
}

security_checks() {
  local began=$SECONDS
  member_links_checks
  rule_checks
  flood_checks
  # Start at boot left on, as a user may leave it, for removal_checks.
  ct systemctl enable -q "$unit"
  echo "== security checks took $((SECONDS - began)) s"
}

removal_checks() {
  check "...and no socket file is left in /run" \
    bash -c "! nsenter -t $leader -a test -e /run/com.velmora.QorPrivilegedHelper.socket"
  check "...and no link in a .wants folder leads nowhere" \
    bash -c "! nsenter -t $leader -a find /etc/systemd/system -path '*.wants/*' -xtype l | grep ."
}
