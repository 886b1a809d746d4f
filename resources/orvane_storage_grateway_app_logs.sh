#!/bin/sh
# Streams the application's log lines in this terminal window until the window is closed.
# Where journald runs the lines are in the journal under the application's executable name;
# otherwise the application also appends them to a file in the user's state folder.
identifier="orvane Storage Gateway"
log_file="${XDG_STATE_HOME:-$HOME/.local/state}/com.velmora.OrvaneStorageGatewayApp/application.log"

if [ -d /run/systemd/journal ] && command -v journalctl >/dev/null 2>&1; then
  exec journalctl --follow --lines=200 --identifier="$identifier"
fi
printf '%s\n\n' "Application log: $log_file"
exec tail -n 200 -F "$log_file"
